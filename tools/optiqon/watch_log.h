// The watcher's log: a line for each thing it does to a camera, beginning with the time in UTC, on
// standard error (which a service manager puts into the system log) or appended to a file that is
// kept to a bounded size, for a watcher that runs without a terminal.
#pragma once

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

class WatchLog {
 public:
  // When the next line would take the file past `limit` bytes, the file becomes FILE.1 (replacing
  // the one before) and a new file starts: at most twice the limit is kept.
  static constexpr std::uintmax_t DefaultLimit = 1024 * 1024;

  // To standard error without a file; a CommandFailure when the file cannot be written or is a
  // link.
  explicit WatchLog(std::optional<std::filesystem::path> file, std::uintmax_t limit = DefaultLimit);

  // Writes "TIME TEXT\n", TIME as 2026-12-10T01:46:18Z.
  void line(const std::string& text);

 private:
  void open();
  void startAnew();

  std::optional<std::filesystem::path> file_;
  std::uintmax_t limit_;
  std::ofstream out_;
  std::uintmax_t size_ = 0;
};

// The time now in UTC as the log writes it.
std::string utcTimeNow();
