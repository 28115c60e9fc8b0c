// The simulated camera's flash file between processes, as programs share one camera: a process
// takes its turn on the flash at its first report call to the camera and gives it back when it
// closes its last handle of that camera. Listing the cameras and reading their serial numbers take
// no turn, so that a program that only watches the cameras keeps no other program waiting.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <span>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "captured_standard_error.h"
#include "hid_services.h"
#include "program_run.h"
#include "scratch_directory.h"
#include "sim_hid_world.h"

namespace {

using namespace std::chrono_literals;

void require(bool condition, const char* what) {
  if (!condition) {
    throw std::runtime_error(what);
  }
}

std::vector<std::u16string> hidPaths() {
  HDEVINFO set = SetupDiGetClassDevsW(&sim::HidInterfaceClass, nullptr, nullptr,
                                      DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
  require(set != INVALID_HANDLE_VALUE, "SetupDiGetClassDevsW failed");
  std::vector<std::u16string> paths;
  for (DWORD i = 0;; ++i) {
    SP_DEVICE_INTERFACE_DATA data{};
    data.cbSize = sizeof data;
    if (!SetupDiEnumDeviceInterfaces(set, nullptr, &sim::HidInterfaceClass, i, &data)) {
      break;
    }
    DWORD size = 0;
    SetupDiGetDeviceInterfaceDetailW(set, &data, nullptr, 0, &size, nullptr);
    std::vector<std::uint8_t> buffer(size);
    auto* detail = reinterpret_cast<PSP_DEVICE_INTERFACE_DETAIL_DATA_W>(buffer.data());
    detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W);
    require(SetupDiGetDeviceInterfaceDetailW(set, &data, detail, size, nullptr, nullptr) != FALSE,
            "SetupDiGetDeviceInterfaceDetailW failed");
    paths.emplace_back(reinterpret_cast<const char16_t*>(detail->DevicePath));
  }
  SetupDiDestroyDeviceInfoList(set);
  return paths;
}

HANDLE openHid(const std::u16string& path) {
  return CreateFileW(reinterpret_cast<LPCWSTR>(path.c_str()), GENERIC_READ | GENERIC_WRITE,
                     FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
}

// What a program that watches the cameras does: lists them, opens each, reads its serial number
// and closes it again.
std::vector<std::u16string> listedSerials() {
  std::vector<std::u16string> serials;
  for (const std::u16string& path : hidPaths()) {
    HANDLE device = openHid(path);
    char16_t serial[64] = {};
    if (device != INVALID_HANDLE_VALUE &&
        HidD_GetSerialNumberString(device, serial, sizeof serial) != FALSE) {
      serials.emplace_back(serial);
    }
    CloseHandle(device);
  }
  return serials;
}

bool eraseSector(HANDLE device, std::uint8_t sector) {
  std::uint8_t report[2] = {0x05, sector};
  return HidD_SetOutputReport(device, report, sizeof report) != FALSE;
}

// Whether `done` comes true within `limit`, looked at every few milliseconds.
bool within(std::chrono::milliseconds limit, const std::function<bool()>& done) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (!done()) {
    if (std::chrono::steady_clock::now() >= deadline) {
      return false;
    }
    std::this_thread::sleep_for(10ms);
  }
  return true;
}

std::string imageBytes(std::size_t size) {
  std::string image(size, '\0');
  for (std::size_t i = 0; i < size; ++i) {
    image[i] = static_cast<char>(i * 13 + 5);
  }
  return image;
}

// The simulated upgrader flashing an image in a process of its own, on a thread of its own, so
// that the test can see it wait. A run still waiting at the end is let go by giving up this
// process's HID side, so that a failing test ends instead of hanging.
class OtherProgram {
 public:
  OtherProgram(const std::filesystem::path& directory, const std::string& arguments)
      : directory_(directory), thread_([this, arguments] {
          run_ = runProgram(UPGRADER_SIM_PATH, arguments, directory_, "pc.scenario");
          ended_ = true;
        }) {}
  ~OtherProgram() { finish(); }

  bool endsWithin(std::chrono::milliseconds limit) const {
    return within(limit, [this] { return ended_.load(); });
  }
  bool saysItWaits() const {
    return fileText(directory_ / "err.txt").find("waiting for it") != std::string::npos;
  }
  const ProgramRun& finish() {
    if (thread_.joinable()) {
      if (!ended_) {
        sim::resetHidWorld();
      }
      thread_.join();
    }
    return run_;
  }

 private:
  std::filesystem::path directory_;
  std::atomic<bool> ended_{false};
  ProgramRun run_{-1, "", ""};
  std::thread thread_;
};

class FlashTurns : public ::testing::Test {
 protected:
  FlashTurns() {
    scenario_ = "clock = virtual\nflash = " + flashPath() + "\n";
    std::ofstream(scratch_ / "pc.scenario", std::ios::binary) << scenario_;
    std::ofstream(scratch_ / "fw.img", std::ios::binary) << imageBytes(1000);
  }
  void TearDown() override { sim::resetHidWorld(); }

  // This process's HID side set up from the same scenario as the other program's.
  void setUpThisProcess() {
    std::istringstream text(scenario_);
    sim::applyHidScenario(sim::parseHidScenario(text, "pc.scenario"));
  }

  std::string flashPath() const { return (scratch_ / "camera.flash").string(); }
  std::string flashFile() const { return fileText(scratch_ / "camera.flash"); }

  ScratchDirectory scratch_{"optiqon-flash-turns"};
  std::string scenario_;
};

TEST_F(FlashTurns, AProgramThatOnlyListedTheCameraKeepsNoOtherWaiting) {
  setUpThisProcess();
  ASSERT_EQ(listedSerials(), std::vector<std::u16string>{u"K3M51-0001"});
  // This process lives on, as a program watching the cameras does, while another flashes.
  OtherProgram other(scratch_.path(), "fw.img");
  EXPECT_TRUE(other.endsWithin(30s)) << "the upgrader waited for a process that only listed";
  const ProgramRun run = other.finish();
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_EQ(flashFile().substr(0, 1000), imageBytes(1000));
}

// Between report calls this process looks at its flash as it is now, the other program's pages
// too, and a cell it changes is changed in the file.
TEST_F(FlashTurns, ThisProcessSeesTheFlashAsAnotherProgramLeftIt) {
  setUpThisProcess();
  OtherProgram other(scratch_.path(), "fw.img");
  ASSERT_TRUE(other.endsWithin(30s));
  ASSERT_EQ(other.finish().exitCode, 0);
  const std::span<const std::uint8_t> cells = sim::hidWorld().camera.flash();
  ASSERT_EQ(cells.size(), sim::FlashCamera::FlashSize);
  EXPECT_EQ(std::string(cells.begin(), cells.begin() + 1000), imageBytes(1000));
  sim::hidWorld().camera.flash()[2000] = 0x5A;
  EXPECT_EQ(flashFile()[2000], 0x5A);
}

TEST_F(FlashTurns, AProgramUsingTheFlashKeepsTheNextWaitingUntilItClosesItsLastHandle) {
  setUpThisProcess();
  const std::u16string camera = hidPaths().at(1);  // after the PC's mouse
  HANDLE first = openHid(camera);
  HANDLE second = openHid(camera);
  ASSERT_TRUE(eraseSector(first, 9)) << "this process's turn, from its first report call";

  OtherProgram other(scratch_.path(), "fw.img");
  ASSERT_TRUE(within(30s, [&] { return other.saysItWaits(); }));
  CloseHandle(first);
  EXPECT_FALSE(other.endsWithin(500ms)) << "a handle of the camera is still open";
  CloseHandle(second);
  EXPECT_TRUE(other.endsWithin(30s)) << "the last handle is closed";
  const ProgramRun run = other.finish();
  EXPECT_EQ(run.err,
            "simulated camera: " + flashPath() + " is in use by another program; waiting for it\n");
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_EQ(flashFile().substr(0, 1000), imageBytes(1000));
}

// The turn is taken again at the next report call after the last handle was closed.
TEST_F(FlashTurns, TheTurnIsTakenAgainByTheNextHandle) {
  setUpThisProcess();
  const std::u16string camera = hidPaths().at(1);
  HANDLE before = openHid(camera);
  ASSERT_TRUE(eraseSector(before, 9));
  CloseHandle(before);
  HANDLE after = openHid(camera);
  ASSERT_TRUE(eraseSector(after, 9));
  OtherProgram other(scratch_.path(), "fw.img");
  ASSERT_TRUE(within(30s, [&] { return other.saysItWaits(); }));
  CloseHandle(after);
  EXPECT_TRUE(other.endsWithin(30s));
  EXPECT_EQ(other.finish().exitCode, 0);
}

// The file is checked again when the turn is taken, as at setup: one removed meanwhile is made
// again, erased; one that no longer holds the flash's size fails the report call, with the
// reason on standard error, and the camera answers again once the file is right.
TEST_F(FlashTurns, AFlashFileRemovedSinceSetUpIsMadeAgainErased) {
  setUpThisProcess();
  std::filesystem::remove(flashPath());
  HANDLE device = openHid(hidPaths().at(1));
  EXPECT_TRUE(eraseSector(device, 0));
  CloseHandle(device);
  const std::string flash = flashFile();
  EXPECT_EQ(flash.size(), sim::FlashCamera::FlashSize);
  EXPECT_EQ(flash.find_first_not_of('\xFF'), std::string::npos);
}

TEST_F(FlashTurns, AFlashFileOfAnotherSizeFailsTheReportCallWithItsReason) {
  setUpThisProcess();
  std::filesystem::resize_file(flashPath(), 100);
  HANDLE device = openHid(hidPaths().at(1));
  {
    CapturedStandardError errors;
    EXPECT_FALSE(eraseSector(device, 0));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_GEN_FAILURE));
    EXPECT_EQ(errors.written(), "simulated camera: flash file " + flashPath() +
                                    " does not hold exactly 16777216 bytes\n");
  }
  std::filesystem::resize_file(flashPath(), sim::FlashCamera::FlashSize);
  EXPECT_TRUE(eraseSector(device, 0));
  CloseHandle(device);
}

}  // namespace
