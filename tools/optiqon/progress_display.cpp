#include "progress_display.h"

#include <cstdio>

namespace {

constexpr int BarWidth = 24;

std::string bar(long done, long total) {
  const long filled = total > 0 ? done * BarWidth / total : 0;
  std::string text = "[";
  text.append(static_cast<std::size_t>(filled), '#');
  text.append(static_cast<std::size_t>(BarWidth - filled), '-');
  return text += ']';
}

int tenths(long done, long total) {
  return total > 0 ? static_cast<int>(done * 10 / total) : 0;
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

void ProgressDisplay::show(const UpgraderProgress& progress,
                           std::chrono::steady_clock::duration sinceStart) {
  noteArrival(progress, sinceStart);
  // A verdict after a download shows the pages as they ended; one before it shows nothing.
  const bool finishedDownload =
      progress.phase() == UpgraderProgress::Phase::Finished && firstPiece_;
  if (progress.phase() != UpgraderProgress::Phase::Erasing &&
      progress.phase() != UpgraderProgress::Phase::Downloading && !finishedDownload) {
    return;
  }
  if (terminal_) {
    const std::string line = terminalLine(progress, sinceStart);
    if (line != shown_) {
      // Blanks pad over what was longer before; no terminal escape codes, which not every
      // Windows console understands.
      const std::size_t padding = shown_.size() > line.size() ? shown_.size() - line.size() : 0;
      write("\r" + line + std::string(padding, ' '));
      shown_ = line;
    }
    return;
  }
  const std::string line = plainLine(progress, sinceStart);
  if (!line.empty()) {
    write(line + "\n");
  }
}

void ProgressDisplay::noteArrival(const UpgraderProgress& progress,
                                  std::chrono::steady_clock::duration sinceStart) {
  // Updates that arrive within this time of a piece's first came in that piece.
  constexpr auto SamePiece = std::chrono::milliseconds(50);
  if (progress.phase() != UpgraderProgress::Phase::Downloading) {
    return;
  }
  const Arrival now{sinceStart, progress.pagesWritten()};
  if (!firstPiece_) {
    firstPiece_ = latestPiece_ = now;
  } else if (sinceStart - latestPiece_->at >= SamePiece) {
    latestPiece_ = now;
  } else if (latestPiece_->at == firstPiece_->at) {
    firstPiece_->pages = now.pages;
    latestPiece_->pages = now.pages;
  }
}

void ProgressDisplay::clear() {
  if (!shown_.empty()) {
    std::string blank = "\r";
    blank.append(shown_.size(), ' ');
    write(blank += '\r');
    shown_.clear();
  }
}

void ProgressDisplay::end() {
  if (!shown_.empty()) {
    write("\n");
    shown_.clear();
  }
}

void ProgressDisplay::write(const std::string& text) {
  output_(text);
}

std::string ProgressDisplay::terminalLine(const UpgraderProgress& progress,
                                          std::chrono::steady_clock::duration sinceStart) const {
  if (progress.phase() == UpgraderProgress::Phase::Erasing) {
    char percent[8];
    std::snprintf(percent, sizeof percent, "%3d%%", progress.erasePercent());
    return "erasing      " + bar(progress.erasePercent(), 100) + " " + percent + "  " +
           formatDuration(sinceStart) + " elapsed";
  }
  return "downloading  " + bar(progress.pagesWritten(), progress.totalPages()) + " " +
         std::to_string(progress.pagesWritten()) + "/" + std::to_string(progress.totalPages()) +
         " pages  " + formatDuration(sinceStart) + " elapsed  " + timeLeft(progress) + " left";
}

std::string ProgressDisplay::plainLine(const UpgraderProgress& progress,
                                       std::chrono::steady_clock::duration sinceStart) {
  if (progress.phase() == UpgraderProgress::Phase::Erasing) {
    const int step = progress.erasePercent() / 10;
    if (step == erasingStepShown_) {
      return "";
    }
    erasingStepShown_ = step;
    return "erasing " + std::to_string(progress.erasePercent()) + "%";
  }
  const int step = tenths(progress.pagesWritten(), progress.totalPages());
  if (step == downloadStepShown_) {
    return "";
  }
  downloadStepShown_ = step;
  return "downloading " + std::to_string(progress.pagesWritten()) + "/" +
         std::to_string(progress.totalPages()) + " pages, " + formatDuration(sinceStart) +
         " elapsed, " + timeLeft(progress) + " left";
}

std::string ProgressDisplay::timeLeft(const UpgraderProgress& progress) const {
  const long done = progress.pagesWritten();
  if (!firstPiece_ || latestPiece_->pages <= firstPiece_->pages ||
      latestPiece_->at <= firstPiece_->at) {
    return "-:--";
  }
  const auto perPage =
      (latestPiece_->at - firstPiece_->at) / (latestPiece_->pages - firstPiece_->pages);
  return formatDuration(perPage * (progress.totalPages() - done));
}
