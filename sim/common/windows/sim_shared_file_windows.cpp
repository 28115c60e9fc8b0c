// The shared file over Windows: LockFileEx on one byte far past the file's end, so that the
// turns exclude each other without the lock standing in the way of reading the file, and a file
// mapping, whose view is the file's pages as the system caches them.
#include <fcntl.h>
#include <io.h>
#include <share.h>
#include <sys/stat.h>
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <utility>

#include "../sim_scenario_file.h"
#include "../sim_shared_file.h"

namespace sim {

namespace {

constexpr DWORD LockOffsetHigh = 0x7FFFFFFF;  // a byte no flash or settings file reaches

HANDLE systemHandle(std::intptr_t descriptor) {
  return reinterpret_cast<HANDLE>(_get_osfhandle(static_cast<int>(descriptor)));
}

bool lockFile(HANDLE file, DWORD flags) {
  OVERLAPPED where{};
  where.OffsetHigh = LockOffsetHigh;
  return LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK | flags, 0, 1, 0, &where) != 0;
}

void takeLock(HANDLE file, const std::string& path) {
  if (lockFile(file, LOCKFILE_FAIL_IMMEDIATELY) || GetLastError() != ERROR_LOCK_VIOLATION) {
    return;  // taken, or a file system without locks, where each process goes on alone
  }
  std::fprintf(stderr, "simulated camera: %s is in use by another program; waiting for it\n",
               path.c_str());
  lockFile(file, 0);
}

}  // namespace

SharedFile::SharedFile(const std::string& path, std::string_view what, Links links, Lock lock)
    : path_(path), what_(what) {
  std::error_code error;
  const std::filesystem::file_status status = std::filesystem::symlink_status(path, error);
  const bool existed = std::filesystem::exists(status);
  int descriptor = -1;
  if (links == Links::Follow || !std::filesystem::is_symlink(status)) {
    _sopen_s(&descriptor, path.c_str(), _O_RDWR | _O_CREAT | _O_BINARY | _O_NOINHERIT, _SH_DENYNO,
             _S_IREAD | _S_IWRITE);
  }
  if (descriptor < 0) {
    throw ScenarioError(existed ? path + ": the " + what_ + " cannot be written"
                                : path + ": no " + what_ + " can be written there");
  }
  handle_ = descriptor;
  if (lock == Lock::Take) {
    takeLock(systemHandle(handle_), path);
  }
}

void SharedFile::close() {
  if (!view_.empty()) {
    UnmapViewOfFile(view_.data());
    view_ = {};
  }
  if (mapping_ != 0) {
    CloseHandle(reinterpret_cast<HANDLE>(mapping_));
    mapping_ = 0;
  }
  if (handle_ >= 0) {
    _close(static_cast<int>(handle_));  // gives the lock back
    handle_ = -1;
  }
}

std::uint64_t SharedFile::size() const {
  LARGE_INTEGER size{};
  if (!GetFileSizeEx(systemHandle(handle_), &size)) {
    return 0;
  }
  return static_cast<std::uint64_t>(size.QuadPart);
}

bool SharedFile::writeAt(std::uint64_t offset, const std::uint8_t* bytes, std::size_t length) {
  const int descriptor = static_cast<int>(handle_);
  if (_lseeki64(descriptor, static_cast<__int64>(offset), SEEK_SET) < 0) {
    return false;
  }
  while (length > 0) {
    const auto chunk = static_cast<unsigned>(std::min<std::size_t>(length, 1u << 30));
    const int written = _write(descriptor, bytes, chunk);
    if (written <= 0) {
      return false;
    }
    bytes += written;
    length -= static_cast<std::size_t>(written);
  }
  return true;
}

void SharedFile::truncateToNothing() {
  _chsize_s(static_cast<int>(handle_), 0);
}

std::span<std::uint8_t> SharedFile::map() {
  if (!view_.empty()) {
    return view_;
  }
  const std::size_t length = static_cast<std::size_t>(size());
  HANDLE mapping = length == 0 ? nullptr
                               : CreateFileMappingW(systemHandle(handle_), nullptr, PAGE_READWRITE,
                                                    0, 0, nullptr);
  void* view = mapping == nullptr ? nullptr : MapViewOfFile(mapping, FILE_MAP_WRITE, 0, 0, 0);
  if (view == nullptr) {
    if (mapping != nullptr) {
      CloseHandle(mapping);
    }
    throw ScenarioError(path_ + ": cannot map the " + what_);
  }
  mapping_ = reinterpret_cast<std::intptr_t>(mapping);
  view_ = {static_cast<std::uint8_t*>(view), length};
  return view_;
}

}  // namespace sim
