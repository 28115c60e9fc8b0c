// The upgrader's one window onto the platform: the Windows HID class library (HidD_*, HidP_*),
// the device-setup library (SetupDi*) and the few kernel calls it needs, by their Windows names
// and types. On Windows this is the platform itself. Elsewhere the same types are declared with
// the x64 memory layouts (the base types, which the library's seam shares, in
// common/windows_base_types.h; the HID and device-setup ones here), and a backend chosen when the
// program is linked (the simulated camera, or a native one) provides the functions. Nothing
// above this header knows which.
#pragma once

#if defined(_WIN32)

#ifndef NOMINMAX
#define NOMINMAX
#endif
// clang-format off
#include <windows.h>
#include <setupapi.h>
extern "C" {
#include <hidsdi.h>
}
#include <hidpi.h>
// clang-format on

#else

#include <cstddef>
#include <cstdint>

#include "../common/windows_base_types.h"

// What only the HID class library and device setup name.
using USAGE = std::uint16_t;
using HDEVINFO = void*;

// Access, sharing and creation values of CreateFileW.
constexpr DWORD GENERIC_READ = 0x80000000u;
constexpr DWORD GENERIC_WRITE = 0x40000000u;
constexpr DWORD FILE_SHARE_READ = 0x1;
constexpr DWORD FILE_SHARE_WRITE = 0x2;
constexpr DWORD OPEN_EXISTING = 3;
struct SECURITY_ATTRIBUTES;
using LPSECURITY_ATTRIBUTES = SECURITY_ATTRIBUTES*;

// The Windows error codes the upgrader and its backends meet.
constexpr DWORD ERROR_SUCCESS = 0;
constexpr DWORD ERROR_FILE_NOT_FOUND = 2;
constexpr DWORD ERROR_ACCESS_DENIED = 5;
constexpr DWORD ERROR_INVALID_HANDLE = 6;
constexpr DWORD ERROR_NOT_ENOUGH_MEMORY = 8;
constexpr DWORD ERROR_INVALID_DATA = 13;
constexpr DWORD ERROR_GEN_FAILURE = 31;
constexpr DWORD ERROR_NOT_SUPPORTED = 50;
constexpr DWORD ERROR_INVALID_PARAMETER = 87;
constexpr DWORD ERROR_INSUFFICIENT_BUFFER = 122;
constexpr DWORD ERROR_BUSY = 170;
constexpr DWORD ERROR_NO_MORE_ITEMS = 259;
constexpr DWORD ERROR_DEVICE_NOT_CONNECTED = 1167;
constexpr DWORD ERROR_INVALID_USER_BUFFER = 1784;

// Device setup.
constexpr DWORD DIGCF_PRESENT = 0x02;
constexpr DWORD DIGCF_DEVICEINTERFACE = 0x10;
constexpr DWORD SPINT_ACTIVE = 0x1;

// The device interface class of HID collections, which HidD_GetHidGuid answers.
inline constexpr GUID GUID_DEVINTERFACE_HID = {
    0x4D1E55B2, 0xF16F, 0x11CF, {0x88, 0xCB, 0x00, 0x11, 0x11, 0x00, 0x00, 0x30}};

struct SP_DEVINFO_DATA;
using PSP_DEVINFO_DATA = SP_DEVINFO_DATA*;

struct SP_DEVICE_INTERFACE_DATA {
  DWORD cbSize;
  GUID InterfaceClassGuid;
  DWORD Flags;
  ULONG_PTR Reserved;
};
using PSP_DEVICE_INTERFACE_DATA = SP_DEVICE_INTERFACE_DATA*;
static_assert(sizeof(SP_DEVICE_INTERFACE_DATA) == 32);

struct SP_DEVICE_INTERFACE_DETAIL_DATA_W {
  DWORD cbSize;
  WCHAR DevicePath[1];  // the path continues past the end of the structure
};
using PSP_DEVICE_INTERFACE_DETAIL_DATA_W = SP_DEVICE_INTERFACE_DETAIL_DATA_W*;
static_assert(sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W) == 8);
static_assert(offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_W, DevicePath) == 4);

// HID class library.
struct HIDD_ATTRIBUTES {
  ULONG Size;
  USHORT VendorID;
  USHORT ProductID;
  USHORT VersionNumber;
};
using PHIDD_ATTRIBUTES = HIDD_ATTRIBUTES*;
static_assert(sizeof(HIDD_ATTRIBUTES) == 12);

struct HIDP_CAPS {
  USAGE Usage;
  USAGE UsagePage;
  USHORT InputReportByteLength;
  USHORT OutputReportByteLength;
  USHORT FeatureReportByteLength;
  USHORT Reserved[17];
  USHORT NumberLinkCollectionNodes;
  USHORT NumberInputButtonCaps;
  USHORT NumberInputValueCaps;
  USHORT NumberInputDataIndices;
  USHORT NumberOutputButtonCaps;
  USHORT NumberOutputValueCaps;
  USHORT NumberOutputDataIndices;
  USHORT NumberFeatureButtonCaps;
  USHORT NumberFeatureValueCaps;
  USHORT NumberFeatureDataIndices;
};
using PHIDP_CAPS = HIDP_CAPS*;
static_assert(sizeof(HIDP_CAPS) == 64);
static_assert(offsetof(HIDP_CAPS, NumberLinkCollectionNodes) == 44);
static_assert(offsetof(HIDP_CAPS, NumberFeatureDataIndices) == 62);

struct HIDP_CAPS_RANGE {
  USAGE UsageMin, UsageMax;
  USHORT StringMin, StringMax;
  USHORT DesignatorMin, DesignatorMax;
  USHORT DataIndexMin, DataIndexMax;
};

struct HIDP_CAPS_NOT_RANGE {
  USAGE Usage, Reserved1;
  USHORT StringIndex, Reserved2;
  USHORT DesignatorIndex, Reserved3;
  USHORT DataIndex, Reserved4;
};

struct HIDP_BUTTON_CAPS {
  USAGE UsagePage;
  UCHAR ReportID;
  BOOLEAN IsAlias;
  USHORT BitField;
  USHORT LinkCollection;
  USAGE LinkUsage;
  USAGE LinkUsagePage;
  BOOLEAN IsRange;
  BOOLEAN IsStringRange;
  BOOLEAN IsDesignatorRange;
  BOOLEAN IsAbsolute;
  USHORT ReportCount;
  USHORT Reserved2;
  ULONG Reserved[9];
  union {
    HIDP_CAPS_RANGE Range;
    HIDP_CAPS_NOT_RANGE NotRange;
  };
};
using PHIDP_BUTTON_CAPS = HIDP_BUTTON_CAPS*;
static_assert(sizeof(HIDP_BUTTON_CAPS) == 72);
static_assert(offsetof(HIDP_BUTTON_CAPS, ReportCount) == 16);
static_assert(offsetof(HIDP_BUTTON_CAPS, Range) == 56);

struct HIDP_VALUE_CAPS {
  USAGE UsagePage;
  UCHAR ReportID;
  BOOLEAN IsAlias;
  USHORT BitField;
  USHORT LinkCollection;
  USAGE LinkUsage;
  USAGE LinkUsagePage;
  BOOLEAN IsRange;
  BOOLEAN IsStringRange;
  BOOLEAN IsDesignatorRange;
  BOOLEAN IsAbsolute;
  BOOLEAN HasNull;
  UCHAR Reserved;
  USHORT BitSize;
  USHORT ReportCount;
  USHORT Reserved2[5];
  ULONG UnitsExp;
  ULONG Units;
  LONG LogicalMin, LogicalMax;
  LONG PhysicalMin, PhysicalMax;
  union {
    HIDP_CAPS_RANGE Range;
    HIDP_CAPS_NOT_RANGE NotRange;
  };
};
using PHIDP_VALUE_CAPS = HIDP_VALUE_CAPS*;
static_assert(sizeof(HIDP_VALUE_CAPS) == 72);
static_assert(offsetof(HIDP_VALUE_CAPS, BitSize) == 18);
static_assert(offsetof(HIDP_VALUE_CAPS, UnitsExp) == 32);
static_assert(offsetof(HIDP_VALUE_CAPS, LogicalMin) == 40);
static_assert(offsetof(HIDP_VALUE_CAPS, Range) == 56);

enum HIDP_REPORT_TYPE { HidP_Input = 0, HidP_Output = 1, HidP_Feature = 2 };

// The HID parser's private form of a report descriptor; only ever handled by pointer.
struct _HIDP_PREPARSED_DATA;
using PHIDP_PREPARSED_DATA = _HIDP_PREPARSED_DATA*;

// HID parser results: (severity << 28) | (facility 0x11 << 16) | code.
constexpr NTSTATUS hidpStatus(std::uint32_t severity, std::uint32_t code) {
  return static_cast<NTSTATUS>((severity << 28) | (0x11u << 16) | code);
}
constexpr NTSTATUS HIDP_STATUS_SUCCESS = hidpStatus(0x0, 0x0);
constexpr NTSTATUS HIDP_STATUS_NULL = hidpStatus(0x8, 0x1);
constexpr NTSTATUS HIDP_STATUS_INVALID_PREPARSED_DATA = hidpStatus(0xC, 0x1);
constexpr NTSTATUS HIDP_STATUS_INVALID_REPORT_TYPE = hidpStatus(0xC, 0x2);
constexpr NTSTATUS HIDP_STATUS_INVALID_REPORT_LENGTH = hidpStatus(0xC, 0x3);
constexpr NTSTATUS HIDP_STATUS_USAGE_NOT_FOUND = hidpStatus(0xC, 0x4);
constexpr NTSTATUS HIDP_STATUS_BUFFER_TOO_SMALL = hidpStatus(0xC, 0x7);
constexpr NTSTATUS HIDP_STATUS_REPORT_DOES_NOT_EXIST = hidpStatus(0xC, 0x10);

extern "C" {

// Kernel.
HANDLE CreateFileW(LPCWSTR fileName, DWORD desiredAccess, DWORD shareMode,
                   LPSECURITY_ATTRIBUTES securityAttributes, DWORD creationDisposition,
                   DWORD flagsAndAttributes, HANDLE templateFile);
BOOL CloseHandle(HANDLE handle);
DWORD GetLastError(void);
void Sleep(DWORD milliseconds);

// Device setup.
HDEVINFO SetupDiGetClassDevsW(const GUID* classGuid, PCWSTR enumerator, HWND parent, DWORD flags);
BOOL SetupDiEnumDeviceInterfaces(HDEVINFO set, PSP_DEVINFO_DATA deviceInfo,
                                 const GUID* interfaceClassGuid, DWORD memberIndex,
                                 PSP_DEVICE_INTERFACE_DATA interfaceData);
BOOL SetupDiGetDeviceInterfaceDetailW(HDEVINFO set, PSP_DEVICE_INTERFACE_DATA interfaceData,
                                      PSP_DEVICE_INTERFACE_DETAIL_DATA_W detail, DWORD detailSize,
                                      PDWORD requiredSize, PSP_DEVINFO_DATA deviceInfo);
BOOL SetupDiDestroyDeviceInfoList(HDEVINFO set);

// HID class library.
void HidD_GetHidGuid(GUID* hidGuid);
BOOLEAN HidD_GetAttributes(HANDLE device, PHIDD_ATTRIBUTES attributes);
BOOLEAN HidD_GetPreparsedData(HANDLE device, PHIDP_PREPARSED_DATA* preparsedData);
BOOLEAN HidD_FreePreparsedData(PHIDP_PREPARSED_DATA preparsedData);
BOOLEAN HidD_GetSerialNumberString(HANDLE device, PVOID buffer, ULONG bufferLength);
BOOLEAN HidD_SetOutputReport(HANDLE device, PVOID report, ULONG reportLength);
BOOLEAN HidD_GetInputReport(HANDLE device, PVOID report, ULONG reportLength);
NTSTATUS HidP_GetCaps(PHIDP_PREPARSED_DATA preparsedData, PHIDP_CAPS capabilities);
NTSTATUS HidP_GetButtonCaps(HIDP_REPORT_TYPE reportType, PHIDP_BUTTON_CAPS buttonCaps,
                            PUSHORT buttonCapsLength, PHIDP_PREPARSED_DATA preparsedData);
NTSTATUS HidP_GetValueCaps(HIDP_REPORT_TYPE reportType, PHIDP_VALUE_CAPS valueCaps,
                           PUSHORT valueCapsLength, PHIDP_PREPARSED_DATA preparsedData);
ULONG HidP_MaxUsageListLength(HIDP_REPORT_TYPE reportType, USAGE usagePage,
                              PHIDP_PREPARSED_DATA preparsedData);

}  // extern "C"

#endif
