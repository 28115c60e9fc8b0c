// optiqon, the command-line tool, run as its user runs it against the simulated camera: its
// results on standard output, the library's lines apart on standard error, every bad argument
// refused before anything reaches the camera.
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

class OptiqonTool : public ::testing::Test {
 protected:
  // The tool's exit code and standard output; standard error goes to `errors_`.
  std::pair<int, std::string> run(const std::string& arguments, const std::string& scenario = "") {
    std::ofstream(dir_ / "camera.scenario") << "clock = virtual\nvideo_trace = video.trace\n"
                                            << scenario;
    return runCommand("cd '" + dir_.string() + "' && OPTIQON_SIM_CAMERA=camera.scenario '" +
                      OPTIQON_SIM_PATH + "' " + arguments + " 2>errors");
  }

  std::string errors() { return readFile(dir_ / "errors"); }

  // The extension-unit writes and image-property sets the camera received.
  std::vector<std::string> tracedWrites() {
    std::istringstream trace(readFile(dir_ / "video.trace"));
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

  static std::string readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  }

  ScratchDirectory scratch_{"optiqon-tool"};
  const std::filesystem::path& dir_ = scratch_.path();
};

TEST_F(OptiqonTool, StatusShowsTheSerialNumberAsTableAndJson) {
  EXPECT_EQ(run("status"), std::make_pair(0, std::string("camera                  present\n"
                                                         "serial number           "
                                                         "K030M05010-000000010000000000000000\n")));
  EXPECT_EQ(run("status --json"),
            std::make_pair(0, std::string("{\"camera\":\"present\",\"serial_number\":"
                                          "\"K030M05010-000000010000000000000000\"}\n")));
}

// Without the camera the library's device list goes to standard error, and only the tool's
// verdict to standard output.
TEST_F(OptiqonTool, NoCameraIsExitCodeOne) {
  EXPECT_EQ(run("status --json", "video_devices = Integrated Webcam\n"),
            std::make_pair(1, std::string("{\"camera\":\"absent\"}\n")));
  EXPECT_NE(errors().find("Integrated Webcam"), std::string::npos) << errors();
  EXPECT_NE(errors().find("Exiting App in 5 sec..."), std::string::npos) << errors();
  EXPECT_EQ(run("show", "video_devices =\n"), std::make_pair(1, std::string()));
  EXPECT_NE(errors().find("optiqon: no camera named \"Corvantis Optiqon\" is connected\n"),
            std::string::npos)
      << errors();
}

TEST_F(OptiqonTool, ShowListsEveryPropertyAndControl) {
  const auto [code, output] = run("show", "xu = 2.20=01020304, 2.30=20, 3.5=0A0B\n");
  EXPECT_EQ(code, 0);
  std::string expected =
      "brightness              0\n"
      "contrast                32\n"
      "hue                     0\n"
      "saturation              64\n"
      "sharpness               2\n"
      "gamma                   100\n"
      "color-enable            1\n"
      "white-balance           4600\n"
      "backlight-compensation  1\n"
      "gain                    0\n";
  for (int number = 1; number <= 39; ++number) {
    std::string label = "control " + std::to_string(number);
    label.resize(24, ' ');
    std::string value = "0";
    if (number == 6 || number == 23 || number == 24 || number == 25 || number == 39) {
      value = "0,0";
    } else if (number == 21) {
      value = "0,0,0,0";
    } else if (number == 20) {
      value = "1,2,3,4";
    } else if (number == 30) {
      value = "1.15";
    } else if (number == 36) {
      value = "10,11";
    }
    expected += label + value + "\n";
  }
  EXPECT_EQ(output, expected);
  EXPECT_EQ(errors(), "");
}

TEST_F(OptiqonTool, GetReadsWhatIsNamedInOrder) {
  EXPECT_EQ(run("get 20 hue 30", "xu = 2.20=01020304\n"),
            std::make_pair(0, std::string("control 20              1,2,3,4\n"
                                          "hue                     0\n"
                                          "control 30              -0.45\n")));
  EXPECT_EQ(run("get gain 20 30 --json", "xu = 2.20=01020304, 2.30=20\n"),
            std::make_pair(0, std::string("{\"properties\":{\"gain\":0},\"controls\":{\"20\":[1,"
                                          "2,3,4],\"30\":1.1500000000000001}}\n")));
}

// The library's info: line about a failed read goes to standard error, and the JSON on standard
// output says the value is unknown instead of the zeros the library hands back.
TEST_F(OptiqonTool, LibraryLinesStayOffTheResults) {
  EXPECT_EQ(run("get 20 brightness --json", "fail = KsProperty=0x80070015\n"),
            std::make_pair(3, std::string("{\"properties\":{\"brightness\":0},\"controls\":{"
                                          "\"20\":null}}\n")));
  EXPECT_EQ(errors(),
            "info: Function: UvcExtension::SetGetExtensionUnit, ks_control->KsProperty(...) "
            "failed, Error code: 0x80070015 \n"
            "optiqon: the camera did not answer for control 20\n");
  // A write of zeros whose read-back fails has not been seen to take.
  EXPECT_EQ(run("set 20=0,0,0,0", "fail = KsProperty=0x80070015\n"),
            std::make_pair(3, std::string("control 20              unreadable\n")));
}

// Each value is written, then read back; control 30 reads back as the library scales its byte.
TEST_F(OptiqonTool, SetWritesAndReadsBack) {
  EXPECT_EQ(run("set brightness=-5 20=9,8,7,255 30=1.0 --json"),
            std::make_pair(0, std::string("{\"properties\":{\"brightness\":-5},\"controls\":{"
                                          "\"20\":[9,8,7,255],\"30\":0.10000000000000003}}\n")));
  const std::string node2 = "KsProperty 0c89b6acb3a360408b9adf34eef39a2e";
  EXPECT_EQ(tracedWrites(), (std::vector<std::string>{
                                "Set 0 -5 2 0x00000000",
                                node2 + "14000000020000100200000000000000 4 090807ff 0x00000000",
                                node2 + "1e000000020000100200000000000000 1 0b 0x00000000"}));
}

// The camera refuses a value outside the property's range: reported, exit code 3, and the rest
// still set.
TEST_F(OptiqonTool, ValueThatDoesNotTakeIsExitCodeThree) {
  EXPECT_EQ(run("set gain=1000 contrast=40"),
            std::make_pair(3, std::string("gain                    0\n"
                                          "contrast                40\n")));
  EXPECT_EQ(errors(), "optiqon: gain did not take the value 1000\n");
}

TEST_F(OptiqonTool, BadValuesAreRefusedBeforeAnythingIsSent) {
  EXPECT_EQ(run("set contrast=40 brightness=x 20=1,2 21=1,2,3,300 foo=1 40=1 3=1 30=0.2 36=1,-1"),
            std::make_pair(2, std::string()));
  EXPECT_EQ(errors(),
            "optiqon: 'brightness=x': 'x' is not a whole number\n"
            "optiqon: '20=1,2': control 20 takes 4 bytes, not 2\n"
            "optiqon: '21=1,2,3,300': byte 300 is outside 0 to 255\n"
            "optiqon: 'foo=1': 'foo' is neither an image property nor a vendor control number\n"
            "optiqon: '40=1': there is no vendor control 40 (they are 1 to 39)\n"
            "optiqon: '3=1': control 3 is the register control: use 'optiqon register'\n"
            "optiqon: '30=0.2': '0.2' is outside what control 30 carries (0.45 to 13.2)\n"
            "optiqon: '36=1,-1': byte -1 is outside 0 to 255\n");
  EXPECT_EQ(run("get brightness 0"), std::make_pair(2, std::string()));
  EXPECT_EQ(run("password 1A2"), std::make_pair(2, std::string()));
  EXPECT_EQ(errors(), "optiqon: the password '1A2' is not four hexadecimal digits\n");
  EXPECT_EQ(run("register 256 1"), std::make_pair(2, std::string()));
  EXPECT_EQ(run("set"), std::make_pair(2, std::string()));
  EXPECT_FALSE(std::filesystem::exists(dir_ / "video.trace"));
}

TEST_F(OptiqonTool, MaintenanceCommands) {
  EXPECT_EQ(run("register 0x10 0x80"), std::make_pair(0, std::string("register 0x10 = 0x80\n")));
  // The camera answers a register read with the register it was last given.
  EXPECT_EQ(run("register 16", "xu = 2.3=10 80\n"),
            std::make_pair(0, std::string("register 0x10 = 0x80\n")));
  EXPECT_EQ(run("register 0x11", "xu = 2.3=10 80\n"), std::make_pair(3, std::string()));
  EXPECT_EQ(errors(),
            "optiqon: the camera reads back only the register last written (0x10): write "
            "register 0x11 to read it\n");
  EXPECT_EQ(run("password 1A2B"), std::make_pair(0, std::string("password accepted\n")));
  EXPECT_EQ(run("password 1A2C"), std::make_pair(3, std::string()));
  EXPECT_EQ(errors(), "optiqon: the camera did not accept the password\n");
  EXPECT_EQ(run("save"), std::make_pair(0, std::string("settings saved\n")));
  EXPECT_EQ(run("reset", "fail = KsProperty=0x80070015\n"), std::make_pair(3, std::string()));
  EXPECT_NE(errors().find("optiqon: the camera refused to reset its settings (0x80070015)\n"),
            std::string::npos)
      << errors();
}

TEST_F(OptiqonTool, VersionAndHelp) {
  EXPECT_EQ(run("--version"), std::make_pair(0, std::string("optiqon 1.0.0\n")));
  const auto [code, help] = run("set --help");
  EXPECT_EQ(code, 0);
  EXPECT_NE(help.find("3  the camera refused a command, a value did not take or could not be read"),
            std::string::npos)
      << help;
}

}  // namespace
