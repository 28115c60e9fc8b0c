// The scenario file of the simulated builds as the video side reads it: what each of its keys sets
// up, the message for every line that cannot be used, and the camera settings file, which holds
// two of its keys.
#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "sim_video_scenario.h"

namespace {

sim::VideoScenario parse(const std::string& text) {
  std::istringstream in(text);
  return sim::parseVideoScenario(in, "scenario.txt");
}

std::string errorOf(const std::string& text) {
  try {
    parse(text);
  } catch (const sim::ScenarioError& error) {
    return error.what();
  }
  return "(no error)";
}

TEST(VideoScenario, EmptyFileGivesTheDefaults) {
  const sim::VideoScenario s = parse("# nothing but a comment\n\n   \n");
  EXPECT_EQ(s.videoDevices, std::vector<std::string>{"Corvantis Optiqon"});
  EXPECT_TRUE(s.videoFaults.empty());
  EXPECT_EQ(s.password, 0x1A2B);
  EXPECT_TRUE(s.controlValues.empty());
  EXPECT_TRUE(s.propertyValues.empty());
  EXPECT_TRUE(s.unsupportedProperties.empty());
  EXPECT_EQ(s.clock, sim::Clock::Mode::Real);
  EXPECT_TRUE(s.videoTracePath.empty());
  EXPECT_TRUE(s.cameraSettingsPath.empty());
}

// The HID side's keys, even those whose values it could not read, are left to the upgrader's
// side; a key that neither side has is refused.
TEST(VideoScenario, TheOtherSidesKeysAreLeftToIt) {
  const sim::VideoScenario s =
      parse("camera = maybe\nrefuse_erase = 999\nflash =\nclock = virtual\npassword = 0bAD\n");
  EXPECT_EQ(s.password, 0x0BAD);
  EXPECT_EQ(s.clock, sim::Clock::Mode::Virtual);
  EXPECT_EQ(errorOf("password = 0bAD\ncolour = red\n"), "scenario.txt:2: unknown key 'colour'");
}

TEST(VideoScenario, EveryVideoKeyIsRead) {
  const sim::VideoScenario s = parse(
      "video_devices = USB2.0 HD UVC WebCam,Corvantis Optiqon , Kamera Ü\n"
      "fail = KsProperty=0x80070492, Set=1, GetRange=2147500037\n"
      "password = 0bAD\n"
      "xu = 2.20=01 02 03 04, 3.5=ff00, 2.3 = 10 7F, 3.8=\n"
      "property_values = 0=-64, 7 = 5000, 0x9=2147483647, 2=-2147483648\n"
      "vpa_unsupported = 0, 9\n"
      "video_trace = video.txt\n"
      "camera_settings = settings.txt\n");
  EXPECT_EQ(s.videoDevices,
            (std::vector<std::string>{"USB2.0 HD UVC WebCam", "Corvantis Optiqon", "Kamera Ü"}));
  using sim::VideoStep;
  EXPECT_EQ(s.videoFaults, (std::map<VideoStep, std::int32_t>{
                               {VideoStep::KsProperty, static_cast<std::int32_t>(0x80070492)},
                               {VideoStep::Set, 1},
                               {VideoStep::GetRange, static_cast<std::int32_t>(0x80004005)}}));
  EXPECT_EQ(s.password, 0x0BAD);
  using Control = std::pair<unsigned, unsigned>;
  EXPECT_EQ(s.controlValues,
            (std::map<Control, std::vector<std::uint8_t>>{{{2, 20}, {0x01, 0x02, 0x03, 0x04}},
                                                          {{3, 5}, {0xFF, 0x00}},
                                                          {{2, 3}, {0x10, 0x7F}},
                                                          {{3, 8}, {}}}));
  EXPECT_EQ(s.propertyValues, (std::map<unsigned, std::int32_t>{
                                  {0, -64}, {2, INT32_MIN}, {7, 5000}, {9, INT32_MAX}}));
  EXPECT_EQ(s.unsupportedProperties, (std::set<unsigned>{0, 9}));
  EXPECT_EQ(s.videoTracePath, "video.txt");
  EXPECT_EQ(s.cameraSettingsPath, "settings.txt");
}

TEST(VideoScenario, EmptyVideoDeviceListMeansAPcWithoutCameras) {
  EXPECT_TRUE(parse("video_devices =\n").videoDevices.empty());
}

TEST(VideoScenario, UnusableVideoLinesAreNamed) {
  EXPECT_EQ(errorOf("fail = Open=1\n"),
            "scenario.txt:1: bad value 'Open=1' for fail: unknown step 'Open': expected one of "
            "MFCreateAttributes, SetGUID, MFEnumDeviceSources, GetAllocatedString, ActivateObject, "
            "MFCreateSourceReaderFromMediaSource, QueryIKsTopologyInfo, get_NodeType, "
            "CreateNodeInstance, QueryIKsControl, KsProperty, QueryIAMVideoProcAmp, GetRange, Set, "
            "Get");
  EXPECT_EQ(errorOf("fail = KsProperty\n"),
            "scenario.txt:1: bad value 'KsProperty' for fail: expected STEP=HRESULT");
  EXPECT_EQ(errorOf("fail = Set=0x100000000\n"),
            "scenario.txt:1: bad value 'Set=0x100000000' for fail: expected a number from 0 to "
            "4294967295");
  EXPECT_EQ(errorOf("password = 1A2\n"),
            "scenario.txt:1: bad value '1A2' for password: expected four hexadecimal digits");
  EXPECT_EQ(errorOf("password = 0x1A\n"),
            "scenario.txt:1: bad value '0x1A' for password: expected four hexadecimal digits");
  EXPECT_EQ(errorOf("xu = 2.20\n"),
            "scenario.txt:1: bad value '2.20' for xu: expected NODE.SELECTOR=BYTES");
  EXPECT_EQ(errorOf("xu = 4.1=00\n"),
            "scenario.txt:1: bad value '4.1=00' for xu: expected a number from 2 to 3");
  EXPECT_EQ(errorOf("xu = 2.32=00\n"),
            "scenario.txt:1: bad value '2.32=00' for xu: expected a number from 1 to 31");
  EXPECT_EQ(errorOf("xu = 3.9=00\n"),
            "scenario.txt:1: bad value '3.9=00' for xu: expected a number from 1 to 8");
  EXPECT_EQ(errorOf("xu = 2.20=0\n"),
            "scenario.txt:1: bad value '2.20=0' for xu: expected bytes in hexadecimal");
  EXPECT_EQ(errorOf("xu = 2.20=0x01\n"),
            "scenario.txt:1: bad value '2.20=0x01' for xu: expected bytes in hexadecimal");
  EXPECT_EQ(errorOf("xu = 2.3=01\n"),
            "scenario.txt:1: bad value '2.3=01' for xu: expected an address and a value for the "
            "register control");
  EXPECT_EQ(errorOf("xu = 2.6=1a2b\n"),
            "scenario.txt:1: bad value '2.6=1a2b' for xu: the password control keeps no value; "
            "the password key sets it");
  EXPECT_EQ(errorOf("vpa_unsupported = 10\n"),
            "scenario.txt:1: bad value '10' for vpa_unsupported: expected a number from 0 to 9");
  EXPECT_EQ(errorOf("video_devices = A,,B\n"),
            "scenario.txt:1: bad value 'A,,B' for video_devices: expected device names separated "
            "by commas");
  EXPECT_EQ(errorOf("video_devices = \xff\n"),
            "scenario.txt:1: bad value '\xff' for video_devices: a device name is not UTF-8");
  EXPECT_EQ(errorOf("video_trace =\n"),
            "scenario.txt:1: bad value '' for video_trace: expected a file name");
  EXPECT_EQ(errorOf("camera_settings =\n"),
            "scenario.txt:1: bad value '' for camera_settings: expected a file name");
}

TEST(VideoScenario, UnusablePropertyValuesAreNamed) {
  const std::string anyValue = "expected a whole number from -2147483648 to 2147483647";
  const std::map<std::string, std::string> reasons = {
      {"", "expected PROPERTY=VALUE"},
      {"0", "expected PROPERTY=VALUE"},
      {"0=1,", "expected PROPERTY=VALUE"},
      {"10=1", "expected a number from 0 to 9"},
      {"-1=1", "expected a number from 0 to 9"},
      {"=1", "expected a number from 0 to 9"},
      {"0=", anyValue},
      {"0=+5", anyValue},
      {"0=1.5", anyValue},
      {"0=0x10", anyValue},
      {"0=5 6", anyValue},
      {"0=2147483648", anyValue},
      {"0=-2147483649", anyValue},
  };
  for (const auto& [value, reason] : reasons) {
    EXPECT_EQ(errorOf("property_values = " + value + "\n"),
              "scenario.txt:1: bad value '" + value + "' for property_values: " + reason);
  }
}

// A camera settings file is read with the scenario's parser but holds only the camera's own
// settings: the camera must not be able to rewrite the PC it finds itself in.
TEST(VideoScenario, CameraSettingsHoldOnlyControlAndPropertyValues) {
  std::istringstream kept("# kept\nxu = 2.1=AB\nproperty_values = 3=50\n");
  const sim::VideoScenario s = sim::parseCameraSettings(kept, "settings.txt");
  EXPECT_EQ(s.controlValues.at({2, 1}), std::vector<std::uint8_t>{0xAB});
  EXPECT_EQ(s.propertyValues, (std::map<unsigned, std::int32_t>{{3, 50}}));

  for (const std::string key : {"flash", "camera_settings", "vpa_unsupported", "colour"}) {
    std::istringstream other("xu = 2.1=AB\n" + key + " = 1\n");
    try {
      sim::parseCameraSettings(other, "settings.txt");
      ADD_FAILURE() << key << " accepted";
    } catch (const sim::ScenarioError& error) {
      EXPECT_EQ(std::string(error.what()),
                "settings.txt:2: key '" + key +
                    "' is no camera setting: a camera settings file holds only xu and "
                    "property_values");
    }
  }
  std::istringstream bad("property_values = 3\n");
  EXPECT_THROW(sim::parseCameraSettings(bad, "settings.txt"), sim::ScenarioError);
}

}  // namespace
