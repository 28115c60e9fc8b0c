// A stand-in for the upgrader, installed nowhere: it writes known bytes to its standard output
// in binary mode, so that what the library reads through its text-mode pipe can be compared byte
// for byte. Its output imitates the upgrader's: lines ended by CR LF, progress updates that start
// with a lone CR and are flushed one by one, lines of several hundred characters, and a CR LF
// split across two writes.
//
//   pipe_stand_in -s        one line of 300 characters, then CR LF
//   pipe_stand_in <any>     the whole sequence
// clang-format off
#include <windows.h>
#include <fcntl.h>
#include <io.h>
// clang-format on

#include <cstdio>
#include <cstring>
#include <string>

namespace {

// Long enough for the reader to see the previous write on its own before the next arrives.
constexpr DWORD PauseMs = 50;

std::string digits(std::size_t count) {
  std::string text;
  for (std::size_t i = 0; i < count; ++i) {
    text += static_cast<char>('0' + i % 10);
  }
  return text;
}

void emit(const std::string& bytes, bool pause = false) {
  std::fwrite(bytes.data(), 1, bytes.size(), stdout);
  std::fflush(stdout);
  if (pause) {
    Sleep(PauseMs);
  }
}

}  // namespace

int main(int argc, char** argv) {
  _setmode(_fileno(stdout), _O_BINARY);
  if (argc > 1 && std::strcmp(argv[1], "-s") == 0) {
    emit(digits(300) + "\r\n");
    return 0;
  }
  emit("Stand-in started\r\n");
  emit("\rErasing sectors 50% ", true);
  emit("\rErasing sectors 100% ", true);
  emit("\r\n");
  emit("lone\r", true);  // a CR that ends a write, followed by more of the line
  emit("carriage return\r\n");
  emit("split\r", true);  // a CR LF whose LF comes with the next write
  emit("\nCR LF\r\n");
  emit(digits(300) + "\r\n");
  // The second piece of this line begins with a full stop, so its echo shows where the pieces
  // of the line were cut.
  emit(std::string(127, 'a') + "." + std::string(126, 'b') + std::string(50, 'c') + "\r\n");
  emit("ends with a lone CR\r");
  return 0;
}
