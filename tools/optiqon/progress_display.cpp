#include "progress_display.h"

#include <cstdio>

namespace {

constexpr int BarWidth = 24;
// Moves the cursor up to the first camera's line, to write every line again.
constexpr const char* CursorUp = "\x1b[%zuA";

std::string bar(unsigned done, unsigned total) {
  const unsigned filled = total > 0 ? done * BarWidth / total : 0;
  std::string text = "[";
  text.append(filled, '#');
  text.append(BarWidth - filled, '-');
  return text += ']';
}

}  // namespace

std::string formatDuration(std::chrono::steady_clock::duration duration) {
  const long seconds =
      static_cast<long>(std::chrono::duration_cast<std::chrono::seconds>(duration).count());
  char text[32];
  if (seconds >= 3600) {
    std::snprintf(text, sizeof text, "%ld:%02ld:%02ld", seconds / 3600, seconds / 60 % 60,
                  seconds % 60);
  } else {
    std::snprintf(text, sizeof text, "%ld:%02ld", seconds / 60, seconds % 60);
  }
  return text;
}

void PagePace::note(unsigned written, Duration sinceStart) {
  if (written > 0 && !firstVerified) {
    firstVerified = {sinceStart, written};
  }
}

std::optional<PagePace::Duration> PagePace::timeLeft(unsigned written, unsigned pages,
                                                     Duration sinceStart) const {
  if (!firstVerified || written <= firstVerified->second || sinceStart <= firstVerified->first) {
    return std::nullopt;
  }
  const auto perPage = (sinceStart - firstVerified->first) / (written - firstVerified->second);
  return perPage * (pages - written);
}

std::string verdictLine(const UpdateVerdict& verdict, unsigned pages,
                        std::chrono::steady_clock::duration took) {
  switch (verdict.code) {
    case OPTIQON_UPGRADER_SUCCESS:
      return "firmware updated: " + std::to_string(pages) + " pages written and verified in " +
             formatDuration(took);
    case OPTIQON_UPGRADER_NO_CAMERA:
      return "firmware not updated: no camera";
    case OPTIQON_UPGRADER_IMAGE_REFUSED:
      return "firmware not updated: the camera cannot use the image";
    case OPTIQON_UPGRADER_ERASE_FAILED:
      return "firmware update failed: the flash could not be erased; the camera has no working "
             "firmware until an update succeeds";
    default:
      return "firmware update failed: a page was refused or did not verify; the camera has no "
             "working firmware until an update succeeds";
  }
}

ProgressDisplay::ProgressDisplay(bool terminal, Output output, std::vector<std::string> names)
    : terminal_(terminal), output_(std::move(output)) {
  for (std::string& name : names) {
    CameraState state;
    state.name = std::move(name);
    cameras_.push_back(std::move(state));
  }
}

void ProgressDisplay::show(std::size_t camera, unsigned written, unsigned pages,
                           Duration sinceStart) {
  const std::lock_guard<std::mutex> lock(mutex_);
  CameraState& state = cameras_.at(camera);
  state.begun = true;
  state.written = written;
  state.pages = pages;
  state.sinceStart = sinceStart;
  state.pace.note(written, sinceStart);
  if (terminal_) {
    redrawTerminal();
  } else if (const std::optional<std::string> line = plainLine(state)) {
    output_(*line + "\n");
  }
}

void ProgressDisplay::end() {
  const std::lock_guard<std::mutex> lock(mutex_);
  if (!shown_.empty() && cameras_.size() == 1) {
    output_("\n");
  }
  shown_.clear();
}

// One camera: its line rewritten after a carriage return, blanks over what was longer before,
// and no escape codes, which not every Windows console understands. Several: every line written
// again from the first, after moving the cursor up to it.
void ProgressDisplay::redrawTerminal() {
  std::vector<std::string> lines;
  for (const CameraState& state : cameras_) {
    lines.push_back(terminalLine(state));
  }
  if (lines == shown_) {
    return;
  }
  std::string text;
  if (cameras_.size() == 1) {
    const std::size_t before = shown_.empty() ? 0 : shown_.front().size();
    const std::size_t padding = before > lines.front().size() ? before - lines.front().size() : 0;
    text = "\r" + lines.front() + std::string(padding, ' ');
  } else {
    if (!shown_.empty()) {
      char up[16];
      std::snprintf(up, sizeof up, CursorUp, shown_.size());
      text = up;
    }
    for (std::size_t i = 0; i < lines.size(); ++i) {
      const std::size_t before = i < shown_.size() ? shown_[i].size() : 0;
      const std::size_t padding = before > lines[i].size() ? before - lines[i].size() : 0;
      text += "\r" + lines[i] + std::string(padding, ' ') + "\n";
    }
  }
  output_(text);
  shown_ = std::move(lines);
}

std::string ProgressDisplay::prefix(const CameraState& state) const {
  return cameras_.size() > 1 ? state.name + ": " : "";
}

std::string ProgressDisplay::terminalLine(const CameraState& state) const {
  if (!state.begun) {
    return prefix(state) + "waiting";
  }
  const std::string pages = std::to_string(state.written) + "/" + std::to_string(state.pages) +
                            " pages  " + formatDuration(state.sinceStart) + " elapsed";
  if (state.written == 0) {
    return prefix(state) + "erasing      " + bar(0, state.pages) + " " + pages;
  }
  return prefix(state) + "downloading  " + bar(state.written, state.pages) + " " + pages + "  " +
         timeLeft(state) + " left";
}

// The erase once, then the download at each tenth of its pages.
std::optional<std::string> ProgressDisplay::plainLine(CameraState& state) const {
  if (state.written == 0) {
    if (!state.eraseShown) {
      state.eraseShown = true;
      return prefix(state) + "erasing the flash for " + std::to_string(state.pages) + " pages";
    }
    return std::nullopt;
  }
  const int step = state.pages > 0 ? static_cast<int>(state.written * 10 / state.pages) : 10;
  if (step == state.stepShown) {
    return std::nullopt;
  }
  state.stepShown = step;
  return prefix(state) + "downloading " + std::to_string(state.written) + "/" +
         std::to_string(state.pages) + " pages, " + formatDuration(state.sinceStart) +
         " elapsed, " + timeLeft(state) + " left";
}

// From the pace of the pages verified since the first.
std::string ProgressDisplay::timeLeft(const CameraState& state) const {
  const std::optional<Duration> left =
      state.pace.timeLeft(state.written, state.pages, state.sinceStart);
  return left ? formatDuration(*left) : "-:--";
}
