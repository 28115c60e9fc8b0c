#include "hidraw_node_paths.h"

#include <cstdio>
#include <cstring>

namespace hidraw {
namespace {

constexpr const char* DevicePrefix = "/dev/hidraw";
constexpr const char* CollectionMark = "&col";
constexpr std::size_t MaxCollectionDigits = 3;
constexpr std::size_t MaxNodeDigits = 9;

std::u16string widen(const std::string& ascii) {
  return {ascii.begin(), ascii.end()};
}

bool allDigits(const std::string& text, std::size_t maxDigits) {
  return !text.empty() && text.size() <= maxDigits &&
         text.find_first_not_of("0123456789") == std::string::npos;
}

}  // namespace

std::string sysfsPathOf(unsigned node, const std::string& file) {
  return "/sys/class/hidraw/hidraw" + std::to_string(node) + "/" + file;
}

std::u16string interfacePathOf(unsigned node, unsigned collection, unsigned collections) {
  std::string path = DevicePrefix + std::to_string(node);
  if (collections > 1) {
    char mark[16];
    std::snprintf(mark, sizeof mark, "%s%02u", CollectionMark, collection + 1);
    path += mark;
  }
  return widen(path);
}

std::optional<InterfacePath> parseInterfacePath(const std::u16string& path) {
  std::string narrow;
  for (char16_t unit : path) {
    if (unit == 0 || unit > 0x7F) {
      return std::nullopt;
    }
    narrow += static_cast<char>(unit);
  }
  unsigned collection = 0;
  const std::size_t mark = narrow.find(CollectionMark);
  if (mark != std::string::npos) {
    const std::string digits = narrow.substr(mark + std::strlen(CollectionMark));
    if (!allDigits(digits, MaxCollectionDigits) || std::stoul(digits) == 0) {
      return std::nullopt;
    }
    collection = static_cast<unsigned>(std::stoul(digits)) - 1;
    narrow.resize(mark);
  }
  if (narrow.rfind(DevicePrefix, 0) != 0) {
    return std::nullopt;
  }
  const std::string digits = narrow.substr(std::strlen(DevicePrefix));
  if (!allDigits(digits, MaxNodeDigits)) {
    return std::nullopt;
  }
  return InterfacePath{narrow, static_cast<unsigned>(std::stoul(digits)), collection};
}

std::string ueventValue(const std::string& uevent, const std::string& key) {
  const std::string prefix = key + "=";
  std::size_t at = 0;
  while (at < uevent.size()) {
    const std::size_t end = uevent.find('\n', at);
    const std::string line = uevent.substr(at, end == std::string::npos ? end : end - at);
    if (line.rfind(prefix, 0) == 0) {
      return line.substr(prefix.size());
    }
    if (end == std::string::npos) {
      break;
    }
    at = end + 1;
  }
  return {};
}

}  // namespace hidraw
