// The upgrader's HID seam on Linux, over the kernel's hidraw interface and sysfs.
//
// Device setup lists a snapshot of /sys/class/hidraw in numeric order of the nodes. As on
// Windows, a device whose report descriptor holds several top-level collections is one interface
// per collection, each with its own capabilities: its path is /dev/hidrawN&colKK (KK from 01),
// while a device with one collection is plain /dev/hidrawN. The HID parser calls answer from the
// descriptor parsed into the project's own preparsed form (hid_preparsed_data.cpp); reports go
// through the control pipe, as HidD_SetOutputReport and HidD_GetInputReport do on Windows.
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "../hid_services.h"
#include "hid_preparsed_data.h"
#include "hid_report_descriptor.h"
#include "hidraw_system.h"

namespace {

constexpr GUID HidInterfaceClass = {
    0x4D1E55B2, 0xF16F, 0x11CF, {0x88, 0xCB, 0x00, 0x11, 0x11, 0x00, 0x00, 0x30}};
constexpr DWORD InterfaceActive = 0x1;  // SPINT_ACTIVE
constexpr const char* DevicePrefix = "/dev/hidraw";
constexpr const char* CollectionMark = "&col";
constexpr DWORD ERROR_INVALID_DATA = 13;
constexpr DWORD ERROR_BUSY = 170;

thread_local DWORD lastError = ERROR_SUCCESS;

BOOL fail(DWORD error) {
  lastError = error;
  return FALSE;
}

// The Windows error a caller would have met for what the kernel answered.
DWORD windowsErrorOf(int error) {
  switch (error) {
    case ENOENT:
      return ERROR_FILE_NOT_FOUND;
    case EACCES:
    case EPERM:
      return ERROR_ACCESS_DENIED;
    case ENODEV:
    case ENXIO:
    case ESHUTDOWN:
      return ERROR_DEVICE_NOT_CONNECTED;
    case EFAULT:
      return ERROR_INVALID_USER_BUFFER;
    case ENOTTY:
      return ERROR_NOT_SUPPORTED;
    case EINVAL:
      return ERROR_INVALID_PARAMETER;
    case ENOMEM:
      return ERROR_NOT_ENOUGH_MEMORY;
    case EBUSY:
      return ERROR_BUSY;
    default:
      return ERROR_GEN_FAILURE;
  }
}

BOOL failWithErrno(int negativeErrno) {
  return fail(windowsErrorOf(-negativeErrno));
}

// A kernel without an ioctl answers ENOTTY (older ones EINVAL).
bool unsupported(int result) {
  return result == -ENOTTY || result == -EINVAL;
}

std::string sysfsPath(unsigned node, const std::string& file) {
  return "/sys/class/hidraw/hidraw" + std::to_string(node) + "/" + file;
}

std::u16string widen(const std::string& ascii) {
  return {ascii.begin(), ascii.end()};
}

// UTF-8 to UTF-16; a byte that does not start or continue a character becomes U+FFFD.
std::u16string utf16FromUtf8(const std::string& text) {
  std::u16string out;
  for (std::size_t i = 0; i < text.size();) {
    const auto lead = static_cast<unsigned char>(text[i]);
    const std::size_t length = lead < 0x80           ? 1
                               : (lead >> 5) == 0x6  ? 2
                               : (lead >> 4) == 0xE  ? 3
                               : (lead >> 3) == 0x1E ? 4
                                                     : 0;
    char32_t code = length == 1 ? lead : lead & (0x7F >> length);
    bool valid = length != 0 && i + length <= text.size();
    for (std::size_t k = 1; valid && k < length; ++k) {
      const auto next = static_cast<unsigned char>(text[i + k]);
      valid = (next & 0xC0) == 0x80;
      code = (code << 6) | (next & 0x3F);
    }
    if (!valid) {
      out += u'\uFFFD';
      ++i;
      continue;
    }
    if (code >= 0x10000) {
      code -= 0x10000;
      out += static_cast<char16_t>(0xD800 + (code >> 10));
      out += static_cast<char16_t>(0xDC00 + (code & 0x3FF));
    } else {
      out += static_cast<char16_t>(code);
    }
    i += length;
  }
  return out;
}

// The value of `key=` in a uevent file.
std::string ueventValue(const std::string& uevent, const std::string& key) {
  const std::string prefix = key + "=";
  std::size_t at = 0;
  while (at < uevent.size()) {
    const std::size_t end = uevent.find('\n', at);
    const std::string line = uevent.substr(at, end == std::string::npos ? end : end - at);
    if (line.rfind(prefix, 0) == 0) {
      return line.substr(prefix.size());
    }
    if (end == std::string::npos) {
      break;
    }
    at = end + 1;
  }
  return {};
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

std::set<const DeviceInfoSet*> deviceInfoSets;
std::set<const OpenDevice*> openDevices;
std::set<const _HIDP_PREPARSED_DATA*> preparsedObjects;

DeviceInfoSet* setOf(HDEVINFO set) {
  auto* candidate = static_cast<DeviceInfoSet*>(set);
  return deviceInfoSets.count(candidate) != 0 ? candidate : nullptr;
}

OpenDevice* deviceOf(HANDLE handle) {
  auto* candidate = static_cast<OpenDevice*>(handle);
  return openDevices.count(candidate) != 0 ? candidate : nullptr;
}

// How many top-level collections the node's descriptor holds, read from sysfs without opening
// the device; a descriptor that cannot be read or parsed counts as one interface, which then
// fails to open cleanly.
unsigned collectionsOf(unsigned node) {
  const std::optional<std::string> raw =
      hidrawSystem().readSysfsFile(sysfsPath(node, "device/report_descriptor"));
  if (!raw) {
    return 1;
  }
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(raw->data());
  const hidreport::ParseResult parsed = hidreport::parseReportDescriptor({bytes, raw->size()});
  return parsed.ok() && parsed.collections.size() > 1
             ? static_cast<unsigned>(parsed.collections.size())
             : 1;
}

std::u16string pathOf(unsigned node, unsigned collection, unsigned collections) {
  std::string path = DevicePrefix + std::to_string(node);
  if (collections > 1) {
    char mark[16];
    std::snprintf(mark, sizeof mark, "%s%02u", CollectionMark, collection + 1);
    path += mark;
  }
  return widen(path);
}

// The node and collection a device path names, and the device file to open.
bool parsePath(const std::u16string& path, std::string& file, unsigned& node,
               unsigned& collection) {
  std::string narrow;
  for (char16_t unit : path) {
    if (unit == 0 || unit > 0x7F) {
      return false;
    }
    narrow += static_cast<char>(unit);
  }
  collection = 0;
  const std::size_t mark = narrow.find(CollectionMark);
  if (mark != std::string::npos) {
    const std::string digits = narrow.substr(mark + std::strlen(CollectionMark));
    if (digits.empty() || digits.size() > 3 ||
        digits.find_first_not_of("0123456789") != std::string::npos || std::stoul(digits) == 0) {
      return false;
    }
    collection = static_cast<unsigned>(std::stoul(digits)) - 1;
    narrow.resize(mark);
  }
  if (narrow.rfind(DevicePrefix, 0) != 0) {
    return false;
  }
  const std::string digits = narrow.substr(std::strlen(DevicePrefix));
  if (digits.empty() || digits.size() > 9 ||
      digits.find_first_not_of("0123456789") != std::string::npos) {
    return false;
  }
  node = static_cast<unsigned>(std::stoul(digits));
  file = narrow;
  return true;
}

std::uint16_t versionOf(unsigned node) {
  // hidrawN/device is the HID device; its parent the USB interface, whose parent the USB device
  // carries the release number. Devices on other buses have none.
  const std::optional<std::string> text =
      hidrawSystem().readSysfsFile(sysfsPath(node, "device/../../bcdDevice"));
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
  if (!unsupported(result)) {
    lastError = windowsErrorOf(-result);
    return std::nullopt;
  }
  // Before kernel 5.6 the serial is only in the HID device's uevent.
  const std::optional<std::string> uevent =
      hidrawSystem().readSysfsFile(sysfsPath(device.node, "device/uevent"));
  if (!uevent) {
    lastError = ERROR_GEN_FAILURE;
    return std::nullopt;
  }
  return ueventValue(*uevent, "HID_UNIQ");
}

}  // namespace

extern "C" {

DWORD GetLastError(void) {
  return lastError;
}

void Sleep(DWORD milliseconds) {
  hidrawSystem().sleepMilliseconds(milliseconds);
}

void HidD_GetHidGuid(GUID* hidGuid) {
  if (hidGuid != nullptr) {
    *hidGuid = HidInterfaceClass;
  }
}

HDEVINFO SetupDiGetClassDevsW(const GUID* classGuid, PCWSTR, HWND, DWORD flags) {
  if (classGuid == nullptr || std::memcmp(classGuid, &HidInterfaceClass, sizeof(GUID)) != 0 ||
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
      set->interfaces.push_back({node, collection, pathOf(node, collection, collections)});
    }
  }
  deviceInfoSets.insert(set.get());
  return set.release();
}

BOOL SetupDiEnumDeviceInterfaces(HDEVINFO set, PSP_DEVINFO_DATA, const GUID*, DWORD memberIndex,
                                 PSP_DEVICE_INTERFACE_DATA interfaceData) {
  const DeviceInfoSet* snapshot = setOf(set);
  if (snapshot == nullptr) {
    return fail(ERROR_INVALID_HANDLE);
  }
  if (interfaceData == nullptr || interfaceData->cbSize != sizeof(SP_DEVICE_INTERFACE_DATA)) {
    return fail(ERROR_INVALID_USER_BUFFER);
  }
  if (memberIndex >= snapshot->interfaces.size()) {
    return fail(ERROR_NO_MORE_ITEMS);
  }
  interfaceData->InterfaceClassGuid = HidInterfaceClass;
  interfaceData->Flags = InterfaceActive;
  interfaceData->Reserved = memberIndex + 1;  // which interface the detail query is about
  return TRUE;
}

BOOL SetupDiGetDeviceInterfaceDetailW(HDEVINFO set, PSP_DEVICE_INTERFACE_DATA interfaceData,
                                      PSP_DEVICE_INTERFACE_DETAIL_DATA_W detail, DWORD detailSize,
                                      PDWORD requiredSize, PSP_DEVINFO_DATA) {
  const DeviceInfoSet* snapshot = setOf(set);
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
  DeviceInfoSet* snapshot = setOf(set);
  if (snapshot == nullptr) {
    return fail(ERROR_INVALID_HANDLE);
  }
  deviceInfoSets.erase(snapshot);
  delete snapshot;
  return TRUE;
}

HANDLE CreateFileW(LPCWSTR fileName, DWORD desiredAccess, DWORD, LPSECURITY_ATTRIBUTES,
                   DWORD creationDisposition, DWORD, HANDLE) {
  std::string file;
  unsigned node = 0;
  unsigned collection = 0;
  if (fileName == nullptr || creationDisposition != OPEN_EXISTING ||
      (desiredAccess & (GENERIC_READ | GENERIC_WRITE)) != (GENERIC_READ | GENERIC_WRITE) ||
      !parsePath(fileName, file, node, collection)) {
    fail(ERROR_INVALID_PARAMETER);
    return INVALID_HANDLE_VALUE;
  }
  const int device = hidrawSystem().openDevice(file);
  if (device < 0) {
    failWithErrno(device);
    return INVALID_HANDLE_VALUE;
  }
  auto* opened = new OpenDevice{device, node, collection};
  openDevices.insert(opened);
  return opened;
}

BOOL CloseHandle(HANDLE handle) {
  OpenDevice* device = deviceOf(handle);
  if (device == nullptr) {
    return fail(ERROR_INVALID_HANDLE);
  }
  hidrawSystem().closeDevice(device->device);
  openDevices.erase(device);
  delete device;
  return TRUE;
}

BOOLEAN HidD_GetAttributes(HANDLE handle, PHIDD_ATTRIBUTES attributes) {
  const OpenDevice* device = deviceOf(handle);
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
  const OpenDevice* device = deviceOf(handle);
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
  auto* data = new _HIDP_PREPARSED_DATA{std::move(parsed.collections[device->collection])};
  preparsedObjects.insert(data);
  *preparsedData = data;
  return TRUE;
}

BOOLEAN HidD_FreePreparsedData(PHIDP_PREPARSED_DATA preparsedData) {
  if (preparsedObjects.erase(preparsedData) == 0) {
    return fail(ERROR_INVALID_PARAMETER);
  }
  delete preparsedData;
  return TRUE;
}

// As on Windows, a serial number that does not fit the buffer with its terminator is not
// returned at all, and nothing is written.
BOOLEAN HidD_GetSerialNumberString(HANDLE handle, PVOID buffer, ULONG bufferLength) {
  const OpenDevice* device = deviceOf(handle);
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
  const std::u16string wide = utf16FromUtf8(*serial);
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
  const OpenDevice* device = deviceOf(handle);
  if (device == nullptr) {
    return fail(ERROR_INVALID_HANDLE);
  }
  if (report == nullptr || reportLength == 0) {
    return fail(ERROR_INVALID_USER_BUFFER);
  }
  const auto* bytes = static_cast<const std::uint8_t*>(report);
  int result = hidrawSystem().sendOutputReport(device->device, bytes, reportLength);
  if (unsupported(result)) {
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
  const OpenDevice* device = deviceOf(handle);
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
    return fail(unsupported(result) ? ERROR_NOT_SUPPORTED : windowsErrorOf(-result));
  }
  // Windows hands over the whole report or fails; a short transfer leaves the rest of the buffer
  // as it was, which no caller may take for the device's answer.
  if (static_cast<ULONG>(result) < reportLength) {
    return fail(ERROR_GEN_FAILURE);
  }
  return TRUE;
}

}  // extern "C"
