// Device events on the simulated PC: a camera whose scenario section names a plug file arrives
// when the file appears (or is made again) and leaves when it goes. The simulated PC has no
// notifications to wait on, so its files are looked at every few tens of milliseconds; the
// platforms' backends wait on the platform's events alone.
#include <algorithm>
#include <string>
#include <utility>

#include "../device_events.h"
#include "../exit_codes.h"
#include "sim_device_tree.h"
#include "sim_plug_file.h"
#include "sim_scenario_file.h"
#include "text_encoding.h"

namespace {

constexpr std::chrono::milliseconds LookEvery{20};

// A camera that comes and goes, and where it is plugged in.
struct PluggableCamera {
  sim::PlugFile plug;
  std::string location;
  bool present = false;
};

// The plug file a camera's lines name; empty when they name none (the camera is always there).
std::string plugFileOf(const sim::ScenarioLines& lines) {
  std::string path;
  for (const sim::ScenarioLine& line : lines.lines) {
    if (line.key == "plugged") {
      path = line.value;
    }
  }
  return path;
}

class PlugFileEvents : public DeviceEvents {
 public:
  PlugFileEvents(const console::StopRequests& stop, std::vector<PluggableCamera> cameras)
      : stop_(stop), cameras_(std::move(cameras)) {
    for (PluggableCamera& camera : cameras_) {
      camera.present = camera.plug.look().present;
    }
  }

  std::vector<DeviceEvent> wait(std::chrono::milliseconds timeout) override {
    const auto end = std::chrono::steady_clock::now() +
                     std::min<std::chrono::milliseconds>(timeout, std::chrono::hours(24));
    while (true) {
      std::vector<DeviceEvent> events = look();
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
          end - std::chrono::steady_clock::now());
      if (!events.empty() || left.count() <= 0 || stop_.waitFor(std::min(left, LookEvery))) {
        return events;
      }
    }
  }

 private:
  std::vector<DeviceEvent> look() {
    std::vector<DeviceEvent> events;
    for (PluggableCamera& camera : cameras_) {
      const sim::PlugFile::Look look = camera.plug.look();
      if (camera.present && (!look.present || look.pluggedIn)) {
        events.push_back({DeviceEvent::Kind::Left, camera.location});
      }
      if (look.pluggedIn) {
        events.push_back({DeviceEvent::Kind::Arrived, camera.location});
      }
      camera.present = look.present;
    }
    return events;
  }

  const console::StopRequests& stop_;
  std::vector<PluggableCamera> cameras_;
};

// The cameras of the scenario that have plug files: the first described before any [camera]
// line, then one for each section, each on its port.
std::vector<PluggableCamera> pluggableCameras(const sim::ScenarioLines& scenario) {
  std::vector<PluggableCamera> cameras;
  for (std::size_t index = 0; index <= scenario.cameras.size(); ++index) {
    const sim::ScenarioLines& lines = index == 0 ? scenario : scenario.cameras[index - 1];
    if (std::string path = plugFileOf(lines); !path.empty()) {
      cameras.push_back(
          {sim::PlugFile(std::move(path)),
           kit::utf8FromUtf16(sim::locationPathOf(sim::portsOfCamera(index))).value_or(""), false});
    }
  }
  return cameras;
}

}  // namespace

std::unique_ptr<DeviceEvents> watchDeviceEvents(const console::StopRequests& stop) {
  try {
    return std::make_unique<PlugFileEvents>(stop,
                                            pluggableCameras(sim::scenarioLinesFromEnvironment()));
  } catch (const sim::ScenarioError& error) {
    throw CommandFailure(Refused, error.what());
  }
}
