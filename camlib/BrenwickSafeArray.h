// OLE Automation safe arrays for hosts of the Brenwick library. On Windows these are the
// platform's own (oleaut32) and this header only includes them. Elsewhere the library provides
// the same functions with the same signatures and the Windows x64 layout, so that a host makes
// the arrays it passes and frees the ones it receives exactly as it would on Windows.
#pragma once

#if defined(_WIN32)

#ifndef NOMINMAX
#define NOMINMAX
#endif
// clang-format off
#include <windows.h>
#include <oleauto.h>
// clang-format on

#else

#include <cstddef>
#include <cstdint>

#if defined(BRENWICK_BUILDING_LIBRARY)
#define BRENWICK_PLATFORM_API __attribute__((visibility("default")))
#else
#define BRENWICK_PLATFORM_API
#endif

using HRESULT = std::int32_t;
using LONG = std::int32_t;
using ULONG = std::uint32_t;
using UINT = std::uint32_t;
using USHORT = std::uint16_t;
using VARTYPE = std::uint16_t;

struct SAFEARRAYBOUND {
  ULONG cElements;
  LONG lLbound;
};

struct SAFEARRAY {
  USHORT cDims;
  USHORT fFeatures;
  ULONG cbElements;
  ULONG cLocks;
  void* pvData;
  SAFEARRAYBOUND rgsabound[1];
};
static_assert(sizeof(SAFEARRAY) == 32);
static_assert(offsetof(SAFEARRAY, pvData) == 16);
static_assert(offsetof(SAFEARRAY, rgsabound) == 24);

constexpr VARTYPE VT_R8 = 5;
constexpr USHORT FADF_HAVEVARTYPE = 0x0080;

extern "C" {

BRENWICK_PLATFORM_API SAFEARRAY* SafeArrayCreateVector(VARTYPE vt, LONG lowerBound, ULONG elements);
BRENWICK_PLATFORM_API HRESULT SafeArrayGetLBound(SAFEARRAY* array, UINT dimension,
                                                 LONG* lowerBound);
BRENWICK_PLATFORM_API HRESULT SafeArrayGetUBound(SAFEARRAY* array, UINT dimension,
                                                 LONG* upperBound);
BRENWICK_PLATFORM_API HRESULT SafeArrayAccessData(SAFEARRAY* array, void** data);
BRENWICK_PLATFORM_API HRESULT SafeArrayUnaccessData(SAFEARRAY* array);
BRENWICK_PLATFORM_API HRESULT SafeArrayDestroy(SAFEARRAY* array);
BRENWICK_PLATFORM_API void CoTaskMemFree(void* memory);

}  // extern "C"

#endif
