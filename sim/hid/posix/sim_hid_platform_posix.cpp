// The simulated PC off Windows, where it is the whole system: the thread's last error is the HID
// world's, which GetLastError answers, and there are no files or handles but the simulated
// interfaces'.
#include "../sim_hid_platform.h"
#include "../sim_hid_world.h"

namespace sim::platform {

// The HID world's copy is the only one.
void setLastError(DWORD) {}

HANDLE createFile(LPCWSTR, DWORD, DWORD, LPSECURITY_ATTRIBUTES, DWORD, DWORD, HANDLE) {
  hidWorld().lastError = ERROR_FILE_NOT_FOUND;
  return INVALID_HANDLE_VALUE;
}

BOOL closeHandle(HANDLE) {
  hidWorld().lastError = ERROR_INVALID_HANDLE;
  return FALSE;
}

}  // namespace sim::platform

extern "C" {

// Declared by the HID seam, served under its own name, as every platform function is off Windows.
DWORD GetLastError(void) {
  return sim::hidWorld().lastError;
}

}  // extern "C"
