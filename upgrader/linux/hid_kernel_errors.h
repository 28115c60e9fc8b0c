// The Windows error a caller of the HID seam meets for what the hidraw kernel interface answered,
// so that a failure reads the same on both systems.
#pragma once

#include "hid_services.h"

namespace hidraw {

// The Windows error for a device call that failed with `error` (an errno value):
//   ENOENT                     ERROR_FILE_NOT_FOUND        no such node
//   EACCES, EPERM              ERROR_ACCESS_DENIED         the node's permissions
//   ENODEV, ENXIO, ESHUTDOWN   ERROR_DEVICE_NOT_CONNECTED  the device was unplugged
//   EFAULT                     ERROR_INVALID_USER_BUFFER
//   ENOTTY                     ERROR_NOT_SUPPORTED         the driver has no such call
//   EINVAL                     ERROR_INVALID_PARAMETER
//   ENOMEM                     ERROR_NOT_ENOUGH_MEMORY
//   EBUSY                      ERROR_BUSY
//   EIO, EPIPE, other          ERROR_GEN_FAILURE           the device stalled or the bus failed
DWORD windowsErrorOf(int error);

// Whether a device call's result (-errno) says the running kernel lacks the ioctl: ENOTTY, or
// EINVAL from older kernels.
bool kernelLacksCall(int result);

}  // namespace hidraw
