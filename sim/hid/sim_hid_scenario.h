// The HID side of a scenario: the PC's HID interfaces, the camera among them, its flash and the
// faults the flash is to show, read from the scenario file's keys of this side.
#pragma once

#include <optional>
#include <string>

#include "sim_flash_camera.h"
#include "sim_hid_faults.h"
#include "sim_scenario_file.h"

namespace sim {

struct HidScenario {
  bool cameraPresent = true;
  unsigned cameraIndex = 1;                  // unrelated interfaces listed before the camera
  unsigned cameraCopies = 1;                 // the camera listed this many times in a row
  FailStep cameraFailStep = FailStep::None;  // where the first listing of the camera fails
  std::u16string serialNumber = u"K3M51-0001";
  std::string flashPath;  // empty: the flash lives in memory only
  FlashFaults faults;
  std::optional<unsigned> unplugAfterReports;  // report calls before the camera is pulled out
  Clock::Mode clock = Clock::Mode::Real;
  std::string tracePath;
};

// The HID side's keys of a scenario file's lines.
HidScenario readHidScenario(const ScenarioLines& lines);

// Parses a scenario, its keys checked; `origin` names it in error messages.
HidScenario parseHidScenario(std::istream& in, const std::string& origin);

// The scenario named by OPTIQON_SIM_CAMERA, or the defaults when the variable is not set.
HidScenario hidScenarioFromEnvironment();

}  // namespace sim
