#include "sim_video_world.h"

#include <cinttypes>
#include <cstdlib>
#include <filesystem>
#include <set>
#include <sstream>

#include "sim_camera_settings.h"
#include "sim_clock.h"
#include "sim_device_tree.h"
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

// The camera's vendor and product, and another maker's for any other capture device.
constexpr std::uint16_t CameraVendor = 0x1BBD;
constexpr std::uint16_t CameraProduct = 0x024C;
constexpr std::uint16_t OtherVendor = 0x0C45;
constexpr std::uint16_t OtherProduct = 0x6366;

// The instance part of a capture device's USB interface node, told apart by its place in the list.
std::u16string captureInstance(unsigned instance) {
  char text[24];
  std::snprintf(text, sizeof text, "7&%08X&0&0000", instance);
  return kit::utf16FromUtf8Lossy(text);
}

std::string utf8Of(const std::u16string& text) {
  return kit::utf8FromUtf16(text).value_or("");
}

}  // namespace

std::u16string captureInstanceIdFor(bool camera, unsigned instance) {
  char id[40];
  std::snprintf(id, sizeof id, "USB\\VID_%04X&PID_%04X&MI_00\\",
                camera ? CameraVendor : OtherVendor, camera ? CameraProduct : OtherProduct);
  return kit::utf16FromUtf8Lossy(id) + captureInstance(instance);
}

// A USB video interface in the camera category, as Windows names it: interface 0 of the USB
// device, the camera's own or another maker's.
VideoDevice videoDevice(const std::u16string& friendlyName, unsigned instance) {
  VideoDevice device{friendlyName, nullptr, {}, nullptr};
  const bool camera = friendlyName == cameraName();
  if (camera) {
    device.camera = std::make_shared<VideoCamera>();
  }
  device.symbolicLink = interfacePathOf(captureInstanceIdFor(camera, instance),
                                        CaptureInterfaceClassText, u"\\global");
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

std::unique_lock<std::recursive_mutex> holdVideoWorld() {
  static std::recursive_mutex held;
  return std::unique_lock(held);
}

std::optional<std::int32_t> injectedFault(VideoStep step) {
  const VideoWorld& world = videoWorld();
  auto found = world.faults.find(step);
  if (found == world.faults.end()) {
    return std::nullopt;
  }
  return found->second;
}

void recordVideoCall(VideoCall call, const PluggedCamera* camera) {
  VideoWorld& world = videoWorld();
  std::FILE* trace = camera != nullptr && camera->trace ? camera->trace.get() : world.trace.get();
  if (trace != nullptr) {
    const char* prefix = camera != nullptr && !camera->trace ? camera->tracePrefix.c_str() : "";
    std::fprintf(trace, "%s%s\n", prefix, traceLineOf(call).c_str());
    std::fflush(trace);
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

bool lookAtCamera(PluggedCamera& camera) {
  const PlugFile::Look look = camera.plug.look();
  if (look.pluggedIn) {
    camera.pluggedInAgain = true;
  }
  if (const auto usbDevice = camera.usbPorts ? usbDeviceAt(*camera.usbPorts) : std::nullopt) {
    setUsbDevicePresent(*usbDevice, look.present);
  }
  camera.present = look.present;
  return look.present;
}

const std::vector<VideoDevice>& pluggedInDevices() {
  VideoWorld& world = videoWorld();
  world.listed.clear();
  for (const VideoDevice& device : world.devices) {
    if (!device.plugged || lookAtCamera(*device.plugged)) {
      world.listed.push_back(device);
    }
  }
  return world.listed;
}

namespace {

// Forgets every device, camera, fault and file of the video world, and the video side's part of
// the device tree.
void clearVideoWorld() {
  VideoWorld& world = videoWorld();
  world.devices.clear();
  world.listed.clear();
  world.cameras.clear();
  world.faults.clear();
  world.keepCallLog = false;
  world.calls.clear();
  world.trace.reset();
  world.blocksAllocated = 0;
  removeDeviceInterfaces(CaptureInterfaceClassText);
  scenarioLoaded = true;
}

// Places every device in the device tree as interface 0 of a USB device of its own: a scenario's
// camera on the camera's port, a further copy of the first camera and any other device on theirs.
void placeDevices() {
  VideoWorld& world = videoWorld();
  std::size_t copies = 0;
  std::size_t others = 0;
  std::vector<std::u16string> serials;
  for (const auto& camera : world.cameras) {
    serials.push_back(camera->serialNumber);
  }
  for (std::size_t i = 0; i < world.devices.size(); ++i) {
    const VideoDevice& device = world.devices[i];
    const bool camera = device.camera != nullptr;
    const std::uint16_t vendor = camera ? CameraVendor : OtherVendor;
    const std::uint16_t product = camera ? CameraProduct : OtherProduct;
    std::size_t usbDevice = 0;
    if (device.plugged) {
      const auto number = static_cast<std::size_t>(
          std::find(world.cameras.begin(), world.cameras.end(), device.plugged) -
          world.cameras.begin());
      device.plugged->usbPorts = portsOfCamera(number);
      usbDevice =
          plugUsbDevice(*device.plugged->usbPorts, vendor, product, usbSerialOf(serials, number));
    } else if (camera) {
      usbDevice = plugUsbDevice(portsOfCameraCopy(copies++), vendor, product, {});
    } else {
      usbDevice = plugUsbDevice(portsOfCaptureDevice(others++), vendor, product, {});
    }
    const std::size_t node =
        usbInterfaceNode(usbDevice, 0, captureInstance(static_cast<unsigned>(i)));
    addDeviceInterface(node, CaptureInterfaceClassText, u"\\global");
  }
}

}  // namespace

void resetVideoWorld() {
  const auto held = holdVideoWorld();
  clearVideoWorld();
  videoWorld().devices = {videoDevice(cameraName())};
  placeDevices();
}

namespace {

void sayOnce(bool& said, const std::string& message) {
  if (!said) {
    said = true;
    std::fprintf(stderr, "Brenwick_sim: %s\n", message.c_str());
  }
}

// The settings file's text for the camera as it is now, with the plugging its values belong to.
std::string keptSettingsText(const PluggedCamera& kept) {
  std::string text = cameraSettingsText(*kept.camera);
  if (kept.plug.named()) {
    text += std::string(PluggingKey) + " = " + kept.plug.plugging() + "\n";
  }
  return text;
}

// Writes the settings file and the saved values' file where they no longer hold what the camera
// has; a camera without saved values has no saved values' file.
void keepValues(PluggedCamera& kept) {
  kept.changesKept = kept.camera->changes();
  if (kept.settingsPath.empty()) {
    return;
  }
  const std::string text = keptSettingsText(kept);
  if (text != kept.settingsText) {
    if (replaceKeptFile(kept.settingsPath, text)) {
      kept.settingsText = text;
      kept.settingsPlugging = kept.plug.plugging();
    } else {
      sayOnce(kept.writeFailed, "cannot write the camera settings file " + kept.settingsPath);
    }
  }
  const auto& saved = kept.camera->savedValues();
  const std::string savedText = saved ? savedSettingsText(*saved) : std::string();
  if (savedText == kept.savedText) {
    return;
  }
  const std::string savedPath = savedSettingsPathOf(kept.settingsPath);
  std::error_code error;
  if (saved ? replaceKeptFile(savedPath, savedText)
            : (std::filesystem::remove(savedPath, error), !error)) {
    kept.savedText = savedText;
  } else {
    sayOnce(kept.writeFailed, "cannot write the camera settings file " + savedPath);
  }
}

// The saved values' file as another process may have left it, applied to the camera's saved
// values when it changed.
void catchUpSavedValues(PluggedCamera& kept) {
  const std::string savedPath = savedSettingsPathOf(kept.settingsPath);
  const std::string text = readCameraSettingsText(savedPath);
  if (text == kept.savedText) {
    return;
  }
  kept.camera->setSavedValues(
      text.empty() ? std::nullopt
                   : std::optional(valuesFromSettingsText(savedPath, text, *kept.camera)));
  kept.savedText = text;
}

// The settings file as another process may have left it: its values applied over the factory
// ones when it changed, and whether they belong to the camera's present plugging.
bool catchUpSettings(PluggedCamera& kept) {
  const std::string text = readCameraSettingsText(kept.settingsPath);
  if (text != kept.settingsText) {
    std::istringstream in(text);
    kept.settingsPlugging = parseKeptSettings(in, kept.settingsPath).plugging;
    kept.camera->setValues(valuesFromSettingsText(kept.settingsPath, text, *kept.camera));
    kept.settingsText = text;
  }
  return kept.settingsPlugging == kept.plug.plugging();
}

// A camera plugged in again starts as a camera powered up: from its saved values, or its factory
// ones.
void powerUp(PluggedCamera& kept) {
  kept.pluggedInAgain = false;
  kept.camera->powerUp();
  keepValues(kept);
}

// Brings the camera up to date with its files under its turn, when it keeps them.
void catchUp(PluggedCamera& kept) {
  bool samePlugging = true;
  if (!kept.settingsPath.empty()) {
    catchUpSavedValues(kept);
    samePlugging = catchUpSettings(kept);
  }
  if (kept.pluggedInAgain || !samePlugging) {
    powerUp(kept);
  }
}

}  // namespace

void cameraSettingsChanged(PluggedCamera& camera) {
  if (camera.camera->changes() != camera.changesKept) {
    keepValues(camera);
  }
}

CameraSettingsTurn::CameraSettingsTurn(PluggedCamera* camera) {
  if (camera == nullptr || camera->turnHeld) {
    return;
  }
  if (!lookAtCamera(*camera)) {
    gone_ = true;
    return;
  }
  if (camera->controlsBeforeUnplug && *camera->controlsBeforeUnplug > 0 &&
      --*camera->controlsBeforeUnplug == 0) {
    // The last call let through: the camera goes with it, though this call still reaches it.
    std::error_code error;
    std::filesystem::remove(camera->plug.path(), error);
  }
  if (!camera->settingsPath.empty()) {
    try {
      lock_ = takeKeptFileTurn(camera->settingsPath, "camera settings file");
    } catch (const ScenarioError&) {
      return;  // the file's folder is gone: the write that follows a change says so
    }
  }
  camera_ = camera;
  camera->turnHeld = true;
  try {
    catchUp(*camera);
  } catch (const ScenarioError& error) {
    // The camera goes on with the settings it has, as one whose settings memory failed would.
    sayOnce(camera->readFailed, error.what());
  }
}

CameraSettingsTurn::~CameraSettingsTurn() {
  if (camera_ != nullptr) {
    camera_->turnHeld = false;
  }
}

namespace {

void checkSettingsFilesApart(const VideoScenario& scenario) {
  std::map<std::filesystem::path, std::size_t> owners;
  auto check = [&](const VideoCameraScenario& camera, std::size_t number) {
    if (camera.cameraSettingsPath.empty()) {
      return;
    }
    const auto [owner, added] = owners.emplace(sameFileName(camera.cameraSettingsPath), number);
    if (!added) {
      throw ScenarioError("camera settings file " + camera.cameraSettingsPath +
                          " is named for camera " + std::to_string(owner->second + 1) +
                          " and camera " + std::to_string(number + 1) +
                          ": each camera keeps its settings in a file of its own");
    }
  };
  check(scenario, 0);
  for (std::size_t k = 0; k < scenario.moreCameras.size(); ++k) {
    check(scenario.moreCameras[k], k + 1);
  }
}

// The camera as the scenario describes it: its password, the properties it lacks, and its values,
// which are its factory ones.
void describeCamera(VideoCamera& camera, const VideoCameraScenario& scenario) {
  camera.setPassword(scenario.password);
  // Withdrawn first, so that a value for a property the camera lacks is refused.
  for (unsigned property : scenario.unsupportedProperties) {
    camera.withdrawProperty(property);
  }
  applyCameraSettings(camera, scenario);
  camera.markFactoryValues();
}

// A camera of the scenario, with its trace and its plug.
std::shared_ptr<PluggedCamera> pluggedCamera(const VideoCameraScenario& scenario, bool first) {
  auto kept = std::make_shared<PluggedCamera>();
  kept->camera = std::make_shared<VideoCamera>();
  kept->serialNumber = scenario.serialNumber;
  describeCamera(*kept->camera, scenario);
  if (!first && !scenario.videoTracePath.empty()) {
    kept->trace.reset(std::fopen(scenario.videoTracePath.c_str(), "ab"));
    if (!kept->trace) {
      throw ScenarioError(scenario.videoTracePath + ": cannot open the video trace file");
    }
  }
  if (!first && scenario.videoTracePath.empty()) {
    kept->tracePrefix = utf8Of(scenario.serialNumber) + " ";
  }
  if (!scenario.pluggedPath.empty()) {
    kept->plug = PlugFile(scenario.pluggedPath);
    kept->controlsBeforeUnplug = scenario.unplugAfterControls;
  } else if (scenario.unplugAfterControls) {
    throw ScenarioError("unplug_after_controls needs the camera's plugged file, which it removes");
  }
  return kept;
}

// Reads the files the camera keeps its values in, under its turn, the first time this process
// meets it; a camera not plugged in reads them when it is.
void loadKeptValues(PluggedCamera& kept, const std::string& settingsPath) {
  checkKeptFileWritable(settingsPath, "camera settings file");
  kept.settingsPath = settingsPath;
  if (kept.present) {
    const SharedFile turn = takeKeptFileTurn(settingsPath, "camera settings file");
    catchUp(kept);
  }
}

// The PC's devices in listing order: those of video_devices, the first named as the camera being
// the first camera and any further one a copy of it, then each further camera.
void listDevices(const VideoScenario& scenario) {
  VideoWorld& world = videoWorld();
  bool firstCameraListed = false;
  for (const std::string& name : scenario.videoDevices) {
    const auto wide = utf16FromUtf8(name);
    if (!wide) {
      throw ScenarioError("the video device name '" + name + "' is not UTF-8");
    }
    VideoDevice& device =
        world.devices.emplace_back(videoDevice(*wide, static_cast<unsigned>(world.devices.size())));
    if (!device.camera) {
      continue;
    }
    if (!firstCameraListed) {
      device.camera = world.cameras.front()->camera;
      device.plugged = world.cameras.front();
      firstCameraListed = true;
      continue;
    }
    // A further copy of the first camera: the same camera model, its values for the run only.
    describeCamera(*device.camera, scenario);
  }
  for (std::size_t k = 1; k < world.cameras.size(); ++k) {
    VideoDevice& device = world.devices.emplace_back(
        videoDevice(cameraName(), static_cast<unsigned>(world.devices.size())));
    device.camera = world.cameras[k]->camera;
    device.plugged = world.cameras[k];
  }
}

// Each listed camera found as it is plugged in, with the values it keeps in its files.
void loadCameras(const VideoScenario& scenario) {
  VideoWorld& world = videoWorld();
  for (std::size_t k = 0; k < world.cameras.size(); ++k) {
    PluggedCamera& kept = *world.cameras[k];
    const std::string& settingsPath =
        k == 0 ? scenario.cameraSettingsPath : scenario.moreCameras[k - 1].cameraSettingsPath;
    lookAtCamera(kept);
    const bool listed = std::any_of(world.devices.begin(), world.devices.end(),
                                    [&](const VideoDevice& d) { return d.plugged.get() == &kept; });
    if (listed && !settingsPath.empty()) {
      loadKeptValues(kept, settingsPath);
    }
    kept.changesKept = kept.camera->changes();
  }
}

}  // namespace

void applyVideoScenario(const VideoScenario& scenario, ClockStart start) {
  const auto held = holdVideoWorld();
  clearVideoWorld();
  checkSettingsFilesApart(scenario);
  VideoWorld& world = videoWorld();
  world.cameras.push_back(pluggedCamera(scenario, true));
  for (const VideoCameraScenario& more : scenario.moreCameras) {
    world.cameras.push_back(pluggedCamera(more, false));
  }
  listDevices(scenario);
  placeDevices();
  loadCameras(scenario);
  world.faults = scenario.videoFaults;
  if (!scenario.videoTracePath.empty() && !openVideoTrace(scenario.videoTracePath)) {
    throw ScenarioError(scenario.videoTracePath + ": cannot open the video trace file");
  }
  if (start == ClockStart::ForProcess) {
    clock().startForProcess(scenario.clock);
  } else {
    clock().reset(scenario.clock);
  }
}

void ensureVideoScenarioLoaded() {
  const auto held = holdVideoWorld();
  if (scenarioLoaded) {
    return;
  }
  try {
    applyVideoScenario(videoScenarioFromEnvironment(), ClockStart::ForProcess);
  } catch (const ScenarioError& error) {
    std::fprintf(stderr, "Brenwick_sim: %s\n", error.what());
    std::exit(ScenarioUnusable);
  }
}

}  // namespace sim
