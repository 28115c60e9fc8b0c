// The upgrader on Linux through its hidraw backend, against made-up hidraw nodes and sysfs: the
// same discovery, lines, bytes and waits as on Windows, and every way a node or a kernel can fall
// short.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "fake_hidraw_system.h"
#include "hid_discovery.h"
#include "run_modes.h"
#include "scratch_directory.h"
#include "upgrader_run.h"
#include "upgrader_transcripts.h"

namespace {

constexpr const char* NotFound = transcript::NotFoundLines;
using transcript::foundLine;

std::u16string pathOf(const HidDeviceRecord& record) {
  return record.devicePath == nullptr ? u"" : std::u16string(record.devicePath);
}

class HidrawBackend : public ::testing::Test {
 protected:
  void SetUp() override {
    previous_ = std::filesystem::current_path();
    std::filesystem::current_path(scratch_.path());
    useHidrawSystem(&system_);
  }
  void TearDown() override {
    releaseHidDeviceList(list_, count_);
    useHidrawSystem(nullptr);
    std::filesystem::current_path(previous_);
    EXPECT_TRUE(system_.openNodes.empty()) << "a device was left open";
  }

  void discover() { ASSERT_TRUE(enumerateHidDevices(&list_, &count_)); }

  using Run = UpgraderRun;
  Run run(const std::vector<std::string>& arguments) { return runUpgraderWith(arguments); }

  std::string writeImage(std::size_t size) {
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i) {
      bytes[i] = static_cast<char>(i * 13 + 5);
    }
    std::ofstream(scratch_ / "fw.img", std::ios::binary) << bytes;
    return bytes;
  }

  FakeHidrawSystem system_;
  ScratchDirectory scratch_{"optiqon-hidraw"};
  std::filesystem::path previous_;
  HidDeviceRecord* list_ = nullptr;
  std::uint32_t count_ = 0;
};

// --- Device setup and discovery -----------------------------------------------------------

TEST_F(HidrawBackend, NodesAreListedInNumericOrder) {
  system_.nodes[10] = fakeMouse();
  system_.nodes[2] = fakeMouse();
  system_.nodes[3] = fakeCamera();
  discover();
  ASSERT_EQ(count_, 3u);
  EXPECT_EQ(pathOf(list_[0]), u"/dev/hidraw2");
  EXPECT_EQ(pathOf(list_[1]), u"/dev/hidraw3");
  EXPECT_EQ(pathOf(list_[2]), u"/dev/hidraw10");
  EXPECT_EQ(findCamera(list_, count_), 1u);
  EXPECT_EQ(list_[1].attributes.VersionNumber, 0x0100);
  EXPECT_EQ(list_[1].caps.OutputReportByteLength, 261);
  EXPECT_EQ(list_[1].caps.InputReportByteLength, 259);
}

TEST_F(HidrawBackend, EachTopLevelCollectionIsAnInterfaceOfItsOwn) {
  system_.nodes[0] = fakeMouse();
  system_.nodes[0].descriptor = twoCollectionReportDescriptor();
  system_.nodes[1] = fakeCamera();
  discover();
  ASSERT_EQ(count_, 3u);
  EXPECT_EQ(pathOf(list_[0]), u"/dev/hidraw0&col01");
  EXPECT_EQ(pathOf(list_[1]), u"/dev/hidraw0&col02");
  EXPECT_EQ(list_[0].caps.UsagePage, 0x01);
  EXPECT_EQ(list_[0].caps.Usage, 0x06);
  EXPECT_EQ(list_[1].caps.UsagePage, 0x0C);
  EXPECT_EQ(list_[1].caps.InputReportByteLength, 3);
  EXPECT_EQ(findCamera(list_, count_), 2u);
}

TEST_F(HidrawBackend, NodeThatRefusesToOpenStaysListedClosed) {
  system_.nodes[0] = fakeMouse();
  system_.nodes[0].openError = EACCES;
  system_.nodes[1] = fakeCamera();
  discover();
  ASSERT_EQ(count_, 2u);
  EXPECT_EQ(list_[0].handle, INVALID_HANDLE_VALUE);
  EXPECT_EQ(pathOf(list_[0]), u"/dev/hidraw0");
  EXPECT_NE(list_[1].handle, INVALID_HANDLE_VALUE);
}

TEST_F(HidrawBackend, UnparsableDescriptorFailsOnlyItsInterface) {
  system_.nodes[0] = fakeMouse();
  system_.nodes[0].descriptor = {0xA1, 0x01, 0x95};  // cut off inside an item
  system_.nodes[1] = fakeCamera();
  discover();
  ASSERT_EQ(count_, 2u);
  EXPECT_EQ(list_[0].handle, INVALID_HANDLE_VALUE);
  EXPECT_NE(list_[1].handle, INVALID_HANDLE_VALUE);
}

TEST_F(HidrawBackend, KernelErrorsBecomeWindowsErrorCodes) {
  system_.nodes[0] = fakeMouse();
  system_.nodes[0].openError = EACCES;
  EXPECT_EQ(CreateFileW(u"/dev/hidraw0", GENERIC_READ | GENERIC_WRITE, 3, nullptr, OPEN_EXISTING, 0,
                        nullptr),
            INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
  EXPECT_EQ(CreateFileW(u"/dev/hidraw7", GENERIC_READ | GENERIC_WRITE, 3, nullptr, OPEN_EXISTING, 0,
                        nullptr),
            INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(CreateFileW(u"/etc/passwd", GENERIC_READ | GENERIC_WRITE, 3, nullptr, OPEN_EXISTING, 0,
                        nullptr),
            INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  EXPECT_FALSE(CloseHandle(nullptr));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
}

TEST_F(HidrawBackend, DetailQueryBehavesAsOnWindows) {
  system_.nodes[12] = fakeCamera();
  GUID hid{};
  HidD_GetHidGuid(&hid);
  HDEVINFO set =
      SetupDiGetClassDevsW(&hid, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
  ASSERT_NE(set, INVALID_HANDLE_VALUE);
  SP_DEVICE_INTERFACE_DATA data{};
  data.cbSize = 31;
  EXPECT_FALSE(SetupDiEnumDeviceInterfaces(set, nullptr, &hid, 0, &data));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_USER_BUFFER);
  data.cbSize = sizeof data;
  ASSERT_TRUE(SetupDiEnumDeviceInterfaces(set, nullptr, &hid, 0, &data));
  DWORD needed = 0;
  EXPECT_FALSE(SetupDiGetDeviceInterfaceDetailW(set, &data, nullptr, 0, &needed, nullptr));
  EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
  EXPECT_EQ(needed, 4u + 14u * 2u);  // "/dev/hidraw12" and its terminator
  std::vector<std::uint8_t> buffer(needed);
  auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_W*>(buffer.data());
  detail->cbSize = 6;
  EXPECT_FALSE(SetupDiGetDeviceInterfaceDetailW(set, &data, detail, needed, &needed, nullptr));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_USER_BUFFER);
  detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W);
  EXPECT_FALSE(SetupDiGetDeviceInterfaceDetailW(set, &data, detail, needed - 2, &needed, nullptr));
  ASSERT_TRUE(SetupDiGetDeviceInterfaceDetailW(set, &data, detail, needed, &needed, nullptr));
  EXPECT_EQ(std::u16string(detail->DevicePath), u"/dev/hidraw12");
  EXPECT_FALSE(SetupDiEnumDeviceInterfaces(set, nullptr, &hid, 1, &data));
  EXPECT_EQ(GetLastError(), ERROR_NO_MORE_ITEMS);
  EXPECT_TRUE(SetupDiDestroyDeviceInfoList(set));
}

// --- Whole runs --------------------------------------------------------------------------

TEST_F(HidrawBackend, ThreePageImageIsFlashedAsOnWindows) {
  system_.nodes[0] = fakeMouse();
  system_.nodes[1] = fakeCamera();
  const std::string image = writeImage(768);
  const Run result = run({"fw.img"});
  EXPECT_EQ(result.output, transcript::successfulRun(768));
  EXPECT_EQ(result.exitCode, 0);
  const auto& flash = system_.camera.flash();
  EXPECT_EQ(std::string(flash.begin(), flash.begin() + 768), image);
  // Erase: command, busy, done; then three pages of write, request and read-back.
  ASSERT_EQ(system_.reports.size(), 12u);
  EXPECT_EQ(system_.reports[0].id, 0x05);
  EXPECT_EQ(system_.reports[3].id, 0x04);
  EXPECT_EQ(system_.reports[3].length, 261u);
  EXPECT_EQ(system_.reports[5].id, 0x03);
  EXPECT_EQ(system_.reports[5].length, 259u);
  EXPECT_EQ(system_.sleptMs, 200u + 3 * 110u);
}

TEST_F(HidrawBackend, SerialNumberFromTheKernelOrItsUevent) {
  system_.nodes[4] = fakeCamera("ABC");
  EXPECT_EQ(run({"-s"}).output, "A0B0C0" + std::string(29, '0') + "\n");
  system_.kernelHasUniq = false;
  system_.nodes[4].uniq = "XY";
  EXPECT_EQ(run({"-s"}).output, "X0Y0" + std::string(31, '0') + "\n");
}

TEST_F(HidrawBackend, SerialThatDoesNotFitIsNotRead) {
  system_.nodes[0] = fakeCamera("ABCDEFGHIJKLMNOPQR");
  const Run result = run({"-s"});
  EXPECT_EQ(result.output, "Could not read the serial number of the Corvantis K3M51-USB camera\n");
  EXPECT_EQ(result.exitCode, 5);
}

TEST_F(HidrawBackend, NoHidDevicesAtAll) {
  writeImage(10);
  const Run upgrade = run({"fw.img"});
  EXPECT_EQ(upgrade.output, NotFound);
  EXPECT_EQ(upgrade.exitCode, 1);
  EXPECT_EQ(run({"-s"}).output, "Did not find Corvantis K3M51-USB camera...\n");
}

// Before kernel 5.11 output reports are written; input reports cannot be asked for at all.
TEST_F(HidrawBackend, OldKernelWritesOutputAndCannotReadBack) {
  system_.nodes[0] = fakeCamera();
  system_.kernelHasReportIoctls = false;
  writeImage(512);
  const Run result = run({"fw.img"});
  EXPECT_TRUE(
      result.output.ends_with("Get Input report flash id failed\n"
                              "Get Input report flash id failed\n"
                              "Get Input report flash id failed\n"
                              "\nDownload Failed\n"))
      << result.output;
  EXPECT_EQ(result.exitCode, 4);
  EXPECT_FALSE(system_.writes.empty());
  EXPECT_EQ(system_.writes.front().id, 0x05);
  EXPECT_TRUE(system_.reports.empty());
}

// A read-back that brings fewer bytes than the report has is a failed read, as on Windows: the
// bytes that did not arrive must never be taken from an earlier page. Pages 0 and 1 are equal
// here, so a comparison that saw page 0's reply would pass page 1.
TEST_F(HidrawBackend, ShortReadBackIsAFailedRead) {
  system_.nodes[0] = fakeCamera();
  std::string page(256, '\x5A');
  std::ofstream(scratch_ / "fw.img", std::ios::binary) << page << page << page;
  system_.shortPageReads[1] = 64;
  const Run result = run({"fw.img"});
  EXPECT_EQ(result.output, foundLine(0) +
                               "Firmware file size = 768\n"
                               "\rErasing sectors 100% \n"
                               "\rDownloading firmware 1% "
                               "Get Input report flash id failed\n"
                               "Get Input report flash id failed\n"
                               "Get Input report flash id failed\n"
                               "\nDownload Failed\n");
  EXPECT_EQ(result.exitCode, 4);
}

// On kernels before 5.11 a report is written; a write that takes only part of it has failed.
TEST_F(HidrawBackend, ShortWriteIsARefusedReport) {
  system_.nodes[0] = fakeCamera();
  system_.kernelHasReportIoctls = false;
  system_.shortWrites = 1;
  writeImage(512);
  const Run result = run({"fw.img"});
  EXPECT_EQ(result.output, foundLine(0) +
                               "Firmware file size = 512\n"
                               "\rErasing sectors 100% \n"
                               "\nDownload Failed\n");
  EXPECT_EQ(result.exitCode, 4);
  ASSERT_EQ(system_.writes.size(), 1u);
}

TEST_F(HidrawBackend, CameraUnpluggedAfterListingIsNotFound) {
  system_.nodes[0] = fakeMouse();
  system_.nodes[1] = fakeCamera();
  GUID hid{};
  HidD_GetHidGuid(&hid);
  HDEVINFO set =
      SetupDiGetClassDevsW(&hid, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
  system_.nodes[1].unplugged = true;  // between the listing and the open
  EXPECT_EQ(CreateFileW(u"/dev/hidraw1", GENERIC_READ | GENERIC_WRITE, 3, nullptr, OPEN_EXISTING, 0,
                        nullptr),
            INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), ERROR_DEVICE_NOT_CONNECTED);
  SetupDiDestroyDeviceInfoList(set);
  writeImage(10);
  const Run result = run({"fw.img"});
  EXPECT_EQ(result.output, NotFound);
  EXPECT_EQ(result.exitCode, 1);
}

TEST_F(HidrawBackend, CameraUnpluggedDuringTheDownloadEndsTheRun) {
  system_.nodes[0] = fakeCamera();
  system_.unplugAfterReports = 6;  // the erase and the first page, then nothing answers
  writeImage(1024);
  const Run result = run({"fw.img"});
  EXPECT_EQ(result.output, foundLine(0) +
                               "Firmware file size = 1024\n"
                               "\rErasing sectors 100% \n"
                               "\rDownloading firmware 1% first setoutput report failed");
  EXPECT_EQ(result.exitCode, 4);
  EXPECT_EQ(system_.reports.back().result, -ENODEV);
}

TEST_F(HidrawBackend, CameraUnpluggedDuringTheEraseSendsNoPage) {
  system_.nodes[0] = fakeCamera();
  system_.unplugAfterReports = 1;
  writeImage(65536);
  const Run result = run({"fw.img"});
  EXPECT_TRUE(
      result.output.ends_with("\rErasing sectors 50% \rErasing sectors 100% \n"
                              "\nDownload Failed\n"));
  EXPECT_EQ(result.exitCode, 4);
}

// --- The shipped program on this machine --------------------------------------------------

TEST(ShippedUpgrader, WithoutHidDevicesPrintsTheNotFoundLines) {
  std::error_code error;
  const bool anyHid = std::filesystem::exists("/sys/class/hidraw", error) &&
                      !std::filesystem::is_empty("/sys/class/hidraw", error);
  if (anyHid) {
    GTEST_SKIP() << "this machine has HID devices";
  }
  ScratchDirectory scratch("optiqon-shipped");
  const std::string command = "cd '" + scratch.path().string() + "' && '" + UPGRADER_PATH +
                              "' fw.img > out.txt; echo $? > code.txt; '" + UPGRADER_PATH +
                              "' -s > serial.txt; true";
  ASSERT_EQ(std::system(command.c_str()), 0);
  auto read = [&](const char* name) {
    std::ifstream in(scratch / name);
    return std::string{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  };
  EXPECT_EQ(read("out.txt"), NotFound);
  EXPECT_EQ(read("code.txt"), "1\n");
  EXPECT_EQ(read("serial.txt"), "Did not find Corvantis K3M51-USB camera...\n");
}

}  // namespace
