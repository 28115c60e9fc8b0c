// Where a device hangs on USB, read from its path in sysfs, as the camera list names the camera's
// location: the port path of the USB device above it (1-2.3 in
// /devices/pci0000:00/0000:00:14.0/usb1/1-2/1-2.3/1-2.3:1.0/0003:1BBD:024C.0001/hidraw/hidraw0).
// Read from the path alone, since a removed device's sysfs entries are gone by the time its event
// is read.
#pragma once

#include <string>
#include <string_view>

// The last component of `devicePath` that names a USB device by its port path
// (BUS-PORT[.PORT]...); empty when none does.
std::string usbPortPathOf(std::string_view devicePath);
