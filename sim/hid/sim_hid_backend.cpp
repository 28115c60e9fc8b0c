// The upgrader's HID seam served by the simulated PC: device setup lists the interfaces of the
// HID world in order, CreateFileW opens them by path, the HID parser calls answer from each
// interface's report layout, and the camera's reports reach the simulated flash.
#include <algorithm>
#include <cstring>
#include <optional>

#include "../../upgrader/hid_services.h"
#include "sim_clock.h"
#include "sim_hid_platform.h"
#include "sim_hid_world.h"
#include "sim_import_slots.h"

namespace sim {
namespace {

// Handles are made-up addresses that the world looks up and never follows; 16 apart, they are
// aligned and distinct as heap addresses are.
const void* newToken(HidWorld& world) {
  world.nextToken += 16;
  return reinterpret_cast<const void*>(world.nextToken);
}

// The interface a device path names. The index by path is rebuilt whenever the interfaces have
// changed under it, so that opening n devices stays linear in n.
std::optional<std::size_t> interfaceWithPath(const std::u16string& path) {
  HidWorld& world = hidWorld();
  auto lookUpPath = [&]() -> std::optional<std::size_t> {
    auto found = world.interfaceByPath.find(path);
    if (found == world.interfaceByPath.end() || found->second >= world.interfaces.size() ||
        world.interfaces[found->second].path != path) {
      return std::nullopt;
    }
    return found->second;
  };
  if (auto index = lookUpPath()) {
    return index;
  }
  world.interfaceByPath.clear();
  for (std::size_t i = world.interfaces.size(); i-- > 0;) {
    world.interfaceByPath[world.interfaces[i].path] = i;  // the first of equal paths wins
  }
  return lookUpPath();
}

// The calling thread's last error: the HID world keeps it, and so does the platform where it has
// its own (sim_hid_platform.h).
void setLastError(DWORD error) {
  hidWorld().lastError = error;
  platform::setLastError(error);
}

BOOL fail(DWORD error) {
  setLastError(error);
  return FALSE;
}

// The path as UTF-16 code units: WCHAR is 16 bits wide on every platform the kit runs on.
std::u16string utf16Of(LPCWSTR text) {
  static_assert(sizeof(WCHAR) == sizeof(char16_t));
  return reinterpret_cast<const char16_t*>(text);
}

// The interface behind a token of the given kind, or none.
HidInterface* lookUp(const std::map<const void*, std::size_t>& tokens, const void* token) {
  HidWorld& world = hidWorld();
  auto found = tokens.find(token);
  if (found == tokens.end() || found->second >= world.interfaces.size()) {
    return nullptr;
  }
  return &world.interfaces[found->second];
}

HidInterface* deviceOf(HANDLE handle) {
  return lookUp(hidWorld().openHandles, handle);
}
HidInterface* parsedDeviceOf(PHIDP_PREPARSED_DATA data) {
  return lookUp(hidWorld().preparsedData, data);
}

// The camera an interface's reports reach; none for another device.
HidCamera* cameraOf(const HidInterface& device) {
  HidWorld& world = hidWorld();
  return device.isCamera && device.camera < world.cameras.size() ? &world.cameras[device.camera]
                                                                 : nullptr;
}

// Whether the camera behind an open handle is gone: unplugged now, or plugged in again since the
// handle was opened, which leaves the handle dead as a pulled-out device's is.
bool goneBehind(const void* handle, HidCamera& camera) {
  if (!lookAtCamera(camera)) {
    return true;
  }
  auto opened = hidWorld().handlePluggings.find(handle);
  return opened != hidWorld().handlePluggings.end() &&
         opened->second != camera.plug.pluggingsSeen();
}

// Whether the open handle is a camera's that is gone; false for any other device's.
bool cameraGoneBehind(HANDLE handle) {
  HidInterface* device = deviceOf(handle);
  HidCamera* camera = device != nullptr ? cameraOf(*device) : nullptr;
  return camera != nullptr && goneBehind(handle, *camera);
}

bool validReportType(HIDP_REPORT_TYPE type) {
  return type == HidP_Input || type == HidP_Output || type == HidP_Feature;
}

USHORT dataIndexCount(const ReportLayout& layout) {
  unsigned count = 0;
  for (const HIDP_BUTTON_CAPS& cap : layout.buttons) {
    count += cap.IsRange ? cap.Range.DataIndexMax - cap.Range.DataIndexMin + 1u : 1u;
  }
  for (const HIDP_VALUE_CAPS& cap : layout.values) {
    count += cap.IsRange ? cap.Range.DataIndexMax - cap.Range.DataIndexMin + 1u : 1u;
  }
  return static_cast<USHORT>(count);
}

// The button or value capabilities of one report type, as many as the caller has room for.
template <typename Cap>
NTSTATUS capsOf(std::vector<Cap> ReportLayout::*kind, FailStep failure, HIDP_REPORT_TYPE type,
                Cap* out, PUSHORT length, PHIDP_PREPARSED_DATA preparsedData) {
  const HidInterface* device = parsedDeviceOf(preparsedData);
  if (device == nullptr || device->failStep == failure) {
    return HIDP_STATUS_INVALID_PREPARSED_DATA;
  }
  if (!validReportType(type)) {
    return HIDP_STATUS_INVALID_REPORT_TYPE;
  }
  if (out == nullptr || length == nullptr) {
    return HIDP_STATUS_NULL;
  }
  const std::vector<Cap>& caps = device->reports[type].*kind;
  const USHORT copied = static_cast<USHORT>(std::min<std::size_t>(*length, caps.size()));
  std::copy_n(caps.begin(), copied, out);
  *length = copied;
  return caps.empty() ? HIDP_STATUS_USAGE_NOT_FOUND : HIDP_STATUS_SUCCESS;
}

// The line goes to the camera's own trace, or to the PC's, after the camera's prefix.
void traceReport(const ReportCall& call, const HidCamera* camera) {
  HidWorld& world = hidWorld();
  std::FILE* trace = camera != nullptr && camera->trace ? camera->trace.get() : world.trace.get();
  if (trace == nullptr) {
    return;
  }
  const char* prefix = camera != nullptr && !camera->trace ? camera->tracePrefix.c_str() : "";
  std::fprintf(trace, "%s%llu %s 0x%02X %u %s\n", prefix, static_cast<unsigned long long>(call.ms),
               call.output ? "SetOutputReport" : "GetInputReport", call.reportId, call.length,
               call.ok ? "ok" : "refused");
  std::fflush(trace);
}

// Counts down the reports a scenario lets through before the camera goes away.
bool cameraUnplugged(HidCamera& camera) {
  if (!camera.reportsBeforeUnplug) {
    return false;
  }
  if (*camera.reportsBeforeUnplug == 0) {
    return true;
  }
  if (--*camera.reportsBeforeUnplug == 0) {
    // The last report let through: the camera goes with it, though this call still reaches it.
    pullOut(camera);
  }
  return false;
}

BOOLEAN reportCall(HANDLE device, PVOID buffer, ULONG length, bool output) {
  HidWorld& world = hidWorld();
  HidInterface* target = deviceOf(device);
  HidCamera* camera = target != nullptr ? cameraOf(*target) : nullptr;
  auto* bytes = static_cast<std::uint8_t*>(buffer);
  ReportCall call{
      clock().nowMs(), output, bytes != nullptr && length > 0 ? bytes[0] : std::uint8_t{0},
      length,          false,  {}};
  if (target == nullptr) {
    setLastError(ERROR_INVALID_HANDLE);
  } else if (bytes == nullptr || length == 0) {
    setLastError(ERROR_INVALID_USER_BUFFER);
  } else if (camera == nullptr) {
    setLastError(ERROR_INVALID_PARAMETER);
  } else if (goneBehind(device, *camera) || cameraUnplugged(*camera)) {
    setLastError(ERROR_DEVICE_NOT_CONNECTED);
  } else if (!useFlash(*camera)) {
    setLastError(ERROR_GEN_FAILURE);
  } else {
    call.ok = output ? camera->flash.receiveOutputReport(bytes, length)
                     : camera->flash.answerInputReport(bytes, length);
    if (!call.ok) {
      setLastError(ERROR_GEN_FAILURE);
    }
  }
  if (world.keepCallLog && bytes != nullptr) {
    call.bytes.assign(bytes, bytes + length);
  }
  traceReport(call, camera);
  if (world.onReport) {
    world.onReport(call);
  }
  if (world.keepCallLog) {
    world.calls.push_back(std::move(call));
    return world.calls.back().ok;
  }
  return call.ok;
}

}  // namespace
}  // namespace sim

using sim::hidWorld;

extern "C" {

HANDLE SIM_SERVED(CreateFileW)(LPCWSTR fileName, DWORD desiredAccess, DWORD shareMode,
                               LPSECURITY_ATTRIBUTES security, DWORD creationDisposition,
                               DWORD flags, HANDLE pattern) {
  const auto held = sim::holdHidWorld();
  sim::ensureHidScenarioLoaded();
  sim::HidWorld& world = hidWorld();
  if (fileName == nullptr) {
    sim::fail(ERROR_INVALID_PARAMETER);
    return INVALID_HANDLE_VALUE;
  }
  // A file that is none of the interfaces is the platform's, made or opened as asked (a program
  // linking the simulated HID side still writes its own files); an interface is only opened.
  const std::optional<std::size_t> index = sim::interfaceWithPath(sim::utf16Of(fileName));
  if (!index) {
    return sim::platform::createFile(fileName, desiredAccess, shareMode, security,
                                     creationDisposition, flags, pattern);
  }
  if (creationDisposition != OPEN_EXISTING) {
    sim::fail(ERROR_INVALID_PARAMETER);
    return INVALID_HANDLE_VALUE;
  }
  sim::HidCamera* camera = sim::cameraOf(world.interfaces[*index]);
  if (camera != nullptr && !sim::lookAtCamera(*camera)) {
    sim::fail(ERROR_FILE_NOT_FOUND);  // the interface went with its device
    return INVALID_HANDLE_VALUE;
  }
  if (world.interfaces[*index].failStep == sim::FailStep::Open ||
      (desiredAccess & (GENERIC_READ | GENERIC_WRITE)) == 0) {
    sim::fail(ERROR_ACCESS_DENIED);
    return INVALID_HANDLE_VALUE;
  }
  const void* token = sim::newToken(world);
  world.openHandles[token] = *index;
  if (camera != nullptr) {
    world.handlePluggings[token] = camera->plug.pluggingsSeen();
  }
  return const_cast<void*>(token);
}

BOOL SIM_SERVED(CloseHandle)(HANDLE handle) {
  const auto held = sim::holdHidWorld();
  sim::HidWorld& world = hidWorld();
  world.handlePluggings.erase(handle);
  const auto open = world.openHandles.find(handle);
  if (open == world.openHandles.end()) {
    return sim::platform::closeHandle(handle);
  }
  const std::size_t index = open->second;
  world.openHandles.erase(open);
  if (index < world.interfaces.size() && world.interfaces[index].isCamera) {
    sim::giveBackUnusedFlash(world.interfaces[index].camera);
  }
  return TRUE;
}

HDEVINFO SIM_SERVED(SetupDiGetClassDevsW)(const GUID* classGuid, PCWSTR, HWND, DWORD flags) {
  const auto held = sim::holdHidWorld();
  sim::ensureHidScenarioLoaded();
  sim::HidWorld& world = hidWorld();
  if (world.classDevicesFail || classGuid == nullptr ||
      std::memcmp(classGuid, &sim::HidInterfaceClass, sizeof(GUID)) != 0 ||
      (flags & DIGCF_DEVICEINTERFACE) == 0) {
    sim::fail(ERROR_INVALID_PARAMETER);
    return INVALID_HANDLE_VALUE;
  }
  // The set holds the interfaces there now: a camera that is not plugged in has none.
  for (sim::HidCamera& camera : world.cameras) {
    sim::lookAtCamera(camera);
  }
  std::vector<std::size_t> listed;
  for (std::size_t i = 0; i < world.interfaces.size(); ++i) {
    const sim::HidCamera* camera = sim::cameraOf(world.interfaces[i]);
    if (camera == nullptr || camera->present) {
      listed.push_back(i);
    }
  }
  const void* token = sim::newToken(world);
  world.deviceInfoSets[token] = std::move(listed);
  return const_cast<void*>(token);
}

BOOL SIM_SERVED(SetupDiEnumDeviceInterfaces)(HDEVINFO set, PSP_DEVINFO_DATA, const GUID*,
                                             DWORD memberIndex,
                                             PSP_DEVICE_INTERFACE_DATA interfaceData) {
  const auto held = sim::holdHidWorld();
  sim::HidWorld& world = hidWorld();
  auto found = world.deviceInfoSets.find(set);
  if (found == world.deviceInfoSets.end()) {
    return sim::fail(ERROR_INVALID_HANDLE);
  }
  if (interfaceData == nullptr || interfaceData->cbSize != sizeof(SP_DEVICE_INTERFACE_DATA)) {
    return sim::fail(ERROR_INVALID_USER_BUFFER);
  }
  const std::vector<std::size_t>& listed = found->second;
  if (memberIndex >= listed.size() || listed[memberIndex] >= world.interfaces.size()) {
    return sim::fail(world.endlessEnumerationErrors ? ERROR_GEN_FAILURE : ERROR_NO_MORE_ITEMS);
  }
  const std::size_t index = listed[memberIndex];
  if (world.interfaces[index].failStep == sim::FailStep::Enumerate) {
    return sim::fail(ERROR_GEN_FAILURE);
  }
  interfaceData->InterfaceClassGuid = sim::HidInterfaceClass;
  interfaceData->Flags = SPINT_ACTIVE;
  interfaceData->Reserved = index + 1;  // which interface the detail query is about
  return TRUE;
}

BOOL SIM_SERVED(SetupDiGetDeviceInterfaceDetailW)(HDEVINFO set,
                                                  PSP_DEVICE_INTERFACE_DATA interfaceData,
                                                  PSP_DEVICE_INTERFACE_DETAIL_DATA_W detail,
                                                  DWORD detailSize, PDWORD requiredSize,
                                                  PSP_DEVINFO_DATA) {
  const auto held = sim::holdHidWorld();
  sim::HidWorld& world = hidWorld();
  if (world.deviceInfoSets.count(set) == 0) {
    return sim::fail(ERROR_INVALID_HANDLE);
  }
  if (interfaceData == nullptr || interfaceData->Reserved == 0 ||
      interfaceData->Reserved > world.interfaces.size()) {
    return sim::fail(ERROR_INVALID_PARAMETER);
  }
  const sim::HidInterface& device = world.interfaces[interfaceData->Reserved - 1];
  const std::size_t pathOffset = offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_W, DevicePath);
  DWORD needed = static_cast<DWORD>(pathOffset + (device.path.size() + 1) * sizeof(WCHAR));
  if (device.failStep == sim::FailStep::SizeQueryTooSmall) {
    needed = 6;
  }
  if (detail == nullptr) {
    if (requiredSize != nullptr) {
      *requiredSize = needed;
    }
    return sim::fail(ERROR_INSUFFICIENT_BUFFER);
  }
  if (detail->cbSize != sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W)) {
    return sim::fail(ERROR_INVALID_USER_BUFFER);
  }
  if (device.failStep == sim::FailStep::Detail) {
    return sim::fail(ERROR_GEN_FAILURE);
  }
  if (detailSize < needed || device.failStep == sim::FailStep::SizeQueryTooSmall) {
    if (requiredSize != nullptr) {
      *requiredSize = needed;
    }
    return sim::fail(ERROR_INSUFFICIENT_BUFFER);
  }
  std::memcpy(detail->DevicePath, device.path.c_str(), (device.path.size() + 1) * sizeof(WCHAR));
  if (requiredSize != nullptr) {
    *requiredSize = needed;
  }
  return TRUE;
}

BOOL SIM_SERVED(SetupDiDestroyDeviceInfoList)(HDEVINFO set) {
  const auto held = sim::holdHidWorld();
  return hidWorld().deviceInfoSets.erase(set) != 0 ? TRUE : sim::fail(ERROR_INVALID_HANDLE);
}

void SIM_SERVED(HidD_GetHidGuid)(GUID* hidGuid) {
  const auto held = sim::holdHidWorld();
  if (hidGuid != nullptr) {
    *hidGuid = sim::HidInterfaceClass;
  }
}

BOOLEAN SIM_SERVED(HidD_GetAttributes)(HANDLE device, PHIDD_ATTRIBUTES attributes) {
  const auto held = sim::holdHidWorld();
  const sim::HidInterface* target = sim::deviceOf(device);
  if (target == nullptr || attributes == nullptr) {
    return sim::fail(ERROR_INVALID_HANDLE);
  }
  if (sim::cameraGoneBehind(device)) {
    return sim::fail(ERROR_DEVICE_NOT_CONNECTED);
  }
  if (target->failStep == sim::FailStep::Attributes) {
    return sim::fail(ERROR_GEN_FAILURE);
  }
  attributes->Size = sizeof(HIDD_ATTRIBUTES);
  attributes->VendorID = target->vendorId;
  attributes->ProductID = target->productId;
  attributes->VersionNumber = target->versionNumber;
  return TRUE;
}

BOOLEAN SIM_SERVED(HidD_GetPreparsedData)(HANDLE device, PHIDP_PREPARSED_DATA* preparsedData) {
  const auto held = sim::holdHidWorld();
  sim::HidWorld& world = hidWorld();
  auto found = world.openHandles.find(device);
  if (found == world.openHandles.end() || preparsedData == nullptr) {
    return sim::fail(ERROR_INVALID_HANDLE);
  }
  if (sim::cameraGoneBehind(device)) {
    return sim::fail(ERROR_DEVICE_NOT_CONNECTED);
  }
  if (world.interfaces[found->second].failStep == sim::FailStep::PreparsedData) {
    return sim::fail(ERROR_GEN_FAILURE);
  }
  const void* token = sim::newToken(world);
  world.preparsedData[token] = found->second;
  *preparsedData = static_cast<PHIDP_PREPARSED_DATA>(const_cast<void*>(token));
  return TRUE;
}

BOOLEAN SIM_SERVED(HidD_FreePreparsedData)(PHIDP_PREPARSED_DATA preparsedData) {
  const auto held = sim::holdHidWorld();
  return hidWorld().preparsedData.erase(preparsedData) != 0 ? TRUE
                                                            : sim::fail(ERROR_INVALID_PARAMETER);
}

// As on Windows, a serial number that does not fit the buffer with its terminator is not
// returned at all, and nothing is written.
BOOLEAN SIM_SERVED(HidD_GetSerialNumberString)(HANDLE device, PVOID buffer, ULONG bufferLength) {
  const auto held = sim::holdHidWorld();
  const sim::HidInterface* target = sim::deviceOf(device);
  if (target == nullptr) {
    return sim::fail(ERROR_INVALID_HANDLE);
  }
  const sim::HidCamera* camera = sim::cameraOf(*target);
  if (sim::cameraGoneBehind(device) || (camera != nullptr && camera->reportsBeforeUnplug == 0u)) {
    return sim::fail(ERROR_DEVICE_NOT_CONNECTED);
  }
  if (!target->serialNumber) {
    return sim::fail(ERROR_GEN_FAILURE);
  }
  const std::u16string& serial = *target->serialNumber;
  const std::size_t bytes = (serial.size() + 1) * sizeof(char16_t);
  if (buffer == nullptr || bytes > bufferLength) {
    return sim::fail(ERROR_INVALID_USER_BUFFER);
  }
  auto* out = static_cast<std::uint8_t*>(buffer);
  for (std::size_t i = 0; i <= serial.size(); ++i) {
    const char16_t unit = i < serial.size() ? serial[i] : u'\0';
    out[2 * i] = static_cast<std::uint8_t>(unit & 0xFF);
    out[2 * i + 1] = static_cast<std::uint8_t>(unit >> 8);
  }
  return TRUE;
}

BOOLEAN SIM_SERVED(HidD_SetOutputReport)(HANDLE device, PVOID report, ULONG reportLength) {
  const auto held = sim::holdHidWorld();
  return sim::reportCall(device, report, reportLength, true);
}

BOOLEAN SIM_SERVED(HidD_GetInputReport)(HANDLE device, PVOID report, ULONG reportLength) {
  const auto held = sim::holdHidWorld();
  return sim::reportCall(device, report, reportLength, false);
}

NTSTATUS SIM_SERVED(HidP_GetCaps)(PHIDP_PREPARSED_DATA preparsedData, PHIDP_CAPS capabilities) {
  const auto held = sim::holdHidWorld();
  const sim::HidInterface* device = sim::parsedDeviceOf(preparsedData);
  if (device == nullptr || device->failStep == sim::FailStep::Caps) {
    return HIDP_STATUS_INVALID_PREPARSED_DATA;
  }
  if (capabilities == nullptr) {
    return HIDP_STATUS_NULL;
  }
  *capabilities = HIDP_CAPS{};
  capabilities->Usage = device->usage;
  capabilities->UsagePage = device->usagePage;
  const auto& [input, output, feature] = device->reports;
  capabilities->InputReportByteLength = input.byteLength;
  capabilities->OutputReportByteLength = output.byteLength;
  capabilities->FeatureReportByteLength = feature.byteLength;
  capabilities->NumberLinkCollectionNodes = 1;
  capabilities->NumberInputButtonCaps = static_cast<USHORT>(input.buttons.size());
  capabilities->NumberInputValueCaps = static_cast<USHORT>(input.values.size());
  capabilities->NumberInputDataIndices = sim::dataIndexCount(input);
  capabilities->NumberOutputButtonCaps = static_cast<USHORT>(output.buttons.size());
  capabilities->NumberOutputValueCaps = static_cast<USHORT>(output.values.size());
  capabilities->NumberOutputDataIndices = sim::dataIndexCount(output);
  capabilities->NumberFeatureButtonCaps = static_cast<USHORT>(feature.buttons.size());
  capabilities->NumberFeatureValueCaps = static_cast<USHORT>(feature.values.size());
  capabilities->NumberFeatureDataIndices = sim::dataIndexCount(feature);
  return HIDP_STATUS_SUCCESS;
}

NTSTATUS SIM_SERVED(HidP_GetButtonCaps)(HIDP_REPORT_TYPE reportType, PHIDP_BUTTON_CAPS buttonCaps,
                                        PUSHORT buttonCapsLength,
                                        PHIDP_PREPARSED_DATA preparsedData) {
  const auto held = sim::holdHidWorld();
  return sim::capsOf(&sim::ReportLayout::buttons, sim::FailStep::ButtonCaps, reportType, buttonCaps,
                     buttonCapsLength, preparsedData);
}

NTSTATUS SIM_SERVED(HidP_GetValueCaps)(HIDP_REPORT_TYPE reportType, PHIDP_VALUE_CAPS valueCaps,
                                       PUSHORT valueCapsLength,
                                       PHIDP_PREPARSED_DATA preparsedData) {
  const auto held = sim::holdHidWorld();
  return sim::capsOf(&sim::ReportLayout::values, sim::FailStep::ValueCaps, reportType, valueCaps,
                     valueCapsLength, preparsedData);
}

// The sum of the report counts of the button capabilities of that type on that usage page
// (page 0: every page).
ULONG SIM_SERVED(HidP_MaxUsageListLength)(HIDP_REPORT_TYPE reportType, USAGE usagePage,
                                          PHIDP_PREPARSED_DATA preparsedData) {
  const auto held = sim::holdHidWorld();
  const sim::HidInterface* device = sim::parsedDeviceOf(preparsedData);
  if (device == nullptr || !sim::validReportType(reportType)) {
    return 0;
  }
  ULONG length = 0;
  for (const HIDP_BUTTON_CAPS& cap : device->reports[reportType].buttons) {
    if (usagePage == 0 || cap.UsagePage == usagePage) {
      length += sim::buttonReportCount(cap);
    }
  }
  return length;
}

// The slots the upgrader's calls go through on Windows. GetLastError keeps the platform's own;
// off Windows the simulated PC serves it (posix/sim_hid_platform_posix.cpp).
SIM_IMPORT_SLOT(CloseHandle);
SIM_IMPORT_SLOT(CreateFileW);
SIM_IMPORT_SLOT(HidD_GetHidGuid);
SIM_IMPORT_SLOT(HidD_FreePreparsedData);
SIM_IMPORT_SLOT(HidD_GetAttributes);
SIM_IMPORT_SLOT(HidD_GetInputReport);
SIM_IMPORT_SLOT(HidD_GetPreparsedData);
SIM_IMPORT_SLOT(HidD_GetSerialNumberString);
SIM_IMPORT_SLOT(HidD_SetOutputReport);
SIM_IMPORT_SLOT(HidP_GetButtonCaps);
SIM_IMPORT_SLOT(HidP_GetCaps);
SIM_IMPORT_SLOT(HidP_GetValueCaps);
SIM_IMPORT_SLOT(HidP_MaxUsageListLength);
SIM_IMPORT_SLOT(SetupDiDestroyDeviceInfoList);
SIM_IMPORT_SLOT(SetupDiEnumDeviceInterfaces);
SIM_IMPORT_SLOT(SetupDiGetClassDevsW);
SIM_IMPORT_SLOT(SetupDiGetDeviceInterfaceDetailW);

}  // extern "C"
