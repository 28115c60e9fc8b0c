// The Windows base types (integers, handles, UTF-16 text, GUIDs, HRESULT) as a build off Windows
// declares them for the HID and media seams, with the Windows x64 sizes. Only the seam headers
// include it, and only off Windows: there each includes the platform's own headers instead.
// BrenwickSafeArray.h, which a host includes alone, declares a few of these itself; they are
// declared the same here, which C++ allows.
#pragma once

#if defined(_WIN32)
#error "windows_base_types.h stands in for the platform's headers off Windows only"
#endif

#include <cstdint>
#include <cstring>

using BYTE = std::uint8_t;
using UCHAR = std::uint8_t;
using BOOLEAN = std::uint8_t;
using USHORT = std::uint16_t;
using UINT = std::uint32_t;
using UINT32 = std::uint32_t;
using ULONG = std::uint32_t;
using DWORD = std::uint32_t;
using LONG = std::int32_t;
using NTSTATUS = std::int32_t;
using HRESULT = std::int32_t;
using BOOL = int;
using ULONG_PTR = std::uintptr_t;
using LONG_PTR = std::intptr_t;
using WCHAR = char16_t;  // UTF-16 code unit, as on Windows
using PVOID = void*;
using LPVOID = void*;
using HANDLE = void*;
using HWND = void*;
using PCWSTR = const WCHAR*;
using LPCWSTR = const WCHAR*;
using LPWSTR = WCHAR*;
using PUSHORT = USHORT*;
using PDWORD = DWORD*;
// The two whose width their C++ type does not spell: BOOL is an int, not a bool, and WCHAR a
// UTF-16 code unit, not a wchar_t (32 bits here).
static_assert(sizeof(BOOL) == 4);
static_assert(sizeof(WCHAR) == 2);

#define TRUE 1
#define FALSE 0
#define INVALID_HANDLE_VALUE (reinterpret_cast<HANDLE>(static_cast<LONG_PTR>(-1)))

#define SUCCEEDED(hr) ((hr) >= 0)
#define FAILED(hr) ((hr) < 0)

struct GUID {
  std::uint32_t Data1;
  std::uint16_t Data2;
  std::uint16_t Data3;
  std::uint8_t Data4[8];
};
static_assert(sizeof(GUID) == 16);
using IID = GUID;
using REFGUID = const GUID&;
using REFIID = const IID&;

inline bool operator==(const GUID& a, const GUID& b) {
  return std::memcmp(&a, &b, sizeof a) == 0;
}
