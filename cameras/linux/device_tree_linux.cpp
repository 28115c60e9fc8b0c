// The device tree on Linux, read from sysfs.
//
// What the walk relies on, as the kernel makes the tree (drivers/usb/core: usb_alloc_dev names a
// USB device, usb_set_configuration its interfaces, sysfs.c gives a device its attributes, which
// Documentation/ABI/stable/sysfs-bus-usb documents as stable):
// - Every device is a directory under /sys/devices. /sys/class/hidraw/hidrawN and
//   /sys/class/video4linux/videoN link to the node's directory there, and the node's `device`
//   links to what the node was made for: for hidraw the HID device, whose parent is the USB
//   interface usbhid is bound to; for video4linux the interface uvcvideo is bound to.
// - A USB device is a child of its hub's directory, named BUS-PORT[.PORT...]: the bus number, the
//   port of the root hub, then the port of each hub below it, every number decimal and from 1. A
//   root hub is named usbBUS. An interface is a child of its device, named by the device's name,
//   then :CONFIGURATION.INTERFACE.
// - A USB device's directory holds `busnum` (the number its name starts with) and `devnum`, both
//   decimal; an interface's holds neither.
// So the camera is the first directory above the node whose name is a USB device's; the node must
// hang under one of that device's interfaces, and the device must carry its attributes. The walk
// does not go on past a directory named as a device that fails these checks: the one above it is
// the hub the camera is plugged into, never the camera.
#include <algorithm>
#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>

#include "device_tree.h"
#include "sysfs_file.h"
#include "usb_sysfs.h"

namespace cameras::sysfs {
namespace {

namespace fs = std::filesystem;

// A node hangs two levels under its USB device (video4linux: interface, device) or three (hidraw:
// HID device, interface, device); the bound ends a walk through a tree that is not the kernel's.
constexpr int MaxLevels = 8;
// Enough for any bus, port or node number the kernel gives, and few enough never to overflow.
constexpr std::size_t MaxDigits = 9;
// The root hub's port and one port for each of up to six hubs below it, the most USB allows.
constexpr std::size_t MaxPorts = 7;

// A number as the kernel prints it (%d): decimal digits without a leading zero.
bool isDecimal(std::string_view text) {
  return !text.empty() && text.size() <= MaxDigits &&
         text.find_first_not_of("0123456789") == std::string_view::npos &&
         (text[0] != '0' || text.size() == 1);
}

bool isPositiveDecimal(std::string_view text) {
  return isDecimal(text) && text != "0";
}

// The bus number of a USB device's name (BUS-PORT[.PORT...]); none for any other name, an
// interface's and a root hub's included.
std::optional<std::string_view> busOfDeviceName(std::string_view name) {
  const std::size_t dash = name.find('-');
  if (dash == std::string_view::npos || !isPositiveDecimal(name.substr(0, dash))) {
    return std::nullopt;
  }
  std::string_view ports = name.substr(dash + 1);
  for (std::size_t count = 1;; ++count) {
    const std::size_t dot = ports.find('.');
    if (count > MaxPorts || !isPositiveDecimal(ports.substr(0, dot))) {
      return std::nullopt;
    }
    if (dot == std::string_view::npos) {
      return name.substr(0, dash);
    }
    ports.remove_prefix(dot + 1);
  }
}

// Whether `name` is an interface of the device named `device`: DEVICE:CONFIGURATION.INTERFACE.
bool isInterfaceOf(std::string_view name, std::string_view device) {
  if (name.size() <= device.size() + 1 || name.substr(0, device.size()) != device ||
      name[device.size()] != ':') {
    return false;
  }
  const std::string_view numbers = name.substr(device.size() + 1);
  const std::size_t dot = numbers.find('.');
  return dot != std::string_view::npos && isDecimal(numbers.substr(0, dot)) &&
         isDecimal(numbers.substr(dot + 1));
}

// An attribute's value without the line break sysfs ends it with. Only a regular file is read: in
// a tree that is not sysfs a link, a pipe or a device in its place could block the read or never
// end it.
std::optional<std::string> attributeOf(const fs::path& directory, const char* name) {
  const fs::path file = directory / name;
  std::error_code error;
  if (!fs::is_regular_file(fs::symlink_status(file, error))) {
    return std::nullopt;
  }
  std::optional<std::string> value = kit::readSysfsFile(file.string());
  if (value && !value->empty() && value->back() == '\n') {
    value->pop_back();
  }
  return value;
}

bool isUsbDevice(const fs::path& directory, std::string_view bus) {
  const std::optional<std::string> busnum = attributeOf(directory, "busnum");
  const std::optional<std::string> devnum = attributeOf(directory, "devnum");
  return busnum && *busnum == bus && devnum && isPositiveDecimal(*devnum);
}

bool isWithin(const fs::path& path, const fs::path& directory) {
  const auto [inDirectory, inPath] =
      std::mismatch(directory.begin(), directory.end(), path.begin(), path.end());
  return inDirectory == directory.end();
}

// `nodeDevice` is the node's `device` link. Its real path has no link left in it, so walking up
// it only shortens it; a link loop on the way there makes canonical fail (ELOOP).
std::optional<UsbDevice> usbDeviceAbove(const fs::path& nodeDevice, const fs::path& root) {
  std::error_code error;
  const fs::path devices = fs::canonical(root / "devices", error);
  if (error) {
    return std::nullopt;
  }
  fs::path directory = fs::canonical(nodeDevice, error);
  if (error || !isWithin(directory, devices)) {
    return std::nullopt;
  }
  std::string below;  // the name of the directory the walk came up from
  for (int level = 0; level < MaxLevels && directory != devices; ++level) {
    const std::string name = directory.filename().string();
    if (const std::optional<std::string_view> bus = busOfDeviceName(name)) {
      if (isInterfaceOf(below, name) && isUsbDevice(directory, *bus)) {
        return UsbDevice{name};
      }
      return std::nullopt;
    }
    below = name;
    directory = directory.parent_path();
  }
  return std::nullopt;
}

// The node of `path`: `prefix`, then the node's number, then what `rest` accepts.
template <typename Rest>
std::optional<unsigned> nodeOf(const std::u16string& path, std::string_view prefix, Rest rest) {
  std::string narrow;
  for (char16_t unit : path) {
    if (unit == 0 || unit > 0x7F) {
      return std::nullopt;
    }
    narrow += static_cast<char>(unit);
  }
  if (narrow.rfind(prefix, 0) != 0) {
    return std::nullopt;
  }
  const std::string_view after = std::string_view(narrow).substr(prefix.size());
  const std::size_t end = std::min(after.find_first_not_of("0123456789"), after.size());
  if (!isDecimal(after.substr(0, end)) || !rest(after.substr(end))) {
    return std::nullopt;
  }
  return static_cast<unsigned>(std::stoul(std::string(after.substr(0, end))));
}

}  // namespace

std::optional<UsbDevice> usbDeviceOfHidrawNode(unsigned node, const fs::path& root) {
  return usbDeviceAbove(root / "class" / "hidraw" / ("hidraw" + std::to_string(node)) / "device",
                        root);
}

std::optional<UsbDevice> usbDeviceOfVideoNode(unsigned node, const fs::path& root) {
  return usbDeviceAbove(
      root / "class" / "video4linux" / ("video" + std::to_string(node)) / "device", root);
}

std::optional<unsigned> hidrawNodeOf(const std::u16string& interfacePath) {
  // A collection's number has two digits or three, from 01; which one does not matter here.
  return nodeOf(interfacePath, "/dev/hidraw", [](std::string_view rest) {
    constexpr std::string_view CollectionMark = "&col";
    if (rest.empty()) {
      return true;
    }
    if (rest.substr(0, CollectionMark.size()) != CollectionMark) {
      return false;
    }
    const std::string_view collection = rest.substr(CollectionMark.size());
    return collection.size() >= 2 && collection.size() <= 3 &&
           collection.find_first_not_of("0123456789") == std::string_view::npos &&
           collection.find_first_not_of('0') != std::string_view::npos;
  });
}

std::optional<unsigned> videoNodeOf(const std::u16string& devicePath) {
  return nodeOf(devicePath, "/dev/video", [](std::string_view rest) { return rest.empty(); });
}

}  // namespace cameras::sysfs

namespace cameras {

std::optional<UsbDevice> usbDeviceOfHidInterface(const std::u16string& interfacePath) {
  const std::optional<unsigned> node = sysfs::hidrawNodeOf(interfacePath);
  return node ? sysfs::usbDeviceOfHidrawNode(*node) : std::nullopt;
}

std::optional<UsbDevice> usbDeviceOfVideoDevice(const std::u16string& devicePath) {
  const std::optional<unsigned> node = sysfs::videoNodeOf(devicePath);
  return node ? sysfs::usbDeviceOfVideoNode(*node) : std::nullopt;
}

}  // namespace cameras
