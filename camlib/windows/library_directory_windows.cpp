// The directory the library was loaded from, for a library that starts the upgrader beside
// itself wherever it was unpacked (the simulated camera's package for host developers).
#include <windows.h>

#include <string>

#include "upgrader_location.h"

namespace upgrader_location {

std::string directory() {
  HMODULE library = nullptr;
  // Any address inside the library names it; this function's own is at hand.
  if (!GetModuleHandleExA(
          GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
          reinterpret_cast<LPCSTR>(&directory), &library)) {
    return ".";
  }
  std::string path(MAX_PATH, '\0');
  for (;;) {
    const DWORD length = GetModuleFileNameA(library, path.data(), static_cast<DWORD>(path.size()));
    if (length == 0) {
      return ".";
    }
    if (length < path.size()) {
      path.resize(length);
      break;
    }
    path.resize(path.size() * 2);  // cut short: a longer path than MAX_PATH
  }
  const std::size_t separator = path.find_last_of("\\/");
  return separator == std::string::npos ? "." : path.substr(0, separator);
}

}  // namespace upgrader_location
