// The platform's word that a device of a camera's two kinds came or went: a HID interface or a
// video capture device. The watcher waits on these rather than looking at the cameras again and
// again, so that it uses no processor time while nothing is plugged in or out. Each platform
// answers from its own notifications (udev on Linux, the configuration manager's device-interface
// notifications on Windows), the simulated PC from its cameras' plug files; the backend is chosen
// at link time, as for the other seams.
#pragma once

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "stop_requests.h"

struct DeviceEvent {
  enum class Kind { Arrived, Left };
  Kind kind;
  // The USB device's location as the camera list gives it, so that a camera pulled out and
  // plugged in again between two looks is still seen as plugged in again; empty when the
  // platform's event does not tell.
  std::string location;
};

// No limit on a wait.
inline constexpr std::chrono::milliseconds Forever = std::chrono::milliseconds::max();

class DeviceEvents {
 public:
  virtual ~DeviceEvents() = default;

  // The events that came since the last call, waiting up to `timeout` for the first; none when
  // the time passed or a stop was requested first.
  virtual std::vector<DeviceEvent> wait(std::chrono::milliseconds timeout) = 0;
};

// The platform's events, its waits woken by `stop` too (which outlives them); a CommandFailure
// saying why when the platform gives none.
std::unique_ptr<DeviceEvents> watchDeviceEvents(const console::StopRequests& stop);
