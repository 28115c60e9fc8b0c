#include "whole_file.h"

#include <fstream>
#include <system_error>

namespace kit {

namespace {

constexpr int MostLinksFollowed = 40;

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
  const std::optional<std::filesystem::path> written =
      platform::writeNewFileBeside(*target, contents);
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
  const std::optional<std::filesystem::path> probe = platform::writeNewFileBeside(path, {});
  if (!probe) {
    return false;
  }
  std::error_code error;
  std::filesystem::remove(*probe, error);
  return true;
}

}  // namespace kit
