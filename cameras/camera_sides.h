// The two sides of a camera as the platform lists them, each on its own: the HID interface that
// takes the firmware and gives the serial number, and the video capture device that takes the
// settings. The camera list pairs them by the USB device each belongs to. No platform types: the
// sides are read in files of their own (hid_side.cpp, video_side.cpp), each over its seam.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "device_tree.h"

namespace cameras {

struct HidSide {
  std::u16string path;
  // The serial number the camera gives, in UTF-8; none when it gives none, or one that is not
  // text.
  std::optional<std::string> serial;
  std::optional<UsbDevice> usb;
};

struct VideoSide {
  std::u16string link;  // the capture device's symbolic link
  std::optional<UsbDevice> usb;
};

// Every HID interface that carries the camera's vendor and product, in the platform's order.
std::vector<HidSide> listHidSides();

// Every video capture device that bears the camera's name, in the platform's order.
std::vector<VideoSide> listVideoSides();

}  // namespace cameras
