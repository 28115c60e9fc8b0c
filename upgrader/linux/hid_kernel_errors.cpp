#include "hid_kernel_errors.h"

#include <cerrno>

namespace hidraw {

// ESHUTDOWN is what the USB core answers while it tears down a device that went away.
DWORD windowsErrorOf(int error) {
  switch (error) {
    case ENOENT:
      return ERROR_FILE_NOT_FOUND;
    case EACCES:
    case EPERM:
      return ERROR_ACCESS_DENIED;
    case ENODEV:
    case ENXIO:
    case ESHUTDOWN:
      return ERROR_DEVICE_NOT_CONNECTED;
    case EFAULT:
      return ERROR_INVALID_USER_BUFFER;
    case ENOTTY:
      return ERROR_NOT_SUPPORTED;
    case EINVAL:
      return ERROR_INVALID_PARAMETER;
    case ENOMEM:
      return ERROR_NOT_ENOUGH_MEMORY;
    case EBUSY:
      return ERROR_BUSY;
    default:
      return ERROR_GEN_FAILURE;
  }
}

bool kernelLacksCall(int result) {
  return result == -ENOTTY || result == -EINVAL;
}

}  // namespace hidraw
