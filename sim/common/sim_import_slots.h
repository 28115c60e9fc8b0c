// How the simulated camera stands in for the platform's functions.
//
// Off Windows, the seams declare the platform's functions and the simulated backend defines
// them under their Windows names. On Windows, the seams include the platform's own headers,
// which declare those functions as imported from system DLLs: the code above the seams calls
// each through its import slot, the pointer __imp_<name> that the loader fills from the DLL.
// The simulated build fills those slots itself, at link time, with functions of exactly the
// declared type, so the code above the seams is compiled as for the real platform and no system
// DLL is asked for them.
//
//   <type> SIM_SERVED(HidD_GetHidGuid)(...) { ... }   // defines the simulated function
//   SIM_IMPORT_SLOT(HidD_GetHidGuid);                 // on Windows, points the slot at it
//
// Both belong inside an extern "C" block.
#pragma once

#if defined(_WIN32)
#define SIM_SERVED(name) simServed_##name
#define SIM_IMPORT_SLOT(name) decltype(&::name) __imp_##name = &SIM_SERVED(name)
#else
#define SIM_SERVED(name) name
#define SIM_IMPORT_SLOT(name) static_assert(sizeof(&::name) != 0, "served")
#endif
