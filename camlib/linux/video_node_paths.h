// Where a video node's device file and its sysfs entries are. The node's `device` is the USB
// interface its driver is bound to, for uvcvideo the VideoControl interface; that interface's
// parent is the USB device, which holds the product string and the raw descriptors.
#pragma once

#include <string>

inline constexpr const char* ProductFile = "device/../product";
inline constexpr const char* DescriptorsFile = "device/../descriptors";
inline constexpr const char* ConfigurationValueFile = "device/../bConfigurationValue";  // decimal
inline constexpr const char* InterfaceNumberFile = "device/bInterfaceNumber";           // hex

inline std::string devicePathOf(unsigned node) {
  return "/dev/video" + std::to_string(node);
}

inline std::string sysfsPathOf(unsigned node, const std::string& file) {
  return "/sys/class/video4linux/video" + std::to_string(node) + "/" + file;
}
