// The upgrader's command line and its two run modes: the serial-number mode (`-s`) and the
// upgrade mode (an image path, or nothing for the usage).
#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>

#include "OptiqonCamera.h"
#include "hid_discovery.h"

// The camera's HID identity.
constexpr USHORT CameraVendorId = 0x1BBD;
constexpr USHORT CameraProductId = 0x024C;

// How a run ended. A parent reads the verdict from the printed lines; the code says the same.
enum UpgraderExitCode : int {
  ExitSuccess = OPTIQON_UPGRADER_SUCCESS,
  ExitNoCamera = OPTIQON_UPGRADER_NO_CAMERA,
  ExitImageRefused = OPTIQON_UPGRADER_IMAGE_REFUSED,
  ExitEraseFailed = OPTIQON_UPGRADER_ERASE_FAILED,
  ExitDownloadFailed = OPTIQON_UPGRADER_DOWNLOAD_FAILED,
  ExitSerialUnreadable = OPTIQON_UPGRADER_SERIAL_UNREADABLE,
};

// The first record, in list order, that is open and carries the camera's vendor and product.
std::optional<std::uint32_t> findCamera(const HidDeviceRecord* list, std::uint32_t count);

// Runs the program as `main` would with these arguments, printing to `out`; returns the exit
// code. Everything the run opened is released before it returns.
int runUpgrader(int argc, char** argv, std::FILE* out);
