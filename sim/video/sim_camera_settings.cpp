#include "sim_camera_settings.h"

#include <filesystem>
#include <sstream>
#include <system_error>

#include "sim_kept_file.h"

namespace sim {

namespace {

constexpr char SettingsFileHeader[] =
    "# The simulated Corvantis Optiqon's settings, rewritten by the camera after each change";

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

void applyCameraSettings(VideoCamera& camera, const VideoScenario& settings) {
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

std::string cameraSettingsText(const VideoCamera& camera) {
  std::string controls;
  for (const auto& [control, bytes] : camera.storedControls()) {
    const auto [node, selector] = control;
    controls +=
        (controls.empty() ? "" : ", ") + controlName(node, selector) + "=" + upperHexOf(bytes);
  }
  std::string properties;
  for (unsigned property = 0; property < VideoCamera::AmplifierProperties; ++property) {
    std::int32_t value = 0;
    std::int32_t flags = 0;
    if (camera.getProperty(static_cast<std::int32_t>(property), value, flags) ==
        VideoCamera::Result::Done) {
      properties +=
          (properties.empty() ? "" : ", ") + std::to_string(property) + "=" + std::to_string(value);
    }
  }
  std::string text = std::string(SettingsFileHeader) + "\n";
  if (!controls.empty()) {
    text += "xu = " + controls + "\n";
  }
  if (!properties.empty()) {
    text += "property_values = " + properties + "\n";
  }
  return text;
}

}  // namespace sim
