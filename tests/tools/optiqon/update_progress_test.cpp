// The firmware update's progress, read from the upgrader's output as the library echoes it (in
// pieces that end anywhere) and shown on a terminal or as plain lines.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "progress_display.h"
#include "upgrader_progress.h"

namespace {

using std::chrono::seconds;

// What the upgrader prints for a verified image of 30 pages (7680 bytes), in two sectors.
const std::string VerifiedRun =
    "Found Corvantis K3M51-USB camera. Device #1 - VID: 0x1BBD, PID: 0x024C\n"
    "Firmware file size = 7680\n"
    "\rErasing sectors 50% \rErasing sectors 100% \n"
    "\rDownloading firmware 1% \rDownloading firmware 41% \rDownloading firmware 81% "
    "\nLast section of firmware download\n\nDownload Complete\n\nDownload Complete\n";

struct Step {
  std::string line;  // empty for a progress update
  long pagesWritten;
};

std::vector<Step> readInPieces(UpgraderProgress& progress, const std::string& output,
                               std::size_t pieceLength) {
  std::vector<Step> steps;
  const auto listener = [&](const std::string* line) {
    steps.push_back({line != nullptr ? *line : "", progress.pagesWritten()});
  };
  for (std::size_t at = 0; at < output.size(); at += pieceLength) {
    progress.take(output.substr(at, pieceLength), listener);
  }
  progress.finish(listener);
  return steps;
}

TEST(UpgraderProgress, CountsPagesFromTheUpdatesWhereverThePiecesEnd) {
  for (std::size_t pieceLength : {1u, 7u, 127u, 4096u}) {
    UpgraderProgress progress;
    const std::vector<Step> steps = readInPieces(progress, VerifiedRun, pieceLength);
    std::vector<std::string> lines;
    std::vector<long> pages;
    for (const Step& step : steps) {
      if (step.line.empty()) {
        pages.push_back(step.pagesWritten);
      } else {
        lines.push_back(step.line);
      }
    }
    EXPECT_EQ(lines, (std::vector<std::string>{
                         "Found Corvantis K3M51-USB camera. Device #1 - VID: 0x1BBD, PID: 0x024C",
                         "Firmware file size = 7680"}));
    // Two erase updates, three of the download (before pages 0, 12 and 24), the last page, and
    // the verdict twice.
    EXPECT_EQ(pages, (std::vector<long>{0, 0, 0, 12, 24, 29, 30, 30})) << pieceLength;
    EXPECT_EQ(progress.totalPages(), 30);
    EXPECT_EQ(progress.verdict(), 0);
  }
}

// Each way the upgrader ends, and the exit code it ends with; the reason printed on the progress
// line's end is split off it.
TEST(UpgraderProgress, TellsTheVerdictOfEachEnding) {
  const std::string start = "Firmware file size = 7680\n\rErasing sectors 100% \n";
  const struct {
    std::string output;
    std::optional<int> verdict;
    std::string lastLine;
  } endings[] = {
      {"Did not find Corvantis K3M51-USB camera...\nConnect Corvantis K3M51-USB camera "
       "Device...and try again\n",
       1, "Connect Corvantis K3M51-USB camera Device...and try again"},
      {"Empty file\nReturn Status = 7", 2, "Return Status = 7"},
      {"Firmware file too large: the camera's flash takes at most 16776960 bytes\n", 2,
       "Firmware file too large: the camera's flash takes at most 16776960 bytes"},
      {start + "Erase Sectors failed\n", 3, "Erase Sectors failed"},
      {start + "\rDownloading firmware 1% first setoutput report failed", 4,
       "first setoutput report failed"},
      {start + "\rDownloading firmware 1% 1167The set output report failed", 4,
       "1167The set output report failed"},
      {start + "\rDownloading firmware 1% \nDownload Failed\n", 4, "Firmware file size = 7680"},
      {start + "\rDownloading firmware 1% ", std::nullopt, "Firmware file size = 7680"},
  };
  for (const auto& ending : endings) {
    UpgraderProgress progress;
    const std::vector<Step> steps = readInPieces(progress, ending.output, 5);
    std::string lastLine;
    for (const Step& step : steps) {
      lastLine = step.line.empty() ? lastLine : step.line;
    }
    EXPECT_EQ(progress.verdict(), ending.verdict) << ending.output;
    EXPECT_EQ(lastLine, ending.lastLine) << ending.output;
  }
}

// The display as the user sees it, fed the progress of a 240-page image at known times.
struct Shown {
  std::string text;
  ProgressDisplay display;
  UpgraderProgress progress;

  explicit Shown(bool terminal)
      : display(terminal, [this](std::string_view written) { text += written; }) {}

  void feed(const std::string& output, seconds at) {
    progress.take(output, [&](const std::string* line) {
      if (line == nullptr) {
        display.show(progress, at);
      }
    });
  }

  std::string run() {
    feed("Firmware file size = 61440\n\rErasing sectors 33% \rErasing sectors 100% \n", seconds(2));
    for (int update = 0; update < 20; ++update) {
      feed("\rDownloading firmware 5% ", seconds(10 + update * 3));
    }
    feed("\nLast section of firmware download\n", seconds(70));
    feed("\nDownload Complete\n", seconds(71));
    display.end();
    return text;
  }
};

TEST(ProgressDisplay, PlainLinesAtEveryTenthOfTheWay) {
  // Pace from the first page on: 12 pages in 3 s, so 216 pages take 54 s.
  EXPECT_EQ(Shown(false).run(),
            "erasing 33%\n"
            "erasing 100%\n"
            "downloading 0/240 pages, 0:10 elapsed, -:-- left\n"
            "downloading 24/240 pages, 0:16 elapsed, 0:54 left\n"
            "downloading 48/240 pages, 0:22 elapsed, 0:48 left\n"
            "downloading 72/240 pages, 0:28 elapsed, 0:42 left\n"
            "downloading 96/240 pages, 0:34 elapsed, 0:36 left\n"
            "downloading 120/240 pages, 0:40 elapsed, 0:30 left\n"
            "downloading 144/240 pages, 0:46 elapsed, 0:24 left\n"
            "downloading 168/240 pages, 0:52 elapsed, 0:18 left\n"
            "downloading 192/240 pages, 0:58 elapsed, 0:12 left\n"
            "downloading 216/240 pages, 1:04 elapsed, 0:06 left\n"
            "downloading 240/240 pages, 1:11 elapsed, 0:00 left\n");
}

TEST(ProgressDisplay, OneLineRewrittenInPlaceOnATerminal) {
  const std::string text = Shown(true).run();
  EXPECT_EQ(text.rfind("\rerasing      [#######-----------------]  33%  0:02 elapsed\r", 0), 0u)
      << text;
  EXPECT_NE(text.find("\rdownloading  [##########--------------] 108/240 pages  0:37 elapsed  "
                      "0:33 left"),
            std::string::npos)
      << text;
  // The last bar is full and its line ended; a shorter line pads over a longer one.
  const std::string last =
      "\rdownloading  [########################] 240/240 pages  1:11 elapsed  0:00 left\n";
  EXPECT_EQ(text.substr(text.size() - last.size()), last);
  EXPECT_EQ(text.find('\n'), text.size() - 1);
  EXPECT_NE(text.find("\rerasing      [########################] 100%  0:02 elapsed"),
            std::string::npos);
}

// The library hands the output on in pieces: updates that arrive together tell where the
// download stood when the piece came, not when each was printed. The pace runs from the last
// update of the first piece, and holds for all of a later piece's updates.
TEST(ProgressDisplay, PaceFromUpdatesThatArriveTogether) {
  Shown shown(true);
  shown.feed("Firmware file size = 61440\n", seconds(0));
  shown.feed("\rDownloading firmware 1% \rDownloading firmware 6% \rDownloading firmware 11% ",
             seconds(10));
  EXPECT_NE(shown.text.find("24/240 pages  0:10 elapsed  -:-- left"), std::string::npos)
      << shown.text;
  shown.feed("\rDownloading firmware 16% \rDownloading firmware 21% ", seconds(13));
  EXPECT_NE(shown.text.find("36/240 pages  0:13 elapsed  0:51 left"), std::string::npos)
      << shown.text;
  EXPECT_NE(shown.text.find("48/240 pages  0:13 elapsed  0:48 left"), std::string::npos)
      << shown.text;
}

TEST(ProgressDisplay, DurationsInMinutesAndHours) {
  EXPECT_EQ(formatDuration(seconds(0)), "0:00");
  EXPECT_EQ(formatDuration(seconds(599)), "9:59");
  EXPECT_EQ(formatDuration(seconds(3600 + 62)), "1:01:02");
}

}  // namespace
