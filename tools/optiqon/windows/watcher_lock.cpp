// The watcher's lock on Windows: an exclusive byte-range lock (LockFileEx) on one byte far past
// the file's content. Windows' locks are mandatory, so a lock on the content itself would keep
// other commands from reading which process holds it; past the end nothing is ever read. The
// system lets the lock go when the process ends, however it ends. The running watcher is asked to
// stop through its stop event, which only a process of the same session reaches.
#include "../watcher_lock.h"

#include <windows.h>

#include <array>
#include <cstdint>
#include <string>

#include "../exit_codes.h"
#include "watch_stop_event.h"

namespace {

// The byte locked: far beyond any content, and within what every file system's locks take.
constexpr std::uint64_t LockedByte = std::uint64_t{1} << 62;
// "PID HOLD\n" with two 32-bit numbers is at most 22 bytes; more is not the watcher's.
constexpr DWORD MaxLockText = 32;
// A watcher ends within a second of its stop request; a wait for it ends after this.
constexpr DWORD WatcherEndMilliseconds = 5000;

class FileHandle {
 public:
  explicit FileHandle(HANDLE handle) : handle_(handle) {}
  ~FileHandle() {
    if (valid()) {
      CloseHandle(handle_);
    }
  }
  FileHandle(const FileHandle&) = delete;
  FileHandle& operator=(const FileHandle&) = delete;

  HANDLE get() const { return handle_; }
  bool valid() const { return handle_ != INVALID_HANDLE_VALUE; }
  HANDLE release() {
    const HANDLE handle = handle_;
    handle_ = INVALID_HANDLE_VALUE;
    return handle;
  }

 private:
  HANDLE handle_;
};

OVERLAPPED at(std::uint64_t offset) {
  OVERLAPPED overlapped{};
  overlapped.Offset = static_cast<DWORD>(offset);
  overlapped.OffsetHigh = static_cast<DWORD>(offset >> 32);
  return overlapped;
}

bool lockByte(HANDLE file) {
  OVERLAPPED where = at(LockedByte);
  return LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &where) !=
         0;
}

void unlockByte(HANDLE file) {
  OVERLAPPED where = at(LockedByte);
  UnlockFileEx(file, 0, 1, 0, &where);
}

class LockedFile : public WatcherLock {
 public:
  explicit LockedFile(HANDLE file) : file_(file) {}
  // Closing the handle lets the lock go too, but at a time of the system's choosing.
  ~LockedFile() override { unlockByte(file_.get()); }

 private:
  FileHandle file_;
};

// The file itself, never what a reparse point (a symbolic link, a junction) leads to; shared so
// that other commands read it and that its folder can be removed while a watcher runs.
HANDLE openLockFile(const std::filesystem::path& file, DWORD access, DWORD disposition) {
  return CreateFileW(file.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                     nullptr, disposition, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT,
                     nullptr);
}

// A plain file with one name: neither a reparse point, a folder, nor a second name (a hard link)
// of a file elsewhere, which writing the lock's text would change.
bool isPlainFile(HANDLE file) {
  BY_HANDLE_FILE_INFORMATION information{};
  return GetFileInformationByHandle(file, &information) != 0 &&
         (information.dwFileAttributes &
          (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) == 0 &&
         information.nNumberOfLinks == 1;
}

bool writeLockText(HANDLE file, const std::string& text) {
  LARGE_INTEGER start{};
  DWORD written = 0;
  return SetFilePointerEx(file, start, nullptr, FILE_BEGIN) != 0 && SetEndOfFile(file) != 0 &&
         WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) != 0 &&
         written == text.size() && FlushFileBuffers(file) != 0;
}

// A decimal number of at most ten digits that fits 32 bits, then `end`.
bool readNumber(const std::string& text, std::size_t& at, std::uint32_t& value, char end) {
  const std::size_t first = at;
  std::uint64_t number = 0;
  while (at < text.size() && at - first < 10 && text[at] >= '0' && text[at] <= '9') {
    number = number * 10 + static_cast<std::uint64_t>(text[at++] - '0');
  }
  if (at == first || number > UINT32_MAX || at >= text.size() || text[at] != end) {
    return false;
  }
  ++at;
  value = static_cast<std::uint32_t>(number);
  return true;
}

// "PID HOLD\n" and nothing else; none for anything else (a file being written, or not the
// watcher's).
std::optional<RunningWatcher> parseLockText(const std::string& text) {
  std::size_t at = 0;
  std::uint32_t process = 0;
  std::uint32_t hold = 0;
  if (!readNumber(text, at, process, ' ') || !readNumber(text, at, hold, '\n') ||
      at != text.size() || process == 0) {
    return std::nullopt;
  }
  return RunningWatcher{process, hold};
}

}  // namespace

std::unique_ptr<WatcherLock> claimWatcherLock(const std::filesystem::path& file,
                                              unsigned holdSeconds) {
  FileHandle opened(openLockFile(file, GENERIC_READ | GENERIC_WRITE, OPEN_ALWAYS));
  if (!opened.valid()) {
    const DWORD error = GetLastError();
    throw CommandFailure(Refused, "cannot open the watcher's lock file " + file.string() +
                                      " (Windows error " + std::to_string(error) + ")");
  }
  if (!isPlainFile(opened.get())) {
    throw CommandFailure(Refused, "the watcher's lock file " + file.string() +
                                      " is a link or not a plain file: remove it");
  }
  if (!lockByte(opened.get())) {
    return nullptr;
  }
  const std::string text =
      std::to_string(GetCurrentProcessId()) + " " + std::to_string(holdSeconds) + "\n";
  if (!writeLockText(opened.get(), text)) {
    unlockByte(opened.get());
    throw CommandFailure(Refused, "cannot write the watcher's lock file " + file.string());
  }
  return std::make_unique<LockedFile>(opened.release());
}

std::optional<RunningWatcher> runningWatcher(const std::filesystem::path& file) {
  const FileHandle opened(openLockFile(file, GENERIC_READ, OPEN_EXISTING));
  if (!opened.valid() || !isPlainFile(opened.get())) {
    return std::nullopt;
  }
  if (lockByte(opened.get())) {
    unlockByte(opened.get());
    return std::nullopt;  // nobody holds it
  }
  std::array<char, MaxLockText + 1> bytes{};
  OVERLAPPED start = at(0);
  DWORD length = 0;
  if (ReadFile(opened.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &length, &start) ==
      0) {
    return std::nullopt;
  }
  return parseLockText(std::string(bytes.data(), length));
}

// The installer asks before it removes or replaces the kit's files, which Windows does not do to
// a program running: so the request returns once the watcher has ended, or after a few seconds.
bool askWatcherToStop(const RunningWatcher& watcher) {
  const HANDLE event = OpenEventW(EVENT_MODIFY_STATE, FALSE, WatchStopEventName);
  if (event == nullptr) {
    return false;
  }
  // Opened before the request, so that the number cannot name another process by the time the
  // watcher has ended.
  const HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, static_cast<DWORD>(watcher.process));
  const bool set = SetEvent(event) != 0;
  CloseHandle(event);
  if (process != nullptr) {
    if (set) {
      WaitForSingleObject(process, WatcherEndMilliseconds);
    }
    CloseHandle(process);
  }
  return set;
}
