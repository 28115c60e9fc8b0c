// The upgrader's HID seam on Linux, over the kernel's hidraw interface and sysfs.
//
// Device setup lists a snapshot of /sys/class/hidraw in numeric order of the nodes. As on
// Windows, a device whose report descriptor holds several top-level collections is one interface
// per collection, each with its own capabilities (hidraw_node_paths.h names them). The HID parser
// calls answer from the descriptor parsed into the project's own preparsed form
// (hid_preparsed_data.cpp); reports go through the control pipe, as HidD_SetOutputReport and
// HidD_GetInputReport do on Windows.
#include <algorithm>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "../hid_services.h"
#include "handle_registry.h"
#include "hid_kernel_errors.h"
#include "hid_preparsed_data.h"
#include "hid_report_descriptor.h"
#include "hidraw_node_paths.h"
#include "hidraw_system.h"
#include "text_encoding.h"

namespace {

using hidraw::kernelLacksCall;
using hidraw::sysfsPathOf;
using hidraw::windowsErrorOf;

thread_local DWORD lastError = ERROR_SUCCESS;

BOOL fail(DWORD error) {
  lastError = error;
  return FALSE;
}

BOOL failWithErrno(int negativeErrno) {
  return fail(windowsErrorOf(-negativeErrno));
}

struct InterfaceEntry {
  unsigned node;
  unsigned collection;  // from 0
  std::u16string path;
};

struct DeviceInfoSet {
  std::vector<InterfaceEntry> interfaces;
};

struct OpenDevice {
  int device;
  unsigned node;
  unsigned collection;
};

// Not locked: the upgrader calls the seam from its one thread only.
hidraw::HandleRegistry<DeviceInfoSet> deviceInfoSets;
hidraw::HandleRegistry<OpenDevice> openDevices;
hidraw::HandleRegistry<_HIDP_PREPARSED_DATA> preparsedObjects;

// How many top-level collections the node's descriptor holds, read from sysfs without opening
// the device; a descriptor that cannot be read or parsed counts as one interface, which then
// fails to open cleanly.
unsigned collectionsOf(unsigned node) {
  const std::optional<std::string> raw =
      hidrawSystem().readSysfsFile(sysfsPathOf(node, hidraw::ReportDescriptorFile));
  if (!raw) {
    return 1;
  }
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(raw->data());
  const hidreport::ParseResult parsed = hidreport::parseReportDescriptor({bytes, raw->size()});
  return parsed.ok() && parsed.collections.size() > 1
             ? static_cast<unsigned>(parsed.collections.size())
             : 1;
}

std::uint16_t versionOf(unsigned node) {
  const std::optional<std::string> text =
      hidrawSystem().readSysfsFile(sysfsPathOf(node, hidraw::ReleaseNumberFile));
  if (!text) {
    return 0;
  }
  try {
    const unsigned long value = std::stoul(*text, nullptr, 16);
    return static_cast<std::uint16_t>(value);
  } catch (const std::exception&) {
    return 0;
  }
}

std::optional<std::string> serialOf(const OpenDevice& device) {
  std::string uniq;
  const int result = hidrawSystem().rawUniq(device.device, uniq);
  if (result >= 0) {
    return uniq;
  }
  if (!kernelLacksCall(result)) {
    lastError = windowsErrorOf(-result);
    return std::nullopt;
  }
  // Before kernel 5.6 the serial is only in the HID device's uevent.
  const std::optional<std::string> uevent =
      hidrawSystem().readSysfsFile(sysfsPathOf(device.node, hidraw::UeventFile));
  if (!uevent) {
    lastError = ERROR_GEN_FAILURE;
    return std::nullopt;
  }
  return hidraw::ueventValue(*uevent, "HID_UNIQ");
}

}  // namespace

extern "C" {

DWORD GetLastError(void) {
  return lastError;
}

void HidD_GetHidGuid(GUID* hidGuid) {
  if (hidGuid != nullptr) {
    *hidGuid = GUID_DEVINTERFACE_HID;
  }
}

// sysfs lists the nodes present only, so DIGCF_PRESENT is taken as given.
HDEVINFO SetupDiGetClassDevsW(const GUID* classGuid, PCWSTR, HWND, DWORD flags) {
  if (classGuid == nullptr || std::memcmp(classGuid, &GUID_DEVINTERFACE_HID, sizeof(GUID)) != 0 ||
      (flags & DIGCF_DEVICEINTERFACE) == 0) {
    fail(ERROR_INVALID_PARAMETER);
    return INVALID_HANDLE_VALUE;
  }
  std::vector<unsigned> nodes = hidrawSystem().hidrawNodes();
  std::sort(nodes.begin(), nodes.end());
  nodes.erase(std::unique(nodes.begin(), nodes.end()), nodes.end());
  auto set = std::make_unique<DeviceInfoSet>();
  for (unsigned node : nodes) {
    const unsigned collections = collectionsOf(node);
    for (unsigned collection = 0; collection < collections; ++collection) {
      set->interfaces.push_back(
          {node, collection, hidraw::interfacePathOf(node, collection, collections)});
    }
  }
  return deviceInfoSets.add(std::move(set));
}

BOOL SetupDiEnumDeviceInterfaces(HDEVINFO set, PSP_DEVINFO_DATA, const GUID*, DWORD memberIndex,
                                 PSP_DEVICE_INTERFACE_DATA interfaceData) {
  const DeviceInfoSet* snapshot = deviceInfoSets.find(set);
  if (snapshot == nullptr) {
    return fail(ERROR_INVALID_HANDLE);
  }
  if (interfaceData == nullptr || interfaceData->cbSize != sizeof(SP_DEVICE_INTERFACE_DATA)) {
    return fail(ERROR_INVALID_USER_BUFFER);
  }
  if (memberIndex >= snapshot->interfaces.size()) {
    return fail(ERROR_NO_MORE_ITEMS);
  }
  interfaceData->InterfaceClassGuid = GUID_DEVINTERFACE_HID;
  interfaceData->Flags = SPINT_ACTIVE;
  interfaceData->Reserved = memberIndex + 1;  // which interface the detail query is about
  return TRUE;
}

BOOL SetupDiGetDeviceInterfaceDetailW(HDEVINFO set, PSP_DEVICE_INTERFACE_DATA interfaceData,
                                      PSP_DEVICE_INTERFACE_DETAIL_DATA_W detail, DWORD detailSize,
                                      PDWORD requiredSize, PSP_DEVINFO_DATA) {
  const DeviceInfoSet* snapshot = deviceInfoSets.find(set);
  if (snapshot == nullptr) {
    return fail(ERROR_INVALID_HANDLE);
  }
  if (interfaceData == nullptr || interfaceData->Reserved == 0 ||
      interfaceData->Reserved > snapshot->interfaces.size()) {
    return fail(ERROR_INVALID_PARAMETER);
  }
  const std::u16string& path = snapshot->interfaces[interfaceData->Reserved - 1].path;
  const DWORD needed = static_cast<DWORD>(offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_W, DevicePath) +
                                          (path.size() + 1) * sizeof(WCHAR));
  if (requiredSize != nullptr) {
    *requiredSize = needed;
  }
  // The size query fails even though it has answered the size, as it does on Windows.
  if (detail == nullptr) {
    return fail(detailSize == 0 ? ERROR_INSUFFICIENT_BUFFER : ERROR_INVALID_USER_BUFFER);
  }
  if (detail->cbSize != sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W)) {
    return fail(ERROR_INVALID_USER_BUFFER);
  }
  if (detailSize < needed) {
    return fail(ERROR_INSUFFICIENT_BUFFER);
  }
  std::memcpy(detail->DevicePath, path.c_str(), (path.size() + 1) * sizeof(WCHAR));
  return TRUE;
}

BOOL SetupDiDestroyDeviceInfoList(HDEVINFO set) {
  if (!deviceInfoSets.remove(set)) {
    return fail(ERROR_INVALID_HANDLE);
  }
  return TRUE;
}

HANDLE CreateFileW(LPCWSTR fileName, DWORD desiredAccess, DWORD, LPSECURITY_ATTRIBUTES,
                   DWORD creationDisposition, DWORD, HANDLE) {
  const std::optional<hidraw::InterfacePath> path =
      fileName != nullptr ? hidraw::parseInterfacePath(fileName) : std::nullopt;
  if (!path || creationDisposition != OPEN_EXISTING ||
      (desiredAccess & (GENERIC_READ | GENERIC_WRITE)) != (GENERIC_READ | GENERIC_WRITE)) {
    fail(ERROR_INVALID_PARAMETER);
    return INVALID_HANDLE_VALUE;
  }
  const int device = hidrawSystem().openDevice(path->deviceFile);
  if (device < 0) {
    failWithErrno(device);
    return INVALID_HANDLE_VALUE;
  }
  return openDevices.add(
      std::make_unique<OpenDevice>(OpenDevice{device, path->node, path->collection}));
}

BOOL CloseHandle(HANDLE handle) {
  const OpenDevice* device = openDevices.find(handle);
  if (device == nullptr) {
    return fail(ERROR_INVALID_HANDLE);
  }
  hidrawSystem().closeDevice(device->device);
  openDevices.remove(handle);
  return TRUE;
}

BOOLEAN HidD_GetAttributes(HANDLE handle, PHIDD_ATTRIBUTES attributes) {
  const OpenDevice* device = openDevices.find(handle);
  if (device == nullptr) {
    return fail(ERROR_INVALID_HANDLE);
  }
  if (attributes == nullptr) {
    return fail(ERROR_INVALID_USER_BUFFER);
  }
  HidrawInfo info{};
  const int result = hidrawSystem().rawInfo(device->device, info);
  if (result < 0) {
    return failWithErrno(result);
  }
  attributes->Size = sizeof(HIDD_ATTRIBUTES);
  attributes->VendorID = info.vendor;
  attributes->ProductID = info.product;
  attributes->VersionNumber = versionOf(device->node);
  return TRUE;
}

BOOLEAN HidD_GetPreparsedData(HANDLE handle, PHIDP_PREPARSED_DATA* preparsedData) {
  const OpenDevice* device = openDevices.find(handle);
  if (device == nullptr) {
    return fail(ERROR_INVALID_HANDLE);
  }
  if (preparsedData == nullptr) {
    return fail(ERROR_INVALID_USER_BUFFER);
  }
  std::vector<std::uint8_t> descriptor;
  const int result = hidrawSystem().reportDescriptor(device->device, descriptor);
  if (result < 0) {
    return failWithErrno(result);
  }
  hidreport::ParseResult parsed = hidreport::parseReportDescriptor(descriptor);
  if (!parsed.ok() || device->collection >= parsed.collections.size()) {
    return fail(ERROR_INVALID_DATA);
  }
  *preparsedData = preparsedObjects.add(std::make_unique<_HIDP_PREPARSED_DATA>(
      _HIDP_PREPARSED_DATA{std::move(parsed.collections[device->collection])}));
  return TRUE;
}

BOOLEAN HidD_FreePreparsedData(PHIDP_PREPARSED_DATA preparsedData) {
  if (!preparsedObjects.remove(preparsedData)) {
    return fail(ERROR_INVALID_PARAMETER);
  }
  return TRUE;
}

// As on Windows, a serial number that does not fit the buffer with its terminator is not
// returned at all, and nothing is written.
BOOLEAN HidD_GetSerialNumberString(HANDLE handle, PVOID buffer, ULONG bufferLength) {
  const OpenDevice* device = openDevices.find(handle);
  if (device == nullptr) {
    return fail(ERROR_INVALID_HANDLE);
  }
  const std::optional<std::string> serial = serialOf(*device);
  if (!serial) {
    return FALSE;
  }
  if (serial->empty()) {
    return fail(ERROR_GEN_FAILURE);  // the device has no serial number string
  }
  const std::u16string wide = kit::utf16FromUtf8Lossy(*serial);
  const std::size_t bytes = (wide.size() + 1) * sizeof(char16_t);
  if (buffer == nullptr || bytes > bufferLength) {
    return fail(ERROR_INVALID_USER_BUFFER);
  }
  auto* out = static_cast<std::uint8_t*>(buffer);
  for (std::size_t i = 0; i <= wide.size(); ++i) {
    const char16_t unit = i < wide.size() ? wide[i] : u'\0';
    out[2 * i] = static_cast<std::uint8_t>(unit & 0xFF);
    out[2 * i + 1] = static_cast<std::uint8_t>(unit >> 8);
  }
  return TRUE;
}

BOOLEAN HidD_SetOutputReport(HANDLE handle, PVOID report, ULONG reportLength) {
  const OpenDevice* device = openDevices.find(handle);
  if (device == nullptr) {
    return fail(ERROR_INVALID_HANDLE);
  }
  if (report == nullptr || reportLength == 0) {
    return fail(ERROR_INVALID_USER_BUFFER);
  }
  const auto* bytes = static_cast<const std::uint8_t*>(report);
  int result = hidrawSystem().sendOutputReport(device->device, bytes, reportLength);
  if (kernelLacksCall(result)) {
    // Before kernel 5.11 an output report can only be written; the kernel sends it on the
    // interrupt OUT pipe when the device has one, else as SET_REPORT.
    result = hidrawSystem().writeReport(device->device, bytes, reportLength);
    if (result >= 0 && static_cast<ULONG>(result) < reportLength) {
      return fail(ERROR_GEN_FAILURE);  // only part of the report went out
    }
  }
  return result >= 0 ? TRUE : failWithErrno(result);
}

BOOLEAN HidD_GetInputReport(HANDLE handle, PVOID report, ULONG reportLength) {
  const OpenDevice* device = openDevices.find(handle);
  if (device == nullptr) {
    return fail(ERROR_INVALID_HANDLE);
  }
  if (report == nullptr || reportLength == 0) {
    return fail(ERROR_INVALID_USER_BUFFER);
  }
  const int result = hidrawSystem().getInputReport(
      device->device, static_cast<std::uint8_t*>(report), reportLength);
  if (result < 0) {
    // Before kernel 5.11 there is no way to ask for an input report: ERROR_NOT_SUPPORTED.
    return fail(kernelLacksCall(result) ? ERROR_NOT_SUPPORTED : windowsErrorOf(-result));
  }
  // Windows hands over the whole report or fails; a short transfer leaves the rest of the buffer
  // as it was, which no caller may take for the device's answer.
  if (static_cast<ULONG>(result) < reportLength) {
    return fail(ERROR_GEN_FAILURE);
  }
  return TRUE;
}

}  // extern "C"
