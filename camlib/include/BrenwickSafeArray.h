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

// Element types (VARENUM) that a safe array can hold.
constexpr VARTYPE VT_EMPTY = 0;
constexpr VARTYPE VT_I2 = 2;
constexpr VARTYPE VT_I4 = 3;
constexpr VARTYPE VT_R4 = 4;
constexpr VARTYPE VT_R8 = 5;
constexpr VARTYPE VT_CY = 6;
constexpr VARTYPE VT_DATE = 7;
constexpr VARTYPE VT_BSTR = 8;
constexpr VARTYPE VT_DISPATCH = 9;
constexpr VARTYPE VT_ERROR = 10;
constexpr VARTYPE VT_BOOL = 11;
constexpr VARTYPE VT_VARIANT = 12;
constexpr VARTYPE VT_UNKNOWN = 13;
constexpr VARTYPE VT_I1 = 16;
constexpr VARTYPE VT_UI1 = 17;
constexpr VARTYPE VT_UI2 = 18;
constexpr VARTYPE VT_UI4 = 19;
constexpr VARTYPE VT_I8 = 20;
constexpr VARTYPE VT_UI8 = 21;
constexpr VARTYPE VT_INT = 22;
constexpr VARTYPE VT_UINT = 23;
constexpr VARTYPE VT_RECORD = 36;

// What `fFeatures` says of an array: how it was allocated, and what its elements are.
constexpr USHORT FADF_AUTO = 0x0001;
constexpr USHORT FADF_STATIC = 0x0002;
constexpr USHORT FADF_EMBEDDED = 0x0004;
constexpr USHORT FADF_FIXEDSIZE = 0x0010;
constexpr USHORT FADF_RECORD = 0x0020;
constexpr USHORT FADF_HAVEIID = 0x0040;
constexpr USHORT FADF_HAVEVARTYPE = 0x0080;  // the element type is kept before the descriptor
constexpr USHORT FADF_BSTR = 0x0100;
constexpr USHORT FADF_UNKNOWN = 0x0200;
constexpr USHORT FADF_DISPATCH = 0x0400;
constexpr USHORT FADF_VARIANT = 0x0800;

extern "C" {

BRENWICK_PLATFORM_API SAFEARRAY* SafeArrayCreateVector(VARTYPE vt, LONG lowerBound, ULONG elements);
BRENWICK_PLATFORM_API HRESULT SafeArrayGetLBound(SAFEARRAY* array, UINT dimension,
                                                 LONG* lowerBound);
BRENWICK_PLATFORM_API HRESULT SafeArrayGetUBound(SAFEARRAY* array, UINT dimension,
                                                 LONG* upperBound);
// The number of dimensions; 0 for no array.
BRENWICK_PLATFORM_API UINT SafeArrayGetDim(SAFEARRAY* array);
// The element type the array records (FADF_HAVEVARTYPE, or an interface or record array);
// E_INVALIDARG when it records none.
BRENWICK_PLATFORM_API HRESULT SafeArrayGetVartype(SAFEARRAY* array, VARTYPE* type);
BRENWICK_PLATFORM_API HRESULT SafeArrayAccessData(SAFEARRAY* array, void** data);
BRENWICK_PLATFORM_API HRESULT SafeArrayUnaccessData(SAFEARRAY* array);
BRENWICK_PLATFORM_API HRESULT SafeArrayDestroy(SAFEARRAY* array);
BRENWICK_PLATFORM_API void CoTaskMemFree(void* memory);

}  // extern "C"

#endif
