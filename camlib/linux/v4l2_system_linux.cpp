// The real system under the Linux media backend: sysfs, the V4L2 and uvcvideo ioctls, and a
// monotonic sleep.
#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <string_view>

#include "monotonic_sleep.h"
#include "sysfs_file.h"
#include "v4l2_system.h"

namespace {

constexpr const char* VideoClass = "/sys/class/video4linux";
constexpr std::string_view NodePrefix = "video";
constexpr std::size_t MaxNumberDigits = 9;

int resultOf(int returned) {
  return returned < 0 ? -errno : returned;
}

// An ioctl that a signal interrupted is asked again.
template <typename Argument>
int deviceCall(int device, unsigned long request, Argument& argument) {
  int returned = 0;
  do {
    returned = ioctl(device, request, &argument);
  } while (returned < 0 && errno == EINTR);
  return resultOf(returned);
}

class LinuxV4l2System final : public V4l2System {
 public:
  std::vector<unsigned> videoNodes() override {
    std::vector<unsigned> nodes;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(VideoClass, error)) {
      const std::string name = entry.path().filename().string();
      const std::string digits =
          name.rfind(NodePrefix, 0) == 0 ? name.substr(NodePrefix.size()) : std::string();
      if (!digits.empty() && digits.size() <= MaxNumberDigits &&
          digits.find_first_not_of("0123456789") == std::string::npos) {
        nodes.push_back(static_cast<unsigned>(std::stoul(digits)));
      }
    }
    return nodes;
  }

  std::optional<std::string> readSysfsFile(const std::string& path) override {
    return kit::readSysfsFile(path);
  }

  int openDevice(const std::string& path) override {
    return resultOf(::open(path.c_str(), O_RDWR | O_CLOEXEC));
  }

  void closeDevice(int device) override { ::close(device); }

  int queryCapability(int device, v4l2_capability& capability) override {
    return deviceCall(device, VIDIOC_QUERYCAP, capability);
  }

  int queryExtensionControl(int device, uvc_xu_control_query& query) override {
    return deviceCall(device, UVCIOC_CTRL_QUERY, query);
  }

  int queryControl(int device, v4l2_queryctrl& control) override {
    return deviceCall(device, VIDIOC_QUERYCTRL, control);
  }

  int getControl(int device, v4l2_control& control) override {
    return deviceCall(device, VIDIOC_G_CTRL, control);
  }

  int setControl(int device, v4l2_control& control) override {
    return deviceCall(device, VIDIOC_S_CTRL, control);
  }

  void sleepMilliseconds(std::uint32_t milliseconds) override { kit::sleepMonotonic(milliseconds); }
};

LinuxV4l2System realSystem;
V4l2System* current = &realSystem;

}  // namespace

V4l2System& v4l2System() {
  return *current;
}

void useV4l2System(V4l2System* system) {
  current = system != nullptr ? system : &realSystem;
}
