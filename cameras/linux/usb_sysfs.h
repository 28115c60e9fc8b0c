// The device tree on Linux, from sysfs: the USB device above a hidraw or video4linux node. The
// sysfs root is a parameter so that tests can walk a tree of their own making.
#pragma once

#include <filesystem>
#include <optional>
#include <string>

#include "device_tree.h"

namespace cameras::sysfs {

inline const std::filesystem::path DefaultRoot = "/sys";

// The USB device of /sys/class/hidraw/hidrawN, or of /sys/class/video4linux/videoN; none when the
// node is missing, is not on USB, or the tree is not as the kernel makes it.
std::optional<UsbDevice> usbDeviceOfHidrawNode(unsigned node,
                                               const std::filesystem::path& root = DefaultRoot);
std::optional<UsbDevice> usbDeviceOfVideoNode(unsigned node,
                                              const std::filesystem::path& root = DefaultRoot);

// The node a device path names: /dev/hidrawN, or /dev/hidrawN&colKK for one collection of a node
// with several (as the HID backend hands them out); /dev/videoN. None for any other path.
std::optional<unsigned> hidrawNodeOf(const std::u16string& interfacePath);
std::optional<unsigned> videoNodeOf(const std::u16string& devicePath);

}  // namespace cameras::sysfs
