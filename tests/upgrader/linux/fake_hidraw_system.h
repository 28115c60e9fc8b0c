// A PC's hidraw nodes and sysfs as the Linux HID backend sees them, made up for tests: report
// descriptors, identities, serial numbers, kernels with or without the newer ioctls, nodes that
// refuse to open or go away, and the camera's flash behind its reports.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "hidraw_system.h"
#include "sim_flash_camera.h"

struct FakeHidrawNode {
  std::vector<std::uint8_t> descriptor;
  HidrawInfo info{3, 0, 0};
  std::string uniq;                      // the serial number string, UTF-8
  std::optional<std::string> bcdDevice;  // sysfs text, e.g. "0100\n"; none off USB
  int openError = 0;                     // errno that open() answers, 0 to open
  bool isCamera = false;                 // its reports reach the flash camera
  bool unplugged = false;                // every call fails with ENODEV
};

struct FakeReport {
  bool output;
  std::uint8_t id;
  std::size_t length;
  int result;
};

class FakeHidrawSystem final : public HidrawSystem {
 public:
  std::map<unsigned, FakeHidrawNode> nodes;
  sim::FlashCamera camera;
  bool kernelHasUniq = true;          // HIDIOCGRAWUNIQ, kernel 5.6
  bool kernelHasReportIoctls = true;  // HIDIOCSOUTPUT and HIDIOCGINPUT, kernel 5.11
  long unplugAfterReports = -1;       // report calls before the camera goes away; -1 never
  // Page: how many bytes of each read-back of that page reach the host (a short transfer).
  std::map<unsigned, std::size_t> shortPageReads;
  std::optional<std::size_t> shortWrites;  // bytes that write() takes of every report
  std::uint64_t sleptMs = 0;
  std::vector<FakeReport> reports;
  std::vector<FakeReport> writes;     // output reports sent by write()
  std::map<int, unsigned> openNodes;  // device number: node

  std::vector<unsigned> hidrawNodes() override;
  std::optional<std::string> readSysfsFile(const std::string& path) override;
  int openDevice(const std::string& path) override;
  void closeDevice(int device) override;
  int reportDescriptor(int device, std::vector<std::uint8_t>& descriptor) override;
  int rawInfo(int device, HidrawInfo& info) override;
  int rawUniq(int device, std::string& uniq) override;
  int sendOutputReport(int device, const std::uint8_t* report, std::size_t length) override;
  int getInputReport(int device, std::uint8_t* report, std::size_t length) override;
  int writeReport(int device, const std::uint8_t* report, std::size_t length) override;
  void sleepMilliseconds(std::uint32_t milliseconds) override { sleptMs += milliseconds; }

 private:
  FakeHidrawNode* nodeOf(int device);
  int reportCall(int device, bool output, const std::uint8_t* bytes, std::uint8_t* answer,
                 std::size_t length, std::vector<FakeReport>& log);
  int nextDevice_ = 3;
};

// The camera's report descriptor: one vendor-defined collection whose reports are byte arrays,
// input 0x03 (258 bytes) and 0x06 (1), output 0x02 (4), 0x04 (260) and 0x05 (1).
std::vector<std::uint8_t> cameraReportDescriptor();
// A plain three-button mouse without report IDs.
std::vector<std::uint8_t> mouseReportDescriptor();
// A receiver with two top-level collections: a keyboard (report 1) and consumer keys (report 3).
std::vector<std::uint8_t> twoCollectionReportDescriptor();

FakeHidrawNode fakeCamera(const std::string& serial = "K3M51-0001");
FakeHidrawNode fakeMouse();
