// The watcher that runs for this user: one at a time, known by the lock it holds on a file in the
// user's configuration folder while it runs. The file tells other commands its process and
// whether it holds the kept values, so that set can say a value will be put back, and
// watch --stop can ask it to end. The lock goes with the process, however it ends.
#pragma once

#include <filesystem>
#include <memory>
#include <optional>

// The file the lock is held on: watch.lock beside the kept profiles' folder.
std::filesystem::path watcherLockFile(const std::filesystem::path& keptFolder);

struct RunningWatcher {
  unsigned long process = 0;
  // Every how many seconds it reads the kept values back; 0 when it does not hold them.
  unsigned holdSeconds = 0;
};

class WatcherLock {
 public:
  virtual ~WatcherLock() = default;
};

// Takes the lock for this process and writes what the file tells; none when another watcher holds
// it. A CommandFailure when the file cannot be made or is a link.
std::unique_ptr<WatcherLock> claimWatcherLock(const std::filesystem::path& file,
                                              unsigned holdSeconds);

// The watcher holding the lock now; none when none runs.
std::optional<RunningWatcher> runningWatcher(const std::filesystem::path& file);

// Asks the running watcher to stop as a service stop would (SIGTERM off Windows, its stop event
// on Windows); whether it could be asked.
bool askWatcherToStop(const RunningWatcher& watcher);
