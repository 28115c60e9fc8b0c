// The real system under the Linux HID backend: sysfs, the hidraw ioctls, and a monotonic sleep.
#include <fcntl.h>
#include <linux/hidraw.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>

#include "hidraw_system.h"
#include "interrupted_call.h"
#include "monotonic_sleep.h"
#include "sysfs_file.h"

namespace {

constexpr const char* HidrawClass = "/sys/class/hidraw";
constexpr std::size_t UniqBufferSize = 256;

using hidraw::retryingInterrupted;

class LinuxHidrawSystem final : public HidrawSystem {
 public:
  std::vector<unsigned> hidrawNodes() override {
    std::vector<unsigned> nodes;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(HidrawClass, error)) {
      const std::string name = entry.path().filename().string();
      if (name.rfind("hidraw", 0) != 0 || name.size() == 6 || name.size() > 15) {
        continue;
      }
      const std::string digits = name.substr(6);
      if (digits.find_first_not_of("0123456789") == std::string::npos) {
        nodes.push_back(static_cast<unsigned>(std::stoul(digits)));
      }
    }
    return nodes;
  }

  std::optional<std::string> readSysfsFile(const std::string& path) override {
    return kit::readSysfsFile(path);
  }

  int openDevice(const std::string& path) override {
    return retryingInterrupted([&] { return ::open(path.c_str(), O_RDWR | O_CLOEXEC); });
  }

  // Never made again: Linux releases the descriptor even when close is interrupted, and by then
  // another thread may have been given the same number.
  void closeDevice(int device) override { ::close(device); }

  int reportDescriptor(int device, std::vector<std::uint8_t>& descriptor) override {
    int size = 0;
    const int sized = retryingInterrupted([&] { return ioctl(device, HIDIOCGRDESCSIZE, &size); });
    if (sized < 0) {
      return sized;
    }
    hidraw_report_descriptor raw{};
    raw.size = static_cast<__u32>(size);
    if (size < 0 || static_cast<std::size_t>(size) > sizeof raw.value) {
      return -EINVAL;
    }
    const int got = retryingInterrupted([&] { return ioctl(device, HIDIOCGRDESC, &raw); });
    if (got < 0) {
      return got;
    }
    descriptor.assign(raw.value, raw.value + raw.size);
    return 0;
  }

  int rawInfo(int device, HidrawInfo& info) override {
    hidraw_devinfo raw{};
    const int result = retryingInterrupted([&] { return ioctl(device, HIDIOCGRAWINFO, &raw); });
    if (result < 0) {
      return result;
    }
    info = {raw.bustype, static_cast<std::uint16_t>(raw.vendor),
            static_cast<std::uint16_t>(raw.product)};
    return 0;
  }

  int rawUniq(int device, std::string& uniq) override {
    // One byte is kept back so that the text ends in a zero whatever the kernel copies.
    char buffer[UniqBufferSize] = {};
    const int got = retryingInterrupted(
        [&] { return ioctl(device, HIDIOCGRAWUNIQ(sizeof buffer - 1), buffer); });
    if (got < 0) {
      return got;
    }
    uniq.assign(buffer);
    return 0;
  }

  int sendOutputReport(int device, const std::uint8_t* report, std::size_t length) override {
    return retryingInterrupted([&] { return ioctl(device, HIDIOCSOUTPUT(length), report); });
  }

  int getInputReport(int device, std::uint8_t* report, std::size_t length) override {
    return retryingInterrupted([&] { return ioctl(device, HIDIOCGINPUT(length), report); });
  }

  int writeReport(int device, const std::uint8_t* report, std::size_t length) override {
    return retryingInterrupted([&] { return ::write(device, report, length); });
  }

  void sleepMilliseconds(std::uint32_t milliseconds) override { kit::sleepMonotonic(milliseconds); }
};

LinuxHidrawSystem realSystem;
HidrawSystem* current = &realSystem;

}  // namespace

HidrawSystem& hidrawSystem() {
  return *current;
}

void useHidrawSystem(HidrawSystem* system) {
  current = system != nullptr ? system : &realSystem;
}
