// The camera's settings kept in a file between runs. The real camera keeps what a host sets for
// as long as it stays plugged in, however many host programs come and go; each run of a
// simulated program is a new process with a new simulated camera, so the camera writes its
// settings to the scenario's camera_settings file after each change and the next run finds them
// there. The file is a scenario file of two keys, xu and property_values, so that a person can
// read it, edit it, or copy its lines into a scenario; a camera plugged in only while a file
// exists adds the plugging they belong to (plugged_in). What the host saved, which the camera
// starts from when it is plugged in again, is kept beside it in a file of the same two keys,
// FILE.saved.
#pragma once

#include <string>

#include "sim_video_camera.h"
#include "sim_video_scenario.h"

namespace sim {

// Sets the camera's controls to the scenario's xu values and its image properties to its
// property_values, each through the camera's own set as a host's request would reach it,
// properties in manual mode. Throws ScenarioError naming the first value the camera refuses.
void applyCameraSettings(VideoCamera& camera, const VideoCameraScenario& settings);

// The text of the settings file at `path`; empty when there is none. Throws ScenarioError.
std::string readCameraSettingsText(const std::string& path);

// Applies the settings of `text`, the settings file at `path`, over what the camera has. Throws
// ScenarioError naming the file.
void applyCameraSettingsText(const std::string& path, const std::string& text, VideoCamera& camera);

// Applies the settings kept in the file at `path` over what the camera has, when the file exists;
// returns the file's text. Throws ScenarioError naming the file.
std::string loadCameraSettingsFile(const std::string& path, VideoCamera& camera);

// The file beside the settings file at `path` that keeps the saved values.
std::string savedSettingsPathOf(const std::string& path);

// The values the camera has after the settings of `text`, the settings file at `path`, are
// applied over its factory values. Throws ScenarioError naming the file.
VideoCamera::Values valuesFromSettingsText(const std::string& path, const std::string& text,
                                           const VideoCamera& camera);

// The saved values' file for these values, in the settings file's form.
std::string savedSettingsText(const VideoCamera::Values& values);

// The settings file for the camera as it is now, the same bytes for the same settings:
//   # <what the file is>
//   xu = NODE.SELECTOR=BYTES, ...          every plain control written, in (node, selector) order
//   property_values = PROPERTY=VALUE, ...  every image property the camera has, in number order
// Bytes are upper-case hexadecimal digits run together; a control emptied by a write is kept as
// `NODE.SELECTOR=`, so that it stays empty over a value the scenario gives it. A line with
// nothing to list is left out, since the keys take no empty list.
std::string cameraSettingsText(const VideoCamera& camera);

}  // namespace sim
