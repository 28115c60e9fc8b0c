#include "sim_plug_file.h"

#include <filesystem>
#include <system_error>
#include <utility>

namespace sim {

namespace {

// The file's modification time in the file system's own ticks, as text; "" when there is no
// file.
std::string pluggingMark(const std::string& path) {
  std::error_code error;
  const auto written = std::filesystem::last_write_time(path, error);
  if (error) {
    return {};
  }
  return std::to_string(static_cast<long long>(written.time_since_epoch().count()));
}

}  // namespace

PlugFile::PlugFile(std::string path) : path_(std::move(path)) {}

PlugFile::Look PlugFile::look() {
  if (path_.empty()) {
    return {true, false};
  }
  std::string mark = pluggingMark(path_);
  const bool present = !mark.empty();
  const bool pluggedIn = looked_ && present && mark != plugging_;
  if (pluggedIn) {
    ++pluggingsSeen_;
  }
  looked_ = true;
  plugging_ = std::move(mark);
  return {present, pluggedIn};
}

}  // namespace sim
