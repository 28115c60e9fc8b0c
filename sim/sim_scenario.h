// A scripted camera for the simulated builds: `key = value` lines, `#` comments, read from the
// file that OPTIQON_SIM_CAMERA names. Only the simulated builds read it.
#pragma once

#include <istream>
#include <stdexcept>
#include <string>

#include "sim_clock.h"
#include "sim_flash_camera.h"
#include "sim_hid_faults.h"

namespace sim {

class ScenarioError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct Scenario {
  bool cameraPresent = true;
  unsigned cameraIndex = 1;                  // unrelated interfaces listed before the camera
  unsigned cameraCopies = 1;                 // the camera listed this many times in a row
  FailStep cameraFailStep = FailStep::None;  // where the first listing of the camera fails
  std::u16string serialNumber = u"K3M51-0001";
  std::string flashPath;  // empty: the flash lives in memory only
  FlashFaults faults;
  Clock::Mode clock = Clock::Mode::Real;
  std::string tracePath;
};

// Exit code of a simulated program whose scenario cannot be used.
constexpr int ScenarioUnusable = 64;

// Parses a scenario; `origin` names it in error messages.
Scenario parseScenario(std::istream& in, const std::string& origin);

// The scenario named by OPTIQON_SIM_CAMERA, or the defaults when the variable is not set.
Scenario scenarioFromEnvironment();

}  // namespace sim
