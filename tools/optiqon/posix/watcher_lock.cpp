// The watcher's lock on POSIX systems: flock() on the file, which the process holds until it ends
// and which leaves the file readable to others.
#include "../watcher_lock.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <string>

#include "../exit_codes.h"

namespace {

class Descriptor {
 public:
  explicit Descriptor(int descriptor) : descriptor_(descriptor) {}
  ~Descriptor() {
    if (descriptor_ >= 0) {
      close(descriptor_);
    }
  }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  int get() const { return descriptor_; }

 private:
  int descriptor_;
};

class FlockedFile : public WatcherLock {
 public:
  explicit FlockedFile(int descriptor) : file_(descriptor) {}

 private:
  Descriptor file_;
};

// What the file tells: "PID HOLD\n"; none for anything else.
std::optional<RunningWatcher> parseLockText(const std::string& text) {
  RunningWatcher watcher;
  std::size_t at = 0;
  const auto number = [&text, &at](unsigned long& value, char end) {
    const std::size_t first = at;
    value = 0;
    while (at < text.size() && text[at] >= '0' && text[at] <= '9' && at - first < 9) {
      value = value * 10 + static_cast<unsigned long>(text[at++] - '0');
    }
    return at > first && at < text.size() && text[at++] == end;
  };
  unsigned long hold = 0;
  if (!number(watcher.process, ' ') || !number(hold, '\n') || at != text.size() ||
      watcher.process == 0) {
    return std::nullopt;
  }
  watcher.holdSeconds = static_cast<unsigned>(hold);
  return watcher;
}

}  // namespace

std::unique_ptr<WatcherLock> claimWatcherLock(const std::filesystem::path& file,
                                              unsigned holdSeconds) {
  const int descriptor = open(file.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (descriptor < 0) {
    throw CommandFailure(Refused, "cannot open the watcher's lock file " + file.string() +
                                      (errno == ELOOP ? ": it is a link" : ""));
  }
  auto lock = std::make_unique<FlockedFile>(descriptor);
  if (flock(descriptor, LOCK_EX | LOCK_NB) != 0) {
    return nullptr;
  }
  const std::string text = std::to_string(getpid()) + " " + std::to_string(holdSeconds) + "\n";
  if (ftruncate(descriptor, 0) != 0 ||
      pwrite(descriptor, text.data(), text.size(), 0) != static_cast<ssize_t>(text.size())) {
    throw CommandFailure(Refused, "cannot write the watcher's lock file " + file.string());
  }
  return lock;
}

std::optional<RunningWatcher> runningWatcher(const std::filesystem::path& file) {
  const Descriptor descriptor(open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW));
  if (descriptor.get() < 0 || flock(descriptor.get(), LOCK_SH | LOCK_NB) == 0) {
    return std::nullopt;  // no file, or nobody holds it
  }
  std::array<char, 64> bytes{};
  const ssize_t length = pread(descriptor.get(), bytes.data(), bytes.size(), 0);
  if (length <= 0) {
    return std::nullopt;
  }
  return parseLockText(std::string(bytes.data(), static_cast<std::size_t>(length)));
}

bool askWatcherToStop(const RunningWatcher& watcher) {
  return kill(static_cast<pid_t>(watcher.process), SIGTERM) == 0;
}
