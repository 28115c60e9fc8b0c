// Everything the Linux HID backend asks of the system: the hidraw nodes sysfs lists, a few sysfs
// files, and the hidraw device calls. The backend reaches the system only through this, so tests
// stand in a fake sysfs tree and fake devices, with faults on any call.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

struct HidrawInfo {
  std::uint32_t busType;
  std::uint16_t vendor;
  std::uint16_t product;
};

class HidrawSystem {
 public:
  virtual ~HidrawSystem() = default;

  // The numbers N of the /sys/class/hidraw/hidrawN entries present, in any order.
  virtual std::vector<unsigned> hidrawNodes() = 0;
  // The whole content of a file under sysfs, or none when it cannot be read.
  virtual std::optional<std::string> readSysfsFile(const std::string& path) = 0;

  // The device calls answer a result >= 0, or -errno.
  virtual int openDevice(const std::string& path) = 0;  // read-write, close-on-exec
  virtual void closeDevice(int device) = 0;
  virtual int reportDescriptor(int device, std::vector<std::uint8_t>& descriptor) = 0;
  virtual int rawInfo(int device, HidrawInfo& info) = 0;
  virtual int rawUniq(int device, std::string& uniq) = 0;  // the serial; kernel 5.6
  // SET_REPORT and GET_REPORT on the control pipe (kernel 5.11); byte 0 is the report ID.
  virtual int sendOutputReport(int device, const std::uint8_t* report, std::size_t length) = 0;
  virtual int getInputReport(int device, std::uint8_t* report, std::size_t length) = 0;
  // An output report by write(): the interrupt OUT pipe when the device has one.
  virtual int writeReport(int device, const std::uint8_t* report, std::size_t length) = 0;

  virtual void sleepMilliseconds(std::uint32_t milliseconds) = 0;
};

// The system the backend uses: the real one unless a test has put another in its place.
HidrawSystem& hidrawSystem();
void useHidrawSystem(HidrawSystem* system);  // null: the real system again
