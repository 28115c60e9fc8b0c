// The camera API over a simulated PC with several cameras, called as a host calls it: the list,
// the choice of a camera, the checks made before anything is sent, each camera's requests
// reaching that camera alone, and the firmware update's progress and verdict.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "OptiqonCameras.h"
#include "camera_list.h"
#include "scratch_directory.h"
#include "sim_hid_world.h"
#include "sim_video_world.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

class CameraApi : public ::testing::Test {
 protected:
  void TearDown() override {
    optiqon_set_diagnostics(nullptr, nullptr);
    sim::resetHidWorld();
    sim::resetVideoWorld();
  }

  void startPc(const std::string& text) {
    std::istringstream hid(text);
    sim::applyHidScenario(sim::parseHidScenario(hid, "pc.scenario"));
    std::istringstream video(text);
    sim::applyVideoScenario(sim::parseVideoScenario(video, "pc.scenario"));
  }

  std::string path(const std::string& name) const { return (scratch_ / name).string(); }

  // Three cameras, the third plugged in only while its plug file exists.
  std::string threeCameras(const std::string& first = "", const std::string& third = "") {
    std::ofstream(path("c.plugged")) << "plugged in\n";
    return "clock = virtual\nserial = K3M51-A001\n" + first +
           "[camera]\nserial = K3M51-B002\n"
           "[camera]\nserial = K3M51-C003\nplugged = " +
           path("c.plugged") + "\n" + third;
  }

  optiqon_camera* open(const char* serial) {
    optiqon_camera* camera = nullptr;
    EXPECT_EQ(optiqon_open(serial, &camera), OPTIQON_OK) << optiqon_last_error();
    return camera;
  }

  Bytes controlOf(std::size_t camera, unsigned node, unsigned selector) {
    Bytes bytes(4, 0);
    sim::videoWorld().cameras.at(camera)->camera->getControl(node, selector, bytes);
    return bytes;
  }

  ScratchDirectory scratch_{"optiqon-api"};
};

struct Listed {
  std::string serial;
  int serialKnown;
  std::string location;
  int video;
  int hid;
  friend bool operator==(const Listed&, const Listed&) = default;
};

std::vector<Listed> listed() {
  optiqon_camera_list* list = nullptr;
  EXPECT_EQ(optiqon_list_cameras(&list), OPTIQON_OK);
  std::vector<Listed> cameras;
  for (std::size_t i = 0; i < optiqon_camera_count(list); ++i) {
    cameras.push_back({optiqon_camera_serial(list, i), optiqon_camera_serial_known(list, i),
                       optiqon_camera_location(list, i), optiqon_camera_video_side(list, i),
                       optiqon_camera_hid_side(list, i)});
  }
  optiqon_free_camera_list(list);
  return cameras;
}

constexpr const char* Hub = "PCIROOT(0)#PCI(1400)#USBROOT(0)#USB(1)#USB(";

TEST_F(CameraApi, ListsEveryCameraWithItsSerialLocationAndBothSides) {
  startPc(threeCameras());
  EXPECT_EQ(listed(), (std::vector<Listed>{
                          {"K3M51-A001", 1, std::string(Hub) + "1)", 1, 1},
                          {"K3M51-B002", 1, std::string(Hub) + "2)", 1, 1},
                          {"K3M51-C003", 1, std::string(Hub) + "3)", 1, 1},
                      }));
  std::filesystem::remove(path("c.plugged"));
  EXPECT_EQ(listed().size(), 2u);
}

TEST_F(CameraApi, ASerialThatIsNoTextOrNoneIsReportedMissingAndTheCameraStillListed) {
  startPc("clock = virtual\nserial = K3M51-\xC3\xA9\n[camera]\nserial = K3M51-B002\n");
  const std::vector<Listed> cameras = listed();
  ASSERT_EQ(cameras.size(), 2u);
  EXPECT_EQ(cameras[0].serial, "K3M51-\xC3\xA9");  // UTF-8, as the camera gave it in UTF-16
  EXPECT_EQ(cameras[0].serialKnown, 1);
}

TEST_F(CameraApi, AVideoSideAloneIsListedWithoutSerialOrHidSide) {
  startPc("clock = virtual\ncamera = absent\n");
  EXPECT_EQ(listed(), (std::vector<Listed>{{"", 0, std::string(Hub) + "1)", 1, 0}}));
  optiqon_camera* camera = open(nullptr);
  EXPECT_EQ(optiqon_serial_known(camera), 0);
  EXPECT_EQ(optiqon_serial_known(nullptr), 0);
  const std::uint8_t image[256] = {};
  EXPECT_EQ(optiqon_update_firmware(camera, image, sizeof image, nullptr, nullptr),
            OPTIQON_UPDATE_NO_CAMERA);
  EXPECT_STREQ(optiqon_last_error(),
               "camera at PCIROOT(0)#PCI(1400)#USBROOT(0)#USB(1)#USB(1): its HID interface was not "
               "found, so its firmware cannot be reached");
  optiqon_close(camera);
}

TEST_F(CameraApi, ACameraIsChosenBySerialLocationOrAsTheOnlyOne) {
  startPc(threeCameras());
  optiqon_camera* camera = nullptr;
  EXPECT_EQ(optiqon_open(nullptr, &camera), OPTIQON_AMBIGUOUS);
  EXPECT_EQ(camera, nullptr);
  EXPECT_STREQ(
      optiqon_last_error(),
      "3 cameras are plugged in (K3M51-A001 at PCIROOT(0)#PCI(1400)#USBROOT(0)#USB(1)#USB(1), "
      "K3M51-B002 at PCIROOT(0)#PCI(1400)#USBROOT(0)#USB(1)#USB(2), K3M51-C003 at "
      "PCIROOT(0)#PCI(1400)#USBROOT(0)#USB(1)#USB(3)): choose one by its serial number");
  EXPECT_EQ(optiqon_open("K3M51-X999", &camera), OPTIQON_NO_CAMERA);
  EXPECT_NE(std::string(optiqon_last_error())
                .find("no camera with serial number K3M51-X999; "
                      "present: K3M51-A001 at"),
            std::string::npos);

  camera = open("K3M51-B002");
  EXPECT_STREQ(optiqon_serial(camera), "K3M51-B002");
  EXPECT_EQ(optiqon_serial_known(camera), 1);
  EXPECT_EQ(optiqon_location(camera), std::string(Hub) + "2)");
  optiqon_close(camera);
  ASSERT_EQ(optiqon_open_at((std::string(Hub) + "3)").c_str(), &camera), OPTIQON_OK);
  EXPECT_STREQ(optiqon_serial(camera), "K3M51-C003");
  optiqon_close(camera);
}

TEST_F(CameraApi, TwoCamerasWithOneSerialAreToldApartByLocation) {
  startPc("clock = virtual\nserial = K3M51-SAME\n[camera]\nserial = K3M51-SAME\n");
  optiqon_camera* camera = nullptr;
  EXPECT_EQ(optiqon_open("K3M51-SAME", &camera), OPTIQON_AMBIGUOUS);
  EXPECT_EQ(std::string(optiqon_last_error()),
            std::string("2 cameras give serial number K3M51-SAME (at ") + Hub + "1), " + Hub +
                "2)): choose one by its location");
  ASSERT_EQ(optiqon_open_at((std::string(Hub) + "2)").c_str(), &camera), OPTIQON_OK);
  const std::uint8_t bytes[4] = {9, 8, 7, 6};
  EXPECT_EQ(optiqon_set_control(camera, 20, bytes, 4), OPTIQON_OK);
  EXPECT_EQ(controlOf(1, 2, 20), (Bytes{9, 8, 7, 6}));
  EXPECT_EQ(controlOf(0, 2, 20), (Bytes{0, 0, 0, 0}));
  optiqon_close(camera);
}

TEST_F(CameraApi, EachCameraTakesItsOwnValues) {
  startPc(threeCameras());
  optiqon_camera* b = open("K3M51-B002");
  const std::uint8_t bytes[4] = {1, 2, 3, 4};
  ASSERT_EQ(optiqon_set_control(b, 20, bytes, 4), OPTIQON_OK);
  ASSERT_EQ(optiqon_set_property(b, 0, 10, 0), OPTIQON_OK);
  EXPECT_EQ(controlOf(1, 2, 20), (Bytes{1, 2, 3, 4}));
  EXPECT_EQ(controlOf(0, 2, 20), (Bytes{0, 0, 0, 0}));
  EXPECT_EQ(controlOf(2, 2, 20), (Bytes{0, 0, 0, 0}));
  std::uint8_t read[4] = {};
  long brightness = 0;
  int automatic = -1;
  EXPECT_EQ(optiqon_get_control(b, 20, read, sizeof read), OPTIQON_OK);
  EXPECT_EQ(Bytes(read, read + 4), (Bytes{1, 2, 3, 4}));
  EXPECT_EQ(optiqon_get_property(b, 0, &brightness, &automatic), OPTIQON_OK);
  EXPECT_EQ(brightness, 10);
  EXPECT_EQ(automatic, 0);
  optiqon_close(b);
}

TEST_F(CameraApi, WhatTheCameraDoesNotTakeIsRefusedBeforeAnythingIsSent) {
  startPc(threeCameras());
  optiqon_camera* a = open("K3M51-A001");
  sim::videoWorld().keepCallLog = true;
  optiqon_property_range range{};
  ASSERT_EQ(optiqon_property_range_of(a, 0, &range), OPTIQON_OK);
  sim::videoWorld().calls.clear();
  const std::uint8_t bytes[4] = {1, 2, 3, 4};
  std::uint8_t small[1] = {};
  EXPECT_EQ(optiqon_set_property(a, 10, 1, 0), OPTIQON_BAD_ARGUMENT);
  EXPECT_EQ(optiqon_set_control(a, 0, bytes, 1), OPTIQON_BAD_ARGUMENT);
  EXPECT_EQ(optiqon_set_control(a, 40, bytes, 1), OPTIQON_BAD_ARGUMENT);
  EXPECT_EQ(optiqon_set_control(a, 20, bytes, 3), OPTIQON_BAD_ARGUMENT);
  EXPECT_STREQ(optiqon_last_error(), "vendor control 20 carries 4 bytes, not 3");
  EXPECT_EQ(optiqon_get_control(a, 20, small, sizeof small), OPTIQON_BUFFER_TOO_SMALL);
  EXPECT_EQ(optiqon_set_password(a, "12G4"), OPTIQON_BAD_ARGUMENT);
  EXPECT_EQ(optiqon_set_password(a, "12345"), OPTIQON_BAD_ARGUMENT);
  EXPECT_EQ(optiqon_set_control(a, 20, nullptr, 4), OPTIQON_BAD_ARGUMENT);
  EXPECT_EQ(optiqon_get_property(a, 0, nullptr, nullptr), OPTIQON_BAD_ARGUMENT);
  EXPECT_EQ(optiqon_set_property(nullptr, 0, 1, 0), OPTIQON_BAD_ARGUMENT);
  EXPECT_TRUE(sim::videoWorld().calls.empty());
  // Out of range: only the range is asked.
  EXPECT_EQ(optiqon_set_property(a, 0, range.maximum + 1, 0), OPTIQON_BAD_ARGUMENT);
  EXPECT_EQ(sim::videoWorld().calls.size(), 1u);
  EXPECT_EQ(sim::videoWorld().calls[0].kind, sim::VideoCallKind::GetRange);
  optiqon_close(a);
}

TEST_F(CameraApi, RegisterPasswordSaveAndResetReachTheChosenCamera) {
  startPc(threeCameras());
  optiqon_camera* c = open("K3M51-C003");
  EXPECT_EQ(optiqon_set_password(c, "0000"), OPTIQON_REFUSED);
  EXPECT_STREQ(optiqon_last_error(), "camera K3M51-C003 did not take the password");
  EXPECT_EQ(optiqon_set_register(c, 0x12, 0x34), OPTIQON_OK);
  unsigned char value = 0;
  EXPECT_EQ(optiqon_get_register(c, &value), OPTIQON_OK);
  EXPECT_EQ(value, 0x34);
  EXPECT_EQ(sim::videoWorld().cameras[2]->camera->registerValue(0x12), 0x34);
  EXPECT_EQ(sim::videoWorld().cameras[0]->camera->registerValue(0x12), 0);
  optiqon_close(c);
}

TEST_F(CameraApi, ARequestThatFailsIsACodeAMessageAndADiagnosticLine) {
  startPc(threeCameras("fail = KsProperty=0x80070490\n"));
  std::vector<std::string> lines;
  optiqon_set_diagnostics(
      [](void* context, const char* line) {
        static_cast<std::vector<std::string>*>(context)->push_back(line);
      },
      &lines);
  optiqon_camera* a = open("K3M51-A001");
  std::uint8_t read[4] = {};
  EXPECT_EQ(optiqon_get_control(a, 20, read, sizeof read), OPTIQON_REFUSED);
  EXPECT_STREQ(optiqon_last_error(),
               "camera K3M51-A001: reading a vendor control failed (0x80070490)");
  EXPECT_EQ(lines,
            (std::vector<std::string>{
                "info: Function: UvcExtension::SetGetExtensionUnit, ks_control->KsProperty(...) "
                "failed, Error code: 0x80070490"}));
  optiqon_close(a);
}

TEST_F(CameraApi, AnUnpluggedCameraIsGoneAndItsHandleWorksAgainOncePluggedIn) {
  startPc(threeCameras());
  optiqon_camera* c = open("K3M51-C003");
  long value = 0;
  ASSERT_EQ(optiqon_get_property(c, 0, &value, nullptr), OPTIQON_OK);
  std::filesystem::remove(path("c.plugged"));
  EXPECT_EQ(optiqon_get_property(c, 0, &value, nullptr), OPTIQON_GONE);
  EXPECT_STREQ(optiqon_last_error(), "camera K3M51-C003 is no longer plugged in");
  std::ofstream(path("c.plugged")) << "again\n";
  EXPECT_EQ(optiqon_get_property(c, 0, &value, nullptr), OPTIQON_OK) << optiqon_last_error();
  optiqon_close(c);
}

// --- The firmware update

Bytes sampleImage(std::size_t size) {
  Bytes image(size);
  for (std::size_t i = 0; i < size; ++i) {
    image[i] = static_cast<std::uint8_t>(i * 7 + 3);
  }
  return image;
}

struct Told {
  std::vector<std::pair<unsigned, unsigned>> steps;
  static void record(void* context, unsigned written, unsigned pages) {
    static_cast<Told*>(context)->steps.emplace_back(written, pages);
  }
};

TEST_F(CameraApi, AnUpdateTellsEveryVerifiedPageAndEndsVerified) {
  startPc(threeCameras());
  const Bytes image = sampleImage(3 * 256 + 10);
  unsigned pages = 0;
  EXPECT_EQ(optiqon_check_image(image.data(), image.size(), &pages), OPTIQON_OK);
  EXPECT_EQ(pages, 4u);
  optiqon_camera* b = open("K3M51-B002");
  Told told;
  EXPECT_EQ(optiqon_update_firmware(b, image.data(), image.size(), &Told::record, &told),
            OPTIQON_UPDATE_VERIFIED);
  EXPECT_EQ(told.steps,
            (std::vector<std::pair<unsigned, unsigned>>{{0, 4}, {1, 4}, {2, 4}, {3, 4}, {4, 4}}));
  const auto flash = sim::hidWorld().cameras[1].flash.flash();
  EXPECT_TRUE(std::equal(image.begin(), image.end(), flash.begin()));
  EXPECT_EQ(sim::hidWorld().cameras[0].flash.flash()[0], 0xFF);  // A untouched
  optiqon_close(b);
}

TEST_F(CameraApi, AnImageTheFlashCannotTakeIsRefusedWithoutTouchingTheCamera) {
  startPc(threeCameras());
  optiqon_camera* a = open("K3M51-A001");
  sim::hidWorld().keepCallLog = true;
  const Bytes huge(65535u * 256u + 1u, 0);
  EXPECT_EQ(optiqon_check_image(huge.data(), huge.size(), nullptr), OPTIQON_BAD_ARGUMENT);
  EXPECT_STREQ(optiqon_last_error(),
               "the image is 16776961 bytes: the camera's flash takes at most 16776960");
  EXPECT_EQ(optiqon_update_firmware(a, huge.data(), 0, nullptr, nullptr),
            OPTIQON_UPDATE_IMAGE_REFUSED);
  EXPECT_STREQ(optiqon_last_error(), "the image is empty");
  EXPECT_TRUE(sim::hidWorld().calls.empty());
  optiqon_close(a);
}

TEST_F(CameraApi, ACameraPulledOutDuringItsUpdateIsSaidToBeSo) {
  startPc(threeCameras());
  optiqon_camera* c = open("K3M51-C003");
  unsigned reports = 0;
  sim::hidWorld().onReport = [&](const sim::ReportCall&) {
    if (++reports == 20) {
      std::filesystem::remove(path("c.plugged"));
    }
  };
  const Bytes image = sampleImage(8 * 256);
  Told told;
  EXPECT_EQ(optiqon_update_firmware(c, image.data(), image.size(), &Told::record, &told),
            OPTIQON_UPDATE_DOWNLOAD_FAILED);
  const unsigned verified = told.steps.back().first;
  EXPECT_LT(verified, 8u);
  EXPECT_EQ(std::string(optiqon_last_error()),
            "camera K3M51-C003 was unplugged during the update, after " + std::to_string(verified) +
                " of 8 pages: it may be left without working firmware");
  optiqon_close(c);
}

TEST_F(CameraApi, ACameraThatGoesAwayAfterSomeReportsIsSaidToBeUnplugged) {
  startPc(threeCameras("", "unplug_after_reports = 30\n"));
  optiqon_camera* c = open("K3M51-C003");
  optiqon_camera* a = open("K3M51-A001");
  const Bytes image = sampleImage(16 * 256);  // more reports than the camera lets through
  Told told;
  EXPECT_EQ(optiqon_update_firmware(c, image.data(), image.size(), &Told::record, &told),
            OPTIQON_UPDATE_DOWNLOAD_FAILED);
  EXPECT_NE(std::string(optiqon_last_error()).find("camera K3M51-C003 was unplugged during"),
            std::string::npos)
      << optiqon_last_error();
  // The camera beside it is not taken for gone.
  EXPECT_EQ(optiqon_update_firmware(a, image.data(), image.size(), nullptr, nullptr),
            OPTIQON_UPDATE_VERIFIED);
  optiqon_close(a);
  optiqon_close(c);
}

TEST_F(CameraApi, CamerasAreFlashedFromThreadsAtOnce) {
  startPc(threeCameras());
  const Bytes image = sampleImage(6 * 256);
  std::vector<optiqon_camera*> cameras = {open("K3M51-A001"), open("K3M51-B002"),
                                          open("K3M51-C003")};
  std::vector<int> verdicts(3, -1);
  std::vector<std::thread> threads;
  for (std::size_t i = 0; i < cameras.size(); ++i) {
    threads.emplace_back([&, i] {
      verdicts[i] =
          optiqon_update_firmware(cameras[i], image.data(), image.size(), nullptr, nullptr);
    });
  }
  for (std::thread& thread : threads) {
    thread.join();
  }
  EXPECT_EQ(verdicts, (std::vector<int>{0, 0, 0}));
  for (std::size_t i = 0; i < cameras.size(); ++i) {
    const auto flash = sim::hidWorld().cameras[i].flash.flash();
    EXPECT_TRUE(std::equal(image.begin(), image.end(), flash.begin())) << "camera " << i;
    optiqon_close(cameras[i]);
  }
}

// --- Pairing the sides

TEST(CameraPairing, SidesPairByUsbDeviceAndASideThePlatformCannotPlaceStaysAlone) {
  using cameras::HidSide;
  using cameras::VideoSide;
  const std::vector<HidSide> hid = {
      {u"hid-b", std::string("B"), cameras::UsbDevice{"1-3"}},
      {u"hid-b2", std::string("B-second-collection"), cameras::UsbDevice{"1-3"}},
      {u"hid-x", std::nullopt, std::nullopt},
      {u"hid-a", std::string("A"), cameras::UsbDevice{"1-2"}},
  };
  const std::vector<VideoSide> video = {{u"video-a", cameras::UsbDevice{"1-2"}},
                                        {u"video-c", cameras::UsbDevice{"2-1"}},
                                        {u"video-y", std::nullopt}};
  const auto paired = cameras::pairSides(hid, video);
  ASSERT_EQ(paired.size(), 5u);
  EXPECT_EQ(paired[0].location, "1-2");
  EXPECT_EQ(paired[0].serial, "A");
  EXPECT_EQ(*paired[0].videoLink, u"video-a");
  EXPECT_EQ(paired[1].location, "1-3");
  EXPECT_EQ(*paired[1].hidPath, u"hid-b");  // the first collection of the device
  EXPECT_FALSE(paired[1].videoLink);
  EXPECT_EQ(paired[2].location, "2-1");
  EXPECT_FALSE(paired[2].hidPath);
  EXPECT_FALSE(paired[2].serialKnown);
  EXPECT_EQ(*paired[3].hidPath, u"hid-x");  // unplaced sides last, each alone
  EXPECT_EQ(*paired[4].videoLink, u"video-y");
}

TEST(CameraPairing, CamerasAreListedInTheOrderOfTheirPorts) {
  std::vector<cameras::VideoSide> video;
  for (const char* location : {"1-10", "1-9", "2-1", "1-9.2", "1-09.10", "1-9.3"}) {
    video.push_back({u"video", cameras::UsbDevice{location}});
  }
  std::vector<std::string> order;
  for (const cameras::CameraEntry& camera : cameras::pairSides({}, video)) {
    order.push_back(camera.location);
  }
  EXPECT_EQ(order, (std::vector<std::string>{"1-9", "1-9.2", "1-9.3", "1-09.10", "1-10", "2-1"}));
}

}  // namespace
