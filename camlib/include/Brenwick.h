// The Brenwick camera control library: thirteen plain exports for a host application.
//
// Call Initialize once, on the thread that makes every later call, then any of the commands,
// one at a time, and Deinitialize at the end. Numbers travel as doubles; the bytes of a vendor
// control travel as one-dimensional safe arrays of doubles (VT_R8), one double per byte.
// UpdateFirmware and GetSerialNumber need neither Initialize nor the camera connection.
#pragma once

#include <string>

#include "BrenwickSafeArray.h"

#if defined(_WIN32)
#if defined(BRENWICK_BUILDING_LIBRARY)
#define BRENWICK_API __declspec(dllexport)
#else
#define BRENWICK_API __declspec(dllimport)
#endif
#else
#if defined(BRENWICK_BUILDING_LIBRARY)
#define BRENWICK_API __attribute__((visibility("default")))
#else
#define BRENWICK_API
#endif
#endif

extern "C" {

// Opens the camera named "Corvantis Optiqon"; false (after listing the video devices present)
// when there is none.
BRENWICK_API bool Initialize();
// Releases the camera, prints "\nExiting App in 5 sec..." and waits five seconds.
BRENWICK_API void Deinitialize();

// Standard image properties, by the platform's video processing amplifier numbering.
BRENWICK_API void SetProperty(int property, double value);
BRENWICK_API double GetProperty(int property);

// Numbered vendor controls: 1 to 31 on the first extension unit, 32 and above on the second.
BRENWICK_API void SetPropertyExtended(int number, SAFEARRAY* values);
// A new array that the caller owns and destroys with SafeArrayDestroy.
BRENWICK_API SAFEARRAY* GetPropertyExtended(int number);

BRENWICK_API bool SetRegister(unsigned char address, unsigned char value);
BRENWICK_API int GetRegister();
BRENWICK_API int SaveSettings();
BRENWICK_API int ResetSettings();
BRENWICK_API bool SetPassword(const char* password);

// Runs the firmware upgrader with these arguments and echoes what it prints.
BRENWICK_API void UpdateFirmware(std::string arguments);
// The first line the upgrader prints in its serial-number mode. The text belongs to the library
// and stays valid until the next call.
BRENWICK_API char* GetSerialNumber();

}  // extern "C"
