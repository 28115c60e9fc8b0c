// What the simulated PC's HID side does its own way on each platform: one header, a file per
// platform (posix/sim_hid_platform_posix.cpp, windows/sim_hid_platform_windows.cpp). Off Windows
// the simulated PC is the whole system the upgrader sees; on Windows it stands beside the real
// one, which keeps the thread's last error and owns every file the simulation does not.
#pragma once

#include "../../upgrader/hid_services.h"

namespace sim::platform {

// Sets the calling thread's last error where the platform keeps it, besides the HID world's copy.
void setLastError(DWORD error);

// CreateFileW for a path that names no simulated interface.
HANDLE createFile(LPCWSTR fileName, DWORD desiredAccess, DWORD shareMode,
                  LPSECURITY_ATTRIBUTES security, DWORD creationDisposition, DWORD flags,
                  HANDLE pattern);

// CloseHandle for a handle the simulated PC did not give out.
BOOL closeHandle(HANDLE handle);

}  // namespace sim::platform
