#include "fake_hidraw_system.h"

#include <algorithm>

#include <cerrno>

#include "fake_node_paths.h"

namespace {

constexpr const char* ClassPrefix = "/sys/class/hidraw/hidraw";
constexpr const char* DevicePrefix = "/dev/hidraw";

}  // namespace

std::vector<unsigned> FakeHidrawSystem::hidrawNodes() {
  std::vector<unsigned> listed;
  for (auto it = nodes.rbegin(); it != nodes.rend(); ++it) {
    listed.push_back(it->first);  // sysfs lists in no particular order
  }
  return listed;
}

std::optional<std::string> FakeHidrawSystem::readSysfsFile(const std::string& path) {
  unsigned number = 0;
  std::string rest;
  if (!nodeInPath(path, ClassPrefix, number, rest) || nodes.count(number) == 0 ||
      nodes[number].unplugged) {
    return std::nullopt;
  }
  const FakeHidrawNode& node = nodes[number];
  if (rest == "/device/report_descriptor") {
    return std::string(node.descriptor.begin(), node.descriptor.end());
  }
  if (rest == "/device/uevent") {
    char id[64];
    std::snprintf(id, sizeof id, "HID_ID=%04X:%08X:%08X\n", node.info.busType, node.info.vendor,
                  node.info.product);
    return std::string("DRIVER=hid-generic\n") + id +
           "HID_NAME=Fake device\nHID_UNIQ=" + node.uniq + "\nMODALIAS=hid:fake\n";
  }
  if (rest == "/device/../../bcdDevice") {
    return node.bcdDevice;
  }
  return std::nullopt;
}

int FakeHidrawSystem::openDevice(const std::string& path) {
  unsigned number = 0;
  std::string rest;
  if (!nodeInPath(path, DevicePrefix, number, rest) || !rest.empty() || nodes.count(number) == 0) {
    return -ENOENT;
  }
  const FakeHidrawNode& node = nodes[number];
  if (node.unplugged) {
    return -ENODEV;
  }
  if (node.openError != 0) {
    return -node.openError;
  }
  openNodes[nextDevice_] = number;
  return nextDevice_++;
}

void FakeHidrawSystem::closeDevice(int device) {
  openNodes.erase(device);
}

FakeHidrawNode* FakeHidrawSystem::nodeOf(int device) {
  auto open = openNodes.find(device);
  if (open == openNodes.end()) {
    return nullptr;
  }
  return &nodes[open->second];
}

int FakeHidrawSystem::reportDescriptor(int device, std::vector<std::uint8_t>& descriptor) {
  FakeHidrawNode* node = nodeOf(device);
  if (node == nullptr) {
    return -EBADF;
  }
  if (node->unplugged) {
    return -ENODEV;
  }
  descriptor = node->descriptor;
  return 0;
}

int FakeHidrawSystem::rawInfo(int device, HidrawInfo& info) {
  FakeHidrawNode* node = nodeOf(device);
  if (node == nullptr) {
    return -EBADF;
  }
  if (node->unplugged) {
    return -ENODEV;
  }
  info = node->info;
  return 0;
}

int FakeHidrawSystem::rawUniq(int device, std::string& uniq) {
  FakeHidrawNode* node = nodeOf(device);
  if (node == nullptr) {
    return -EBADF;
  }
  if (!kernelHasUniq) {
    return -ENOTTY;
  }
  if (node->unplugged) {
    return -ENODEV;
  }
  uniq = node->uniq;
  return static_cast<int>(uniq.size());
}

int FakeHidrawSystem::reportCall(int device, bool output, const std::uint8_t* bytes,
                                 std::uint8_t* answer, std::size_t length,
                                 std::vector<FakeReport>& log) {
  FakeHidrawNode* node = nodeOf(device);
  if (node == nullptr) {
    return -EBADF;
  }
  if (unplugAfterReports == 0) {
    node->unplugged = true;
  }
  if (unplugAfterReports > 0) {
    --unplugAfterReports;
  }
  const std::uint8_t id = length > 0 ? (output ? bytes[0] : answer[0]) : 0;
  // The page a read-back asks for still stands in the request's header bytes.
  const unsigned page = !output && length >= 3 ? (unsigned{answer[1]} << 8) | answer[2] : 0;
  int result = -ENODEV;
  if (!node->unplugged) {
    std::vector<std::uint8_t> reply(answer == nullptr ? 0 : length);
    if (answer != nullptr) {
      std::copy_n(answer, length, reply.begin());
    }
    const bool taken = node->isCamera && (output ? camera.receiveOutputReport(bytes, length)
                                                 : camera.answerInputReport(reply.data(), length));
    std::size_t delivered = length;
    if (output && &log == &writes && shortWrites) {
      delivered = std::min(length, *shortWrites);
    }
    if (!output && id == sim::FlashCamera::ReadPageDataId && shortPageReads.count(page) != 0) {
      delivered = std::min(length, shortPageReads.at(page));
    }
    if (answer != nullptr) {
      std::copy_n(reply.begin(), delivered, answer);  // the kernel copies only what arrived
    }
    result = taken ? static_cast<int>(delivered) : -EPIPE;  // a refused request stalls the pipe
  }
  log.push_back({output, id, length, result});
  return result;
}

int FakeHidrawSystem::sendOutputReport(int device, const std::uint8_t* report, std::size_t length) {
  if (!kernelHasReportIoctls) {
    return -ENOTTY;
  }
  return reportCall(device, true, report, nullptr, length, reports);
}

int FakeHidrawSystem::getInputReport(int device, std::uint8_t* report, std::size_t length) {
  if (!kernelHasReportIoctls) {
    return -ENOTTY;
  }
  return reportCall(device, false, nullptr, report, length, reports);
}

int FakeHidrawSystem::writeReport(int device, const std::uint8_t* report, std::size_t length) {
  return reportCall(device, true, report, nullptr, length, writes);
}

std::vector<std::uint8_t> cameraReportDescriptor() {
  return {
      0x06, 0x00, 0xFF,        // Usage Page (vendor 0xFF00)
      0x09, 0x01,              // Usage (1)
      0xA1, 0x01,              // Collection (Application)
      0x15, 0x00,              //   Logical Minimum (0)
      0x26, 0xFF, 0x00,        //   Logical Maximum (255)
      0x75, 0x08,              //   Report Size (8)
      0x85, 0x03, 0x09, 0x03,  //   Report ID (3), Usage (3)
      0x96, 0x02, 0x01,        //   Report Count (258)
      0x81, 0x02,              //   Input (Data, Var, Abs)
      0x85, 0x06, 0x09, 0x06,  //   Report ID (6), Usage (6)
      0x95, 0x01, 0x81, 0x02,  //   Report Count (1), Input
      0x85, 0x02, 0x09, 0x02,  //   Report ID (2), Usage (2)
      0x95, 0x04, 0x91, 0x02,  //   Report Count (4), Output
      0x85, 0x04, 0x09, 0x04,  //   Report ID (4), Usage (4)
      0x96, 0x04, 0x01,        //   Report Count (260)
      0x91, 0x02,              //   Output
      0x85, 0x05, 0x09, 0x05,  //   Report ID (5), Usage (5)
      0x95, 0x01, 0x91, 0x02,  //   Report Count (1), Output
      0xC0,                    // End Collection
  };
}

std::vector<std::uint8_t> mouseReportDescriptor() {
  return {0x05, 0x01, 0x09, 0x02, 0xA1, 0x01, 0x09, 0x01, 0xA1, 0x00, 0x05, 0x09, 0x19,
          0x01, 0x29, 0x03, 0x15, 0x00, 0x25, 0x01, 0x95, 0x03, 0x75, 0x01, 0x81, 0x02,
          0x95, 0x01, 0x75, 0x05, 0x81, 0x01, 0x05, 0x01, 0x09, 0x30, 0x09, 0x31, 0x15,
          0x81, 0x25, 0x7F, 0x75, 0x08, 0x95, 0x02, 0x81, 0x06, 0xC0, 0xC0};
}

std::vector<std::uint8_t> twoCollectionReportDescriptor() {
  return {
      0x05, 0x01, 0x09, 0x06, 0xA1, 0x01,        // Generic Desktop Keyboard, Application
      0x85, 0x01, 0x05, 0x07, 0x19, 0xE0, 0x29,  // Report ID 1, Keyboard page, E0..
      0xE7, 0x15, 0x00, 0x25, 0x01, 0x75, 0x01,  // ..E7, 0..1, size 1
      0x95, 0x08, 0x81, 0x02, 0xC0,              // count 8, Input; End Collection
      0x05, 0x0C, 0x09, 0x01, 0xA1, 0x01,        // Consumer Control, Application
      0x85, 0x03, 0x19, 0x00, 0x2A, 0x3C, 0x02,  // Report ID 3, usages 0..0x23C
      0x15, 0x00, 0x26, 0x3C, 0x02, 0x75, 0x10,  // 0..0x23C, size 16
      0x95, 0x01, 0x81, 0x00, 0xC0,              // count 1, Input (array); End Collection
  };
}

FakeHidrawNode fakeCamera(const std::string& serial) {
  FakeHidrawNode node;
  node.descriptor = cameraReportDescriptor();
  node.info = {3, 0x1BBD, 0x024C};
  node.uniq = serial;
  node.bcdDevice = "0100\n";
  node.isCamera = true;
  return node;
}

FakeHidrawNode fakeMouse() {
  FakeHidrawNode node;
  node.descriptor = mouseReportDescriptor();
  node.info = {3, 0x046D, 0xC077};
  node.bcdDevice = "7200\n";
  return node;
}
