// POSIX signals: SIGPIPE and SIGHUP are ignored, so that output nobody reads any more is dropped
// (a write fails with EPIPE or EIO) instead of ending the process; the first SIGINT or SIGTERM
// prints one line and puts back what those signals did before, so that the next one acts as
// usual.
#include <signal.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>

#include "../interrupt_guard.h"
#include "../upgrader_messages.h"

namespace {

constexpr std::array<int, 2> IgnoredSignals = {SIGPIPE, SIGHUP};
constexpr std::array<int, 2> DeferredSignals = {SIGINT, SIGTERM};

std::array<struct sigaction, 2> ignoredBefore;
std::array<struct sigaction, 2> deferredBefore;

void restoreDeferredSignals() {
  for (std::size_t i = 0; i < DeferredSignals.size(); ++i) {
    sigaction(DeferredSignals[i], &deferredBefore[i], nullptr);
  }
}

// Runs in the signal's context: only async-signal-safe calls.
extern "C" void deferInterrupt(int) {
  const int savedErrno = errno;
  const char* line = messages::DownloadContinues;
  [[maybe_unused]] const ssize_t written = write(STDERR_FILENO, line, std::strlen(line));
  restoreDeferredSignals();
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

InterruptGuard::InterruptGuard() {
  const struct sigaction ignore = actionOf(SIG_IGN);
  for (std::size_t i = 0; i < IgnoredSignals.size(); ++i) {
    sigaction(IgnoredSignals[i], &ignore, &ignoredBefore[i]);
  }
  const struct sigaction defer = actionOf(deferInterrupt);
  for (std::size_t i = 0; i < DeferredSignals.size(); ++i) {
    sigaction(DeferredSignals[i], nullptr, &deferredBefore[i]);
    // A signal the run was started to ignore (nohup, a background job) stays ignored.
    if (deferredBefore[i].sa_handler != SIG_IGN) {
      sigaction(DeferredSignals[i], &defer, nullptr);
    }
  }
}

InterruptGuard::~InterruptGuard() {
  restoreDeferredSignals();
  for (std::size_t i = 0; i < IgnoredSignals.size(); ++i) {
    sigaction(IgnoredSignals[i], &ignoredBefore[i], nullptr);
  }
}
