// A scripted camera for the simulated builds: `key = value` lines, `#` comments, read from the
// file that OPTIQON_SIM_CAMERA names. Only the simulated builds read it.
#pragma once

#include <cstdint>
#include <istream>
#include <map>
#include <optional>
#include <set>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "../hid/sim_flash_camera.h"
#include "../hid/sim_hid_faults.h"
#include "../video/sim_video_camera.h"
#include "../video/sim_video_faults.h"
#include "sim_clock.h"
#include "text_encoding.h"

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
  std::optional<unsigned> unplugAfterReports;  // report calls before the camera is pulled out
  Clock::Mode clock = Clock::Mode::Real;
  std::string tracePath;

  // The video side.
  std::vector<std::string> videoDevices{std::string(CameraFriendlyName)};  // UTF-8, listing order
  std::map<VideoStep, std::int32_t> videoFaults;  // the HRESULT every call of the step returns
  std::uint16_t password = VideoCamera::FactoryPassword;
  // Initial values of extension-unit controls, by (node, selector).
  std::map<std::pair<unsigned, unsigned>, std::vector<std::uint8_t>> controlValues;
  // Initial values of the amplifier's image properties, by number, set in manual mode.
  std::map<unsigned, std::int32_t> propertyValues;
  std::set<unsigned> unsupportedProperties;  // amplifier properties the camera lacks
  std::string videoTracePath;
  std::string cameraSettingsPath;  // empty: the camera's settings last only as long as the run
};

// Exit code of a simulated program whose scenario cannot be used.
constexpr int ScenarioUnusable = 64;

// UTF-16 of UTF-8 text; none when the text is not UTF-8, so that a scenario's device names and
// serial number are refused rather than shown with stand-ins for bytes that are not text.
using kit::utf16FromUtf8;

// Parses a scenario; `origin` names it in error messages.
Scenario parseScenario(std::istream& in, const std::string& origin);

// Parses a camera settings file: lines as in a scenario, of the keys that hold the camera's own
// settings (xu, property_values) only; `origin` names it in error messages.
Scenario parseCameraSettings(std::istream& in, const std::string& origin);

// The whole file, a scenario or camera settings file as `what` says. A file that cannot be read to
// its end (a directory, a read error) or that is larger than any scenario needs is refused rather
// than taken for an empty one: throws ScenarioError.
std::string readBoundedFile(const std::string& path, const std::string& what);

// The camera settings file at `path`, read whole and bounded as a scenario file is, and parsed.
Scenario readCameraSettings(const std::string& path);

// The scenario named by OPTIQON_SIM_CAMERA, or the defaults when the variable is not set.
Scenario scenarioFromEnvironment();

}  // namespace sim
