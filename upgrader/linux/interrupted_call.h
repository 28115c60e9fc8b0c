// A system call that a signal interrupted (EINTR) did nothing and is made again. The upgrader's
// own interrupt handling restarts calls (SA_RESTART), but a handler installed without it, or a
// call the kernel never restarts, would otherwise turn Ctrl+C or a child's exit into a failed
// report and a half-flashed camera.
#pragma once

#include <cerrno>

namespace hidraw {

// Makes `call` (answering -1 and setting errno on failure, as open, ioctl and write do) until a
// signal no longer interrupts it; answers its result, or -errno when it failed.
template <typename Call>
int retryingInterrupted(Call call) {
  int returned = 0;
  do {
    returned = static_cast<int>(call());
  } while (returned < 0 && errno == EINTR);
  return returned < 0 ? -errno : returned;
}

}  // namespace hidraw
