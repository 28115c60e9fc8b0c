// The process's standard output at the level of the C runtime's descriptors, which the library
// writes through as well: turned to a file or a pipe while a call into the library runs, and
// given back afterwards. One backend per platform, chosen by the build.
#pragma once

#include <cstddef>
#include <string_view>

namespace console {

constexpr int StandardOutput = 1;

// A second descriptor for standard output, to give it back later; -1 when none can be had.
int saveOutput();
// Makes `descriptor` the process's standard output, for the C runtime and (on Windows) for the
// process's standard handle alike.
bool redirectOutput(int descriptor);

// A pipe whose ends no child process inherits: ends[0] to read, ends[1] to write.
bool makePipe(int ends[2]);
void closeDescriptor(int descriptor);
// Up to `size` bytes; 0 at the end of the input, -1 on an error.
long readSome(int descriptor, char* buffer, std::size_t size);
// Writes all of `text`; output that nobody reads any more is dropped.
void writeAll(int descriptor, std::string_view text);

bool isTerminal(int descriptor);

// While one lives, an interrupt from the terminal (Ctrl-C) does not end the tool, and output
// nobody reads any more does not either: the upgrader the library starts gets the same
// interrupt and decides for itself whether to stop, and the tool stays to report its verdict.
class InterruptsLeftToUpgrader {
 public:
  InterruptsLeftToUpgrader();
  ~InterruptsLeftToUpgrader();
  InterruptsLeftToUpgrader(const InterruptsLeftToUpgrader&) = delete;
  InterruptsLeftToUpgrader& operator=(const InterruptsLeftToUpgrader&) = delete;
};

}  // namespace console
