// How the update shows where it stands: on a terminal, one line rewritten in place with a bar,
// the pages written, the time gone and the time left; elsewhere (a log, a pipe), a plain line at
// every tenth of the way, so that a log of a large image stays short.
#pragma once

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "upgrader_progress.h"

// "m:ss", or "h:mm:ss" from an hour on.
std::string formatDuration(std::chrono::steady_clock::duration duration);

class ProgressDisplay {
 public:
  using Output = std::function<void(std::string_view)>;

  ProgressDisplay(bool terminal, Output output) : terminal_(terminal), output_(std::move(output)) {}

  // Shows `progress` as it stands `sinceStart` after the update began.
  void show(const UpgraderProgress& progress, std::chrono::steady_clock::duration sinceStart);
  // Takes the bar off its line, so that another line can be written there.
  void clear();
  // Ends the bar's line for good.
  void end();

 private:
  void write(const std::string& text);
  std::string terminalLine(const UpgraderProgress& progress,
                           std::chrono::steady_clock::duration sinceStart) const;
  std::string plainLine(const UpgraderProgress& progress,
                        std::chrono::steady_clock::duration sinceStart);
  std::string timeLeft(const UpgraderProgress& progress) const;

  bool terminal_;
  Output output_;
  std::string shown_;  // the bar on the terminal's line now
  // The pace of the download, from when its updates arrived. The erase before it takes its own
  // time, so the pace runs from the download's first updates. The library hands the upgrader's
  // output on in pieces of 127 characters, so several updates arrive at once: the last of the
  // first piece tells best where the download stood when it began to be seen, and the first of
  // the latest piece gives one pace for all of that piece's updates.
  struct Arrival {
    std::chrono::steady_clock::duration at;
    long pages;
  };
  void noteArrival(const UpgraderProgress& progress,
                   std::chrono::steady_clock::duration sinceStart);
  std::optional<Arrival> firstPiece_;
  std::optional<Arrival> latestPiece_;
  // The last step shown as a plain line, -1 for none: a tenth of the erase or of the pages.
  int erasingStepShown_ = -1;
  int downloadStepShown_ = -1;
};
