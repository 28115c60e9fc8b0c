// The simulated PC on Windows, beside the real one: the platform keeps the thread's last error,
// which the C and C++ runtimes linked into the program read too, and opens and closes every file
// and handle that is not a simulated interface's (the mapping of the shared flash file among them).
#include "../sim_hid_platform.h"

namespace sim::platform {
namespace {

// The platform's own function: the import slot of its name leads to the simulated one.
template <typename Function>
Function kernelFunction(const char* name) {
  return reinterpret_cast<Function>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), name)));
}

}  // namespace

void setLastError(DWORD error) {
  SetLastError(error);
}

HANDLE createFile(LPCWSTR fileName, DWORD desiredAccess, DWORD shareMode,
                  LPSECURITY_ATTRIBUTES security, DWORD creationDisposition, DWORD flags,
                  HANDLE pattern) {
  return kernelFunction<decltype(&::CreateFileW)>("CreateFileW")(
      fileName, desiredAccess, shareMode, security, creationDisposition, flags, pattern);
}

BOOL closeHandle(HANDLE handle) {
  return kernelFunction<decltype(&::CloseHandle)>("CloseHandle")(handle);
}

}  // namespace sim::platform
