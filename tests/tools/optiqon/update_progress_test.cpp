// The update's progress as the camera API's page callback tells it, shown at known times: each
// page as it is verified, in order, and the time left from the pace of the verified pages alone.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "progress_display.h"

namespace {

using std::chrono::milliseconds;
using std::chrono::seconds;

struct Shown {
  std::string text;
  ProgressDisplay display;

  Shown(bool terminal, std::vector<std::string> names)
      : display(
            terminal, [this](std::string_view written) { text += written; }, std::move(names)) {}
};

// 0 before the erase, which takes 2 s, then a page verified every 100 ms.
void updateOf30Pages(ProgressDisplay& display, std::size_t camera = 0) {
  display.show(camera, 0, 30, seconds(0));
  for (unsigned page = 1; page <= 30; ++page) {
    display.show(camera, page, 30, seconds(2) + milliseconds(100) * page);
  }
  display.end();
}

// Every tenth of the pages as its page is verified; the time left from the pace since the first
// page, not counting the erase (0.1 s a page: 27 pages left at page 3 is 2.7 s).
TEST(ProgressDisplay, PlainLinesFollowThePagesAsTheyAreVerified) {
  Shown shown(false, {"K3M51-0001"});
  updateOf30Pages(shown.display);
  EXPECT_EQ(shown.text,
            "erasing the flash for 30 pages\n"
            "downloading 1/30 pages, 0:02 elapsed, -:-- left\n"
            "downloading 3/30 pages, 0:02 elapsed, 0:02 left\n"
            "downloading 6/30 pages, 0:02 elapsed, 0:02 left\n"
            "downloading 9/30 pages, 0:02 elapsed, 0:02 left\n"
            "downloading 12/30 pages, 0:03 elapsed, 0:01 left\n"
            "downloading 15/30 pages, 0:03 elapsed, 0:01 left\n"
            "downloading 18/30 pages, 0:03 elapsed, 0:01 left\n"
            "downloading 21/30 pages, 0:04 elapsed, 0:00 left\n"
            "downloading 24/30 pages, 0:04 elapsed, 0:00 left\n"
            "downloading 27/30 pages, 0:04 elapsed, 0:00 left\n"
            "downloading 30/30 pages, 0:05 elapsed, 0:00 left\n");
}

// A slow download: the pace is what the pages took, whatever the erase took.
TEST(ProgressDisplay, TimeLeftIsThePaceOfVerifiedPages) {
  Shown shown(false, {"K3M51-0001"});
  shown.display.show(0, 0, 10, seconds(0));
  shown.display.show(0, 1, 10, seconds(60));
  shown.display.show(0, 2, 10, seconds(70));
  EXPECT_EQ(shown.text,
            "erasing the flash for 10 pages\n"
            "downloading 1/10 pages, 1:00 elapsed, -:-- left\n"
            "downloading 2/10 pages, 1:10 elapsed, 1:20 left\n");
}

// On a terminal one line is rewritten in place, page by page, and ended once.
TEST(ProgressDisplay, TerminalRewritesOneLine) {
  Shown shown(true, {"K3M51-0001"});
  shown.display.show(0, 0, 4, seconds(0));
  shown.display.show(0, 1, 4, seconds(1));
  shown.display.show(0, 2, 4, seconds(2));
  shown.display.end();
  EXPECT_EQ(shown.text,
            "\rerasing      [------------------------] 0/4 pages  0:00 elapsed"
            "\rdownloading  [######------------------] 1/4 pages  0:01 elapsed  -:-- left"
            "\rdownloading  [############------------] 2/4 pages  0:02 elapsed  0:02 left\n");
}

// Several cameras: a plain line each names its camera; on a terminal every camera has its line,
// all written again from the first after the cursor moves up to it.
TEST(ProgressDisplay, SeveralCamerasEachHaveTheirLines) {
  Shown plain(false, {"K3M51-A001", "K3M51-B002"});
  plain.display.show(1, 0, 2, seconds(0));
  plain.display.show(0, 0, 2, seconds(0));
  plain.display.show(1, 1, 2, seconds(1));
  EXPECT_EQ(plain.text,
            "K3M51-B002: erasing the flash for 2 pages\n"
            "K3M51-A001: erasing the flash for 2 pages\n"
            "K3M51-B002: downloading 1/2 pages, 0:01 elapsed, -:-- left\n");

  Shown terminal(true, {"K3M51-A001", "K3M51-B002"});
  terminal.display.show(1, 0, 2, seconds(0));
  terminal.display.show(1, 1, 2, seconds(1));
  EXPECT_EQ(terminal.text,
            "\rK3M51-A001: waiting\n"
            "\rK3M51-B002: erasing      [------------------------] 0/2 pages  0:00 elapsed\n"
            "\x1b[2A"
            "\rK3M51-A001: waiting\n"
            "\rK3M51-B002: downloading  [############------------] 1/2 pages  0:01 elapsed  "
            "-:-- left\n");
}

TEST(ProgressDisplay, DurationsFromSecondsToHours) {
  EXPECT_EQ(formatDuration(seconds(0)), "0:00");
  EXPECT_EQ(formatDuration(seconds(59)), "0:59");
  EXPECT_EQ(formatDuration(seconds(3599)), "59:59");
  EXPECT_EQ(formatDuration(seconds(3600 + 61)), "1:01:01");
}

}  // namespace
