// Stop requests on POSIX systems: the signal handler writes a byte into a pipe, whose reading end
// the waits poll beside their own descriptors.
#include "../stop_requests.h"

#include "poll_timeout.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cerrno>
#include <stdexcept>

namespace console {

namespace {

constexpr std::array<int, 3> StopSignals = {SIGINT, SIGTERM, SIGHUP};

std::array<struct sigaction, 3> actionsBefore;
struct sigaction pipeActionBefore;
std::array<int, 2> stopPipe = {-1, -1};
std::atomic<bool> stopRequested{false};

// Runs in the signal's context: only async-signal-safe calls.
extern "C" void requestStop(int) {
  const int savedErrno = errno;
  stopRequested = true;
  const char byte = 's';
  [[maybe_unused]] const ssize_t written = write(stopPipe[1], &byte, 1);
  errno = savedErrno;
}

}  // namespace

// Off Windows another process asks with a signal (kill), whatever the command.
StopRequests::StopRequests(StopFromOutside) {
  if (pipe2(stopPipe.data(), O_CLOEXEC | O_NONBLOCK) != 0) {
    throw std::runtime_error("cannot make the pipe that stop requests wake the watcher through");
  }
  stopRequested = false;
  struct sigaction action {};
  action.sa_handler = requestStop;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  for (std::size_t i = 0; i < StopSignals.size(); ++i) {
    sigaction(StopSignals[i], &action, &actionsBefore[i]);
  }
  // A log that nobody reads any more (its terminal gone) is dropped rather than ending the watcher.
  struct sigaction ignore {};
  ignore.sa_handler = SIG_IGN;
  sigemptyset(&ignore.sa_mask);
  sigaction(SIGPIPE, &ignore, &pipeActionBefore);
}

StopRequests::~StopRequests() {
  for (std::size_t i = 0; i < StopSignals.size(); ++i) {
    sigaction(StopSignals[i], &actionsBefore[i], nullptr);
  }
  sigaction(SIGPIPE, &pipeActionBefore, nullptr);
  close(stopPipe[0]);
  close(stopPipe[1]);
  stopPipe = {-1, -1};
}

bool StopRequests::requested() const {
  return stopRequested;
}

bool StopRequests::waitFor(std::chrono::milliseconds timeout) const {
  struct pollfd wake {
    stopPipe[0], POLLIN, 0
  };
  while (!requested() && poll(&wake, 1, pollTimeout(timeout)) < 0 && errno == EINTR) {
  }
  return requested();
}

std::intptr_t StopRequests::waitable() const {
  return stopPipe[0];
}

}  // namespace console
