// Runs that lose their reader or are interrupted while the flash is erased or written: once the
// first erase command is sent, only a second interrupt may end the run, since an ended run leaves
// a camera without working firmware.
#if defined(_WIN32)
// The upgrader's Windows guard is a console control handler; these runs raise the POSIX signals
// its POSIX guard answers, which a Windows program is never sent.
#include <gtest/gtest.h>

TEST(Interruption, RaisedSignals) {
  GTEST_SKIP() << "these runs raise SIGINT, SIGTERM, SIGPIPE and SIGHUP, which the POSIX guard "
                  "answers; on Windows the guard is a console control handler, and Wine gives "
                  "a program run from a pipe no console to send Ctrl-C to";
}
#else
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <utility>
#include <vector>

#include "captured_standard_error.h"
#include "flash_reports.h"
#include "upgrader_harness.h"

namespace {

constexpr const char* DownloadContinues =
    "\nInterrupted: the firmware download goes on, because stopping now would leave the camera "
    "without working firmware. Interrupt again to stop anyway.\n";

bool handledAsByDefault(int signal) {
  struct sigaction current {};
  sigaction(signal, nullptr, &current);
  return current.sa_handler == SIG_DFL;
}

class Interruption : public UpgraderHarness {
 protected:
  // Raises each signal as the camera takes the report with the given ID for the nth time.
  void raiseAt(std::uint8_t reportId, unsigned nth, std::vector<int> signals) {
    world().onReport = [reportId, nth, signals = std::move(signals),
                        seen = 0u](const sim::ReportCall& call) mutable {
      if (call.reportId == reportId && ++seen == nth) {
        for (int signal : signals) {
          raise(signal);
        }
      }
    };
  }

  std::string undisturbedOutput(const std::vector<std::uint8_t>& image) {
    const std::string output = runWithImage(image).output;
    sim::resetHidWorld();
    sim::clock().reset(sim::Clock::Mode::Virtual);
    world().keepCallLog = true;
    return output;
  }
};

TEST_F(Interruption, FirstInterruptIsAnnouncedAndTheDownloadGoesOn) {
  const auto image = patternImage(4 * 256);
  const std::string expected = undisturbedOutput(image);
  for (auto [signal, reportId] :
       {std::pair{SIGINT, flash::WritePageId}, std::pair{SIGTERM, flash::EraseStatusId}}) {
    raiseAt(reportId, 1, {signal});
    CapturedStandardError errors;
    const UpgraderRun result = runWithImage(image);
    EXPECT_EQ(result.output, expected) << signal;
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(errors.written(), DownloadContinues) << signal;
    EXPECT_EQ(callsWithId(flash::WritePageId).size(), 4u);
    sim::resetHidWorld();
    world().keepCallLog = true;
  }
}

TEST_F(Interruption, VerdictStillSetsTheExitCode) {
  world().camera.faults.mismatchedReads = {{2, 3}};
  raiseAt(flash::WritePageId, 1, {SIGINT});
  CapturedStandardError errors;
  const UpgraderRun result = runWithImage(patternImage(4 * 256));
  EXPECT_TRUE(result.output.ends_with("\nDownload Failed\n"));
  EXPECT_EQ(result.exitCode, 4);
  EXPECT_EQ(errors.written(), DownloadContinues);
}

// A reader that went away (a closed pipe, a closed terminal) costs the output, never the flash.
TEST_F(Interruption, LostOutputNeverEndsTheRun) {
  const auto image = patternImage(4 * 256);
  raiseAt(flash::EraseStatusId, 1, {SIGPIPE, SIGHUP});
  CapturedStandardError errors;
  UpgraderRun result = runWithImage(image);
  EXPECT_EQ(result.exitCode, 0);
  raiseAt(flash::ReadPageDataId, 2, {SIGPIPE, SIGHUP});
  result = runWithImage(image);
  EXPECT_EQ(result.exitCode, 0);
  EXPECT_TRUE(result.output.ends_with("\nDownload Complete\n\nDownload Complete\n"));
  EXPECT_EQ(errors.written(), "");
}

// Outside the erase and the download every signal does what it did before the run.
TEST_F(Interruption, SignalsActAsBeforeOutsideTheFlashing) {
  bool guardedDuringErase = false;
  world().onReport = [&](const sim::ReportCall& call) {
    if (call.reportId == flash::EraseSectorId) {
      guardedDuringErase = !handledAsByDefault(SIGINT) && !handledAsByDefault(SIGPIPE);
    }
  };
  ASSERT_EQ(runWithImage(patternImage(256)).exitCode, 0);
  EXPECT_TRUE(guardedDuringErase);
  for (int signal : {SIGINT, SIGTERM, SIGPIPE, SIGHUP}) {
    EXPECT_TRUE(handledAsByDefault(signal)) << signal;
  }
}

using InterruptionDeathTest = Interruption;

TEST_F(InterruptionDeathTest, SecondInterruptEndsTheRun) {
  raiseAt(flash::WritePageId, 2, {SIGINT, SIGINT});
  EXPECT_EXIT(runWithImage(patternImage(4 * 256)), ::testing::KilledBySignal(SIGINT),
              "Interrupt again to stop anyway");
}

}  // namespace
#endif
