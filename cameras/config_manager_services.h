// The camera list's window onto the platform's configuration manager (CM_*), the keeper of the
// device tree on Windows: the device instance a device interface belongs to, the instance's
// parent, its instance id, and its properties under the unified property model (DEVPROPKEY). On
// Windows this is the platform itself, plus what mingw-w64's headers lack. Elsewhere the same
// types are declared with the Windows layouts and a backend chosen when the program is linked
// (the simulated PC) provides the functions. Nothing above this header knows which.
#pragma once

#if defined(_WIN32)

#ifndef NOMINMAX
#define NOMINMAX
#endif
// clang-format off
#include <windows.h>
#include <cfgmgr32.h>
#include <devpropdef.h>
#include <devpkey.h>
// clang-format on

// cfgmgr32.dll exports it since Windows Vista and mingw-w64's import library carries it, but its
// cfgmgr32.h does not declare it. Declared as the platform's header does, imported, so that a call
// goes through the import slot.
extern "C" DECLSPEC_IMPORT CONFIGRET WINAPI CM_Get_Device_Interface_PropertyW(
    LPCWSTR deviceInterface, const DEVPROPKEY* propertyKey, DEVPROPTYPE* propertyType,
    PBYTE propertyBuffer, PULONG propertyBufferSize, ULONG flags);

// devpkey.h declares the property keys and no library of the toolchain defines them: the
// definitions are in windows/device_property_keys_windows.cpp.

#else

#include <cstddef>
#include <cstdint>

#include "../common/windows_base_types.h"

using CONFIGRET = DWORD;
using DEVINST = DWORD;  // a handle the configuration manager gives for a device instance
using PDEVINST = DEVINST*;
using DEVINSTID_W = WCHAR*;
using PWCHAR = WCHAR*;
using PULONG = ULONG*;
using PBYTE = BYTE*;

// The configuration manager's results.
constexpr CONFIGRET CR_SUCCESS = 0x00;
constexpr CONFIGRET CR_INVALID_POINTER = 0x03;
constexpr CONFIGRET CR_INVALID_FLAG = 0x04;
constexpr CONFIGRET CR_INVALID_DEVNODE = 0x05;
constexpr CONFIGRET CR_NO_SUCH_DEVNODE = 0x0D;
constexpr CONFIGRET CR_FAILURE = 0x13;
constexpr CONFIGRET CR_BUFFER_SMALL = 0x1A;
constexpr CONFIGRET CR_INVALID_DEVICE_ID = 0x1E;
constexpr CONFIGRET CR_NO_SUCH_VALUE = 0x25;
constexpr CONFIGRET CR_NO_SUCH_DEVICE_INTERFACE = 0x37;

// CM_Locate_DevNodeW: a device that is present, or also one that is not (a phantom).
constexpr ULONG CM_LOCATE_DEVNODE_NORMAL = 0x0;
constexpr ULONG CM_LOCATE_DEVNODE_PHANTOM = 0x1;
constexpr ULONG CM_LOCATE_DEVNODE_BITS = 0x7;

// A device instance id is shorter than this many characters, its terminating NUL left out.
constexpr ULONG MAX_DEVICE_ID_LEN = 200;

// The unified property model: a property is named by a key and typed by a DEVPROPTYPE.
using DEVPROPTYPE = ULONG;
using DEVPROPID = ULONG;
using DEVPROPGUID = GUID;

struct DEVPROPKEY {
  DEVPROPGUID fmtid;
  DEVPROPID pid;
};
static_assert(sizeof(DEVPROPKEY) == 20);
static_assert(offsetof(DEVPROPKEY, pid) == 16);

constexpr DEVPROPTYPE DEVPROP_TYPEMOD_LIST = 0x2000;
constexpr DEVPROPTYPE DEVPROP_TYPE_STRING = 0x12;  // UTF-16, NUL-terminated
// UTF-16 strings one after another, each NUL-terminated, the list ended by an empty one.
constexpr DEVPROPTYPE DEVPROP_TYPE_STRING_LIST = DEVPROP_TYPE_STRING | DEVPROP_TYPEMOD_LIST;

// The device instance id: of a device interface, the instance it belongs to.
inline constexpr DEVPROPKEY DEVPKEY_Device_InstanceId = {
    {0x78C34FC8, 0x104A, 0x4ACA, {0x9E, 0xA4, 0x52, 0x4D, 0x52, 0x99, 0x6E, 0x57}}, 256};
// Where a device is on its buses, most specific first: for a USB device the port chain from the
// PCI root, PCIROOT(0)#PCI(1400)#USBROOT(0)#USB(2)#USB(3).
inline constexpr DEVPROPKEY DEVPKEY_Device_LocationPaths = {
    {0xA45C254E, 0xDF1C, 0x4EFD, {0x80, 0x20, 0x67, 0xD1, 0x46, 0xA8, 0x50, 0xE0}}, 37};

extern "C" {

CONFIGRET CM_Get_Device_Interface_PropertyW(LPCWSTR deviceInterface, const DEVPROPKEY* propertyKey,
                                            DEVPROPTYPE* propertyType, PBYTE propertyBuffer,
                                            PULONG propertyBufferSize, ULONG flags);
CONFIGRET CM_Locate_DevNodeW(PDEVINST devInst, DEVINSTID_W deviceId, ULONG flags);
CONFIGRET CM_Get_Parent(PDEVINST parent, DEVINST devInst, ULONG flags);
CONFIGRET CM_Get_Device_ID_Size(PULONG length, DEVINST devInst, ULONG flags);
CONFIGRET CM_Get_Device_IDW(DEVINST devInst, PWCHAR buffer, ULONG bufferLength, ULONG flags);
CONFIGRET CM_Get_DevNode_PropertyW(DEVINST devInst, const DEVPROPKEY* propertyKey,
                                   DEVPROPTYPE* propertyType, PBYTE propertyBuffer,
                                   PULONG propertyBufferSize, ULONG flags);

}  // extern "C"

#endif
