#include "sim_hid_world.h"

#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "sim_clock.h"
#include "sim_device_tree.h"
#include "sim_flash_file.h"
#include "sim_hid_platform.h"
#include "sim_kept_file.h"

namespace sim {

namespace {

constexpr std::size_t ButtonReportCountOffset = 16;
static_assert(offsetof(HIDP_BUTTON_CAPS, IsAbsolute) + 1 == ButtonReportCountOffset);

}  // namespace

USHORT buttonReportCount(const HIDP_BUTTON_CAPS& cap) {
  USHORT count = 0;
  std::memcpy(&count, reinterpret_cast<const unsigned char*>(&cap) + ButtonReportCountOffset,
              sizeof count);
  return count;
}

void setButtonReportCount(HIDP_BUTTON_CAPS& cap, USHORT count) {
  std::memcpy(reinterpret_cast<unsigned char*>(&cap) + ButtonReportCountOffset, &count,
              sizeof count);
}

namespace {

constexpr USAGE VendorPage = 0xFF00;
constexpr USAGE GenericDesktopPage = 0x01;
constexpr USAGE ButtonPage = 0x09;
constexpr USAGE KeyboardPage = 0x07;
constexpr USAGE LedPage = 0x08;

HIDP_VALUE_CAPS valueCap(USAGE page, UCHAR reportId, USAGE usage, USHORT bitSize,
                         USHORT reportCount, USHORT dataIndex) {
  HIDP_VALUE_CAPS cap{};
  cap.UsagePage = page;
  cap.ReportID = reportId;
  cap.IsAbsolute = 1;
  cap.BitSize = bitSize;
  cap.ReportCount = reportCount;
  cap.LogicalMin = 0;
  cap.LogicalMax = bitSize >= 16 ? 0x7FFF : (1 << bitSize) - 1;
  cap.NotRange.Usage = usage;
  cap.NotRange.DataIndex = dataIndex;
  return cap;
}

HIDP_BUTTON_CAPS buttonRange(USAGE page, USAGE first, USAGE last, USHORT reportCount,
                             USHORT dataIndex) {
  HIDP_BUTTON_CAPS cap{};
  cap.UsagePage = page;
  cap.IsRange = 1;
  cap.IsAbsolute = 1;
  setButtonReportCount(cap, reportCount);
  cap.Range.UsageMin = first;
  cap.Range.UsageMax = last;
  cap.Range.DataIndexMin = dataIndex;
  cap.Range.DataIndexMax = static_cast<USHORT>(dataIndex + (last - first));
  return cap;
}

std::u16string widen(const char* text) {
  return kit::utf16FromUtf8Lossy(text);
}

}  // namespace

std::u16string hidInstanceIdFor(USHORT vendorId, USHORT productId, unsigned instance) {
  char id[64];
  std::snprintf(id, sizeof id, "HID\\VID_%04X&PID_%04X\\7&%08X&0&0000", vendorId, productId,
                instance);
  return widen(id);
}

std::u16string devicePathFor(USHORT vendorId, USHORT productId, unsigned instance) {
  return interfacePathOf(hidInstanceIdFor(vendorId, productId, instance), HidInterfaceClassText);
}

// The camera's flash interface: one vendor-defined collection whose reports are byte arrays.
HidInterface cameraInterface(unsigned instance, const std::u16string& serialNumber) {
  HidInterface camera;
  camera.vendorId = 0x1BBD;
  camera.productId = 0x024C;
  camera.versionNumber = 0x0100;
  camera.instanceId = hidInstanceIdFor(camera.vendorId, camera.productId, instance);
  camera.path = devicePathFor(camera.vendorId, camera.productId, instance);
  camera.usagePage = VendorPage;
  camera.usage = 0x01;
  camera.reports[HidP_Input] = {
      static_cast<USHORT>(FlashCamera::ReadPageDataLength),
      {},
      {valueCap(VendorPage, 0x03, 0x03, 8, 258, 0), valueCap(VendorPage, 0x06, 0x06, 8, 1, 1)}};
  camera.reports[HidP_Output] = {
      static_cast<USHORT>(FlashCamera::WritePageLength),
      {},
      {valueCap(VendorPage, 0x02, 0x02, 8, 4, 0), valueCap(VendorPage, 0x04, 0x04, 8, 260, 1),
       valueCap(VendorPage, 0x05, 0x05, 8, 1, 2)}};
  camera.serialNumber = serialNumber;
  camera.isCamera = true;
  return camera;
}

HidInterface mouseInterface(unsigned instance) {
  HidInterface mouse;
  mouse.vendorId = 0x046D;
  mouse.productId = 0xC077;
  mouse.instanceId = hidInstanceIdFor(mouse.vendorId, mouse.productId, instance);
  mouse.path = devicePathFor(mouse.vendorId, mouse.productId, instance);
  mouse.usagePage = GenericDesktopPage;
  mouse.usage = 0x02;
  // Windows lists the plain usages of one variable item in reverse order: wheel, Y, X.
  mouse.reports[HidP_Input] = {5,
                               {buttonRange(ButtonPage, 1, 3, 3, 0)},
                               {valueCap(GenericDesktopPage, 0, 0x38, 8, 1, 5),
                                valueCap(GenericDesktopPage, 0, 0x31, 8, 1, 4),
                                valueCap(GenericDesktopPage, 0, 0x30, 8, 1, 3)}};
  return mouse;
}

HidInterface keyboardInterface(unsigned instance) {
  HidInterface keyboard;
  keyboard.vendorId = 0x045E;
  keyboard.productId = 0x0750;
  keyboard.instanceId = hidInstanceIdFor(keyboard.vendorId, keyboard.productId, instance);
  keyboard.path = devicePathFor(keyboard.vendorId, keyboard.productId, instance);
  keyboard.usagePage = GenericDesktopPage;
  keyboard.usage = 0x06;
  keyboard.reports[HidP_Input] = {
      9,
      {buttonRange(KeyboardPage, 0xE0, 0xE7, 8, 0), buttonRange(KeyboardPage, 0x00, 0x65, 6, 8)},
      {}};
  keyboard.reports[HidP_Output] = {2, {buttonRange(LedPage, 1, 5, 5, 0)}, {}};
  return keyboard;
}

HidInterface unrelatedInterface(unsigned instance) {
  return instance % 2 == 0 ? mouseInterface(instance) : keyboardInterface(instance);
}

HidWorld& hidWorld() {
  static HidWorld world;
  return world;
}

std::unique_lock<std::recursive_mutex> holdHidWorld() {
  static std::recursive_mutex held;
  return std::unique_lock(held);
}

namespace {

// Set once the process has its HID scenario, read or set up in-process.
bool scenarioLoaded = false;

// Forgets every interface, camera, handle and file of the HID world, and the HID side's part of
// the device tree.
void clearHidWorld() {
  scenarioLoaded = true;
  HidWorld& world = hidWorld();
  world.interfaces.clear();
  world.cameras.resize(1);
  world.cameras.front() = HidCamera();
  world.classDevicesFail = false;
  world.endlessEnumerationErrors = false;
  world.keepCallLog = false;
  world.onReport = nullptr;
  world.calls.clear();
  world.trace.reset();
  world.openHandles.clear();
  world.preparsedData.clear();
  world.deviceInfoSets.clear();
  world.handlePluggings.clear();
  world.lastError = 0;
  platform::setLastError(0);
  removeDeviceInterfaces(HidInterfaceClassText);
}

// The interfaces of a scenario in listing order: the unrelated ones, the first camera with its
// copies, then each further camera.
void buildInterfaces(const HidScenario& scenario) {
  HidWorld& world = hidWorld();
  for (unsigned i = 0; i < scenario.cameraIndex; ++i) {
    world.interfaces.push_back(unrelatedInterface(i));
  }
  auto addCamera = [&](const HidCameraScenario& camera, std::size_t number, unsigned copies) {
    if (!camera.cameraPresent) {
      return;
    }
    for (unsigned copy = 0; copy < copies; ++copy) {
      HidInterface& added = world.interfaces.emplace_back(
          cameraInterface(static_cast<unsigned>(world.interfaces.size()), camera.serialNumber));
      added.camera = number;
      added.failStep = copy == 0 ? camera.cameraFailStep : FailStep::None;
    }
  };
  addCamera(scenario, 0, scenario.cameraCopies);
  for (std::size_t k = 0; k < scenario.moreCameras.size(); ++k) {
    addCamera(scenario.moreCameras[k], k + 1, 1);
  }
}

// Places every interface in the device tree under its own USB device: a camera's as interface 1
// of the camera's device, an unrelated one as interface 0 of its own.
void placeInterfaces(const std::vector<std::u16string>& serials) {
  HidWorld& world = hidWorld();
  std::size_t unrelated = 0;
  std::size_t copies = 0;
  std::vector<bool> placed(world.cameras.size(), false);
  for (const HidInterface& shown : world.interfaces) {
    std::size_t usbDevice = 0;
    unsigned interfaceNumber = 0;
    if (!shown.isCamera || shown.camera >= world.cameras.size()) {
      usbDevice = plugUsbDevice(portsOfHidDevice(unrelated++), shown.vendorId, shown.productId, {});
    } else if (placed[shown.camera]) {
      usbDevice = plugUsbDevice(portsOfCameraCopy(copies++), shown.vendorId, shown.productId, {});
      interfaceNumber = 1;
    } else {
      const UsbPorts ports = portsOfCamera(shown.camera);
      usbDevice =
          plugUsbDevice(ports, shown.vendorId, shown.productId, usbSerialOf(serials, shown.camera));
      world.cameras[shown.camera].usbPorts = ports;
      placed[shown.camera] = true;
      interfaceNumber = 1;
    }
    const std::size_t node =
        addChildNode(usbInterfaceNode(usbDevice, interfaceNumber), shown.instanceId);
    addDeviceInterface(node, HidInterfaceClassText);
  }
}

void checkFlashFilesApart(const HidScenario& scenario) {
  std::map<std::filesystem::path, std::size_t> owners;
  auto check = [&](const HidCameraScenario& camera, std::size_t number) {
    if (camera.flashPath.empty() || !camera.cameraPresent) {
      return;
    }
    const auto [owner, added] = owners.emplace(sameFileName(camera.flashPath), number);
    if (!added) {
      throw ScenarioError("flash file " + camera.flashPath + " is named for camera " +
                          std::to_string(owner->second + 1) + " and camera " +
                          std::to_string(number + 1) + ": each camera has a flash of its own");
    }
  };
  check(scenario, 0);
  for (std::size_t k = 0; k < scenario.moreCameras.size(); ++k) {
    check(scenario.moreCameras[k], k + 1);
  }
}

// What a camera has of its scenario besides its interface: faults, flash, trace (the first
// camera's is the PC's), plug.
void setUpCamera(HidCamera& camera, const HidCameraScenario& scenario, bool first) {
  camera.flash.faults = scenario.faults;
  camera.reportsBeforeUnplug = scenario.unplugAfterReports;
  if (!scenario.flashPath.empty() && scenario.cameraPresent) {
    camera.flashFile = std::make_unique<FlashFile>(scenario.flashPath);
    camera.flash.useFlash(*camera.flashFile);
  }
  if (!first && !scenario.tracePath.empty()) {
    camera.trace.reset(std::fopen(scenario.tracePath.c_str(), "ab"));
    if (!camera.trace) {
      throw ScenarioError(scenario.tracePath + ": cannot open the trace file");
    }
  }
  if (!first && scenario.tracePath.empty()) {
    camera.tracePrefix = kit::utf8FromUtf16(scenario.serialNumber).value_or("") + " ";
  }
  if (!scenario.pluggedPath.empty()) {
    camera.plug = PlugFile(scenario.pluggedPath);
  }
}

}  // namespace

bool lookAtCamera(HidCamera& camera) {
  const PlugFile::Look look = camera.plug.look();
  if (look.pluggedIn) {
    camera.flash.powerUp();
  }
  const bool pulledOut = camera.reportsBeforeUnplug && *camera.reportsBeforeUnplug == 0;
  if (const auto usbDevice = camera.usbPorts ? usbDeviceAt(*camera.usbPorts) : std::nullopt) {
    setUsbDevicePresent(*usbDevice, look.present && !pulledOut);
  }
  camera.present = look.present;
  return look.present;
}

void pullOut(HidCamera& camera) {
  if (const auto usbDevice = camera.usbPorts ? usbDeviceAt(*camera.usbPorts) : std::nullopt) {
    setUsbDevicePresent(*usbDevice, false);
  }
}

// The turn is waited for with the HID world held, so that no other call of this process changes
// the world under the wait; its calls to other cameras wait meanwhile too.
bool useFlash(HidCamera& camera) {
  if (!camera.flashFile) {
    return true;
  }
  try {
    camera.flashFile->take();
    return true;
  } catch (const ScenarioError& error) {
    std::fprintf(stderr, "simulated camera: %s\n", error.what());
    return false;
  }
}

void giveBackUnusedFlash(std::size_t camera) {
  HidWorld& world = hidWorld();
  if (camera >= world.cameras.size() || !world.cameras[camera].flashFile) {
    return;
  }
  for (const auto& [handle, index] : world.openHandles) {
    if (index < world.interfaces.size() && world.interfaces[index].isCamera &&
        world.interfaces[index].camera == camera) {
      return;
    }
  }
  world.cameras[camera].flashFile->giveBack();
}

void resetHidWorld(unsigned cameraIndex, const std::u16string& serialNumber) {
  const auto held = holdHidWorld();
  clearHidWorld();
  HidScenario pc;
  pc.cameraIndex = cameraIndex;
  pc.serialNumber = serialNumber;
  buildInterfaces(pc);
  placeInterfaces({serialNumber});
}

bool openHidTrace(const std::string& path) {
  // Binary, so that a trace holds the same bytes on every platform.
  hidWorld().trace.reset(std::fopen(path.c_str(), "ab"));
  return hidWorld().trace != nullptr;
}

void applyHidScenario(const HidScenario& scenario, ClockStart start) {
  const auto held = holdHidWorld();
  clearHidWorld();
  checkFlashFilesApart(scenario);
  HidWorld& world = hidWorld();
  buildInterfaces(scenario);
  std::vector<std::u16string> serials = {scenario.serialNumber};
  setUpCamera(world.cameras.front(), scenario, true);
  for (const HidCameraScenario& more : scenario.moreCameras) {
    setUpCamera(world.cameras.emplace_back(), more, false);
    serials.push_back(more.serialNumber);
  }
  placeInterfaces(serials);
  for (HidCamera& camera : world.cameras) {
    lookAtCamera(camera);
  }
  if (!scenario.tracePath.empty() && !openHidTrace(scenario.tracePath)) {
    throw ScenarioError(scenario.tracePath + ": cannot open the trace file");
  }
  if (start == ClockStart::ForProcess) {
    clock().startForProcess(scenario.clock);
  } else {
    clock().reset(scenario.clock);
  }
}

void ensureHidScenarioLoaded() {
  const auto held = holdHidWorld();
  if (scenarioLoaded) {
    return;
  }
  try {
    applyHidScenario(hidScenarioFromEnvironment(), ClockStart::ForProcess);
  } catch (const ScenarioError& error) {
    std::fprintf(stderr, "simulated camera: %s\n", error.what());
    std::exit(ScenarioUnusable);
  }
}

}  // namespace sim
