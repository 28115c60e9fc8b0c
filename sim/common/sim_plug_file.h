// A camera that a scenario plugs in only while a file exists, so that a test or a person can pull
// it out and plug it in again while programs run: removing the file unplugs the camera, making it
// again plugs it in. Each look at the file tells whether the camera is plugged in and whether it
// was plugged in again since the last look; the file's modification time tells one plugging from
// the next across processes, so that a file made again (or touched) is a new plugging even when no
// process saw the camera gone.
#pragma once

#include <cstdint>
#include <string>

namespace sim {

class PlugFile {
 public:
  PlugFile() = default;  // no file: the camera is always plugged in
  explicit PlugFile(std::string path);

  struct Look {
    bool present;    // the camera is plugged in
    bool pluggedIn;  // ... and was plugged in since the last look, which found it gone or earlier
  };

  // Looks at the file now. The first look finds the camera as it is, plugged in or not, with
  // pluggedIn false: it is how this process found it.
  Look look();

  bool named() const { return !path_.empty(); }
  const std::string& path() const { return path_; }
  // This plugging's mark, the file's modification time as the last look found it: "" when the
  // camera was not plugged in then, or has no file.
  const std::string& plugging() const { return plugging_; }
  // Counts the pluggings this process saw: what was opened in an earlier one is gone for good, as
  // a handle to a device pulled out stays dead when the device comes back.
  std::uint64_t pluggingsSeen() const { return pluggingsSeen_; }

 private:
  std::string path_;
  bool looked_ = false;
  std::string plugging_;
  std::uint64_t pluggingsSeen_ = 0;
};

}  // namespace sim
