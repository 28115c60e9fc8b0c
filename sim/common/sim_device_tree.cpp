#include "sim_device_tree.h"

#include <algorithm>
#include <cstdio>

#include "text_encoding.h"

namespace sim {
namespace {

// Hubs on the root's ports, one for each kind of device the simulated PC plugs in.
constexpr unsigned CameraHub = 1;
constexpr unsigned CameraCopyHub = 2;
constexpr unsigned HidDeviceHub = 3;
constexpr unsigned CaptureDeviceHub = 4;

std::u16string ascii(const char* text) {
  return kit::utf16FromUtf8Lossy(text);
}

std::u16string decimal(unsigned value) {
  return ascii(std::to_string(value).c_str());
}

// The eight hexadecimal digits by which Windows makes an instance id out of a device's place.
std::u16string placeHash(std::u16string_view place) {
  std::uint32_t hash = 2166136261u;  // FNV-1a
  for (char16_t unit : place) {
    hash = (hash ^ unit) * 16777619u;
  }
  char text[12];
  std::snprintf(text, sizeof text, "%08X", static_cast<unsigned>(hash));
  return ascii(text);
}

// VID_1BBD&PID_024C of a USB device's instance id USB\VID_1BBD&PID_024C\...
std::u16string vendorProductOf(const DeviceNode& usbDevice) {
  const std::u16string& id = usbDevice.instanceId;
  const std::size_t start = id.find(u'\\') + 1;
  return id.substr(start, id.find(u'\\', start) - start);
}

// Whether `node` is `ancestor` or hangs beneath it.
bool isWithin(const DeviceTree& tree, std::size_t node, std::size_t ancestor) {
  for (std::optional<std::size_t> up = node; up; up = tree.nodes[*up].parent) {
    if (*up == ancestor) {
      return true;
    }
  }
  return false;
}

}  // namespace

DeviceTree& deviceTree() {
  static DeviceTree tree;
  return tree;
}

UsbPorts portsOfCamera(std::size_t camera) {
  return {CameraHub, static_cast<unsigned>(camera + 1)};
}
UsbPorts portsOfCameraCopy(std::size_t copy) {
  return {CameraCopyHub, static_cast<unsigned>(copy + 1)};
}
UsbPorts portsOfHidDevice(std::size_t device) {
  return {HidDeviceHub, static_cast<unsigned>(device + 1)};
}
UsbPorts portsOfCaptureDevice(std::size_t device) {
  return {CaptureDeviceHub, static_cast<unsigned>(device + 1)};
}

std::u16string locationPathOf(const UsbPorts& ports) {
  std::u16string path = u"PCIROOT(0)#PCI(1400)#USBROOT(0)";
  for (unsigned port : ports) {
    path += u"#USB(" + decimal(port) + u")";
  }
  return path;
}

std::u16string usbSerialOf(const std::vector<std::u16string>& serials, std::size_t camera) {
  for (std::size_t before = 0; before < camera; ++before) {
    if (serials[before] == serials[camera]) {
      return {};
    }
  }
  return serials[camera];
}

std::optional<std::size_t> usbDeviceAt(const UsbPorts& ports) {
  const DeviceTree& tree = deviceTree();
  const std::u16string location = locationPathOf(ports);
  for (std::size_t i = 0; i < tree.nodes.size(); ++i) {
    if (tree.nodes[i].locationPath == location) {
      return i;
    }
  }
  return std::nullopt;
}

std::size_t plugUsbDevice(const UsbPorts& ports, std::uint16_t vendorId, std::uint16_t productId,
                          const std::u16string& serialNumber) {
  if (const auto there = usbDeviceAt(ports)) {
    return *there;
  }
  DeviceTree& tree = deviceTree();
  char vendorProduct[32];
  std::snprintf(vendorProduct, sizeof vendorProduct, "USB\\VID_%04X&PID_%04X\\",
                static_cast<unsigned>(vendorId), static_cast<unsigned>(productId));
  DeviceNode device;
  device.instanceId = ascii(vendorProduct) + serialNumber;
  const bool taken = std::any_of(tree.nodes.begin(), tree.nodes.end(), [&](const DeviceNode& node) {
    return node.instanceId == device.instanceId;
  });
  if (serialNumber.empty() || taken) {
    const UsbPorts hub(ports.begin(), ports.empty() ? ports.end() : ports.end() - 1);
    device.instanceId = ascii(vendorProduct) + u"5&" + placeHash(locationPathOf(hub)) + u"&0&" +
                        decimal(ports.empty() ? 0 : ports.back());
  }
  device.locationPath = locationPathOf(ports);
  tree.nodes.push_back(device);
  return tree.nodes.size() - 1;
}

std::size_t usbInterfaceNode(std::size_t usbDevice, unsigned interfaceNumber,
                             const std::optional<std::u16string>& instance) {
  DeviceTree& tree = deviceTree();
  const DeviceNode& device = tree.nodes.at(usbDevice);
  char function[16];
  std::snprintf(function, sizeof function, "&MI_%02X\\", interfaceNumber & 0xFFu);
  char number[16];
  std::snprintf(number, sizeof number, "&0&%04X", interfaceNumber & 0xFFFFu);
  const std::u16string instanceId =
      u"USB\\" + vendorProductOf(device) + ascii(function) +
      (instance ? *instance : u"6&" + placeHash(device.locationPath) + ascii(number));
  for (std::size_t i = 0; i < tree.nodes.size(); ++i) {
    if (tree.nodes[i].parent == usbDevice && tree.nodes[i].instanceId == instanceId) {
      return i;
    }
  }
  return addChildNode(usbDevice, instanceId);
}

std::size_t addChildNode(std::size_t parent, const std::u16string& instanceId) {
  DeviceTree& tree = deviceTree();
  DeviceNode node;
  node.instanceId = instanceId;
  node.parent = parent;
  node.present = tree.nodes.at(parent).present;
  tree.nodes.push_back(node);
  return tree.nodes.size() - 1;
}

std::u16string interfacePathOf(std::u16string_view instanceId, std::u16string_view interfaceClass,
                               std::u16string_view suffix) {
  std::u16string path = u"\\\\?\\";
  for (char16_t unit : instanceId) {
    path += unit == u'\\'                  ? u'#'
            : unit >= u'A' && unit <= u'Z' ? char16_t(unit - u'A' + u'a')
                                           : unit;
  }
  path += u'#';
  path += interfaceClass;
  path += suffix;
  return path;
}

std::u16string addDeviceInterface(std::size_t node, std::u16string_view interfaceClass,
                                  std::u16string_view suffix) {
  DeviceTree& tree = deviceTree();
  std::u16string path = interfacePathOf(tree.nodes.at(node).instanceId, interfaceClass, suffix);
  tree.interfaces.push_back({path, node, std::u16string(interfaceClass)});
  return path;
}

void removeDeviceInterfaces(std::u16string_view interfaceClass) {
  DeviceTree& tree = deviceTree();
  std::erase_if(tree.interfaces, [&](const DeviceInterface& shown) {
    return shown.interfaceClass == interfaceClass;
  });
  // A node stays while an interface hangs from it or beneath it; the others go, and the indexes
  // of those that stay close up.
  std::vector<bool> keep(tree.nodes.size(), false);
  for (const DeviceInterface& shown : tree.interfaces) {
    for (std::optional<std::size_t> up = shown.node; up; up = tree.nodes[*up].parent) {
      keep[*up] = true;
    }
  }
  std::vector<std::size_t> newIndex(tree.nodes.size(), 0);
  std::vector<DeviceNode> kept;
  for (std::size_t i = 0; i < tree.nodes.size(); ++i) {
    if (keep[i]) {
      newIndex[i] = kept.size();
      kept.push_back(tree.nodes[i]);
    }
  }
  for (DeviceNode& node : kept) {
    if (node.parent) {
      node.parent = newIndex[*node.parent];
    }
  }
  for (DeviceInterface& shown : tree.interfaces) {
    shown.node = newIndex[shown.node];
  }
  tree.nodes = std::move(kept);
}

void setUsbDevicePresent(std::size_t usbDevice, bool present) {
  DeviceTree& tree = deviceTree();
  for (std::size_t i = 0; i < tree.nodes.size(); ++i) {
    if (isWithin(tree, i, usbDevice)) {
      tree.nodes[i].present = present;
    }
  }
}

void resetDeviceTree() {
  deviceTree() = DeviceTree{};
}

}  // namespace sim
