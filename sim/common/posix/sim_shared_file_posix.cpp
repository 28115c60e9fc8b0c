// The shared file over POSIX: flock(2) for the turns, which the kernel gives back when the
// process ends however it ends, and a MAP_SHARED mapping, whose stores are the file's pages.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <utility>

#include "../sim_scenario_file.h"
#include "../sim_shared_file.h"

namespace sim {

namespace {

int openFile(const std::string& path, SharedFile::Links links, bool& existed) {
  struct stat status {};
  existed = ::lstat(path.c_str(), &status) == 0;
  const int noFollow = links == SharedFile::Links::Refuse ? O_NOFOLLOW : 0;
  return ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | noFollow, 0666);
}

void takeLock(int descriptor, const std::string& path) {
  if (::flock(descriptor, LOCK_EX | LOCK_NB) == 0 || errno != EWOULDBLOCK) {
    return;  // taken, or a file system without locks, where each process goes on alone
  }
  std::fprintf(stderr, "simulated camera: %s is in use by another program; waiting for it\n",
               path.c_str());
  while (::flock(descriptor, LOCK_EX) != 0 && errno == EINTR) {
  }
}

}  // namespace

SharedFile::SharedFile(const std::string& path, std::string_view what, Links links, Lock lock)
    : path_(path), what_(what) {
  bool existed = false;
  const int descriptor = openFile(path, links, existed);
  if (descriptor < 0) {
    throw ScenarioError(existed ? path + ": the " + what_ + " cannot be written"
                                : path + ": no " + what_ + " can be written there");
  }
  handle_ = descriptor;
  if (lock == Lock::Take) {
    takeLock(descriptor, path);
  }
}

void SharedFile::close() {
  if (!view_.empty()) {
    ::munmap(view_.data(), view_.size());
    view_ = {};
  }
  if (handle_ >= 0) {
    ::close(static_cast<int>(handle_));  // gives the lock back
    handle_ = -1;
  }
}

std::uint64_t SharedFile::size() const {
  struct stat status {};
  if (::fstat(static_cast<int>(handle_), &status) != 0) {
    return 0;
  }
  return static_cast<std::uint64_t>(status.st_size);
}

bool SharedFile::writeAt(std::uint64_t offset, const std::uint8_t* bytes, std::size_t length) {
  while (length > 0) {
    const ssize_t written =
        ::pwrite(static_cast<int>(handle_), bytes, length, static_cast<off_t>(offset));
    if (written < 0 && errno == EINTR) {
      continue;
    }
    if (written <= 0) {
      return false;
    }
    bytes += written;
    offset += static_cast<std::uint64_t>(written);
    length -= static_cast<std::size_t>(written);
  }
  return true;
}

void SharedFile::truncateToNothing() {
  [[maybe_unused]] const int emptied = ::ftruncate(static_cast<int>(handle_), 0);
}

std::span<std::uint8_t> SharedFile::map() {
  if (!view_.empty()) {
    return view_;
  }
  const std::size_t length = static_cast<std::size_t>(size());
  void* view = length == 0 ? MAP_FAILED
                           : ::mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_SHARED,
                                    static_cast<int>(handle_), 0);
  if (view == MAP_FAILED) {
    throw ScenarioError(path_ + ": cannot map the " + what_);
  }
  view_ = {static_cast<std::uint8_t*>(view), length};
  return view_;
}

}  // namespace sim
