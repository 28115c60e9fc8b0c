// The video side of a scenario: the PC's video capture devices, the camera among them, its
// controls, properties and password, and the faults its calls are to answer with, read from the
// scenario file's keys of this side. A camera settings file holds two of these keys only.
#pragma once

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "sim_scenario_file.h"
#include "sim_video_camera.h"
#include "sim_video_faults.h"

namespace sim {

// One camera's video side: the keys before the first [camera] line for the first camera, those
// of its section for each further one.
struct VideoCameraScenario {
  std::u16string serialNumber = u"K3M51-0001";
  std::uint16_t password = VideoCamera::FactoryPassword;
  // Initial values of extension-unit controls, by (node, selector).
  std::map<std::pair<unsigned, unsigned>, std::vector<std::uint8_t>> controlValues;
  // Initial values of the amplifier's image properties, by number, set in manual mode.
  std::map<unsigned, std::int32_t> propertyValues;
  std::set<unsigned> unsupportedProperties;  // amplifier properties the camera lacks
  std::string videoTracePath;      // the first camera's is the PC's; empty: the PC's, prefixed
  std::string cameraSettingsPath;  // empty: the camera's settings last only as long as the run
  std::string pluggedPath;         // empty: always plugged in; else only while this file exists
  // Control and property calls the camera answers before it is pulled out: its plug file removed,
  // as a person pulls the cable, so that every process sees it gone. Needs `plugged`.
  std::optional<unsigned> unplugAfterControls;
};

// The PC's video side, its first camera's keys in its base.
struct VideoScenario : VideoCameraScenario {
  std::vector<std::string> videoDevices{std::string(CameraFriendlyName)};  // UTF-8, listing order
  std::map<VideoStep, std::int32_t> videoFaults;  // the HRESULT every call of the step returns
  Clock::Mode clock = Clock::Mode::Real;
  std::vector<VideoCameraScenario> moreCameras;  // the [camera] sections, in order
};

// The video side's keys of a scenario file's lines.
VideoScenario readVideoScenario(const ScenarioLines& lines);

// Parses a scenario, its keys checked; `origin` names it in error messages.
VideoScenario parseVideoScenario(std::istream& in, const std::string& origin);

// The scenario named by OPTIQON_SIM_CAMERA, or the defaults when the variable is not set.
VideoScenario videoScenarioFromEnvironment();

// Parses a camera settings file: lines as in a scenario, of the keys that hold the camera's own
// settings (xu, property_values) only, so that the camera can never rewrite the PC it finds
// itself in; `origin` names it in error messages.
VideoScenario parseCameraSettings(std::istream& in, const std::string& origin);

// A camera settings file as the camera keeps it: its settings, and, for a camera plugged in only
// while a file exists, the plugging they belong to (plugged_in, the camera's own record).
struct KeptSettings {
  VideoScenario settings;
  std::string plugging;
};
KeptSettings parseKeptSettings(std::istream& in, const std::string& origin);

// The key by which a camera settings file records its plugging.
inline constexpr std::string_view PluggingKey = "plugged_in";

}  // namespace sim
