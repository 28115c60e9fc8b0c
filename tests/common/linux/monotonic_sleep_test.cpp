// The Linux backends' Sleep: the whole wait on the monotonic clock, however often a signal
// wakes the thread.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/time.h>

#include <chrono>

#include "monotonic_sleep.h"

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

volatile sig_atomic_t wakeUps = 0;

void countWakeUp(int) {
  wakeUps = wakeUps + 1;
}

TEST(MonotonicSleep, SleepsTheWholeWait) {
  const auto start = Clock::now();
  kit::sleepMonotonic(30);
  EXPECT_GE(Clock::now() - start, milliseconds(30));
  const auto again = Clock::now();
  kit::sleepMonotonic(0);
  EXPECT_LT(Clock::now() - again, milliseconds(20));
}

TEST(MonotonicSleep, SignalsThatWakeTheThreadDoNotShortenTheWait) {
  // A handler without SA_RESTART, so that each signal ends the kernel's sleep early.
  struct sigaction action {};
  action.sa_handler = countWakeUp;
  struct sigaction earlier {};
  ASSERT_EQ(sigaction(SIGALRM, &action, &earlier), 0);
  const itimerval every5ms{{0, 5000}, {0, 5000}};
  ASSERT_EQ(setitimer(ITIMER_REAL, &every5ms, nullptr), 0);
  wakeUps = 0;

  const auto start = Clock::now();
  kit::sleepMonotonic(60);
  const auto slept = Clock::now() - start;

  const itimerval off{};
  setitimer(ITIMER_REAL, &off, nullptr);
  sigaction(SIGALRM, &earlier, nullptr);
  EXPECT_GE(wakeUps, 2) << "the signals came too seldom to test anything";
  EXPECT_GE(slept, milliseconds(60));
  // The wait goes from the first call: the time already slept counts after every wake-up.
  EXPECT_LT(slept, milliseconds(2000));
}

}  // namespace
