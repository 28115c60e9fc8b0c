// The simulated camera's clock. Virtual time makes every fixed wait of the protocols instant
// while keeping the time it would have taken; real time makes the demo look as it does on the
// camera.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>

namespace sim {

class Clock {
 public:
  enum class Mode { Virtual, Real };

  void reset(Mode mode);
  // The clock of a process whose two sides each read the scenario at their first call (a program
  // that links both): the first side to read it starts the clock, and the second finds it
  // running, so that the time of the process is one.
  void startForProcess(Mode mode);
  Mode mode() const { return mode_; }
  std::uint64_t nowMs() const;
  void sleepMs(std::uint32_t milliseconds);

 private:
  Mode mode_ = Mode::Virtual;
  std::atomic<std::uint64_t> virtualMs_ = 0;  // counted by whichever thread sleeps
  std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
  bool startedForProcess_ = false;
};

Clock& clock();

// How a scenario applied by a side starts the clock: anew, as for a new run, or as the process's
// clock, which the other side may have started already (Clock::startForProcess).
enum class ClockStart { Anew, ForProcess };

}  // namespace sim
