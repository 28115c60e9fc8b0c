#include "whole_file.h"

#include "whole_file_platform.h"

#include <cstdio>
#include <fstream>
#include <random>
#include <system_error>

namespace kit {

namespace {

constexpr int MostLinksFollowed = 40;

// A name beside `path` that no one can guess ahead: the process and a random number.
std::filesystem::path candidateName(const std::filesystem::path& path) {
  static std::mt19937_64 random{std::random_device{}()};
  char suffix[48];
  std::snprintf(suffix, sizeof suffix, ".%lu.%016llx.new", platform::processNumber(),
                static_cast<unsigned long long>(random()));
  return std::filesystem::path(path).concat(suffix);
}

// A new file beside `path`, made exclusively under a name no file had, holding `contents`; its
// path, or none when it could not be made or written whole (nothing is then left behind).
std::optional<std::filesystem::path> writeNewFileBeside(const std::filesystem::path& path,
                                                        std::string_view contents) {
  constexpr int Attempts = 16;  // a name taken by chance is tried again under another
  for (int attempt = 0; attempt < Attempts; ++attempt) {
    const std::filesystem::path name = candidateName(path);
    int descriptor = -1;
    switch (platform::makeNewFile(name, descriptor)) {
      case platform::NewFile::NameTaken:
        continue;
      case platform::NewFile::Failed:
        return std::nullopt;
      case platform::NewFile::Made:
        break;
    }
    if (platform::writeAndClose(descriptor, contents)) {
      return name;
    }
    std::error_code error;
    std::filesystem::remove(name, error);
    return std::nullopt;
  }
  return std::nullopt;
}

bool writeInPlace(const std::filesystem::path& path, std::string_view contents) {
  std::ofstream out(path, std::ios::binary);
  out.write(contents.data(), static_cast<std::streamsize>(contents.size()));
  out.close();
  return !out.fail();
}

}  // namespace

std::optional<std::filesystem::path> followLinks(const std::filesystem::path& path) {
  std::filesystem::path target = path;
  for (int links = 0; links <= MostLinksFollowed; ++links) {
    std::error_code error;
    if (!std::filesystem::is_symlink(target, error)) {
      return target;
    }
    const std::filesystem::path next = std::filesystem::read_symlink(target, error);
    if (error) {
      return std::nullopt;
    }
    target = next.is_absolute() ? next : target.parent_path() / next;
  }
  return std::nullopt;
}

bool replaceFileWhole(const std::filesystem::path& path, std::string_view contents) {
  const std::optional<std::filesystem::path> target = followLinks(path);
  if (!target) {
    return false;
  }
  std::error_code error;
  const std::filesystem::file_status status = std::filesystem::status(*target, error);
  if (std::filesystem::exists(status) && !std::filesystem::is_regular_file(status)) {
    return !std::filesystem::is_directory(status) && writeInPlace(*target, contents);
  }
  const std::optional<std::filesystem::path> written = writeNewFileBeside(*target, contents);
  if (!written) {
    return false;
  }
  if (platform::renameOver(*written, *target)) {
    return true;
  }
  std::filesystem::remove(*written, error);
  return false;
}

bool canCreateFileBeside(const std::filesystem::path& path) {
  const std::optional<std::filesystem::path> probe = writeNewFileBeside(path, {});
  if (!probe) {
    return false;
  }
  std::error_code error;
  std::filesystem::remove(*probe, error);
  return true;
}

}  // namespace kit
