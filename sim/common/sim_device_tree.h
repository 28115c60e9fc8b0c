// The simulated PC's tree of devices, as the platform's configuration manager shows it: each USB
// device on the port it is plugged into, its interfaces beneath it, and the device interfaces
// (HID collections, capture devices) that the other seams hand out paths for. Both sides of the
// simulated camera place their interfaces here, each on its own: the side set up second finds
// the USB devices the first placed by their ports. The device tree of the camera list asks it
// which USB device an interface belongs to.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
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
  std::u16string path;  // \\?\hid#vid_1bbd&pid_024c#7&...#{4d1e55b2-...}
  std::size_t node;
  std::u16string interfaceClass;  // {4d1e55b2-f16f-11cf-88cb-001111000030}, as in the path
};

struct DeviceTree {
  std::vector<DeviceNode> nodes;
  std::vector<DeviceInterface> interfaces;
};

DeviceTree& deviceTree();

// The device interface classes of the two sides, as their paths spell them.
inline constexpr std::u16string_view HidInterfaceClassText =
    u"{4d1e55b2-f16f-11cf-88cb-001111000030}";
inline constexpr std::u16string_view CaptureInterfaceClassText =
    u"{e5323777-f976-4f5b-9b55-b94699c46e44}";

// The chain of USB hub ports a device is plugged into, from the root hub's port: {2, 3} is port
// 3 of a hub on port 2.
using UsbPorts = std::vector<unsigned>;

// Where the simulated PC plugs its devices in, the same for both sides: the cameras on a hub on
// the root's port 1, each on the next port (the first camera on port 1); further copies of the
// first camera on a hub on port 2; unrelated HID devices (mice, keyboards) on a hub on port 3;
// unrelated capture devices on a hub on port 4. Numbers count from 0.
UsbPorts portsOfCamera(std::size_t camera);
UsbPorts portsOfCameraCopy(std::size_t copy);
UsbPorts portsOfHidDevice(std::size_t device);
UsbPorts portsOfCaptureDevice(std::size_t device);

// Camera `camera`'s serial number as its USB device's instance id takes it, `serials` being every
// camera's in the scenario's order: none when a camera before it has the same, since an instance
// id is one device's.
std::u16string usbSerialOf(const std::vector<std::u16string>& serials, std::size_t camera);

// The USB device plugged in at `ports`: the one there, or, when there is none, a new one with its
// vendor, product and serial. Without a serial number (none, or one that a camera before it on
// this PC already has) Windows names a device by its place, and so does the simulated PC: the
// instance ids of the tree stay apart, as the configuration manager needs them.
std::size_t plugUsbDevice(const UsbPorts& ports, std::uint16_t vendorId, std::uint16_t productId,
                          const std::u16string& serialNumber);

// The node of the USB device's interface numbered `interfaceNumber`, added when it is not there
// yet: USB\VID_1BBD&PID_024C&MI_01\ and `instance`, by default one made from the device's place
// (6&...&0&0001).
std::size_t usbInterfaceNode(std::size_t usbDevice, unsigned interfaceNumber,
                             const std::optional<std::u16string>& instance = std::nullopt);

// Adds a node with the given instance id beneath `parent`, as a HID collection beneath its USB
// interface; returns it.
std::size_t addChildNode(std::size_t parent, const std::u16string& instanceId);

// The path Windows hands out for the device interface of class `interfaceClass` on the node with
// this instance id: \\?\ and the instance id with each \ as #, in lower case, then # and the
// class; `suffix` (\global for a capture device) after it.
std::u16string interfacePathOf(std::u16string_view instanceId, std::u16string_view interfaceClass,
                               std::u16string_view suffix = {});

// Hands out the device interface of class `interfaceClass` on `node`, with its path by Windows'
// rule; returns the path.
std::u16string addDeviceInterface(std::size_t node, std::u16string_view interfaceClass,
                                  std::u16string_view suffix = {});

// Takes away every device interface of one class, as a side of the simulated PC does when it is
// set up again, with the nodes that no other interface hangs from: the other side's interfaces
// and their USB devices stay.
void removeDeviceInterfaces(std::u16string_view interfaceClass);

// The USB device plugged in at `ports`, if any. Nodes are found again by their place rather than
// kept by index, since a side set up again closes up the indexes.
std::optional<std::size_t> usbDeviceAt(const UsbPorts& ports);

// Marks a USB device and every node beneath it as present or gone.
void setUsbDevicePresent(std::size_t usbDevice, bool present);

// Forgets every node and interface.
void resetDeviceTree();

// The location a person reads, as the camera list gives it for a device on these ports: the
// Windows location path of the simulated PC.
std::u16string locationPathOf(const UsbPorts& ports);

}  // namespace sim
