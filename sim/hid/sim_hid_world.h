// The HID interfaces a simulated PC shows: the camera among unrelated devices, each of which can
// be made to fail at one step of being enumerated or opened. The functions of the upgrader's HID
// seam are served from here (sim_hid_backend.cpp), and every report call is logged.
#pragma once

#include <array>
#include <cstdint>
#include <cstdio>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "../../upgrader/hid_services.h"
#include "sim_device_tree.h"
#include "sim_flash_camera.h"
#include "sim_flash_file.h"
#include "sim_hid_faults.h"
#include "sim_hid_scenario.h"
#include "sim_plug_file.h"

namespace sim {

// The device interface class of HID collections, which HidD_GetHidGuid answers.
inline constexpr GUID HidInterfaceClass = {
    0x4D1E55B2, 0xF16F, 0x11CF, {0x88, 0xCB, 0x00, 0x11, 0x11, 0x00, 0x00, 0x30}};

// A button capability's report count, the 16 bits after IsAbsolute. The mingw-w64 headers lump
// them into their Reserved array, so they are reached by their place.
USHORT buttonReportCount(const HIDP_BUTTON_CAPS& cap);
void setButtonReportCount(HIDP_BUTTON_CAPS& cap, USHORT count);

struct ReportLayout {
  USHORT byteLength = 0;  // longest report of the type plus the ID byte; 0 when there is none
  std::vector<HIDP_BUTTON_CAPS> buttons;
  std::vector<HIDP_VALUE_CAPS> values;
};

struct HidInterface {
  std::u16string path;
  std::u16string instanceId;  // of its HID collection node: its path is made from it
  USHORT vendorId = 0;
  USHORT productId = 0;
  USHORT versionNumber = 0;
  USAGE usagePage = 0;
  USAGE usage = 0;
  std::array<ReportLayout, 3> reports;  // input, output, feature
  std::optional<std::u16string> serialNumber;
  FailStep failStep = FailStep::None;
  bool isCamera = false;   // its reports reach the flash camera
  std::size_t camera = 0;  // which of the world's cameras: the first unless a scenario says
};

// One report call as the camera saw it: the bytes sent, or the bytes of the reply.
struct ReportCall {
  std::uint64_t ms;
  bool output;  // HidD_SetOutputReport; otherwise HidD_GetInputReport
  std::uint8_t reportId;
  std::uint32_t length;
  bool ok;
  std::vector<std::uint8_t> bytes;
};

// Interfaces in the three shapes the simulated PC has.
HidInterface cameraInterface(unsigned instance, const std::u16string& serialNumber);
HidInterface mouseInterface(unsigned instance);
HidInterface keyboardInterface(unsigned instance);
// An unrelated interface, alternating between a mouse and a keyboard.
HidInterface unrelatedInterface(unsigned instance);

// The HID collection's instance id of an interface, HID\VID_1BBD&PID_024C\7&00000001&0&0000, and
// the device path Windows makes of it.
std::u16string hidInstanceIdFor(USHORT vendorId, USHORT productId, unsigned instance);
std::u16string devicePathFor(USHORT vendorId, USHORT productId, unsigned instance);

using TraceFile = std::unique_ptr<std::FILE, int (*)(std::FILE*)>;

// One camera as the PC's HID side has it: its flash, what the scenario makes it do, and whether
// it is plugged in.
struct HidCamera {
  FlashCamera flash;
  // The flash file the camera's flash lives in, when the scenario names one: held from the
  // process's first report call to the camera until it closes its last handle of the camera.
  // Declared after the flash, which asks it for its cells, so that a camera assigned anew lets
  // go of its file before the file goes; kept apart, so that the flash finds it where it was.
  std::unique_ptr<FlashFile> flashFile;
  // Report calls the camera answers before it is pulled out; from then on every call to it
  // fails as for a device that is gone.
  std::optional<std::uint64_t> reportsBeforeUnplug;
  TraceFile trace{nullptr, &std::fclose};  // its own trace; none: its lines go to the PC's
  std::string tracePrefix;  // before its lines in the PC's trace: "" for the first camera
  PlugFile plug;
  bool present = true;               // as the last look at its plug file found it
  std::optional<UsbPorts> usbPorts;  // where its USB device is plugged in, once placed
};

struct HidWorld {
  std::vector<HidInterface> interfaces;
  // The cameras behind the interfaces, the first always there: the one a scenario's lines before
  // its first [camera] describe, whose flash tests reach as `camera`.
  std::deque<HidCamera> cameras = std::deque<HidCamera>(1);
  FlashCamera& camera = cameras.front().flash;
  bool classDevicesFail = false;          // SetupDiGetClassDevsW returns no set
  bool endlessEnumerationErrors = false;  // past the last interface: errors, never the end
  bool keepCallLog = false;
  std::vector<ReportCall> calls;
  // Called after every report call, for tests that act at a given moment of a run.
  std::function<void(const ReportCall&)> onReport;
  TraceFile trace{nullptr, &std::fclose};  // the PC's, which is the first camera's

  // What the program holds right now, by the opaque token it was given, with the index of the
  // interface behind it (for a set, those it lists); all three are empty after a clean run.
  std::map<const void*, std::size_t> openHandles;
  std::map<const void*, std::size_t> preparsedData;
  std::map<const void*, std::vector<std::size_t>> deviceInfoSets;
  // The plugging of its camera each open handle was made in: after a replug it is dead.
  std::map<const void*, std::uint64_t> handlePluggings;
  std::uintptr_t nextToken = 0x1000;
  std::map<std::u16string, std::size_t> interfaceByPath;  // rebuilt when found stale
  std::uint32_t lastError = 0;
};

HidWorld& hidWorld();

// The HID world for one call of the seam at a time: a program may call from several threads (the
// camera API serves different cameras on different threads). Held again by the same thread, as a
// call may reach the scenario's first reading.
std::unique_lock<std::recursive_mutex> holdHidWorld();

// Appends one line per report call to the file at `path` from now on.
bool openHidTrace(const std::string& path);

// Looks whether the camera is plugged in, as the PC does when it lists its devices or a call
// reaches the camera: marks its USB device present or gone, and a camera plugged in again starts
// as one that lost its power. Returns whether it is plugged in.
bool lookAtCamera(HidCamera& camera);

// The camera was pulled out after the reports its scenario let through: its USB device leaves the
// device tree, as the platform takes a device away, for the rest of the process.
void pullOut(HidCamera& camera);

// The camera's flash for a report call: the process's turn on its flash file, taken at its first
// report call to the camera, waiting while another process uses the flash. False, having said why
// on standard error, when the file can no longer be used.
bool useFlash(HidCamera& camera);

// After the process closed a handle of the world's camera number `camera`: once no handle of it
// is open, its flash file is given back, so that another process may use the flash.
void giveBackUnusedFlash(std::size_t camera);

// Builds the HID world, the flash and the clock of a scenario, and places its interfaces in the
// device tree. Throws ScenarioError when a flash file or a trace file cannot be used, or when two
// cameras name one flash file. Each flash file is checked and left: none is held yet.
void applyHidScenario(const HidScenario& scenario, ClockStart start = ClockStart::Anew);

// The first call into the HID seam of a process that set up no HID world of its own (a library
// that links the simulated HID side, as the camera API does) applies the scenario that
// OPTIQON_SIM_CAMERA names. When it cannot be used, the process prints why and exits with
// ScenarioUnusable, as the simulated upgrader does.
void ensureHidScenarioLoaded();

// The default PC: `cameraIndex` unrelated interfaces, then the camera, with the given serial.
void resetHidWorld(unsigned cameraIndex = 1, const std::u16string& serialNumber = u"K3M51-0001");

}  // namespace sim
