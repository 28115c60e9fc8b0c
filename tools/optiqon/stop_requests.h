// Stopping a command that runs until it is stopped (watch): the platform's requests to end the
// process wake its wait instead, so that it ends between two calls to a camera, never in the
// middle of writing one, and says so. Off Windows these are SIGINT, SIGTERM (a service's stop,
// logoff) and SIGHUP (its terminal closed); on Windows Ctrl-C, Ctrl-Break, the console closed,
// logoff and shutdown, and, for the watcher only, `optiqon watch --stop` from another process of
// the same session.
#pragma once

#include <chrono>
#include <cstdint>

namespace console {

// Whether another process may ask too. Only the watcher can be stopped from outside (the
// installer stops a logon watcher before it replaces the files); a panel or anything else run in a
// console stops only on its own signals.
enum class StopFromOutside { no, watchStop };

// One at a time, while the command runs.
class StopRequests {
 public:
  explicit StopRequests(StopFromOutside outside = StopFromOutside::no);
  ~StopRequests();
  StopRequests(const StopRequests&) = delete;
  StopRequests& operator=(const StopRequests&) = delete;

  bool requested() const;
  // Waits up to `timeout` for a request; whether one came.
  bool waitFor(std::chrono::milliseconds timeout) const;
  // What the platform's own waits take to wake on a request too: a descriptor that turns readable
  // (POSIX), an event handle that is set (Windows).
  std::intptr_t waitable() const;
};

}  // namespace console
