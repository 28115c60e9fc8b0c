#include "kept_profiles.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <string_view>
#include <system_error>

#include "exit_codes.h"
#include "whole_file.h"

namespace {

constexpr std::string_view Extension = ".json";

bool keptAsIs(char c) {
  return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '-' || c == '_';
}

int hexValue(char c) {
  if (c >= '0' && c <= '9') {
    return c - '0';
  }
  if (c >= 'A' && c <= 'F') {
    return c - 'A' + 10;
  }
  return -1;
}

}  // namespace

std::optional<std::filesystem::path> keptProfilesFolder() {
  const std::optional<std::filesystem::path> base = userConfigurationFolder();
  if (!base) {
    return std::nullopt;
  }
  return *base / KeptProfilesSubfolder;
}

std::string keptProfileName(const std::string& serialNumber) {
  std::string name;
  for (char c : serialNumber) {
    if (keptAsIs(c)) {
      name += c;
    } else {
      char escaped[4];
      std::snprintf(escaped, sizeof escaped, "%%%02X", static_cast<unsigned char>(c));
      name += escaped;
    }
  }
  return name + std::string(Extension);
}

std::optional<std::string> serialOfKeptProfile(const std::string& fileName) {
  if (fileName.size() <= Extension.size() ||
      fileName.compare(fileName.size() - Extension.size(), Extension.size(), Extension) != 0) {
    return std::nullopt;
  }
  const std::string stem = fileName.substr(0, fileName.size() - Extension.size());
  std::string serial;
  for (std::size_t i = 0; i < stem.size(); ++i) {
    if (keptAsIs(stem[i])) {
      serial += stem[i];
      continue;
    }
    if (stem[i] != '%' || i + 2 >= stem.size() || hexValue(stem[i + 1]) < 0 ||
        hexValue(stem[i + 2]) < 0) {
      return std::nullopt;
    }
    const char decoded = static_cast<char>(hexValue(stem[i + 1]) * 16 + hexValue(stem[i + 2]));
    if (keptAsIs(decoded)) {
      return std::nullopt;  // never written escaped: not a name of ours
    }
    serial += decoded;
    i += 2;
  }
  return serial;
}

std::vector<std::string> keptSerials(const std::filesystem::path& folder) {
  std::vector<std::string> serials;
  std::error_code error;
  for (std::filesystem::directory_iterator entry(folder, error), end; !error && entry != end;
       entry.increment(error)) {
    std::error_code ignored;
    if (!entry->is_regular_file(ignored)) {
      continue;
    }
    if (const auto serial = serialOfKeptProfile(entry->path().filename().string())) {
      serials.push_back(*serial);
    }
  }
  std::sort(serials.begin(), serials.end());
  return serials;
}

std::filesystem::path keptProfilesFolderOrFail() {
  const std::optional<std::filesystem::path> folder = keptProfilesFolder();
  if (!folder) {
    throw CommandFailure(BadUsage,
                         "no configuration folder for kept profiles: set HOME or XDG_CONFIG_HOME "
                         "(APPDATA on Windows)");
  }
  return *folder;
}

std::filesystem::path writeKeptProfile(const std::filesystem::path& folder,
                                       const std::string& serialNumber, const std::string& text) {
  const std::filesystem::path file = folder / keptProfileName(serialNumber);
  std::error_code error;
  std::filesystem::create_directories(folder, error);
  if (error || !kit::replaceFileWhole(file, text)) {
    throw CommandFailure(BadUsage, "cannot write the kept profile " + file.string());
  }
  return file;
}

bool removeKeptProfile(const std::filesystem::path& folder, const std::string& serialNumber) {
  const std::filesystem::path file = folder / keptProfileName(serialNumber);
  std::error_code error;
  if (std::filesystem::remove(file, error)) {
    return true;
  }
  if (error) {
    throw CommandFailure(
        Refused, "cannot remove the kept profile " + file.string() + ": " + error.message());
  }
  return false;
}
