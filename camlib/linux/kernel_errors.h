// Which of the results a Windows caller meets (media_services.h names them) stands for what the
// kernel answered. The library prints these numbers in its failure lines, so a failure reads the
// same on both systems.
#pragma once

#include "media_services.h"

// The result for a device call that failed with `error` (an errno value):
//   ENOENT                     ERROR_NOT_FOUND             no such unit or control
//   ENOBUFS                    ERROR_INSUFFICIENT_BUFFER   the length is not the control's
//   ENODEV, ENXIO, ESHUTDOWN   ERROR_DEVICE_NOT_CONNECTED  the camera was unplugged
//   EACCES, EPERM              ERROR_ACCESS_DENIED
//   EINVAL                     E_INVALIDARG
//   EIO, EPIPE, EPROTO, other  ERROR_GEN_FAILURE           the camera stalled or the bus failed
HRESULT hresultOfErrno(int error);
