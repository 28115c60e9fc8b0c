#include "sim_camera_settings.h"

#include <filesystem>
#include <sstream>
#include <system_error>

#include "sim_kept_file.h"

namespace sim {

namespace {

constexpr char SettingsFileHeader[] =
    "# The simulated Corvantis Optiqon's settings, rewritten by the camera after each change";
constexpr char SavedSettingsFileHeader[] =
    "# The simulated Corvantis Optiqon's saved settings, which it starts from when plugged in";

std::string upperHexOf(const std::vector<std::uint8_t>& bytes) {
  static constexpr char Digits[] = "0123456789ABCDEF";
  std::string hex;
  for (std::uint8_t byte : bytes) {
    hex += Digits[byte >> 4];
    hex += Digits[byte & 0xF];
  }
  return hex;
}

std::string controlName(unsigned node, unsigned selector) {
  return std::to_string(node) + "." + std::to_string(selector);
}

void applyPropertyValue(VideoCamera& camera, unsigned property, std::int32_t value) {
  const auto number = static_cast<std::int32_t>(property);
  switch (camera.setProperty(number, value, VideoCamera::ManualFlag)) {
    case VideoCamera::Result::Done:
      return;
    case VideoCamera::Result::NotFound:
      throw ScenarioError("the camera has no image property " + std::to_string(property));
    case VideoCamera::Result::Invalid:
      break;
  }
  VideoCamera::PropertyRange range{};
  camera.propertyRange(number, range);
  throw ScenarioError("the camera refuses " + std::to_string(value) + " for image property " +
                      std::to_string(property) + ", which takes " + std::to_string(range.min) +
                      " to " + std::to_string(range.max));
}

}  // namespace

void applyCameraSettings(VideoCamera& camera, const VideoCameraScenario& settings) {
  for (const auto& [control, bytes] : settings.controlValues) {
    const auto [node, selector] = control;
    if (camera.setControl(node, selector, bytes) != VideoCamera::Result::Done) {
      throw ScenarioError("the camera has no control " + controlName(node, selector) +
                          " that takes " + std::to_string(bytes.size()) + " bytes");
    }
  }
  for (const auto& [property, value] : settings.propertyValues) {
    applyPropertyValue(camera, property, value);
  }
}

std::string readCameraSettingsText(const std::string& path) {
  std::error_code error;
  return std::filesystem::exists(path, error) ? readBoundedFile(path, "camera settings file")
                                              : std::string();
}

void applyCameraSettingsText(const std::string& path, const std::string& text,
                             VideoCamera& camera) {
  std::istringstream in(text);
  const VideoScenario kept = parseCameraSettings(in, path);  // whose errors name the file and line
  try {
    applyCameraSettings(camera, kept);
  } catch (const ScenarioError& refused) {
    throw ScenarioError(path + ": " + refused.what());
  }
}

std::string loadCameraSettingsFile(const std::string& path, VideoCamera& camera) {
  const std::string text = readCameraSettingsText(path);
  applyCameraSettingsText(path, text, camera);
  return text;
}

std::string savedSettingsPathOf(const std::string& path) {
  return path + ".saved";
}

VideoCamera::Values valuesFromSettingsText(const std::string& path, const std::string& text,
                                           const VideoCamera& camera) {
  VideoCamera scratch = camera;
  scratch.setValues(camera.factoryValues());
  applyCameraSettingsText(path, text, scratch);
  return scratch.values();
}

namespace {

std::string settingsTextOf(const VideoCamera::Values& values, const char* header) {
  std::string controls;
  for (const auto& [control, bytes] : values.controls) {
    const auto [node, selector] = control;
    controls +=
        (controls.empty() ? "" : ", ") + controlName(node, selector) + "=" + upperHexOf(bytes);
  }
  std::string properties;
  for (const auto& [property, setting] : values.properties) {
    properties += (properties.empty() ? "" : ", ") + std::to_string(property) + "=" +
                  std::to_string(setting.first);
  }
  std::string text = std::string(header) + "\n";
  if (!controls.empty()) {
    text += "xu = " + controls + "\n";
  }
  if (!properties.empty()) {
    text += "property_values = " + properties + "\n";
  }
  return text;
}

}  // namespace

std::string savedSettingsText(const VideoCamera::Values& values) {
  return settingsTextOf(values, SavedSettingsFileHeader);
}

std::string cameraSettingsText(const VideoCamera& camera) {
  return settingsTextOf(camera.values(), SettingsFileHeader);
}

}  // namespace sim
