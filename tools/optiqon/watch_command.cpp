// watch: runs until stopped and gives each camera its kept profile whenever it is plugged in; with
// --hold, also reads the kept values back every few seconds and puts back any that another
// program changed. It waits on the platform's device events, so that it uses no processor time
// while nothing is plugged in or out and no value is held.
#include <algorithm>
#include <chrono>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>

#include "commands.h"
#include "device_events.h"
#include "kept_profiles.h"
#include "kept_values.h"
#include "output_format.h"
#include "stop_requests.h"
#include "watch_log.h"
#include "watcher_lock.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

// A camera is given its profile again this often, up to so many times, when it could not be
// opened just after it was plugged in.
constexpr std::chrono::milliseconds RetryAfter{250};
constexpr unsigned MaxRetries = 4;

// The longest hold: a day.
constexpr unsigned MaxHoldSeconds = 86400;

struct WatchOptions {
  unsigned holdSeconds = 0;
  std::string logFile;
  bool stop = false;
};

std::string joined(const std::vector<std::string>& names) {
  std::string text;
  for (const std::string& name : names) {
    text += (text.empty() ? "" : ", ") + name;
  }
  return text;
}

std::string count(unsigned number, const char* what) {
  return std::to_string(number) + " " + what;
}

// What the watcher has done with each camera plugged in: by serial number, the cameras it has
// dealt with since they were last plugged in, and where each is plugged in.
class Watcher {
 public:
  Watcher(fs::path folder, WatchLog& log) : folder_(std::move(folder)), log_(log) {}

  // Gives each camera plugged in since the last look its kept profile.
  void lookAtCameras() {
    std::map<std::string, std::string> present;  // serial number -> location
    for (const CameraListing& camera : listCameras()) {
      if (camera.serialNumber && camera.videoSide && camera.hidSide) {
        present.emplace(*camera.serialNumber, camera.location);
      }
    }
    std::erase_if(seen_, [&present](const auto& camera) {
      const auto there = present.find(camera.first);
      return there == present.end() || there->second != camera.second;
    });
    bool pending = false;
    for (const auto& [serial, location] : present) {
      if (!seen_.contains(serial)) {
        if (giveKeptProfile(serial, location)) {
          seen_.emplace(serial, location);
        } else {
          pending = true;
        }
      }
    }
    retryAt_ = pending && retries_++ < MaxRetries ? std::optional(Clock::now() + RetryAfter)
                                                  : std::nullopt;
  }

  // A device that left: its camera, when it comes back, is given its profile again.
  void deviceLeft(const std::string& location) {
    std::erase_if(seen_, [&location](const auto& camera) { return camera.second == location; });
  }

  void deviceArrived() { retries_ = 0; }

  // Reads back the kept values of every camera plugged in and puts back what differs.
  void holdKeptValues() {
    for (auto camera = seen_.begin(); camera != seen_.end();) {
      if (holdKeptValues(camera->first, camera->second)) {
        ++camera;
      } else {
        camera = seen_.erase(camera);
      }
    }
  }

  std::optional<Clock::time_point> retryAt() const { return retryAt_; }

 private:
  // The camera's kept profile, checked whole; none, after saying why once, when there is none
  // or it cannot be used.
  std::optional<std::vector<ProfileValue>> keptProfile(const std::string& serial) {
    try {
      std::optional<std::vector<ProfileValue>> values = readKeptProfile(folder_, serial);
      unusable_.erase(serial);
      return values;
    } catch (const UsageError& error) {
      if (unusable_.insert(serial).second) {
        log_.line("camera " + serial + ": kept profile unusable: " + error.what() +
                  ": nothing sent");
      }
      return std::nullopt;
    }
  }

  // False when the camera went away before every value was given: it is given them again when
  // it is back.
  bool giveKeptProfile(const std::string& serial, const std::string& location) {
    unusable_.erase(serial);  // said again at each plugging
    const std::optional<std::vector<ProfileValue>> values = keptProfile(serial);
    if (!values) {
      return true;
    }
    try {
      const std::unique_ptr<Camera> camera = openCamera({std::nullopt, location});
      const KeptValuesOutcome outcome = giveKeptValues(*camera, *values);
      std::string refused = count(static_cast<unsigned>(outcome.refused.size()), "refused");
      if (!outcome.refused.empty()) {
        refused += " (" + joined(outcome.refused) + ")";
      }
      log_.line("camera " + serial + ": kept profile applied: " + count(outcome.set, "set") + ", " +
                refused + ", " + count(outcome.unchanged, "already held") + ": " +
                (outcome.refused.empty() ? "done" : "refused"));
      return true;
    } catch (const CommandFailure& failure) {
      log_.line("camera " + serial + ": unplugged while its kept profile was applied (" +
                failure.what() + "): applied again when it is plugged in");
      return false;
    }
  }

  bool holdKeptValues(const std::string& serial, const std::string& location) {
    const std::optional<std::vector<ProfileValue>> values = keptProfile(serial);
    if (!values) {
      return true;
    }
    try {
      const std::unique_ptr<Camera> camera = openCamera({std::nullopt, location});
      const KeptValuesOutcome outcome = giveKeptValues(
          *camera, *values, [this, &serial](const ProfileValue& kept, const Reading& held) {
            log_.line("camera " + serial + ": " + kept.setting.label + " was changed to " +
                      formatReading(held) + ": put back to " +
                      formatValue(kept.setting, kept.file));
          });
      if (!outcome.refused.empty()) {
        log_.line("camera " + serial + ": did not take back " + joined(outcome.refused));
      }
      return true;
    } catch (const CommandFailure& failure) {
      log_.line("camera " + serial + ": unplugged while its kept values were read back (" +
                failure.what() + "): applied again when it is plugged in");
      return false;
    }
  }

  fs::path folder_;
  WatchLog& log_;
  std::map<std::string, std::string> seen_;
  std::set<std::string> unusable_;  // serial numbers whose kept profile was said to be unusable
  std::optional<Clock::time_point> retryAt_;
  unsigned retries_ = 0;
};

// While it lives, the camera API's diagnostics are lines of the log, with their time.
class DiagnosticsIntoLog {
 public:
  explicit DiagnosticsIntoLog(WatchLog& log) {
    sendDiagnosticsTo([&log](const std::string& line) { log.line(line); });
  }
  ~DiagnosticsIntoLog() { sendDiagnosticsTo(nullptr); }
  DiagnosticsIntoLog(const DiagnosticsIntoLog&) = delete;
  DiagnosticsIntoLog& operator=(const DiagnosticsIntoLog&) = delete;
};

fs::path keptFolderOrFail() {
  const std::optional<fs::path> folder = keptProfilesFolder();
  if (!folder) {
    throw CommandFailure(BadUsage,
                         "no configuration folder for kept profiles: set HOME or "
                         "XDG_CONFIG_HOME (APPDATA on Windows)");
  }
  return *folder;
}

int stopWatcher(const fs::path& folder) {
  const std::optional<RunningWatcher> watcher = runningWatcher(watcherLockFile(folder));
  if (!watcher) {
    printLine("no watcher is running");
    return Ok;
  }
  if (!askWatcherToStop(*watcher)) {
    printProblem("cannot ask the watcher (process " + std::to_string(watcher->process) +
                 ") to stop");
    return Refused;
  }
  printLine("the watcher (process " + std::to_string(watcher->process) + ") was asked to stop");
  return Ok;
}

std::chrono::milliseconds timeUntil(std::optional<Clock::time_point> first,
                                    std::optional<Clock::time_point> second) {
  std::optional<Clock::time_point> next = first;
  if (second && (!next || *second < *next)) {
    next = second;
  }
  if (!next) {
    return Forever;
  }
  return std::max(std::chrono::milliseconds(0),
                  std::chrono::duration_cast<std::chrono::milliseconds>(*next - Clock::now()));
}

int watch(const WatchOptions& options) {
  const fs::path folder = keptFolderOrFail();
  if (options.stop) {
    return stopWatcher(folder);
  }
  std::error_code error;
  fs::create_directories(folder, error);
  const console::StopRequests stop(console::StopFromOutside::watchStop);
  const fs::path lockFile = watcherLockFile(folder);
  const std::unique_ptr<WatcherLock> lock = claimWatcherLock(lockFile, options.holdSeconds);
  if (!lock) {
    const std::optional<RunningWatcher> other = runningWatcher(lockFile);
    throw CommandFailure(Refused,
                         "a watcher is already running for this user" +
                             (other ? " (process " + std::to_string(other->process) + ")" : "") +
                             ": 'optiqon watch --stop' stops it");
  }
  WatchLog log(options.logFile.empty() ? std::nullopt : std::optional<fs::path>(options.logFile));
  const DiagnosticsIntoLog diagnostics(log);
  const std::unique_ptr<DeviceEvents> events = watchDeviceEvents(stop);
  const std::chrono::seconds hold(options.holdSeconds);
  log.line("watching for cameras plugged in, their kept profiles in " + folder.string() +
           (options.holdSeconds > 0
                ? "; holding the kept values every " + std::to_string(options.holdSeconds) + " s"
                : ""));

  Watcher watcher(folder, log);
  watcher.lookAtCameras();
  std::optional<Clock::time_point> nextHold;
  if (options.holdSeconds > 0) {
    nextHold = Clock::now() + hold;
  }
  while (!stop.requested()) {
    const std::vector<DeviceEvent> arrived = events->wait(timeUntil(nextHold, watcher.retryAt()));
    if (stop.requested()) {
      break;
    }
    for (const DeviceEvent& event : arrived) {
      if (event.kind == DeviceEvent::Kind::Left) {
        watcher.deviceLeft(event.location);
      } else {
        watcher.deviceArrived();
      }
    }
    const auto now = Clock::now();
    if (!arrived.empty() || (watcher.retryAt() && *watcher.retryAt() <= now)) {
      watcher.lookAtCameras();
    }
    if (nextHold && *nextHold <= now) {
      watcher.holdKeptValues();
      nextHold = now + hold;
    }
  }
  log.line("stopped");
  return Ok;
}

}  // namespace

void addWatchCommand(CommandRegistry& commands) {
  const auto options = std::make_shared<WatchOptions>();
  CLI::App& command = commands.add(
      "watch",
      "Runs until stopped, and gives each camera its kept profile (see 'remember') whenever it "
      "is plugged in, logging a line for each",
      [options](const CommandContext& context) {
        if (!context.options().serials.empty() || !context.options().location.empty()) {
          throw UsageError(
              "watch gives every camera with a kept profile its profile: it takes no --serial "
              "or --location ('optiqon forget' leaves a camera alone)");
        }
        return watch(*options);
      });
  command
      .add_option("--hold", options->holdSeconds,
                  "Also read the kept values back every SECONDS and put back any that another "
                  "program changed. A change meant to stay goes into the kept profile with "
                  "'optiqon set --remember'; any other change to a kept value is put back")
      ->check(CLI::Range(1u, MaxHoldSeconds))
      ->option_text("SECONDS");
  command.add_option("--log-file", options->logFile,
                     "Append the log to this file instead of standard error, kept below 1 MiB "
                     "(the lines before are in FILE.1)");
  command.add_flag("--stop", options->stop,
                   "Ask the watcher running for this user to stop, and return");
}
