// The scenario file of the simulated builds as the HID side reads it: what each of its keys sets
// up, and the message for every line that cannot be used.
#include "sim_hid_scenario.h"
#include "sim_hid_world.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

namespace {

sim::HidScenario parse(const std::string& text) {
  std::istringstream in(text);
  return sim::parseHidScenario(in, "scenario.txt");
}

std::string errorOf(const std::string& text) {
  try {
    parse(text);
  } catch (const sim::ScenarioError& error) {
    return error.what();
  }
  return "(no error)";
}

TEST(Scenario, EmptyFileGivesTheDefaults) {
  const sim::HidScenario s = parse("# nothing but a comment\n\n   \n");
  EXPECT_TRUE(s.cameraPresent);
  EXPECT_EQ(s.cameraIndex, 1u);
  EXPECT_EQ(s.serialNumber, u"K3M51-0001");
  EXPECT_EQ(s.faults.eraseBusyReads, 1u);
  EXPECT_EQ(s.clock, sim::Clock::Mode::Real);
  EXPECT_TRUE(s.flashPath.empty());
  EXPECT_TRUE(s.tracePath.empty());
}

TEST(Scenario, EveryKeyIsRead) {
  const sim::HidScenario s = parse(
      "camera = absent\n"
      "camera_index = 0x10   # in hexadecimal\n"
      "camera_copies = 2\n"
      "camera_fail = preparsed_data\n"
      "serial = Ünï-7\n"
      "flash = flash.bin\n"
      "erase_busy_reads = never\n"
      "refuse_erase = 3, 255\n"
      "refuse_write = 65535\n"
      "mismatch = 1:3, 2:1\n"
      "refuse_read_request = 4:2\n"
      "fail_read = 5:1\n"
      "short_read = 6:2\n"
      "fail_status_read = 255:3\n"
      "unplug_after_reports = 40\n"
      "clock = virtual\n"
      "trace = trace.txt\n");
  EXPECT_FALSE(s.cameraPresent);
  EXPECT_EQ(s.cameraIndex, 16u);
  EXPECT_EQ(s.cameraCopies, 2u);
  EXPECT_EQ(s.cameraFailStep, sim::FailStep::PreparsedData);
  EXPECT_EQ(s.serialNumber, u"Ünï-7");
  EXPECT_EQ(s.flashPath, "flash.bin");
  EXPECT_FALSE(s.faults.eraseBusyReads.has_value());
  EXPECT_EQ(s.faults.refusedEraseSectors, (std::set<unsigned>{3, 255}));
  EXPECT_EQ(s.faults.refusedWritePages, (std::set<unsigned>{65535}));
  EXPECT_EQ(s.faults.mismatchedReads, (std::map<unsigned, unsigned>{{1, 3}, {2, 1}}));
  EXPECT_EQ(s.faults.refusedReadRequests, (std::map<unsigned, unsigned>{{4, 2}}));
  EXPECT_EQ(s.faults.failedReads, (std::map<unsigned, unsigned>{{5, 1}}));
  EXPECT_EQ(s.faults.shortReads, (std::map<unsigned, unsigned>{{6, 2}}));
  EXPECT_EQ(s.faults.failedStatusReads, (std::map<unsigned, unsigned>{{255, 3}}));
  EXPECT_EQ(s.unplugAfterReports, 40u);
  EXPECT_EQ(s.clock, sim::Clock::Mode::Virtual);
  EXPECT_EQ(s.tracePath, "trace.txt");
}

TEST(Scenario, UnusableLinesAreNamedWithTheirLineNumber) {
  EXPECT_EQ(errorOf("clock = virtual\ncolour = red\n"), "scenario.txt:2: unknown key 'colour'");
  EXPECT_EQ(errorOf("camera present\n"), "scenario.txt:1: expected key = value");
  EXPECT_EQ(errorOf("camera = maybe\n"),
            "scenario.txt:1: bad value 'maybe' for camera: expected present or absent");
  EXPECT_EQ(errorOf("refuse_erase = 256\n"),
            "scenario.txt:1: bad value '256' for refuse_erase: expected a number from 0 to 255");
  EXPECT_EQ(errorOf("mismatch = 7\n"),
            "scenario.txt:1: bad value '7' for mismatch: expected PAGE:N");
  EXPECT_EQ(errorOf("camera_index = -1\n"),
            "scenario.txt:1: bad value '-1' for camera_index: expected a number from 0 to 100000");
  EXPECT_EQ(errorOf("erase_busy_reads = 1x\n"),
            "scenario.txt:1: bad value '1x' for erase_busy_reads: expected a number from 0 to "
            "1000000");
  EXPECT_EQ(errorOf("serial = \xff\n"),
            "scenario.txt:1: bad value '\xff' for serial: the serial number is not UTF-8");
  EXPECT_EQ(errorOf("flash =\n"), "scenario.txt:1: bad value '' for flash: expected a file name");
  EXPECT_EQ(errorOf("clock = virtual, real\n"),
            "scenario.txt:1: bad value 'virtual, real' for clock: expected virtual or real");
}

// One file describes both sides: the HID side leaves the video side's keys, even those whose
// values it could not read, to the library's side; a key that neither side has is refused by
// either.
TEST(Scenario, TheOtherSidesKeysAreLeftToIt) {
  const sim::HidScenario s = parse(
      "video_devices = A,,B\nfail = nonsense\npassword = 1\nxu = 9.9=0\nproperty_values = x\n"
      "vpa_unsupported = 99\nvideo_trace =\ncamera_settings =\nclock = virtual\nserial = X\n");
  EXPECT_EQ(s.serialNumber, u"X");
  EXPECT_EQ(s.clock, sim::Clock::Mode::Virtual);
  EXPECT_EQ(errorOf("xu = 2.1=00\nflash_size = 5\n"), "scenario.txt:2: unknown key 'flash_size'");
}

TEST(Scenario, AppliedScenarioBuildsThePc) {
  sim::HidScenario s = parse("camera_index = 3\ncamera_copies = 2\ncamera_fail = open\n");
  sim::applyHidScenario(s);
  const auto& interfaces = sim::hidWorld().interfaces;
  ASSERT_EQ(interfaces.size(), 5u);
  EXPECT_TRUE(interfaces[3].isCamera);
  EXPECT_EQ(interfaces[3].failStep, sim::FailStep::Open);
  EXPECT_TRUE(interfaces[4].isCamera);
  EXPECT_EQ(interfaces[4].failStep, sim::FailStep::None);
  EXPECT_NE(interfaces[3].path, interfaces[4].path);

  sim::applyHidScenario(parse("camera = absent\ncamera_index = 2\n"));
  EXPECT_EQ(sim::hidWorld().interfaces.size(), 2u);
}

}  // namespace
