// The simulated PC's tree of devices, as the platform's configuration manager shows it: each USB
// device on the port it is plugged into, its interfaces beneath it, and the device interfaces
// (HID collections, capture devices) that the other seams hand out paths for. Both sides of the
// simulated camera place their interfaces here; the device tree of the camera list asks it which
// USB device an interface belongs to.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace sim {

// One device node: a USB device, one of its interfaces, or a HID collection.
struct DeviceNode {
  std::u16string instanceId;          // USB\VID_1BBD&PID_024C\K3M51-0001, as Windows spells it
  std::optional<std::size_t> parent;  // index of the parent node; none for a USB device
  // What DEVPKEY_Device_LocationPaths gives for a USB device: the port chain from the root,
  // PCIROOT(0)#PCI(1400)#USBROOT(0)#USB(2)#USB(3); empty for the other nodes.
  std::u16string locationPath;
  bool present = true;  // false once the device is unplugged; its nodes then fail as gone
};

// A device interface the PC hands out a path for, and the node it belongs to.
struct DeviceInterface {
  std::u16string path;  // \\?\hid#vid_1bbd&pid_024c&mi_01#7&...#{4d1e55b2-...}
  std::size_t node;
};

struct DeviceTree {
  std::vector<DeviceNode> nodes;
  std::vector<DeviceInterface> interfaces;
};

DeviceTree& deviceTree();

// The chain of USB hub ports a device is plugged into, from the root hub's port: {2, 3} is port
// 3 of a hub on port 2.
using UsbPorts = std::vector<unsigned>;

// Adds a USB device with its vendor, product and serial (or, without one, an instance id made
// from its place, as Windows makes one) at the given ports; returns its node.
std::size_t plugUsbDevice(const UsbPorts& ports, std::uint16_t vendorId, std::uint16_t productId,
                          const std::u16string& serialNumber);

// Adds an interface node numbered `interfaceNumber` under the USB device, and under it, when
// `collection` says so, a HID collection node; the device interface `path` belongs to the last
// node added. Returns the node of the path.
std::size_t addDeviceInterface(std::size_t usbDevice, unsigned interfaceNumber, bool collection,
                               const std::u16string& path);

// Marks a USB device and every node beneath it as present or gone.
void setUsbDevicePresent(std::size_t usbDevice, bool present);

// Forgets every node and interface, for a new scenario.
void resetDeviceTree();

// The location a person reads, as the camera list gives it for a device on these ports: the
// Windows location path of the simulated PC.
std::u16string locationPathOf(const UsbPorts& ports);

}  // namespace sim
