#include "watch_log.h"

#include <array>
#include <chrono>
#include <ctime>
#include <system_error>

#include "console_streams.h"
#include "exit_codes.h"

namespace fs = std::filesystem;

std::string utcTimeNow() {
  const std::time_t now = std::chrono::system_clock::to_time_t(std::chrono::system_clock::now());
  // The watcher logs from one thread, so gmtime's shared result is not raced.
  const std::tm* utc = std::gmtime(&now);
  std::array<char, 32> text{};
  if (utc == nullptr || std::strftime(text.data(), text.size(), "%Y-%m-%dT%H:%M:%SZ", utc) == 0) {
    return "0000-00-00T00:00:00Z";
  }
  return text.data();
}

WatchLog::WatchLog(std::optional<fs::path> file, std::uintmax_t limit)
    : file_(std::move(file)), limit_(limit) {
  if (file_) {
    open();
  }
}

void WatchLog::open() {
  std::error_code error;
  if (fs::is_symlink(fs::symlink_status(*file_, error))) {
    throw CommandFailure(BadUsage, "the log file " + file_->string() + " is a link: not written");
  }
  fs::create_directories(file_->parent_path(), error);
  out_.open(*file_, std::ios::binary | std::ios::app);
  if (!out_) {
    throw CommandFailure(BadUsage, "cannot write the log file " + file_->string());
  }
  size_ = fs::file_size(*file_, error);
  if (error) {
    size_ = 0;
  }
}

// The file as it was becomes FILE.1, so that the newest lines are in FILE and the ones before
// them in FILE.1.
void WatchLog::startAnew() {
  out_.close();
  fs::path older = *file_;
  older += ".1";
  std::error_code error;
  fs::remove(older, error);  // renaming onto an existing file fails on Windows
  fs::rename(*file_, older, error);
  if (error) {
    fs::remove(*file_, error);
  }
  open();
}

void WatchLog::line(const std::string& text) {
  const std::string whole = utcTimeNow() + " " + text + "\n";
  if (!file_) {
    console::writeAll(2, whole);
    return;
  }
  if (size_ > 0 && size_ + whole.size() > limit_) {
    try {
      startAnew();
    } catch (const CommandFailure& failure) {
      // The log goes on where it can be read rather than ending the watcher.
      file_.reset();
      console::writeAll(2,
                        utcTimeNow() + " " + failure.what() + ": logging here instead\n" + whole);
      return;
    }
  }
  out_ << whole << std::flush;
  size_ += whole.size();
}
