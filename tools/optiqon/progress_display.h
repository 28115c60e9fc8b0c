// How an update shows where each camera stands, from the camera API's page callback: on a
// terminal, a line per camera rewritten in place with a bar, the pages written, the time gone and
// the time left; elsewhere (a log, a pipe), a plain line at every tenth of the way, so that a log
// of a large image stays short. With several cameras each line begins with the camera's name.
// The callbacks come from each camera's own thread; the display takes them one at a time.
#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "camera.h"

// "m:ss", or "h:mm:ss" from an hour on.
std::string formatDuration(std::chrono::steady_clock::duration duration);

// Where an update stands, at the pace of the pages verified since the first: the erase before it
// takes a time of its own and tells nothing of the download's.
struct PagePace {
  using Duration = std::chrono::steady_clock::duration;
  // The first page verified: when, and how many were verified then.
  std::optional<std::pair<Duration, unsigned>> firstVerified;

  // Notes `written` pages verified `sinceStart` after the update began.
  void note(unsigned written, Duration sinceStart);
  // The time the rest of `pages` take; none until the pace is known.
  std::optional<Duration> timeLeft(unsigned written, unsigned pages, Duration sinceStart) const;
};

// The verdict as the update's last line says it: the pages written and verified and how long
// they took, or what failed.
std::string verdictLine(const UpdateVerdict& verdict, unsigned pages,
                        std::chrono::steady_clock::duration took);

class ProgressDisplay {
 public:
  using Output = std::function<void(std::string_view)>;
  using Duration = std::chrono::steady_clock::duration;

  // `terminal`: the output is a terminal that moves its cursor up a line when told to (needed
  // only for several cameras). `names` are the cameras, in the order of their lines.
  ProgressDisplay(bool terminal, Output output, std::vector<std::string> names);

  // Camera `camera` has written and verified `written` of `pages` pages (0 before its erase),
  // `sinceStart` after the update began.
  void show(std::size_t camera, unsigned written, unsigned pages, Duration sinceStart);
  // Ends the bars' lines for good, so that the verdicts follow them.
  void end();

 private:
  struct CameraState {
    std::string name;
    bool begun = false;
    unsigned written = 0;
    unsigned pages = 0;
    Duration sinceStart{};
    PagePace pace;
    bool eraseShown = false;
    int stepShown = -1;  // the last tenth of the pages shown as a plain line
  };

  std::string terminalLine(const CameraState& state) const;
  std::optional<std::string> plainLine(CameraState& state) const;
  std::string timeLeft(const CameraState& state) const;
  std::string prefix(const CameraState& state) const;
  void redrawTerminal();

  std::mutex mutex_;
  bool terminal_;
  Output output_;
  std::vector<CameraState> cameras_;
  std::vector<std::string> shown_;  // the lines on the terminal now, one per camera
};
