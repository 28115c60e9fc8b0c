// New files made with O_EXCL and O_NOFOLLOW, so that a file or link someone put at the chosen
// name is never opened, and renamed over the old one with rename(2), which replaces it at once.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <random>

#include "../whole_file.h"

namespace kit::platform {

namespace {

// A name beside `path` that no one can guess ahead: the process and a random number.
std::filesystem::path candidateName(const std::filesystem::path& path) {
  static std::mt19937_64 random{std::random_device{}()};
  char suffix[48];
  std::snprintf(suffix, sizeof suffix, ".%ld.%016llx.new", static_cast<long>(getpid()),
                static_cast<unsigned long long>(random()));
  return std::filesystem::path(path).concat(suffix);
}

bool writeAll(int descriptor, std::string_view contents) {
  while (!contents.empty()) {
    const ssize_t written = ::write(descriptor, contents.data(), contents.size());
    if (written < 0 && errno == EINTR) {
      continue;
    }
    if (written <= 0) {
      return false;
    }
    contents.remove_prefix(static_cast<std::size_t>(written));
  }
  return true;
}

}  // namespace

std::optional<std::filesystem::path> writeNewFileBeside(const std::filesystem::path& path,
                                                        std::string_view contents) {
  constexpr int Attempts = 16;  // a name taken by chance is tried again under another
  for (int attempt = 0; attempt < Attempts; ++attempt) {
    const std::filesystem::path name = candidateName(path);
    const int descriptor =
        ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (descriptor < 0) {
      if (errno == EEXIST) {
        continue;
      }
      return std::nullopt;
    }
    const bool written = writeAll(descriptor, contents);
    if (::close(descriptor) == 0 && written) {
      return name;
    }
    ::unlink(name.c_str());
    return std::nullopt;
  }
  return std::nullopt;
}

bool renameOver(const std::filesystem::path& from, const std::filesystem::path& to) {
  return ::rename(from.c_str(), to.c_str()) == 0;
}

}  // namespace kit::platform
