// optiqon on a simulated PC with three cameras: the list, a command on one camera chosen by its
// serial number or location, reading commands on each camera in turn, refusals that send nothing,
// and an update of several cameras at once where one camera's failure stops no other.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "scratch_directory.h"
#include "shell_command.h"

namespace {

std::string locationOfPort(int port) {
  return "PCIROOT(0)#PCI(1400)#USBROOT(0)#USB(1)#USB(" + std::to_string(port) + ")";
}

const std::string A = "K3M51-A001";
const std::string B = "K3M51-B002";
const std::string C = "K3M51-C003";

class SeveralCameras : public ::testing::Test {
 protected:
  // Three cameras, each with its flash, settings and trace; `second` and `third` add keys to
  // those cameras.
  std::pair<int, std::string> run(const std::string& arguments, const std::string& second = "",
                                  const std::string& third = "") {
    writeScenario("virtual", second, third);
    return runCommand("cd '" + dir_.string() + "' && OPTIQON_SIM_CAMERA=pc.scenario '" +
                      OPTIQON_SIM_PATH + "' " + arguments + " 2>errors");
  }

  void writeScenario(const std::string& clock, const std::string& second,
                     const std::string& third) {
    std::ofstream(dir_ / "pc.scenario") << "clock = " << clock << "\n"
                                        << cameraKeys(A, "a") << "[camera]\n"
                                        << cameraKeys(B, "b") << second << "[camera]\n"
                                        << cameraKeys(C, "c") << third;
  }

  static std::string cameraKeys(const std::string& serial, const std::string& name) {
    return "serial = " + serial + "\nflash = " + name + ".flash\ncamera_settings = " + name +
           ".settings\nvideo_trace = " + name + ".trace\n";
  }

  std::string errors() { return readFile(dir_ / "errors"); }

  // The image-property sets and extension-unit writes a camera received.
  std::vector<std::string> writesTo(const std::string& name) {
    std::istringstream trace(readFile(dir_ / (name + ".trace")));
    std::vector<std::string> writes;
    for (std::string line; std::getline(trace, line);) {
      const bool xuWrite = line.find(" KsProperty ") != std::string::npos &&
                           line.find("020000100200000000000000 ") != std::string::npos;
      if (xuWrite || line.find(" Set ") != std::string::npos) {
        writes.push_back(line.substr(line.find(' ') + 1));
      }
    }
    return writes;
  }

  std::string readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  }

  void writeImage(int pages) {
    image_.clear();
    for (int page = 0; page < pages; ++page) {
      for (int byte = 0; byte < 256; ++byte) {
        image_ += static_cast<char>((page * 7 + byte) & 0xFF);
      }
    }
    std::ofstream(dir_ / "fw.img", std::ios::binary) << image_;
  }

  bool flashHoldsImage(const std::string& name) {
    return readFile(dir_ / (name + ".flash")).substr(0, image_.size()) == image_;
  }

  // The output's lines from the first that begins with `start`.
  static std::string linesFrom(const std::string& output, const std::string& start) {
    const std::size_t at = output.find(start);
    return at == std::string::npos ? output : output.substr(at);
  }

  ScratchDirectory scratch_{"optiqon-cameras"};
  const std::filesystem::path& dir_ = scratch_.path();
  std::string image_;
};

TEST_F(SeveralCameras, ListGivesEachCamerasSerialLocationAndSides) {
  EXPECT_EQ(
      run("list --json"),
      std::make_pair(0, "[{\"serial_number\":\"" + A + "\",\"location\":\"" + locationOfPort(1) +
                            "\",\"video_side\":true,\"hid_side\":true},"
                            "{\"serial_number\":\"" +
                            B + "\",\"location\":\"" + locationOfPort(2) +
                            "\",\"video_side\":true,\"hid_side\":true},"
                            "{\"serial_number\":\"" +
                            C + "\",\"location\":\"" + locationOfPort(3) +
                            "\",\"video_side\":true,\"hid_side\":true}]\n"));
  EXPECT_EQ(run("list", "camera = absent\n"),
            std::make_pair(0, A + "              " + locationOfPort(1) +
                                  "  video device and HID interface found\n"
                                  "(no serial number)      " +
                                  locationOfPort(2) + "  HID interface not found\n" + C +
                                  "              " + locationOfPort(3) +
                                  "  video device and HID interface found\n"));
}

TEST_F(SeveralCameras, SetBySerialChangesThatCameraAlone) {
  EXPECT_EQ(run("set --serial " + B + " brightness=10"),
            std::make_pair(0, std::string("brightness              10\n")))
      << errors();
  EXPECT_EQ(writesTo("b"), std::vector<std::string>{"Set 0 10 2 0x00000000"});
  EXPECT_EQ(writesTo("a"), std::vector<std::string>{});
  EXPECT_EQ(writesTo("c"), std::vector<std::string>{});
  EXPECT_NE(readFile(dir_ / "b.settings").find("0=10"), std::string::npos)
      << readFile(dir_ / "b.settings");
  EXPECT_FALSE(std::filesystem::exists(dir_ / "a.settings"));
  EXPECT_FALSE(std::filesystem::exists(dir_ / "c.settings"));
  // The global option before the command chooses as well.
  EXPECT_EQ(run("--serial " + C + " get brightness").second, "brightness              0\n");
}

// With several cameras a command that changes one needs it named: refused, nothing sent.
TEST_F(SeveralCameras, ChangeWithoutSerialIsRefusedAndSendsNothing) {
  const std::string present = A + " at " + locationOfPort(1) + ", " + B + " at " +
                              locationOfPort(2) + ", " + C + " at " + locationOfPort(3);
  for (const std::string& command :
       {std::string("set brightness=10"), std::string("save"), std::string("export p.json")}) {
    EXPECT_EQ(run(command), std::make_pair(2, std::string())) << command;
    EXPECT_EQ(errors(), "optiqon: 3 cameras are plugged in (" + present +
                            "): choose one by its serial number\n");
  }
  EXPECT_EQ(writesTo("a"), std::vector<std::string>{});
  EXPECT_EQ(writesTo("b"), std::vector<std::string>{});
  EXPECT_EQ(writesTo("c"), std::vector<std::string>{});
  EXPECT_FALSE(std::filesystem::exists(dir_ / "p.json"));
}

TEST_F(SeveralCameras, UnknownSerialNamesThoseThereAndSendsNothing) {
  EXPECT_EQ(run("set --serial K3M51-X999 brightness=10"), std::make_pair(1, std::string()));
  EXPECT_EQ(errors(), "optiqon: no camera with serial number K3M51-X999; present: " + A + " at " +
                          locationOfPort(1) + ", " + B + " at " + locationOfPort(2) + ", " + C +
                          " at " + locationOfPort(3) + "\n");
  EXPECT_EQ(writesTo("a").size() + writesTo("b").size() + writesTo("c").size(), 0u);
}

// A camera pulled out is no longer there to be chosen; the others still are.
TEST_F(SeveralCameras, UnpluggedCameraIsNotThere) {
  const std::string plugged = "plugged = b.plugged\n";
  std::ofstream(dir_ / "b.plugged") << "";
  EXPECT_EQ(run("get --serial " + B + " brightness", plugged).first, 0) << errors();
  std::filesystem::remove(dir_ / "b.plugged");
  EXPECT_EQ(run("set --serial " + B + " brightness=10", plugged), std::make_pair(1, std::string()));
  EXPECT_EQ(errors(), "optiqon: no camera with serial number " + B + "; present: " + A + " at " +
                          locationOfPort(1) + ", " + C + " at " + locationOfPort(3) + "\n");
  EXPECT_EQ(run("list", plugged).second.find(B), std::string::npos);
  EXPECT_EQ(writesTo("b"), std::vector<std::string>{});
}

// status, show and get read each camera in turn, each block headed by its camera.
TEST_F(SeveralCameras, ReadingCommandsActOnEachCameraInTurn) {
  EXPECT_EQ(run("get brightness", "property_values = 0=7\n"),
            std::make_pair(0, "[" + A + "]\nbrightness              0\n[" + B +
                                  "]\nbrightness              7\n[" + C +
                                  "]\nbrightness              0\n"));
  const auto [code, json] = run("status --json");
  EXPECT_EQ(code, 0);
  EXPECT_EQ(json, "{\"camera\":\"present\",\"serial_number\":\"" + A + "\",\"location\":\"" +
                      locationOfPort(1) + "\"}\n{\"camera\":\"present\",\"serial_number\":\"" + B +
                      "\",\"location\":\"" + locationOfPort(2) +
                      "\"}\n{\"camera\":\"present\",\"serial_number\":\"" + C +
                      "\",\"location\":\"" + locationOfPort(3) + "\"}\n");
}

// Two cameras with one serial number: list shows both, --serial refuses and asks for the
// location, --location chooses.
TEST_F(SeveralCameras, SameSerialTwiceIsChosenByLocation) {
  const std::string sameAsA = "serial = " + A + "\n";
  const auto [code, listed] = run("list", sameAsA);
  EXPECT_EQ(code, 0);
  EXPECT_NE(listed.find(A + "              " + locationOfPort(2)), std::string::npos) << listed;
  EXPECT_EQ(run("set --serial " + A + " brightness=10", sameAsA), std::make_pair(2, std::string()));
  EXPECT_EQ(errors(), "optiqon: 2 cameras give serial number " + A + " (at " + locationOfPort(1) +
                          ", " + locationOfPort(2) + "): choose one by its location\n");
  EXPECT_EQ(run("set --location '" + locationOfPort(2) + "' brightness=10", sameAsA).first, 0)
      << errors();
  EXPECT_EQ(writesTo("b"), std::vector<std::string>{"Set 0 10 2 0x00000000"});
  EXPECT_EQ(writesTo("a"), std::vector<std::string>{});
}

TEST_F(SeveralCameras, UpdateAllFlashesEveryCamera) {
  writeImage(30);
  const auto [code, output] = run("update --all fw.img");
  EXPECT_EQ(code, 0) << errors();
  for (const std::string& serial : {A, B, C}) {
    EXPECT_NE(output.find(serial + ": erasing the flash for 30 pages\n"), std::string::npos);
    EXPECT_NE(output.find(serial + ": downloading 30/30 pages"), std::string::npos) << output;
  }
  EXPECT_EQ(linesFrom(output, A + ": firmware"),
            A + ": firmware updated: 30 pages written and verified in 0:00\n" + B +
                ": firmware updated: 30 pages written and verified in 0:00\n" + C +
                ": firmware updated: 30 pages written and verified in 0:00\n");
  EXPECT_TRUE(flashHoldsImage("a"));
  EXPECT_TRUE(flashHoldsImage("b"));
  EXPECT_TRUE(flashHoldsImage("c"));
}

TEST_F(SeveralCameras, UpdateOfTheCamerasNamed) {
  writeImage(8);
  const auto [code, output] = run("update --serial " + C + " --serial " + A + " fw.img");
  EXPECT_EQ(code, 0) << errors();
  EXPECT_EQ(linesFrom(output, C + ": firmware"),
            C + ": firmware updated: 8 pages written and verified in 0:00\n" + A +
                ": firmware updated: 8 pages written and verified in 0:00\n");
  EXPECT_TRUE(flashHoldsImage("a"));
  EXPECT_FALSE(flashHoldsImage("b"));
  EXPECT_TRUE(flashHoldsImage("c"));
  // A serial not there, or given twice: nothing is flashed.
  std::filesystem::remove(dir_ / "a.flash");
  EXPECT_EQ(run("update --serial " + A + " --serial K3M51-X999 fw.img").first, 1);
  EXPECT_EQ(run("update --serial " + A + " --serial " + A + " fw.img").first, 2);
  EXPECT_EQ(errors(), "optiqon: --serial " + A + " is given twice\n");
  EXPECT_FALSE(flashHoldsImage("a"));
  // Several cameras and none named.
  EXPECT_EQ(run("update fw.img").first, 2);
  EXPECT_FALSE(flashHoldsImage("a"));
}

// One camera unplugged partway and another that refuses a page:
// each reported for its camera, the first flashed whole, and the exit code the worst verdict.
TEST_F(SeveralCameras, OneCamerasFailureStopsNoOther) {
  writeImage(30);
  const auto [code, output] =
      run("update --all fw.img", "unplug_after_reports = 60\n", "refuse_write = 5\n");
  EXPECT_EQ(code, 4) << errors();
  const std::string lost =
      "firmware update failed: a page was refused or did not verify; the camera has no working "
      "firmware until an update succeeds\n";
  EXPECT_EQ(linesFrom(output, A + ": firmware"),
            A + ": firmware updated: 30 pages written and verified in 0:00\n" + B + ": " + lost +
                C + ": " + lost);
  EXPECT_NE(
      errors().find("optiqon: camera " + B + " was unplugged during the update, after 19 of 30"),
      std::string::npos)
      << errors();
  EXPECT_NE(errors().find("optiqon: camera " + C + " refused page"), std::string::npos) << errors();
  EXPECT_TRUE(flashHoldsImage("a"));
  EXPECT_FALSE(flashHoldsImage("b"));
  EXPECT_FALSE(flashHoldsImage("c"));
}

// A camera pulled out while it is flashed (its waits in real time here, so that it can be): the
// update says so for that camera, and the others are flashed all the same.
TEST_F(SeveralCameras, CameraUnpluggedDuringTheUpdate) {
  writeImage(12);
  writeScenario("real", "plugged = b.plugged\n", "");
  std::ofstream(dir_ / "script.sh") << "touch b.plugged\n"
                                    << "OPTIQON_SIM_CAMERA=pc.scenario '" << OPTIQON_SIM_PATH
                                    << "' update --all fw.img >out 2>errors & tool=$!\n"
                                    << "for i in $(seq 1000); do grep -q '" << B
                                    << ": downloading 1/' out && break; sleep 0.01; done\n"
                                    << "rm b.plugged; wait $tool; echo $?\n";
  EXPECT_EQ(runCommand("cd '" + dir_.string() + "' && bash script.sh"),
            std::make_pair(0, std::string("4\n")));
  const std::string output = readFile(dir_ / "out");
  EXPECT_NE(output.find(B + ": firmware update failed: a page was refused or did not verify"),
            std::string::npos)
      << output;
  EXPECT_NE(output.find(A + ": firmware updated: 12 pages written and verified"), std::string::npos)
      << output;
  EXPECT_NE(output.find(C + ": firmware updated: 12 pages written and verified"), std::string::npos)
      << output;
  EXPECT_NE(errors().find("optiqon: camera " + B + " was unplugged during the update, after "),
            std::string::npos)
      << errors();
  EXPECT_TRUE(flashHoldsImage("a"));
  EXPECT_FALSE(flashHoldsImage("b"));
  EXPECT_TRUE(flashHoldsImage("c"));
}

}  // namespace
