#include "sim_clock.h"

#include <thread>

namespace sim {

void Clock::reset(Mode mode) {
  mode_ = mode;
  virtualMs_ = 0;
  start_ = std::chrono::steady_clock::now();
}

void Clock::startForProcess(Mode mode) {
  if (!startedForProcess_ || mode_ != mode) {
    reset(mode);
    startedForProcess_ = true;
  }
}

std::uint64_t Clock::nowMs() const {
  if (mode_ == Mode::Virtual) {
    return virtualMs_;
  }
  const auto elapsed = std::chrono::steady_clock::now() - start_;
  return static_cast<std::uint64_t>(
      std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count());
}

void Clock::sleepMs(std::uint32_t milliseconds) {
  if (mode_ == Mode::Virtual) {
    virtualMs_ += milliseconds;
  } else {
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
  }
}

Clock& clock() {
  static Clock instance;
  return instance;
}

}  // namespace sim
