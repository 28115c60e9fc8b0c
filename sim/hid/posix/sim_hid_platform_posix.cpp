// The simulated PC off Windows, where it is the whole system: it keeps each thread's last error,
// which GetLastError answers, and there are no files or handles but the simulated interfaces'.
#include "../sim_hid_platform.h"
#include "../sim_hid_world.h"

namespace sim::platform {

namespace {

// As Windows keeps it: a call on one thread does not change what another thread's GetLastError
// answers.
thread_local DWORD threadLastError = 0;

}  // namespace

void setLastError(DWORD error) {
  threadLastError = error;
}

HANDLE createFile(LPCWSTR, DWORD, DWORD, LPSECURITY_ATTRIBUTES, DWORD, DWORD, HANDLE) {
  hidWorld().lastError = ERROR_FILE_NOT_FOUND;
  setLastError(ERROR_FILE_NOT_FOUND);
  return INVALID_HANDLE_VALUE;
}

BOOL closeHandle(HANDLE) {
  hidWorld().lastError = ERROR_INVALID_HANDLE;
  setLastError(ERROR_INVALID_HANDLE);
  return FALSE;
}

}  // namespace sim::platform

extern "C" {

// Declared by the HID seam, served under its own name, as every platform function is off Windows.
DWORD GetLastError(void) {
  return sim::platform::threadLastError;
}

}  // extern "C"
