// The upgrader's command line and its two run modes: the serial-number mode (`-s`) and the
// upgrade mode (an image path, or nothing for the usage).
#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>

#include "hid_discovery.h"

// The camera's HID identity.
constexpr USHORT CameraVendorId = 0x1BBD;
constexpr USHORT CameraProductId = 0x024C;

// How a run ended. A parent reads the verdict from the printed lines; the code says the same.
enum UpgraderExitCode : int {
  ExitSuccess = 0,         // image verified, serial number printed, or usage shown
  ExitNoCamera = 1,        // no usable camera among the HID interfaces
  ExitImageRefused = 2,    // the image cannot be read, is empty or is too large
  ExitEraseFailed = 3,     // a sector stayed busy
  ExitDownloadFailed = 4,  // a page failed, a report was refused, or the last erase was refused
  ExitSerialUnreadable = 5,
};

// The first record, in list order, that is open and carries the camera's vendor and product.
std::optional<std::uint32_t> findCamera(const HidDeviceRecord* list, std::uint32_t count);

// Runs the program as `main` would with these arguments, printing to `out`; returns the exit
// code. Everything the run opened is released before it returns.
int runUpgrader(int argc, char** argv, std::FILE* out);
