// A Windows host of the installed library, run without a camera: it loads Brenwick.dll with
// LoadLibrary, resolves the thirteen exports by name and checks what each gives back on a
// machine where the camera is absent. Every check prints one line; the exit code is the number
// of checks that failed.
//
//   brenwick_wine_host <path of Brenwick.dll> <image path for UpdateFirmware>
// clang-format off
#include <windows.h>
#include <oleauto.h>
// clang-format on

#include <cstdio>
#include <stdexcept>
#include <string>
#include <vector>

#include "Brenwick.h"

namespace {

int failures = 0;

void check(bool passed, const std::string& what) {
  std::printf("%s: %s\n", passed ? "PASS" : "FAIL", what.c_str());
  std::fflush(stdout);
  if (!passed) {
    ++failures;
  }
}

struct Exports {
  decltype(&Initialize) initialize = nullptr;
  decltype(&Deinitialize) deinitialize = nullptr;
  decltype(&SetProperty) setProperty = nullptr;
  decltype(&GetProperty) getProperty = nullptr;
  decltype(&SetPropertyExtended) setPropertyExtended = nullptr;
  decltype(&GetPropertyExtended) getPropertyExtended = nullptr;
  decltype(&SetRegister) setRegister = nullptr;
  decltype(&GetRegister) getRegister = nullptr;
  decltype(&SaveSettings) saveSettings = nullptr;
  decltype(&ResetSettings) resetSettings = nullptr;
  decltype(&SetPassword) setPassword = nullptr;
  decltype(&UpdateFirmware) updateFirmware = nullptr;
  decltype(&GetSerialNumber) getSerialNumber = nullptr;
};

template <typename Function>
void resolve(HMODULE library, const char* name, Function& function) {
  function = reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(library, name)));
  check(function != nullptr, std::string("GetProcAddress(\"") + name + "\")");
}

// The array is a real OLE Automation array of doubles, one dimension from 0; its values.
bool holdsDoubles(SAFEARRAY* array, const std::vector<double>& expected) {
  if (array == nullptr || SafeArrayGetDim(array) != 1) {
    return false;
  }
  VARTYPE type = VT_EMPTY;
  LONG lower = -1, upper = -2;
  if (FAILED(SafeArrayGetVartype(array, &type)) || type != VT_R8 ||
      FAILED(SafeArrayGetLBound(array, 1, &lower)) ||
      FAILED(SafeArrayGetUBound(array, 1, &upper)) || lower != 0 ||
      upper + 1 != static_cast<LONG>(expected.size())) {
    return false;
  }
  double* data = nullptr;
  if (FAILED(SafeArrayAccessData(array, reinterpret_cast<void**>(&data)))) {
    return false;
  }
  bool same = true;
  for (std::size_t i = 0; i < expected.size(); ++i) {
    same = same && data[i] == expected[i];
  }
  SafeArrayUnaccessData(array);
  return same && SUCCEEDED(SafeArrayDestroy(array));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: brenwick_wine_host <Brenwick.dll> <image>\n");
    return 100;
  }
  HMODULE library = LoadLibraryA(argv[1]);
  check(library != nullptr, "LoadLibrary of the installed Brenwick.dll");
  if (library == nullptr) {
    return failures;
  }
  Exports e;
  resolve(library, "Initialize", e.initialize);
  resolve(library, "Deinitialize", e.deinitialize);
  resolve(library, "SetProperty", e.setProperty);
  resolve(library, "GetProperty", e.getProperty);
  resolve(library, "SetPropertyExtended", e.setPropertyExtended);
  resolve(library, "GetPropertyExtended", e.getPropertyExtended);
  resolve(library, "SetRegister", e.setRegister);
  resolve(library, "GetRegister", e.getRegister);
  resolve(library, "SaveSettings", e.saveSettings);
  resolve(library, "ResetSettings", e.resetSettings);
  resolve(library, "SetPassword", e.setPassword);
  resolve(library, "UpdateFirmware", e.updateFirmware);
  resolve(library, "GetSerialNumber", e.getSerialNumber);
  if (failures != 0) {
    return failures;
  }

  check(holdsDoubles(e.getPropertyExtended(20), {0, 0, 0, 0}),
        "GetPropertyExtended(20) is a safe array of four zeros");
  check(holdsDoubles(e.getPropertyExtended(30), {-0.45}),
        "GetPropertyExtended(30) is one element, -0.45");
  check(holdsDoubles(e.getPropertyExtended(0), {}), "GetPropertyExtended(0) is an empty array");
  check(!e.setRegister(0x10, 0x80), "SetRegister without a camera is false");
  check(e.saveSettings() == -2147467259, "SaveSettings without a camera is E_FAIL");
  check(e.resetSettings() == -2147467259, "ResetSettings without a camera is E_FAIL");
  check(e.getProperty(0) < 0, "GetProperty(0) without a camera is a negative failure code");
  try {
    e.setPassword("zz");
    check(false, "SetPassword(\"zz\") throws");
  } catch (const std::invalid_argument& error) {
    check(std::string(error.what()) == "invalid stoi argument",
          "SetPassword(\"zz\") throws std::invalid_argument \"invalid stoi argument\"");
  }

  const ULONGLONG before = GetTickCount64();
  const bool found = e.initialize();
  const ULONGLONG waited = GetTickCount64() - before;
  check(!found, "Initialize without a camera is false");
  check(waited >= 4900, "Initialize without a camera waits five seconds");

  const std::string serial = e.getSerialNumber();
  check(serial == "Did not find Corvantis K3M51-USB camera...\n",
        "GetSerialNumber returns the upgrader's first line, CR LF read as LF");

  std::printf("-- UpdateFirmware echo begins\n");
  std::fflush(stdout);
  e.updateFirmware(argv[2]);
  std::printf("-- UpdateFirmware echo ends\n");
  std::fflush(stdout);

  FreeLibrary(library);
  std::printf("%d checks failed\n", failures);
  return failures;
}
