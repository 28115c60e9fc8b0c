// The upgrader's output, as the library echoes it, read back into where the update stands. The
// upgrader rewrites its progress on one line with carriage returns ("\rErasing sectors 40% ",
// "\rDownloading firmware 13% ") and prints its other lines, its verdict among them, whole;
// the library hands them on in pieces of up to 127 characters, which may end anywhere.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "OptiqonCamera.h"

class UpgraderProgress {
 public:
  enum class Phase { Starting, Erasing, Downloading, Finished };

  // Called for each update of the progress, and for each of the upgrader's lines that says
  // more than the progress does (the camera it found, the image's size, a refused report, why
  // it stopped), with that line.
  using Listener = std::function<void(const std::string* line)>;

  // Reads the next piece of output, telling `listener` of every step in it.
  void take(std::string_view piece, const Listener& listener);
  // The output has ended: reads what is left of it.
  void finish(const Listener& listener);

  Phase phase() const { return phase_; }
  int erasePercent() const { return erasePercent_; }
  long pagesWritten() const { return pagesWritten_; }
  // 0 until the upgrader has told the image's size.
  long totalPages() const { return totalPages_; }
  // The upgrader's exit code (OptiqonUpgraderExitCode) as its lines tell it; empty while it has
  // not told.
  std::optional<int> verdict() const { return verdict_; }

 private:
  // One line or one progress update, without its line end.
  void read(std::string_view segment, const Listener& listener);
  // Takes a progress update from the front of `segment`; what the upgrader printed after it
  // on the same line (why it stopped) is handed back. Empty when `segment` is no progress.
  std::optional<std::string_view> readProgress(std::string_view segment);
  // A line that says more than the progress, and what it tells of the verdict.
  void readLine(std::string_view line);

  std::string pending_;
  Phase phase_ = Phase::Starting;
  int erasePercent_ = 0;
  long downloadUpdates_ = 0;
  long pagesWritten_ = 0;
  long totalPages_ = 0;
  std::optional<int> verdict_;
};
