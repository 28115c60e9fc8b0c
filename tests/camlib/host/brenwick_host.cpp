// A host application as a customer writes one: it knows the library only by its header and
// loads it at run time, resolves the thirteen exports and the safe-array functions by name, and
// drives the camera through them, printing each call and its result.
//
//   brenwick_host <path of the shared library> [firmware image]
//
// On Windows the safe-array functions and CoTaskMemFree are the system's (OLEAUT32, ole32), as
// for any host there; elsewhere the library exports them.
#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

#include <cstdio>
#include <exception>
#include <string>
#include <string_view>
#include <vector>

#include "Brenwick.h"

namespace {

// The library loaded, or the reason it could not be; and where each name is looked up.
#if defined(_WIN32)
using Module = HMODULE;
Module load(const char* path, std::string& error) {
  Module module = LoadLibraryA(path);
  if (module == nullptr) {
    error = "LoadLibrary failed with error " + std::to_string(GetLastError());
  }
  return module;
}
void* symbolOf(Module module, const char* name) {
  const std::string_view found(name);
  if (found.rfind("SafeArray", 0) == 0) {
    module = GetModuleHandleA("oleaut32.dll") ? GetModuleHandleA("oleaut32.dll")
                                              : LoadLibraryA("oleaut32.dll");
  } else if (found == "CoTaskMemFree") {
    module =
        GetModuleHandleA("ole32.dll") ? GetModuleHandleA("ole32.dll") : LoadLibraryA("ole32.dll");
  }
  return reinterpret_cast<void*>(GetProcAddress(module, name));
}
#else
using Module = void*;
Module load(const char* path, std::string& error) {
  Module module = dlopen(path, RTLD_NOW | RTLD_LOCAL);
  if (module == nullptr) {
    error = dlerror();
  }
  return module;
}
void* symbolOf(Module module, const char* name) {
  return dlsym(module, name);
}
#endif

struct Library {
  Module handle = nullptr;
  bool missing = false;

  template <typename Function>
  Function* resolve(const char* name) {
    void* symbol = symbolOf(handle, name);
    if (symbol == nullptr) {
      std::printf("missing export: %s\n", name);
      missing = true;
    }
    return reinterpret_cast<Function*>(symbol);
  }
};

struct Exports {
  decltype(&Initialize) initialize;
  decltype(&Deinitialize) deinitialize;
  decltype(&SetProperty) setProperty;
  decltype(&GetProperty) getProperty;
  decltype(&SetPropertyExtended) setPropertyExtended;
  decltype(&GetPropertyExtended) getPropertyExtended;
  decltype(&SetRegister) setRegister;
  decltype(&GetRegister) getRegister;
  decltype(&SaveSettings) saveSettings;
  decltype(&ResetSettings) resetSettings;
  decltype(&SetPassword) setPassword;
  decltype(&UpdateFirmware) updateFirmware;
  decltype(&GetSerialNumber) getSerialNumber;
  decltype(&SafeArrayCreateVector) createVector;
  decltype(&SafeArrayGetLBound) lowerBound;
  decltype(&SafeArrayGetUBound) upperBound;
  decltype(&SafeArrayAccessData) accessData;
  decltype(&SafeArrayUnaccessData) unaccessData;
  decltype(&SafeArrayDestroy) destroy;
  decltype(&CoTaskMemFree) taskMemFree;
};

#define RESOLVE(field, name) exports.field = library.resolve<decltype(name)>(#name)

bool resolveAll(Library& library, Exports& exports) {
  RESOLVE(initialize, Initialize);
  RESOLVE(deinitialize, Deinitialize);
  RESOLVE(setProperty, SetProperty);
  RESOLVE(getProperty, GetProperty);
  RESOLVE(setPropertyExtended, SetPropertyExtended);
  RESOLVE(getPropertyExtended, GetPropertyExtended);
  RESOLVE(setRegister, SetRegister);
  RESOLVE(getRegister, GetRegister);
  RESOLVE(saveSettings, SaveSettings);
  RESOLVE(resetSettings, ResetSettings);
  RESOLVE(setPassword, SetPassword);
  RESOLVE(updateFirmware, UpdateFirmware);
  RESOLVE(getSerialNumber, GetSerialNumber);
  RESOLVE(createVector, SafeArrayCreateVector);
  RESOLVE(lowerBound, SafeArrayGetLBound);
  RESOLVE(upperBound, SafeArrayGetUBound);
  RESOLVE(accessData, SafeArrayAccessData);
  RESOLVE(unaccessData, SafeArrayUnaccessData);
  RESOLVE(destroy, SafeArrayDestroy);
  RESOLVE(taskMemFree, CoTaskMemFree);
  return !library.missing;
}

// The array's values as "[a, b, ...]", and the array destroyed: the host owns it.
std::string takeValues(const Exports& e, SAFEARRAY* array) {
  if (array == nullptr) {
    return "(no array)";
  }
  LONG lower = 0, upper = -1;
  e.lowerBound(array, 1, &lower);
  e.upperBound(array, 1, &upper);
  void* data = nullptr;
  e.accessData(array, &data);
  std::string text = "[";
  for (LONG i = 0; i <= upper - lower; ++i) {
    char number[32];
    std::snprintf(number, sizeof number, "%s%g", i == 0 ? "" : ", ", static_cast<double*>(data)[i]);
    text += number;
  }
  e.unaccessData(array);
  e.destroy(array);
  return text + "]";
}

SAFEARRAY* makeValues(const Exports& e, const std::vector<double>& values) {
  SAFEARRAY* array = e.createVector(VT_R8, 0, static_cast<ULONG>(values.size()));
  void* data = nullptr;
  e.accessData(array, &data);
  for (std::size_t i = 0; i < values.size(); ++i) {
    static_cast<double*>(data)[i] = values[i];
  }
  e.unaccessData(array);
  return array;
}

void say(const std::string& line) {
  std::printf("\n%s\n", line.c_str());
  std::fflush(stdout);
}

void driveCamera(const Exports& e, const char* image) {
  say(std::string("Initialize() = ") + (e.initialize() ? "true" : "false"));
  e.setProperty(0, 12.9);
  say("SetProperty(0, 12.9); GetProperty(0) = " + std::to_string(e.getProperty(0)));
  say("GetPropertyExtended(20) = " + takeValues(e, e.getPropertyExtended(20)));
  say("GetPropertyExtended(30) = " + takeValues(e, e.getPropertyExtended(30)));
  SAFEARRAY* values = makeValues(e, {1, 2, 3, 4});
  e.setPropertyExtended(20, values);
  e.destroy(values);
  say("SetPropertyExtended(20, [1, 2, 3, 4]); GetPropertyExtended(20) = " +
      takeValues(e, e.getPropertyExtended(20)));
  say(std::string("SetPassword(\"1A2B\") = ") + (e.setPassword("1A2B") ? "true" : "false"));
  say(std::string("SetRegister(0x10, 0x80) = ") + (e.setRegister(0x10, 0x80) ? "true" : "false"));
  say("GetRegister() = " + std::to_string(e.getRegister()));
  say("SaveSettings() = " + std::to_string(e.saveSettings()));
  say("GetSerialNumber() = " + std::string(e.getSerialNumber()));
  if (image != nullptr) {
    say(std::string("UpdateFirmware(\"") + image + "\"):");
    e.updateFirmware(image);
  }
  say("Deinitialize():");
  e.deinitialize();
  say("done");
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: brenwick_host <library> [firmware image]\n");
    return 2;
  }
  Library library;
  std::string error;
  library.handle = load(argv[1], error);
  if (library.handle == nullptr) {
    std::fprintf(stderr, "brenwick_host: %s\n", error.c_str());
    return 1;
  }
  Exports exports{};
  if (!resolveAll(library, exports)) {
    return 1;
  }
  try {
    driveCamera(exports, argc > 2 ? argv[2] : nullptr);
  } catch (const std::exception& error) {
    std::printf("exception: %s\n", error.what());
    return 1;
  }
  return 0;
}
