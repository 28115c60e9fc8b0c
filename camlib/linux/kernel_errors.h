// The results a Windows caller meets, and which of them stands for what the kernel answered. The
// library prints these numbers in its failure lines, so a failure reads the same on both systems.
#pragma once

#include "media_services.h"

// HRESULT_FROM_WIN32 of the Windows errors the media seam answers with: ERROR_ACCESS_DENIED,
// ERROR_GEN_FAILURE, ERROR_INSUFFICIENT_BUFFER, ERROR_DEVICE_NOT_CONNECTED, ERROR_NOT_FOUND and
// ERROR_SET_NOT_FOUND.
inline constexpr HRESULT ErrorAccessDenied = hresultFromWin32(5);
inline constexpr HRESULT ErrorGenFailure = hresultFromWin32(31);
inline constexpr HRESULT ErrorInsufficientBuffer = hresultFromWin32(122);
inline constexpr HRESULT ErrorDeviceNotConnected = hresultFromWin32(1167);
inline constexpr HRESULT ErrorNotFound = hresultFromWin32(1168);
inline constexpr HRESULT ErrorSetNotFound = hresultFromWin32(1170);

// The result for a device call that failed with `error` (an errno value):
//   ENOENT                     ERROR_NOT_FOUND             no such unit or control
//   ENOBUFS                    ERROR_INSUFFICIENT_BUFFER   the length is not the control's
//   ENODEV, ENXIO, ESHUTDOWN   ERROR_DEVICE_NOT_CONNECTED  the camera was unplugged
//   EACCES, EPERM              ERROR_ACCESS_DENIED
//   EINVAL                     E_INVALIDARG
//   EIO, EPIPE, EPROTO, other  ERROR_GEN_FAILURE           the camera stalled or the bus failed
HRESULT hresultOfErrno(int error);
