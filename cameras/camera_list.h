// The cameras on the PC: each camera's HID interface and video device, paired by the USB device
// both belong to, with the serial number and the location a person tells cameras apart by.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "camera_sides.h"

namespace cameras {

struct CameraEntry {
  std::string serial;  // UTF-8; empty when unknown
  bool serialKnown = false;
  std::string location;  // empty when the platform could not place the camera
  std::optional<std::u16string> hidPath;
  std::optional<std::u16string> videoLink;
};

// Pairs the sides by their USB device. A side the platform could not place stays a camera of its
// own, with that one side. Sorted by location, so that a PC lists its cameras in the same order
// each time, whatever order the platform enumerates them in.
std::vector<CameraEntry> pairSides(const std::vector<HidSide>& hid,
                                   const std::vector<VideoSide>& video);

// The cameras plugged in now.
std::vector<CameraEntry> listCameras();

// The cameras of `list` that a serial number or a location names.
std::vector<const CameraEntry*> camerasWithSerial(const std::vector<CameraEntry>& list,
                                                  const std::string& serial);
std::vector<const CameraEntry*> camerasAt(const std::vector<CameraEntry>& list,
                                          const std::string& location);

}  // namespace cameras
