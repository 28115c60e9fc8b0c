#include "camera_list.h"

#include <algorithm>
#include <cctype>
#include <map>
#include <string_view>

namespace cameras {
namespace {

// Locations in the order of their ports: runs of digits compare as numbers, so that port 10 comes
// after port 9 (1-9 before 1-10, USB(9) before USB(10)).
bool portOrder(const std::string& a, const std::string& b) {
  std::size_t i = 0;
  std::size_t j = 0;
  while (i < a.size() && j < b.size()) {
    if (std::isdigit(static_cast<unsigned char>(a[i])) != 0 &&
        std::isdigit(static_cast<unsigned char>(b[j])) != 0) {
      std::size_t endA = i;
      std::size_t endB = j;
      while (endA < a.size() && std::isdigit(static_cast<unsigned char>(a[endA])) != 0) {
        ++endA;
      }
      while (endB < b.size() && std::isdigit(static_cast<unsigned char>(b[endB])) != 0) {
        ++endB;
      }
      const std::string_view digitsA = std::string_view(a).substr(i, endA - i);
      const std::string_view digitsB = std::string_view(b).substr(j, endB - j);
      // Without leading zeros, the longer run is the larger number.
      const auto significant = [](std::string_view digits) {
        const std::size_t first = digits.find_first_not_of('0');
        return first == std::string_view::npos ? std::string_view() : digits.substr(first);
      };
      const std::string_view numberA = significant(digitsA);
      const std::string_view numberB = significant(digitsB);
      if (numberA.size() != numberB.size()) {
        return numberA.size() < numberB.size();
      }
      if (numberA != numberB) {
        return numberA < numberB;
      }
      i = endA;
      j = endB;
      continue;
    }
    if (a[i] != b[j]) {
      return a[i] < b[j];
    }
    ++i;
    ++j;
  }
  return a.size() - i < b.size() - j;
}

}  // namespace

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
    return portOrder(a.location, b.location);
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
