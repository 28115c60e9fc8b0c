// The library's one window onto the platform: COM, Media Foundation, the kernel-streaming proxy
// interfaces, DirectShow's IAMVideoProcAmp and OLE Automation safe arrays, by their Windows
// names and types. On Windows this is the platform itself, plus the declarations its toolchains
// lack. Elsewhere the same COM-style interfaces, structures and constants are declared here with
// the Windows layouts, over the base types that the upgrader's seam shares
// (common/windows_base_types.h), and a backend chosen when the library is linked (the simulated
// camera, or a native one) provides them. Nothing above this header knows which.
#pragma once

#include "include/BrenwickSafeArray.h"

#include <cstdint>

// An HRESULT from its 32 bits as Windows documents them.
constexpr HRESULT makeHresult(std::uint32_t value) {
  return static_cast<HRESULT>(value);
}

#if defined(_WIN32)

// clang-format off
#include <windows.h>
#include <objbase.h>
#include <mfapi.h>
#include <mfidl.h>
#include <mfreadwrite.h>
#include <mferror.h>
#include <ks.h>
#include <ksproxy.h>
#include <ksmedia.h>
#include <strmif.h>
// clang-format on

#else

#include <cstddef>
#include <cstdint>

#include "../common/windows_base_types.h"

#define STDMETHODCALLTYPE

constexpr HRESULT S_OK = 0;
constexpr HRESULT S_FALSE = 1;
constexpr HRESULT E_NOTIMPL = makeHresult(0x80004001);
constexpr HRESULT E_NOINTERFACE = makeHresult(0x80004002);
constexpr HRESULT E_POINTER = makeHresult(0x80004003);
constexpr HRESULT E_FAIL = makeHresult(0x80004005);
constexpr HRESULT E_UNEXPECTED = makeHresult(0x8000FFFF);
constexpr HRESULT E_OUTOFMEMORY = makeHresult(0x8007000E);
constexpr HRESULT E_INVALIDARG = makeHresult(0x80070057);
constexpr HRESULT DISP_E_BADINDEX = makeHresult(0x8002000B);
constexpr HRESULT DISP_E_ARRAYISLOCKED = makeHresult(0x8002000D);
constexpr HRESULT MF_E_ATTRIBUTENOTFOUND = makeHresult(0xC00D36E6);
constexpr HRESULT MF_E_INVALIDTYPE = makeHresult(0xC00D36BD);

constexpr DWORD COINIT_MULTITHREADED = 0x0;
constexpr DWORD COINIT_APARTMENTTHREADED = 0x2;
constexpr DWORD COINIT_DISABLE_OLE1DDE = 0x4;
constexpr ULONG MF_VERSION = 0x20070;
constexpr DWORD MFSTARTUP_FULL = 0;

// Media Foundation attribute keys and values.
inline constexpr GUID MF_DEVSOURCE_ATTRIBUTE_SOURCE_TYPE = {
    0xC60AC5FE, 0x252A, 0x478F, {0xA0, 0xEF, 0xBC, 0x8F, 0xA5, 0xF7, 0xCA, 0xD3}};
inline constexpr GUID MF_DEVSOURCE_ATTRIBUTE_SOURCE_TYPE_VIDCAP_GUID = {
    0x8AC3587A, 0x4AE7, 0x42D8, {0x99, 0xE0, 0x0A, 0x60, 0x13, 0xEE, 0xF9, 0x0F}};
inline constexpr GUID MF_DEVSOURCE_ATTRIBUTE_FRIENDLY_NAME = {
    0x60D0E559, 0x52F8, 0x4FA2, {0xBB, 0xCE, 0xAC, 0xDB, 0x34, 0xA8, 0xEC, 0x01}};
// The capture device's own path, unlike its name one device's alone: on Windows the device
// interface path, on Linux the video node.
inline constexpr GUID MF_DEVSOURCE_ATTRIBUTE_SOURCE_TYPE_VIDCAP_SYMBOLIC_LINK = {
    0x58F0AAD8, 0x22BF, 0x4F8A, {0xBB, 0x3D, 0xD2, 0xC4, 0x97, 0x8C, 0x6E, 0x2F}};

// Interface identifiers.
inline constexpr IID IID_IUnknown = {
    0x00000000, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
inline constexpr IID IID_IMFAttributes = {
    0x2CD2D921, 0xC447, 0x44A7, {0xA1, 0x3C, 0x4A, 0xDA, 0xBF, 0xC2, 0x47, 0xE3}};
inline constexpr IID IID_IMFActivate = {
    0x7FEE9E9A, 0x4A89, 0x47A6, {0x89, 0x9C, 0xB6, 0xA5, 0x3A, 0x70, 0xFB, 0x67}};
inline constexpr IID IID_IMFMediaSource = {
    0x279A808D, 0xAEC7, 0x40C8, {0x9C, 0x6B, 0xA6, 0xB4, 0x92, 0xC7, 0x8A, 0x66}};
inline constexpr IID IID_IMFSourceReader = {
    0x70AE66F2, 0xC809, 0x4E4F, {0x89, 0x15, 0xBD, 0xCB, 0x40, 0x6B, 0x79, 0x93}};
inline constexpr IID IID_IKsControl = {
    0x28F54685, 0x06FD, 0x11D2, {0xB2, 0x7A, 0x00, 0xA0, 0xC9, 0x22, 0x31, 0x96}};
inline constexpr IID IID_IAMVideoProcAmp = {
    0xC6E13360, 0x30AC, 0x11D0, {0xA1, 0x8C, 0x00, 0xA0, 0xC9, 0x11, 0x89, 0x56}};

struct IUnknown {
  virtual HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) = 0;
  virtual ULONG STDMETHODCALLTYPE AddRef() = 0;
  virtual ULONG STDMETHODCALLTYPE Release() = 0;

 protected:
  ~IUnknown() = default;
};

// The attribute store, with the methods the library uses.
struct IMFAttributes : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE SetGUID(REFGUID key, REFGUID value) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetAllocatedString(REFGUID key, LPWSTR* value,
                                                       UINT32* length) = 0;

 protected:
  ~IMFAttributes() = default;
};

struct IMFActivate : IMFAttributes {
  virtual HRESULT STDMETHODCALLTYPE ActivateObject(REFIID riid, void** object) = 0;

 protected:
  ~IMFActivate() = default;
};

struct IMFMediaSource : IUnknown {
 protected:
  ~IMFMediaSource() = default;
};

struct IMFSourceReader : IUnknown {
 protected:
  ~IMFSourceReader() = default;
};

// Kernel-streaming property requests: the property set, the item in it and what to do, and for a
// topology node its id.
struct KSPROPERTY {
  GUID Set;
  ULONG Id;
  ULONG Flags;
};
using PKSPROPERTY = KSPROPERTY*;
static_assert(sizeof(KSPROPERTY) == 24);

struct KSP_NODE {
  KSPROPERTY Property;
  ULONG NodeId;
  ULONG Reserved;
};
static_assert(sizeof(KSP_NODE) == 32);
static_assert(offsetof(KSP_NODE, NodeId) == 24);

struct KSMETHOD;
struct KSEVENT;
struct KSTOPOLOGY_CONNECTION;

constexpr ULONG KSPROPERTY_TYPE_GET = 0x00000001;
constexpr ULONG KSPROPERTY_TYPE_SET = 0x00000002;
constexpr ULONG KSPROPERTY_TYPE_TOPOLOGY = 0x10000000;

// The types of the topology nodes of a UVC video function, as ksmedia.h names them: one per kind
// of terminal and unit, and KSNODETYPE_DEV_SPECIFIC for an extension unit.
constexpr GUID ksVideoNodeType(std::uint32_t first) {
  return {first, 0xF70F, 0x11D0, {0xB9, 0x17, 0x00, 0xA0, 0xC9, 0x22, 0x31, 0x96}};
}
inline constexpr GUID KSNODETYPE_VIDEO_STREAMING = ksVideoNodeType(0xDFF229E1);
inline constexpr GUID KSNODETYPE_VIDEO_INPUT_TERMINAL = ksVideoNodeType(0xDFF229E2);
inline constexpr GUID KSNODETYPE_VIDEO_OUTPUT_TERMINAL = ksVideoNodeType(0xDFF229E3);
inline constexpr GUID KSNODETYPE_VIDEO_SELECTOR = ksVideoNodeType(0xDFF229E4);
inline constexpr GUID KSNODETYPE_VIDEO_PROCESSING = ksVideoNodeType(0xDFF229E5);
inline constexpr GUID KSNODETYPE_VIDEO_CAMERA_TERMINAL = ksVideoNodeType(0xDFF229E6);
inline constexpr GUID KSNODETYPE_VIDEO_INPUT_MTT = ksVideoNodeType(0xDFF229E7);
inline constexpr GUID KSNODETYPE_VIDEO_OUTPUT_MTT = ksVideoNodeType(0xDFF229E8);
inline constexpr GUID KSNODETYPE_DEV_SPECIFIC = {
    0x941C7AC0, 0xC559, 0x11D0, {0x8A, 0x2B, 0x00, 0xA0, 0xC9, 0x25, 0x5A, 0xC1}};

struct IKsControl : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE KsProperty(PKSPROPERTY property, ULONG propertyLength,
                                               LPVOID data, ULONG dataLength,
                                               ULONG* bytesReturned) = 0;
  virtual HRESULT STDMETHODCALLTYPE KsMethod(KSMETHOD* method, ULONG methodLength, LPVOID data,
                                             ULONG dataLength, ULONG* bytesReturned) = 0;
  virtual HRESULT STDMETHODCALLTYPE KsEvent(KSEVENT* event, ULONG eventLength, LPVOID data,
                                            ULONG dataLength, ULONG* bytesReturned) = 0;

 protected:
  ~IKsControl() = default;
};

// DirectShow's video processing amplifier: brightness, contrast and the other standard image
// properties, numbered 0 (brightness) to 9 (gain).
struct IAMVideoProcAmp : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE GetRange(LONG property, LONG* min, LONG* max,
                                             LONG* steppingDelta, LONG* defaultValue,
                                             LONG* capsFlags) = 0;
  virtual HRESULT STDMETHODCALLTYPE Set(LONG property, LONG value, LONG flags) = 0;
  virtual HRESULT STDMETHODCALLTYPE Get(LONG property, LONG* value, LONG* flags) = 0;

 protected:
  ~IAMVideoProcAmp() = default;
};

constexpr LONG VideoProcAmp_Flags_Auto = 0x1;
constexpr LONG VideoProcAmp_Flags_Manual = 0x2;

extern "C" {

HRESULT CoInitializeEx(LPVOID reserved, DWORD coInit);
LPVOID CoTaskMemAlloc(std::size_t size);
HRESULT MFStartup(ULONG version, DWORD flags);
HRESULT MFCreateAttributes(IMFAttributes** attributes, UINT32 initialSize);
HRESULT MFEnumDeviceSources(IMFAttributes* attributes, IMFActivate*** sources, UINT32* count);
HRESULT MFCreateSourceReaderFromMediaSource(IMFMediaSource* source, IMFAttributes* attributes,
                                            IMFSourceReader** reader);
void Sleep(DWORD milliseconds);

}  // extern "C"

#endif

// HRESULT_FROM_WIN32 of the Windows errors a kernel-streaming request can end in.
constexpr HRESULT hresultFromWin32(std::uint32_t error) {
  return error == 0 ? S_OK : makeHresult((error & 0xFFFF) | 0x80070000u);
}
// The ones the backends answer with: ERROR_ACCESS_DENIED, ERROR_GEN_FAILURE,
// ERROR_INSUFFICIENT_BUFFER, ERROR_DEVICE_NOT_CONNECTED, ERROR_NOT_FOUND (no such control or
// property) and ERROR_SET_NOT_FOUND (a property set the node does not have).
inline constexpr HRESULT ErrorAccessDenied = hresultFromWin32(5);
inline constexpr HRESULT ErrorGenFailure = hresultFromWin32(31);
inline constexpr HRESULT ErrorInsufficientBuffer = hresultFromWin32(122);
inline constexpr HRESULT ErrorDeviceNotConnected = hresultFromWin32(1167);
inline constexpr HRESULT ErrorNotFound = hresultFromWin32(1168);
inline constexpr HRESULT ErrorSetNotFound = hresultFromWin32(1170);

// The topology of a kernel-streaming filter: its nodes, and an object per node that takes
// property requests. No toolchain declares it everywhere, so it is declared here for all.
inline constexpr IID IID_IKsTopologyInfo = {
    0x720D4AC0, 0x7533, 0x11D0, {0xA5, 0xD6, 0x28, 0xDB, 0x04, 0xC1, 0x00, 0x00}};

struct IKsTopologyInfo : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE get_NumCategories(DWORD* count) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_Category(DWORD index, GUID* category) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_NumConnections(DWORD* count) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_ConnectionInfo(DWORD index,
                                                       KSTOPOLOGY_CONNECTION* connection) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_NodeName(DWORD node, WCHAR* name, DWORD bufferSize,
                                                 DWORD* nameLength) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_NumNodes(DWORD* count) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_NodeType(DWORD node, GUID* nodeType) = 0;
  virtual HRESULT STDMETHODCALLTYPE CreateNodeInstance(DWORD node, REFIID riid, void** object) = 0;

 protected:
  ~IKsTopologyInfo() = default;
};
