// The HID side of a scenario: the PC's HID interfaces, the camera among them, its flash and the
// faults the flash is to show, read from the scenario file's keys of this side.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "sim_flash_camera.h"
#include "sim_hid_faults.h"
#include "sim_scenario_file.h"

namespace sim {

// One camera's HID side: the keys before the first [camera] line for the first camera, those of
// its section for each further one.
struct HidCameraScenario {
  bool cameraPresent = true;                 // its HID interface is there
  FailStep cameraFailStep = FailStep::None;  // where the first listing of the camera fails
  std::u16string serialNumber = u"K3M51-0001";
  std::string flashPath;  // empty: the flash lives in memory only
  FlashFaults faults;
  std::optional<unsigned> unplugAfterReports;  // report calls before the camera is pulled out
  std::string tracePath;    // the first camera's is the PC's; empty: the PC's, lines prefixed
  std::string pluggedPath;  // empty: always plugged in; else only while this file exists
};

// The PC's HID side, its first camera's keys in its base.
struct HidScenario : HidCameraScenario {
  unsigned cameraIndex = 1;   // unrelated interfaces listed before the camera
  unsigned cameraCopies = 1;  // the camera listed this many times in a row
  Clock::Mode clock = Clock::Mode::Real;
  std::vector<HidCameraScenario> moreCameras;  // the [camera] sections, in order
};

// The HID side's keys of a scenario file's lines.
HidScenario readHidScenario(const ScenarioLines& lines);

// Parses a scenario, its keys checked; `origin` names it in error messages.
HidScenario parseHidScenario(std::istream& in, const std::string& origin);

// The scenario named by OPTIQON_SIM_CAMERA, or the defaults when the variable is not set.
HidScenario hidScenarioFromEnvironment();

}  // namespace sim
