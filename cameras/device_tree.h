// The device tree: which USB device a camera's interface belongs to. A camera is one USB device
// with two interfaces the kit uses, the HID interface that takes the firmware and the video
// interface that takes the settings; the camera list pairs the two by asking, for each, which USB
// device it hangs under. Each platform answers from its own tree of devices (sysfs on Linux, the
// parents of the device instances on Windows), and the simulated camera from its scenario; the
// backend is chosen at link time, as for the other seams.
#pragma once

#include <optional>
#include <string>

namespace cameras {

// A USB device as the platform places it on the bus: where it is plugged in. Two interfaces of
// one device give the same location and two devices plugged in at once never do, so it is what
// pairs them; a person can read it to tell ports apart. It names the port, not the camera: a
// camera moved to another port gets another location, and another camera plugged into that port
// gets this one.
struct UsbDevice {
  // On Linux the port path as sysfs names the device: 1-2.3. On Windows its first location path,
  // PCIROOT(0)#PCI(1400)#USBROOT(0)#USB(2)#USB(3), or its instance id where the driver gives none.
  std::string location;

  friend bool operator==(const UsbDevice&, const UsbDevice&) = default;
};

// The USB device a HID interface belongs to, the interface named by the device path the HID seam
// hands out for it (SetupDiGetDeviceInterfaceDetailW). None for an interface that is not on USB,
// that went away while it was looked at, or a path the platform never hands out.
std::optional<UsbDevice> usbDeviceOfHidInterface(const std::u16string& interfacePath);

// The same for a video capture device, named by its symbolic link, as Media Foundation gives it
// (MF_DEVSOURCE_ATTRIBUTE_SOURCE_TYPE_VIDCAP_SYMBOLIC_LINK); on Linux the node's device file,
// /dev/videoN.
std::optional<UsbDevice> usbDeviceOfVideoDevice(const std::u16string& devicePath);

}  // namespace cameras
