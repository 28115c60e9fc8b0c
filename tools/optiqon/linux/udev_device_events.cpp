// Device events on Linux: udev's monitor, after udev has run its rules (so that the device node
// has its permissions when the event is read), for the two subsystems a camera's sides appear in.
#include <libudev.h>
#include <poll.h>

#include <array>
#include <cerrno>
#include <string_view>

#include "../device_events.h"
#include "../exit_codes.h"
#include "../posix/poll_timeout.h"
#include "usb_port_path.h"

namespace {

// The subsystems of a camera's HID interface and video device.
constexpr std::array<const char*, 2> CameraSubsystems = {"hidraw", "video4linux"};

class UdevEvents : public DeviceEvents {
 public:
  explicit UdevEvents(const console::StopRequests& stop) : stop_(stop) {
    udev_ = udev_new();
    monitor_ = udev_ == nullptr ? nullptr : udev_monitor_new_from_netlink(udev_, "udev");
    if (monitor_ == nullptr) {
      release();
      throw CommandFailure(Refused, "cannot listen to udev for cameras plugged in and out");
    }
    for (const char* subsystem : CameraSubsystems) {
      udev_monitor_filter_add_match_subsystem_devtype(monitor_, subsystem, nullptr);
    }
    if (udev_monitor_enable_receiving(monitor_) < 0) {
      release();
      throw CommandFailure(Refused, "cannot receive udev's events of cameras plugged in and out");
    }
  }
  ~UdevEvents() override { release(); }
  UdevEvents(const UdevEvents&) = delete;
  UdevEvents& operator=(const UdevEvents&) = delete;

  std::vector<DeviceEvent> wait(std::chrono::milliseconds timeout) override {
    std::array<pollfd, 2> waits = {pollfd{udev_monitor_get_fd(monitor_), POLLIN, 0},
                                   pollfd{static_cast<int>(stop_.waitable()), POLLIN, 0}};
    const int ready = poll(waits.data(), waits.size(), console::pollTimeout(timeout));
    if (ready <= 0 || stop_.requested()) {
      return {};
    }
    return receiveAll();
  }

 private:
  // Every event waiting: the monitor's socket does not block.
  std::vector<DeviceEvent> receiveAll() {
    std::vector<DeviceEvent> events;
    while (udev_device* device = udev_monitor_receive_device(monitor_)) {
      const char* action = udev_device_get_action(device);
      const char* path = udev_device_get_devpath(device);
      const std::string_view what = action == nullptr ? "" : action;
      if (what == "add" || what == "remove") {
        events.push_back({what == "add" ? DeviceEvent::Kind::Arrived : DeviceEvent::Kind::Left,
                          path == nullptr ? std::string() : usbPortPathOf(path)});
      }
      udev_device_unref(device);
    }
    return events;
  }

  void release() {
    if (monitor_ != nullptr) {
      udev_monitor_unref(monitor_);
      monitor_ = nullptr;
    }
    if (udev_ != nullptr) {
      udev_unref(udev_);
      udev_ = nullptr;
    }
  }

  const console::StopRequests& stop_;
  udev* udev_ = nullptr;
  udev_monitor* monitor_ = nullptr;
};

}  // namespace

std::unique_ptr<DeviceEvents> watchDeviceEvents(const console::StopRequests& stop) {
  return std::make_unique<UdevEvents>(stop);
}
