#include "sim_hid_world.h"

#include <cstddef>
#include <cstring>

#include <cstdio>

#include "sim_flash_file.h"

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

std::u16string devicePathFor(USHORT vendorId, USHORT productId, unsigned instance) {
  char path[160];
  std::snprintf(path, sizeof path,
                "\\\\?\\hid#vid_%04x&pid_%04x#7&%08x&0&0000#"
                "{4d1e55b2-f16f-11cf-88cb-001111000030}",
                vendorId, productId, instance);
  return widen(path);
}

// The camera's flash interface: one vendor-defined collection whose reports are byte arrays.
HidInterface cameraInterface(unsigned instance, const std::u16string& serialNumber) {
  HidInterface camera;
  camera.vendorId = 0x1BBD;
  camera.productId = 0x024C;
  camera.versionNumber = 0x0100;
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

void resetHidWorld(unsigned cameraIndex, const std::u16string& serialNumber) {
  HidWorld& world = hidWorld();
  world.interfaces.clear();
  for (unsigned i = 0; i < cameraIndex; ++i) {
    world.interfaces.push_back(unrelatedInterface(i));
  }
  world.interfaces.push_back(cameraInterface(cameraIndex, serialNumber));
  world.flashFile = SharedFile();  // unmapped and unlocked before the camera lets go of it
  world.camera = FlashCamera();
  world.classDevicesFail = false;
  world.endlessEnumerationErrors = false;
  world.keepCallLog = false;
  world.reportsBeforeUnplug.reset();
  world.onReport = nullptr;
  world.calls.clear();
  world.trace.reset();
  world.openHandles.clear();
  world.preparsedData.clear();
  world.deviceInfoSets.clear();
  world.lastError = 0;
}

bool openHidTrace(const std::string& path) {
  // Binary, so that a trace holds the same bytes on every platform.
  hidWorld().trace.reset(std::fopen(path.c_str(), "ab"));
  return hidWorld().trace != nullptr;
}

void applyHidScenario(const HidScenario& scenario) {
  resetHidWorld(scenario.cameraIndex, scenario.serialNumber);
  HidWorld& world = hidWorld();
  if (!scenario.cameraPresent) {
    world.interfaces.pop_back();
  } else {
    world.interfaces.back().failStep = scenario.cameraFailStep;
    for (unsigned copy = 1; copy < scenario.cameraCopies; ++copy) {
      world.interfaces.push_back(
          cameraInterface(scenario.cameraIndex + copy, scenario.serialNumber));
    }
  }
  world.camera.faults = scenario.faults;
  world.reportsBeforeUnplug = scenario.unplugAfterReports;
  if (!scenario.flashPath.empty() && scenario.cameraPresent) {
    world.flashFile = useFlashFile(scenario.flashPath, world.camera);
  }
  if (!scenario.tracePath.empty() && !openHidTrace(scenario.tracePath)) {
    throw ScenarioError(scenario.tracePath + ": cannot open the trace file");
  }
  clock().reset(scenario.clock);
}

}  // namespace sim
