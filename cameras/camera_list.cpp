#include "camera_list.h"

#include <algorithm>
#include <map>

namespace cameras {

std::vector<CameraEntry> pairSides(const std::vector<HidSide>& hid,
                                   const std::vector<VideoSide>& video) {
  std::vector<CameraEntry> cameras;
  std::map<std::string, std::size_t> byLocation;
  auto cameraAt = [&](const std::optional<UsbDevice>& usb) -> CameraEntry& {
    if (usb) {
      const auto [found, added] = byLocation.emplace(usb->location, cameras.size());
      if (!added) {
        return cameras[found->second];
      }
    }
    cameras.emplace_back();
    cameras.back().location = usb ? usb->location : std::string();
    return cameras.back();
  };
  for (const HidSide& side : hid) {
    CameraEntry& camera = cameraAt(side.usb);
    if (camera.hidPath) {
      continue;  // a second collection of one device: the first is the camera's
    }
    camera.hidPath = side.path;
    camera.serialKnown = side.serial.has_value();
    camera.serial = side.serial.value_or(std::string());
  }
  for (const VideoSide& side : video) {
    CameraEntry& camera = cameraAt(side.usb);
    if (!camera.videoLink) {
      camera.videoLink = side.link;
    }
  }
  // Placed cameras by location; the ones the platform could not place after them, as listed.
  std::stable_sort(cameras.begin(), cameras.end(), [](const CameraEntry& a, const CameraEntry& b) {
    if (a.location.empty() || b.location.empty()) {
      return !a.location.empty() && b.location.empty();
    }
    return a.location < b.location;
  });
  return cameras;
}

std::vector<CameraEntry> listCameras() {
  return pairSides(listHidSides(), listVideoSides());
}

std::vector<const CameraEntry*> camerasWithSerial(const std::vector<CameraEntry>& list,
                                                  const std::string& serial) {
  std::vector<const CameraEntry*> found;
  for (const CameraEntry& camera : list) {
    if (camera.serialKnown && camera.serial == serial) {
      found.push_back(&camera);
    }
  }
  return found;
}

std::vector<const CameraEntry*> camerasAt(const std::vector<CameraEntry>& list,
                                          const std::string& location) {
  std::vector<const CameraEntry*> found;
  for (const CameraEntry& camera : list) {
    if (!camera.location.empty() && camera.location == location) {
      found.push_back(&camera);
    }
  }
  return found;
}

}  // namespace cameras
