// Standard output on POSIX systems: plain descriptors, shared by the tool and the library.
#include "../console_streams.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>

namespace console {

int saveOutput() {
  return fcntl(StandardOutput, F_DUPFD_CLOEXEC, 3);
}

bool redirectOutput(int descriptor) {
  return dup2(descriptor, StandardOutput) >= 0;
}

bool makePipe(int ends[2]) {
  return pipe2(ends, O_CLOEXEC) == 0;
}

void closeDescriptor(int descriptor) {
  close(descriptor);
}

long readSome(int descriptor, char* buffer, std::size_t size) {
  for (;;) {
    const ssize_t got = read(descriptor, buffer, size);
    if (got >= 0 || errno != EINTR) {
      return static_cast<long>(got);
    }
  }
}

void writeAll(int descriptor, std::string_view text) {
  while (!text.empty()) {
    const ssize_t written = write(descriptor, text.data(), text.size());
    if (written < 0 && errno == EINTR) {
      continue;
    }
    if (written <= 0) {
      return;
    }
    text.remove_prefix(static_cast<std::size_t>(written));
  }
}

bool isTerminal(int descriptor) {
  return isatty(descriptor) == 1;
}

namespace {

// A handler, not SIG_IGN: a handler is reset to the default in the upgrader the library execs,
// while an ignored signal would stay ignored there and the upgrader could not be stopped at all.
void letThroughToUpgrader(int) {}

struct sigaction previousInterrupt;
struct sigaction previousPipe;

}  // namespace

InterruptsLeftToUpgrader::InterruptsLeftToUpgrader() {
  struct sigaction action = {};
  action.sa_handler = letThroughToUpgrader;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  sigaction(SIGINT, &action, &previousInterrupt);
  // Output to a closed pipe fails with EPIPE instead, which the writes above drop.
  struct sigaction ignore = {};
  ignore.sa_handler = SIG_IGN;
  sigemptyset(&ignore.sa_mask);
  sigaction(SIGPIPE, &ignore, &previousPipe);
}

InterruptsLeftToUpgrader::~InterruptsLeftToUpgrader() {
  sigaction(SIGINT, &previousInterrupt, nullptr);
  sigaction(SIGPIPE, &previousPipe, nullptr);
}

}  // namespace console
