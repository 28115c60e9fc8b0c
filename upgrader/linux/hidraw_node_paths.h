// Where a hidraw node's device file and its sysfs entries are, and the device paths the backend
// hands out for its interfaces. A node whose report descriptor holds several top-level
// collections is, as on Windows, one interface per collection: /dev/hidrawN&colKK with KK from 01.
// A node with one collection is plain /dev/hidrawN.
#pragma once

#include <optional>
#include <string>

namespace hidraw {

// Under /sys/class/hidraw/hidrawN: `device` is the HID device, its parent the USB interface, and
// that one's parent the USB device, which carries the release number. Devices on other buses
// have none.
inline constexpr const char* ReportDescriptorFile = "device/report_descriptor";
inline constexpr const char* UeventFile = "device/uevent";
inline constexpr const char* ReleaseNumberFile = "device/../../bcdDevice";  // hex

std::string sysfsPathOf(unsigned node, const std::string& file);

// The device path of collection `collection` (from 0) of a node with `collections` of them.
std::u16string interfacePathOf(unsigned node, unsigned collection, unsigned collections);

struct InterfacePath {
  std::string deviceFile;  // /dev/hidrawN
  unsigned node;
  unsigned collection;  // from 0
};

// What a device path names; none for a path the backend never hands out.
std::optional<InterfacePath> parseInterfacePath(const std::u16string& path);

// The value of `key=` in a uevent file; empty when the key is missing.
std::string ueventValue(const std::string& uevent, const std::string& key);

}  // namespace hidraw
