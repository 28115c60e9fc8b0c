#include "sim_device_tree.h"

#include <cstdio>

#include "text_encoding.h"

namespace sim {
namespace {

std::u16string hex4(std::uint16_t value) {
  char text[8];
  std::snprintf(text, sizeof text, "%04X", static_cast<unsigned>(value));
  return kit::utf16FromUtf8Lossy(text);
}

std::u16string decimal(unsigned value) {
  return kit::utf16FromUtf8Lossy(std::to_string(value));
}

}  // namespace

DeviceTree& deviceTree() {
  static DeviceTree tree;
  return tree;
}

std::u16string locationPathOf(const UsbPorts& ports) {
  std::u16string path = u"PCIROOT(0)#PCI(1400)#USBROOT(0)";
  for (unsigned port : ports) {
    path += u"#USB(" + decimal(port) + u")";
  }
  return path;
}

std::size_t plugUsbDevice(const UsbPorts& ports, std::uint16_t vendorId, std::uint16_t productId,
                          const std::u16string& serialNumber) {
  DeviceTree& tree = deviceTree();
  DeviceNode device;
  // Windows names a device without a serial number by its place: a generated instance part.
  std::u16string instance = serialNumber;
  if (instance.empty()) {
    instance = u"5&1A2B3C4D&0&" + decimal(ports.empty() ? 0 : ports.back());
  }
  device.instanceId = u"USB\\VID_" + hex4(vendorId) + u"&PID_" + hex4(productId) + u"\\" + instance;
  device.locationPath = locationPathOf(ports);
  tree.nodes.push_back(device);
  return tree.nodes.size() - 1;
}

std::size_t addDeviceInterface(std::size_t usbDevice, unsigned interfaceNumber, bool collection,
                               const std::u16string& path) {
  DeviceTree& tree = deviceTree();
  const std::u16string usbId = tree.nodes.at(usbDevice).instanceId;
  const std::u16string vendorProduct = usbId.substr(4, usbId.find(u'\\', 4) - 4);
  char mi[8];
  std::snprintf(mi, sizeof mi, "&MI_%02u", interfaceNumber % 100);
  const std::u16string number = decimal(static_cast<unsigned>(tree.nodes.size()));
  DeviceNode function;
  function.instanceId =
      u"USB\\" + vendorProduct + kit::utf16FromUtf8Lossy(mi) + u"\\6&2B3C4D5E&0&" + number;
  function.parent = usbDevice;
  tree.nodes.push_back(function);
  std::size_t node = tree.nodes.size() - 1;
  if (collection) {
    DeviceNode hid;
    hid.instanceId =
        u"HID\\" + vendorProduct + kit::utf16FromUtf8Lossy(mi) + u"\\7&3C4D5E6F&0&" + number;
    hid.parent = node;
    tree.nodes.push_back(hid);
    node = tree.nodes.size() - 1;
  }
  tree.interfaces.push_back({path, node});
  return node;
}

void setUsbDevicePresent(std::size_t usbDevice, bool present) {
  DeviceTree& tree = deviceTree();
  for (std::size_t i = 0; i < tree.nodes.size(); ++i) {
    std::optional<std::size_t> up = i;
    while (up && *up != usbDevice) {
      up = tree.nodes[*up].parent;
    }
    if (up) {
      tree.nodes[i].present = present;
    }
  }
}

void resetDeviceTree() {
  deviceTree() = DeviceTree{};
}

}  // namespace sim
