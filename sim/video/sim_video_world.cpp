#include "sim_video_world.h"

#include <cinttypes>
#include <cstdlib>

#include "sim_camera_settings.h"
#include "sim_clock.h"
#include "sim_kept_file.h"

namespace sim {

namespace {

// Set once the process has its video scenario, read or set up in-process. The library makes all
// its calls from one thread, so a plain flag will do.
bool scenarioLoaded = false;

std::string hexOf(const std::vector<std::uint8_t>& bytes) {
  if (bytes.empty()) {
    return "-";
  }
  static constexpr char Digits[] = "0123456789abcdef";
  std::string hex;
  for (std::uint8_t byte : bytes) {
    hex += Digits[byte >> 4];
    hex += Digits[byte & 0xF];
  }
  return hex;
}

std::string numberOr(const std::optional<std::int32_t>& number) {
  return number ? std::to_string(*number) : "-";
}

std::string hresultText(std::int32_t result) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08" PRIX32, static_cast<std::uint32_t>(result));
  return text;
}

const std::u16string& cameraName() {
  static const std::u16string name = *utf16FromUtf8(CameraFriendlyName);
  return name;
}

}  // namespace

VideoDevice videoDevice(const std::u16string& friendlyName, unsigned instance) {
  VideoDevice device{friendlyName, nullptr, {}};
  const bool camera = friendlyName == cameraName();
  if (camera) {
    device.camera = std::make_shared<VideoCamera>();
  }
  // A USB video interface in the camera category, as Windows names it: the camera's own vendor
  // and product, another maker's for any other device.
  char path[160];
  std::snprintf(path, sizeof path,
                "\\\\?\\usb#vid_%s&mi_00#7&%08x&0&0000#"
                "{e5323777-f976-4f5b-9b55-b94699c46e44}\\global",
                camera ? "1bbd&pid_024c" : "0c45&pid_6366", instance);
  device.symbolicLink = kit::utf16FromUtf8Lossy(path);
  return device;
}

std::string traceLineOf(const VideoCall& call) {
  std::string line = std::to_string(call.ms);
  switch (call.kind) {
    case VideoCallKind::KsProperty:
      line += " KsProperty " + hexOf(call.request) + " " + std::to_string(call.dataLength) + " " +
              hexOf(call.data);
      break;
    case VideoCallKind::GetRange:
      line += " GetRange " + std::to_string(call.property);
      break;
    case VideoCallKind::Set:
    case VideoCallKind::Get:
      line += (call.kind == VideoCallKind::Set ? " Set " : " Get ") +
              std::to_string(call.property) + " " + numberOr(call.value) + " " +
              numberOr(call.flags);
      break;
  }
  return line + " " + hresultText(call.result);
}

VideoWorld& videoWorld() {
  static VideoWorld world;
  return world;
}

std::optional<std::int32_t> injectedFault(VideoStep step) {
  const VideoWorld& world = videoWorld();
  auto found = world.faults.find(step);
  if (found == world.faults.end()) {
    return std::nullopt;
  }
  return found->second;
}

void recordVideoCall(VideoCall call) {
  VideoWorld& world = videoWorld();
  if (world.trace) {
    std::fprintf(world.trace.get(), "%s\n", traceLineOf(call).c_str());
    std::fflush(world.trace.get());
  }
  if (world.keepCallLog) {
    world.calls.push_back(std::move(call));
  }
}

bool openVideoTrace(const std::string& path) {
  // Binary, so that a trace holds the same bytes on every platform.
  videoWorld().trace.reset(std::fopen(path.c_str(), "ab"));
  return videoWorld().trace != nullptr;
}

void resetVideoWorld() {
  VideoWorld& world = videoWorld();
  world.devices = {videoDevice(cameraName())};
  world.faults.clear();
  world.keepCallLog = false;
  world.calls.clear();
  world.trace.reset();
  world.blocksAllocated = 0;
  world.settingsCamera.reset();
  world.settingsPath.clear();
  world.settingsText.clear();
  world.settingsWriteFailed = false;
  world.settingsReadFailed = false;
  scenarioLoaded = true;
}

void cameraSettingsChanged(const VideoCamera& camera) {
  VideoWorld& world = videoWorld();
  if (world.settingsCamera.get() != &camera) {
    return;
  }
  const std::string text = cameraSettingsText(camera);
  if (text == world.settingsText) {
    return;
  }
  if (replaceKeptFile(world.settingsPath, text)) {
    world.settingsText = text;
  } else if (!world.settingsWriteFailed) {
    world.settingsWriteFailed = true;
    std::fprintf(stderr, "Brenwick_sim: cannot write the camera settings file %s\n",
                 world.settingsPath.c_str());
  }
}

CameraSettingsTurn::CameraSettingsTurn(VideoCamera* camera) {
  VideoWorld& world = videoWorld();
  if (camera == nullptr || world.settingsCamera.get() != camera || world.settingsTurnHeld) {
    return;
  }
  try {
    lock_ = takeKeptFileTurn(world.settingsPath, "camera settings file");
  } catch (const ScenarioError&) {
    return;  // the file's folder is gone: the write that follows a change says so
  }
  world.settingsTurnHeld = true;
  try {
    const std::string text = readCameraSettingsText(world.settingsPath);
    if (text != world.settingsText) {
      applyCameraSettingsText(world.settingsPath, text, *camera);
      world.settingsText = text;
    }
  } catch (const ScenarioError& error) {
    // The camera goes on with the settings it has, as one whose settings memory failed would.
    if (!world.settingsReadFailed) {
      world.settingsReadFailed = true;
      std::fprintf(stderr, "Brenwick_sim: %s\n", error.what());
    }
  }
}

CameraSettingsTurn::~CameraSettingsTurn() {
  if (lock_.isOpen()) {
    videoWorld().settingsTurnHeld = false;
  }
}

void applyVideoScenario(const VideoScenario& scenario) {
  resetVideoWorld();
  VideoWorld& world = videoWorld();
  world.devices.clear();
  for (const std::string& name : scenario.videoDevices) {
    const auto wide = utf16FromUtf8(name);
    if (!wide) {
      throw ScenarioError("the video device name '" + name + "' is not UTF-8");
    }
    world.devices.push_back(videoDevice(*wide, static_cast<unsigned>(world.devices.size())));
  }
  for (VideoDevice& device : world.devices) {
    if (!device.camera) {
      continue;
    }
    device.camera->setPassword(scenario.password);
    // Withdrawn first, so that a value for a property the camera lacks is refused.
    for (unsigned property : scenario.unsupportedProperties) {
      device.camera->withdrawProperty(property);
    }
    applyCameraSettings(*device.camera, scenario);
    if (!world.settingsCamera && !scenario.cameraSettingsPath.empty()) {
      checkKeptFileWritable(scenario.cameraSettingsPath, "camera settings file");
      const SharedFile turn = takeKeptFileTurn(scenario.cameraSettingsPath, "camera settings file");
      world.settingsText = loadCameraSettingsFile(scenario.cameraSettingsPath, *device.camera);
      world.settingsCamera = device.camera;
      world.settingsPath = scenario.cameraSettingsPath;
    }
  }
  world.faults = scenario.videoFaults;
  if (!scenario.videoTracePath.empty() && !openVideoTrace(scenario.videoTracePath)) {
    throw ScenarioError(scenario.videoTracePath + ": cannot open the video trace file");
  }
  clock().reset(scenario.clock);
}

void ensureVideoScenarioLoaded() {
  if (scenarioLoaded) {
    return;
  }
  try {
    applyVideoScenario(videoScenarioFromEnvironment());
  } catch (const ScenarioError& error) {
    std::fprintf(stderr, "Brenwick_sim: %s\n", error.what());
    std::exit(ScenarioUnusable);
  }
}

}  // namespace sim
