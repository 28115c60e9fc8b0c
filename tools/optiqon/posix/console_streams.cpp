// Standard streams and signals on POSIX systems.
#include "../console_streams.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cerrno>

namespace console {

void openMissingStandardStreams() {
  for (int stream = 0; stream <= 2; ++stream) {
    if (fcntl(stream, F_GETFD) == -1 && errno == EBADF) {
      // open gives the lowest free number: this one.
      if (open("/dev/null", O_RDWR) != stream) {
        return;
      }
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

bool movesCursor(int descriptor) {
  return isTerminal(descriptor);
}

namespace {

constexpr std::array<int, 2> IgnoredSignals = {SIGPIPE, SIGHUP};
constexpr std::array<int, 2> DeferredSignals = {SIGINT, SIGTERM};

std::array<struct sigaction, 2> ignoredBefore;
std::array<struct sigaction, 2> deferredBefore;
std::atomic<int> interruptions{0};

void writeLine(std::string_view line) {
  [[maybe_unused]] const ssize_t written = write(STDERR_FILENO, line.data(), line.size());
}

// Runs in the signal's context: only async-signal-safe calls. The second signal ends the tool
// as that signal does, so that a caller sees what ended it.
extern "C" void deferInterrupt(int signal) {
  const int savedErrno = errno;
  if (interruptions.fetch_add(1) == 0) {
    writeLine(UpdateContinues);
  } else {
    writeLine(UpdateStopped);
    struct sigaction defaultAction {};
    defaultAction.sa_handler = SIG_DFL;
    sigemptyset(&defaultAction.sa_mask);
    sigaction(signal, &defaultAction, nullptr);
    raise(signal);
  }
  errno = savedErrno;
}

struct sigaction actionOf(void (*handler)(int)) {
  struct sigaction action {};
  action.sa_handler = handler;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  return action;
}

}  // namespace

UpdateInterruptRule::UpdateInterruptRule() {
  interruptions = 0;
  const struct sigaction ignore = actionOf(SIG_IGN);
  for (std::size_t i = 0; i < IgnoredSignals.size(); ++i) {
    sigaction(IgnoredSignals[i], &ignore, &ignoredBefore[i]);
  }
  const struct sigaction defer = actionOf(deferInterrupt);
  for (std::size_t i = 0; i < DeferredSignals.size(); ++i) {
    sigaction(DeferredSignals[i], nullptr, &deferredBefore[i]);
    // A signal the tool was started to ignore (nohup, a background job) stays ignored.
    if (deferredBefore[i].sa_handler != SIG_IGN) {
      sigaction(DeferredSignals[i], &defer, nullptr);
    }
  }
}

// Output nobody reads stays dropped after the update too, so that the verdict's exit code is the
// tool's; a hang-up after the verdict is the default's again.
UpdateInterruptRule::~UpdateInterruptRule() {
  for (std::size_t i = 0; i < DeferredSignals.size(); ++i) {
    sigaction(DeferredSignals[i], &deferredBefore[i], nullptr);
  }
  sigaction(SIGHUP, &ignoredBefore[1], nullptr);
}

}  // namespace console
