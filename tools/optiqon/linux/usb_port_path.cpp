#include "usb_port_path.h"

#include <algorithm>
#include <cctype>

namespace {

bool allDigits(std::string_view text) {
  return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) {
    return std::isdigit(static_cast<unsigned char>(c)) != 0;
  });
}

// BUS-PORT followed by .PORT for each hub further down: digits, one '-', then digits and dots,
// never two dots together or one at an end.
bool isPortPath(std::string_view name) {
  const std::size_t dash = name.find('-');
  if (dash == std::string_view::npos || !allDigits(name.substr(0, dash))) {
    return false;
  }
  std::string_view ports = name.substr(dash + 1);
  while (true) {
    const std::size_t dot = ports.find('.');
    if (!allDigits(ports.substr(0, dot))) {
      return false;
    }
    if (dot == std::string_view::npos) {
      return true;
    }
    ports.remove_prefix(dot + 1);
  }
}

}  // namespace

std::string usbPortPathOf(std::string_view devicePath) {
  std::string_view found;
  std::size_t start = 0;
  while (start <= devicePath.size()) {
    const std::size_t slash = std::min(devicePath.find('/', start), devicePath.size());
    const std::string_view name = devicePath.substr(start, slash - start);
    if (isPortPath(name)) {
      found = name;
    }
    start = slash + 1;
  }
  return std::string(found);
}
