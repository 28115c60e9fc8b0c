#include "watcher_lock.h"

std::filesystem::path watcherLockFile(const std::filesystem::path& keptFolder) {
  return keptFolder.parent_path() / "watch.lock";
}
