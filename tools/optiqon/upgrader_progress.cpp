#include "upgrader_progress.h"

#include <algorithm>
#include <charconv>

namespace {

// The flash is written in pages of 256 bytes, and the upgrader shows its download progress
// before every twelfth page: counting its updates gives the pages written exactly, where its
// rounded percentage would be off by hundreds of pages on a large image.
constexpr long PageSize = 256;
constexpr long PagesPerUpdate = 12;

bool startsWith(std::string_view text, std::string_view prefix) {
  return text.substr(0, prefix.size()) == prefix;
}

long numberAfter(std::string_view text, std::string_view prefix) {
  long number = 0;
  text.remove_prefix(prefix.size());
  std::from_chars(text.data(), text.data() + text.size(), number);
  return number;
}

bool endsWith(std::string_view text, std::string_view suffix) {
  return text.size() >= suffix.size() && text.substr(text.size() - suffix.size()) == suffix;
}

std::string_view withoutTrailingBlanks(std::string_view text) {
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) {
    text.remove_suffix(1);
  }
  return text;
}

constexpr std::string_view Erasing = "Erasing sectors ";
constexpr std::string_view Downloading = "Downloading firmware ";

bool isWholeProgress(std::string_view text) {
  return (startsWith(text, Erasing) || startsWith(text, Downloading)) && endsWith(text, "% ");
}

}  // namespace

void UpgraderProgress::take(std::string_view piece, const Listener& listener) {
  for (char c : piece) {
    if (c != '\r' && c != '\n') {
      pending_ += c;
      // A progress update is whole at its "% ": shown at once rather than when the next one
      // comes, a dozen pages later.
      if (c == ' ' && isWholeProgress(pending_)) {
        read(pending_, listener);
        pending_.clear();
      }
      continue;
    }
    const std::string segment = pending_;
    pending_.clear();
    read(segment, listener);
  }
}

void UpgraderProgress::finish(const Listener& listener) {
  take("\n", listener);
}

void UpgraderProgress::read(std::string_view segment, const Listener& listener) {
  segment = withoutTrailingBlanks(segment);
  if (segment.empty()) {
    return;
  }
  if (const std::optional<std::string_view> rest = readProgress(segment)) {
    listener(nullptr);
    read(*rest, listener);
    return;
  }
  readLine(segment);
  // The verdicts of a download the tool shows in its own words.
  if (segment == "Download Complete" || segment == "Download Failed") {
    listener(nullptr);
    return;
  }
  const std::string line(segment);
  listener(&line);
}

std::optional<std::string_view> UpgraderProgress::readProgress(std::string_view segment) {
  constexpr std::string_view LastSection = "Last section of firmware download";
  if (startsWith(segment, Erasing)) {
    phase_ = Phase::Erasing;
    erasePercent_ = static_cast<int>(std::clamp(numberAfter(segment, Erasing), 0L, 100L));
  } else if (startsWith(segment, Downloading)) {
    phase_ = Phase::Downloading;
    pagesWritten_ = std::min(downloadUpdates_++ * PagesPerUpdate, totalPages_);
  } else if (segment == LastSection) {
    pagesWritten_ = std::max(totalPages_ - 1, 0L);
    return std::string_view();
  } else {
    return std::nullopt;
  }
  const std::size_t end = segment.find("% ");
  return end == std::string_view::npos ? std::string_view() : segment.substr(end + 2);
}

void UpgraderProgress::readLine(std::string_view line) {
  constexpr std::string_view FileSize = "Firmware file size = ";
  if (startsWith(line, FileSize)) {
    totalPages_ = std::max(numberAfter(line, FileSize), 0L) / PageSize;
    return;
  }
  std::optional<int> verdict;
  if (line == "Download Complete") {
    pagesWritten_ = totalPages_;
    verdict = OPTIQON_UPGRADER_SUCCESS;
  } else if (startsWith(line, "Did not find Corvantis K3M51-USB camera")) {
    verdict = OPTIQON_UPGRADER_NO_CAMERA;
  } else if (line == "Cannot open file." || line == "Empty file" ||
             startsWith(line, "Firmware file too large") ||
             startsWith(line, "The firmware image is the upgrader's log file")) {
    verdict = OPTIQON_UPGRADER_IMAGE_REFUSED;
  } else if (line == "Erase Sectors failed") {
    verdict = OPTIQON_UPGRADER_ERASE_FAILED;
  } else if (line == "Download Failed" || line == "first setoutput report failed" ||
             endsWith(line, "The set output report failed")) {
    // A refused page write, or a read-back request refused three times (after the error code).
    verdict = OPTIQON_UPGRADER_DOWNLOAD_FAILED;
  }
  if (verdict) {
    // "Download Complete" is printed twice; the first word of the upgrader's stands.
    verdict_ = verdict_.value_or(*verdict);
    phase_ = Phase::Finished;
  }
}
