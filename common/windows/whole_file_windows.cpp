// New files made with _O_EXCL (CREATE_NEW), which fails on any file or link already at the
// name, and moved over the old one with MoveFileExW, which replaces it as a whole.
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>

#include <cerrno>
#include <cstdio>
#include <random>

#include "../whole_file.h"

namespace kit::platform {

namespace {

std::filesystem::path candidateName(const std::filesystem::path& path) {
  static std::mt19937_64 random{std::random_device{}()};
  char suffix[48];
  std::snprintf(suffix, sizeof suffix, ".%lu.%016llx.new",
                static_cast<unsigned long>(GetCurrentProcessId()),
                static_cast<unsigned long long>(random()));
  return std::filesystem::path(path).concat(suffix);
}

bool writeAll(int descriptor, std::string_view contents) {
  while (!contents.empty()) {
    const unsigned chunk =
        contents.size() > 1u << 30 ? 1u << 30 : static_cast<unsigned>(contents.size());
    const int written = _write(descriptor, contents.data(), chunk);
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
  constexpr int Attempts = 16;
  for (int attempt = 0; attempt < Attempts; ++attempt) {
    const std::filesystem::path name = candidateName(path);
    const int descriptor =
        _wopen(name.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY | _O_NOINHERIT,
               _S_IREAD | _S_IWRITE);
    if (descriptor < 0) {
      if (errno == EEXIST) {
        continue;
      }
      return std::nullopt;
    }
    const bool written = writeAll(descriptor, contents);
    if (_close(descriptor) == 0 && written) {
      return name;
    }
    _wunlink(name.c_str());
    return std::nullopt;
  }
  return std::nullopt;
}

bool renameOver(const std::filesystem::path& from, const std::filesystem::path& to) {
  return MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING) != 0;
}

}  // namespace kit::platform
