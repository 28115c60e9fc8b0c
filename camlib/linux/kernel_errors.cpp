#include "kernel_errors.h"

#include <cerrno>

// A control request whose length is not the control's moves no data at all on either system;
// Windows reports a buffer of the wrong size as too small, not as partly filled (ERROR_MORE_DATA).
// ESHUTDOWN is what the USB core answers while it tears down a device that went away.
HRESULT hresultOfErrno(int error) {
  switch (error) {
    case ENOENT:
      return ErrorNotFound;
    case ENOBUFS:
      return ErrorInsufficientBuffer;
    case ENODEV:
    case ENXIO:
    case ESHUTDOWN:
      return ErrorDeviceNotConnected;
    case EACCES:
    case EPERM:
      return ErrorAccessDenied;
    case EINVAL:
      return E_INVALIDARG;
    default:
      return ErrorGenFailure;
  }
}
