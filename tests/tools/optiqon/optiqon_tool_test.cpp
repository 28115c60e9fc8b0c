// optiqon, the command-line tool, run as its user runs it against the simulated camera: its
// results on standard output, the library's lines apart on standard error, every bad argument
// refused before anything reaches the camera.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "scratch_directory.h"
#include "shell_command.h"

namespace {

// Where the simulated PC's first camera is plugged in.
const std::string Location = "PCIROOT(0)#PCI(1400)#USBROOT(0)#USB(1)#USB(1)";

class OptiqonTool : public ::testing::Test {
 protected:
  // The tool's exit code and standard output; standard error goes to `errors_`.
  std::pair<int, std::string> run(const std::string& arguments, const std::string& scenario = "") {
    writeScenario(scenario);
    return runCommand("cd '" + dir_.string() + "' && OPTIQON_SIM_CAMERA=camera.scenario '" +
                      OPTIQON_SIM_PATH + "' " + arguments + " 2>errors");
  }

  // The same, with `environment` set and the shell's redirections in `arguments`.
  std::pair<int, std::string> runShell(const std::string& environment, const std::string& arguments,
                                       const std::string& scenario = "") {
    writeScenario(scenario);
    return runCommand("cd '" + dir_.string() + "' && " + environment +
                      " OPTIQON_SIM_CAMERA=camera.scenario '" + OPTIQON_SIM_PATH + "' 2>errors " +
                      arguments);
  }

  // A bash script in the test's folder, and its exit code and standard output.
  std::pair<int, std::string> runScript(const std::string& script, const std::string& scenario) {
    writeScenario(scenario);
    writeFile("script.sh", script + "\n");
    return runCommand("cd '" + dir_.string() + "' && bash script.sh");
  }

  void writeScenario(const std::string& scenario) {
    const bool clockGiven = scenario.find("clock = ") != std::string::npos;
    std::ofstream(dir_ / "camera.scenario")
        << (clockGiven ? "" : "clock = virtual\n") << "video_trace = video.trace\n"
        << scenario;
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

  void writeFile(const std::string& name, const std::string& text) {
    std::ofstream(dir_ / name, std::ios::binary) << text;
  }

  // A profile without the line of the time it was taken.
  std::string profileWithoutTime(const std::string& name) {
    std::istringstream in(readFile(dir_ / name));
    std::string kept;
    for (std::string line; std::getline(in, line);) {
      if (line.rfind("  \"taken\": \"", 0) != 0) {
        kept += line + '\n';
      }
    }
    return kept;
  }

  static std::string readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  }

  ScratchDirectory scratch_{"optiqon-tool"};
  const std::filesystem::path& dir_ = scratch_.path();
};

TEST_F(OptiqonTool, StatusShowsTheSerialNumberAsTableAndJson) {
  EXPECT_EQ(run("status"), std::make_pair(0,
                                          "camera                  present\n"
                                          "serial number           K3M51-0001\n"
                                          "location                " +
                                              Location + "\n"));
  EXPECT_EQ(run("status --json"),
            std::make_pair(0,
                           "{\"camera\":\"present\",\"serial_number\":\"K3M51-0001\","
                           "\"location\":\"" +
                               Location + "\"}\n"));
}

// No camera on the PC: status says so, and a command that needs one names what is missing. A
// camera whose video device was not found cannot have its settings reached.
TEST_F(OptiqonTool, NoCameraIsExitCodeOne) {
  const std::string none = "camera = absent\nvideo_devices = Integrated Webcam\n";
  EXPECT_EQ(run("status --json", none),
            std::make_pair(1, std::string("{\"camera\":\"absent\"}\n")));
  EXPECT_EQ(run("show", none), std::make_pair(1, std::string()));
  EXPECT_EQ(errors(), "optiqon: no camera found\n");
  EXPECT_EQ(run("list", none), std::make_pair(1, std::string()));
  EXPECT_EQ(run("list --json", none), std::make_pair(1, std::string("[]\n")));
  EXPECT_EQ(run("show", "video_devices = Integrated Webcam\n"), std::make_pair(1, std::string()));
  EXPECT_EQ(errors(),
            "optiqon: camera K3M51-0001: its video device was not found, so its settings cannot "
            "be reached\n");
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

// Values the camera does not answer for are named, and the exit code says so, as for get.
TEST_F(OptiqonTool, ShowOfValuesNotAnsweredIsExitCodeThree) {
  EXPECT_EQ(run("show", "fail = KsProperty=0x80070015, Get=0x80070015\n").first, 3);
  EXPECT_TRUE(
      errors().starts_with("optiqon: the camera did not answer for brightness: camera "
                           "K3M51-0001: reading an image property failed (0x80070015)\n"))
      << errors();
  EXPECT_TRUE(
      errors().ends_with("optiqon: the camera did not answer for control 39: camera "
                         "K3M51-0001: reading a vendor control failed (0x80070015)\n"))
      << errors();
  EXPECT_EQ(run("show", "fail = Get=0x80070015\n").first, 3);
  EXPECT_EQ(errors().find("control"), std::string::npos) << errors();
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

// The camera API's diagnostic line about a failed read goes to standard error, and the JSON on
// standard output says the value is unknown.
TEST_F(OptiqonTool, LibraryLinesStayOffTheResults) {
  EXPECT_EQ(run("get 20 brightness --json", "fail = KsProperty=0x80070015\n"),
            std::make_pair(3, std::string("{\"properties\":{\"brightness\":0},\"controls\":{"
                                          "\"20\":null}}\n")));
  EXPECT_EQ(errors(),
            "info: Function: UvcExtension::SetGetExtensionUnit, ks_control->KsProperty(...) "
            "failed, Error code: 0x80070015\n"
            "optiqon: the camera did not answer for control 20: camera K3M51-0001: reading a "
            "vendor control failed (0x80070015)\n");
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
  // Control 30 takes 0.45 to 13.2 as the number given, though the library's truncation would make
  // byte 0 of anything down to 0.401; and decimal numbers only.
  EXPECT_EQ(run("set 30=0.449 30=13.21 30=0x1p3 30=inf 30=+1"), std::make_pair(2, std::string()));
  EXPECT_EQ(errors(),
            "optiqon: '30=0.449': '0.449' is outside what control 30 carries (0.45 to 13.2)\n"
            "optiqon: '30=13.21': '13.21' is outside what control 30 carries (0.45 to 13.2)\n"
            "optiqon: '30=0x1p3': '0x1p3' is not a number\n"
            "optiqon: '30=inf': 'inf' is not a number\n"
            "optiqon: '30=+1': '+1' is not a number\n");
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
  EXPECT_NE(errors().find("optiqon: the camera refused to reset its settings: camera K3M51-0001: "
                          "resetting the settings failed (0x80070015)\n"),
            std::string::npos)
      << errors();
}

// A camera's settings as the scenario gives them, from the table import prints: the vendor
// controls 1 to 31 are on the unit's node 2, 32 to 39 on node 3; control 30 as its byte.
std::string scenarioOfTable(const std::string& table) {
  std::istringstream in(table);
  std::string xu;
  for (std::string line; std::getline(in, line);) {
    int number = 0;
    char value[64] = {};
    if (std::sscanf(line.c_str(), "control %d %63s", &number, value) != 2) {
      continue;
    }
    std::string hex;
    std::istringstream bytes(value);
    for (std::string byte; std::getline(bytes, byte, ',');) {
      const long scaled = number == 30 ? std::lround((std::stod(byte) + 0.45) * 20) : 0;
      char digits[4];
      std::snprintf(digits, sizeof digits, "%02lX", number == 30 ? scaled : std::stol(byte));
      hex += digits;
    }
    xu += (xu.empty() ? "" : ", ") +
          (number <= 31 ? "2." + std::to_string(number) : "3." + std::to_string(number - 31)) +
          "=" + hex;
  }
  return "xu = " + xu + "\n";
}

// Export from one camera, import into a camera whose values differ, export that camera again:
// the same profile. Control 30 reads back on another scale than it is written on, and still
// comes back as it was.
TEST_F(OptiqonTool, ProfileRoundTrip) {
  const std::string first = "xu = 2.20=01020304, 2.30=20, 2.31=7F, 3.5=0A0B, 3.8=FFFE\n";
  EXPECT_EQ(run("export first.json", first),
            std::make_pair(0, std::string("profile of camera K3M51-0001 written to first.json\n")));
  const std::string profile = readFile(dir_ / "first.json");
  EXPECT_TRUE(std::regex_search(
      profile, std::regex("^\\{\n  \"format\": 1,\n  \"serial_number\": "
                          "\"K3M51-0001\",\n  \"taken\": "
                          "\"20[0-9]{2}-[0-9]{2}-[0-9]{2}T[0-9]{2}:[0-9]{2}:[0-9]{2}Z\",\n  "
                          "\"properties\": \\{\n    \"brightness\": 0,\n")))
      << profile;
  EXPECT_NE(profile.find("\n    \"2\": [0],\n    \"4\": [0],\n    \"5\": [0],\n    \"7\": [0],"),
            std::string::npos)
      << profile;
  EXPECT_NE(profile.find("\n    \"30\": 1.1500000000000001,\n    \"31\": [127],"),
            std::string::npos)
      << profile;

  // Another camera: set to other values by its scenario.
  const auto [code, table] = run("import first.json", "xu = 2.20=05050505, 2.30=01, 3.8=0102\n");
  EXPECT_EQ(code, 0) << errors();
  const std::vector<std::string> writes = tracedWrites();
  // Every property, then the controls of node 2 (1 to 31 less 3 and 6), ascending.
  ASSERT_EQ(writes.size(), 10u + 29u);
  EXPECT_EQ(writes[0], "Set 0 0 2 0x00000000");
  EXPECT_EQ(writes[9], "Set 9 0 2 0x00000000");
  const std::string node2 = "KsProperty 0c89b6acb3a360408b9adf34eef39a2e";
  EXPECT_EQ(writes[10], node2 + "01000000020000100200000000000000 1 00 0x00000000");
  EXPECT_EQ(writes[10 + 27], node2 + "1e000000020000100200000000000000 1 20 0x00000000");

  EXPECT_EQ(run("export second.json", scenarioOfTable(table)).first, 0);
  EXPECT_EQ(profileWithoutTime("second.json"), profileWithoutTime("first.json"));
}

// A profile that cannot be written, or a value the camera does not answer for, leaves no profile
// and an earlier one of that name as it was.
TEST_F(OptiqonTool, ExportWritesAWholeProfileOrNone) {
  EXPECT_EQ(run("export missing/camera.json"), std::make_pair(2, std::string()));
  EXPECT_EQ(errors(), "optiqon: cannot write the profile missing/camera.json\n");
  writeFile("camera.json", "earlier");
  EXPECT_EQ(run("export camera.json", "fail = KsProperty=0x80070015\n"),
            std::make_pair(3, std::string()));
  EXPECT_NE(errors().find("optiqon: the camera did not answer for control 1: camera K3M51-0001: "
                          "reading a vendor control failed (0x80070015): no profile written\n"),
            std::string::npos)
      << errors();
  EXPECT_EQ(readFile(dir_ / "camera.json"), "earlier");
  std::filesystem::create_directory(dir_ / "folder.json");
  EXPECT_EQ(run("export folder.json"), std::make_pair(2, std::string()));
  EXPECT_EQ(errors(), "optiqon: cannot write the profile folder.json\n");
}

// The profile is written beside its file under a name of its own, made exclusively: a link
// someone put at a name an export might use (the one an earlier version wrote through) is never
// followed. A link named as the profile is followed and the file it leads to replaced, and what
// is no regular file is written in place rather than replaced by one.
TEST_F(OptiqonTool, ExportNeverWritesThroughAPlantedLink) {
  writeFile("victim.txt", "the user's own file");
  std::filesystem::create_symlink("victim.txt", dir_ / "p.json.partial");
  ASSERT_EQ(run("export p.json").first, 0) << errors();
  EXPECT_EQ(readFile(dir_ / "victim.txt"), "the user's own file");
  EXPECT_TRUE(std::filesystem::is_regular_file(std::filesystem::symlink_status(dir_ / "p.json")));
  const std::string profile = readFile(dir_ / "p.json");

  std::filesystem::create_directory(dir_ / "kept");
  std::filesystem::create_symlink("kept/real.json", dir_ / "link.json");
  ASSERT_EQ(run("export link.json").first, 0) << errors();
  EXPECT_TRUE(std::filesystem::is_symlink(dir_ / "link.json"));
  EXPECT_EQ(profileWithoutTime("kept/real.json"), profileWithoutTime("p.json"));

  const auto [code, output] = run("export -");
  EXPECT_EQ(code, 0);
  writeFile("stdout.json", output);
  EXPECT_EQ(profileWithoutTime("stdout.json"), profileWithoutTime("p.json"));

  ASSERT_EQ(mkfifo((dir_ / "fifo").c_str(), 0600), 0);
  const std::string fifoRun = "cd '" + dir_.string() + "' && (cat fifo >from-fifo.json &) && " +
                              "OPTIQON_SIM_CAMERA=camera.scenario '" + OPTIQON_SIM_PATH +
                              "' export fifo 2>errors";
  EXPECT_EQ(runCommand(fifoRun).first, 0) << errors();
  EXPECT_TRUE(std::filesystem::is_fifo(dir_ / "fifo"));
  for (int wait = 0; wait < 500 && readFile(dir_ / "from-fifo.json").size() < profile.size();
       ++wait) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));  // the reader's last read
  }
  EXPECT_EQ(profileWithoutTime("from-fifo.json"), profileWithoutTime("p.json"));
  for (const auto& entry : std::filesystem::recursive_directory_iterator(dir_)) {
    EXPECT_FALSE(entry.path().string().ends_with(".new")) << entry.path() << " left behind";
  }
}

// A gain outside the camera's range is not sent: the value is reported, the rest still written,
// and nothing saved.
TEST_F(OptiqonTool, ImportOfAValueThatDoesNotTake) {
  writeFile("profile.json",
            "{\"format\": 1, \"properties\": {\"gain\": 1000, \"brightness\": 5}, "
            "\"controls\": {\"20\": [1, 2, 3, 4]}}");
  EXPECT_EQ(run("import profile.json --save"),
            std::make_pair(3, std::string("brightness              5\n"
                                          "gain                    0\n"
                                          "control 20              1,2,3,4\n")));
  EXPECT_EQ(errors(),
            "optiqon: gain did not take the value 1000\n"
            "optiqon: settings not saved, since not every value took\n");
  EXPECT_EQ(tracedWrites().size(), 2u);
  std::filesystem::remove(dir_ / "video.trace");
  writeFile("good.json", "{\"format\": 1, \"properties\": {\"brightness\": 5}}");
  EXPECT_EQ(run("import good.json --save"),
            std::make_pair(0, std::string("brightness              5\n"
                                          "settings saved\n")));
  EXPECT_EQ(tracedWrites().size(), 2u);
}

TEST_F(OptiqonTool, BadProfilesAreRefusedWholeBeforeAnythingIsSent) {
  writeFile("broken.json", "{\"format\": 1, \"properties\": {\"gain\": 1,}}");
  EXPECT_EQ(run("import broken.json"), std::make_pair(2, std::string()));
  EXPECT_EQ(errors(),
            "optiqon: broken.json is not valid JSON: parse error at line 1, column 40: syntax "
            "error while parsing object key - unexpected '}'; expected string literal\n");
  writeFile("future.json", "{\"format\": 2, \"properties\": {\"gain\": 1}}");
  EXPECT_EQ(run("import future.json"), std::make_pair(2, std::string()));
  EXPECT_EQ(errors(),
            "optiqon: future.json: profile format 2 is not one this optiqon reads (it reads "
            "format 1)\n");
  writeFile("unversioned.json", "{\"properties\": {\"gain\": 1}}");
  EXPECT_EQ(run("import unversioned.json --dry-run"), std::make_pair(2, std::string()));
  EXPECT_EQ(errors(),
            "optiqon: unversioned.json is not a settings profile: it has no \"format\"\n");
  EXPECT_EQ(run("import missing.json"), std::make_pair(2, std::string()));
  EXPECT_EQ(errors(), "optiqon: cannot read the profile missing.json\n");

  writeFile("bad.json",
            "{\"format\": 1, \"camera\": 1, \"properties\": {\"gain\": 1, \"focus\": 2, "
            "\"hue\": 1.5, \"20\": 1}, \"controls\": {\"1\": [1], \"3\": [1], \"6\": [1, 2], "
            "\"40\": [1], \"gain\": 1, \"20\": [1, 2], \"21\": [1, 2, 3, 300], \"22\": 1, "
            "\"30\": 20.0, \"36\": [1, -1]}}");
  EXPECT_EQ(run("import bad.json --save"), std::make_pair(2, std::string()));
  EXPECT_EQ(errors(),
            "optiqon: bad.json: unknown entry \"camera\"\n"
            "optiqon: bad.json: properties \"focus\": 'focus' is neither an image property nor "
            "a vendor control number\n"
            "optiqon: bad.json: properties \"hue\": 1.5 is not a whole number\n"
            "optiqon: bad.json: properties \"20\": not an image property\n"
            "optiqon: bad.json: controls \"3\": control 3 is the register control, not a "
            "setting\n"
            "optiqon: bad.json: controls \"6\": control 6 is the password control, not a "
            "setting\n"
            "optiqon: bad.json: controls \"40\": there is no vendor control 40 (they are 1 to "
            "39)\n"
            "optiqon: bad.json: controls \"gain\": not a vendor control number\n"
            "optiqon: bad.json: controls \"20\": control 20 takes 4 bytes, not 2\n"
            "optiqon: bad.json: controls \"21\": byte 300 is not a whole number from 0 to 255\n"
            "optiqon: bad.json: controls \"22\": 1 is not a list of bytes: control 22 takes 1 "
            "byte\n"
            "optiqon: bad.json: controls \"30\": 20.0 is not a value of control 30 (-0.45 to "
            "12.3 in steps of 0.05)\n"
            "optiqon: bad.json: controls \"36\": byte -1 is not a whole number from 0 to 255\n");
  EXPECT_FALSE(std::filesystem::exists(dir_ / "video.trace"));
}

// The simulated camera keeps its settings in a file that every process opening the camera shares,
// as programs share one camera: runs on other controls at the same time each take their turn and
// build on one another's changes, so no change is lost and the file is never found cut short. A
// name planted beside the file (the one an earlier version wrote through) is never opened.
TEST_F(OptiqonTool, SimulatedCameraSettingsAreSharedByConcurrentRuns) {
  writeFile("victim.txt", "the user's own file");
  std::filesystem::create_symlink("victim.txt", dir_ / "camera.settings.writing");
  const std::string kept = "camera_settings = camera.settings\n";
  ASSERT_EQ(run("get 20", kept).first, 0) << errors();
  const std::string tool =
      "OPTIQON_SIM_CAMERA=camera.scenario '" + std::string(OPTIQON_SIM_PATH) + "'";
  const std::string loops =
      "set20() { for i in $(seq 12); do " + tool +
      " set 20=$i,0,0,0 || exit 1; done; }; "
      "set21() { for i in $(seq 12); do " +
      tool +
      " set 21=$i,0,0,0 || exit 1; done; }; "
      "get() { for i in $(seq 12); do " +
      tool +
      " get 20 21 || exit 1; done; }; "
      "set20 & first=$!; set21 & second=$!; get && wait $first && wait $second";
  writeFile("loops.sh", loops + "\n");
  EXPECT_EQ(runCommand("cd '" + dir_.string() + "' && bash loops.sh >/dev/null 2>errors").first, 0)
      << errors();
  EXPECT_EQ(run("get 20 21", kept),
            std::make_pair(0, std::string("control 20              12,0,0,0\n"
                                          "control 21              12,0,0,0\n")));
  EXPECT_EQ(readFile(dir_ / "victim.txt"), "the user's own file");
}

// Profiles built to break the reader: each refused with exit code 2, a short message and nothing
// sent.
TEST_F(OptiqonTool, HostileProfilesAreRefusedWithShortMessages) {
  const std::string deep =
      "{\"format\": 1, \"properties\": {\"brightness\": " + std::string(60000, '[') +
      std::string(60000, ']') + "}}";
  writeFile("deep.json", deep);
  EXPECT_EQ(run("import deep.json"), std::make_pair(2, std::string()));
  EXPECT_EQ(errors(),
            "optiqon: deep.json is not a settings profile: it nests values more than 8 "
            "deep\n");

  writeFile("long.json", "{\"format\": 1, \"properties\": {\"brightness\": \"\\u001b[2J" +
                             std::string(100000, 'x') + "\", \"\\u001b[2J\": 1}}");
  EXPECT_EQ(run("import long.json"), std::make_pair(2, std::string()));
  EXPECT_EQ(errors(),
            "optiqon: long.json: properties \"brightness\": "
            "\"\\u001b[2Jxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx... "
            "is not a whole number\n"
            "optiqon: long.json: properties \"\\u001b[2J\": not an image property or vendor "
            "control number\n");

  writeFile("types.json",
            "{\"format\": 1, \"serial_number\": 5, \"taken\": 12, \"properties\": "
            "{\"brightness\": 18446744073709551611, \"contrast\": -9223372036854775809}, "
            "\"controls\": {\"20\": [1, 2, 3, 4], \"020\": [5, 6, 7, 8], "
            "\"21\": [18446744073709551615, 0, 0, 0]}}");
  EXPECT_EQ(run("import types.json"), std::make_pair(2, std::string()));
  EXPECT_EQ(errors(),
            "optiqon: types.json: \"serial_number\" is not a string\n"
            "optiqon: types.json: \"taken\" is not a string\n"
            "optiqon: types.json: properties \"brightness\": 18446744073709551611 is not a whole "
            "number from -2147483648 to 2147483647\n"
            "optiqon: types.json: properties \"contrast\": -9.223372036854776e+18 is not a whole "
            "number\n"
            "optiqon: types.json: controls \"020\": control 20 is given twice\n"
            "optiqon: types.json: controls \"21\": byte 18446744073709551615 is not a whole number "
            "from 0 to 255\n");

  writeFile("twice.json", "{\"format\": 1, \"properties\": {\"gain\": 1, \"gain\": 2}}");
  EXPECT_EQ(run("import twice.json"), std::make_pair(2, std::string()));
  EXPECT_EQ(errors(), "optiqon: twice.json: \"gain\" is given twice\n");

  writeFile("float-format.json", "{\"format\": 1.0}");
  EXPECT_EQ(run("import float-format.json"), std::make_pair(2, std::string()));
  EXPECT_EQ(errors(),
            "optiqon: float-format.json: profile format 1.0 is not one this optiqon "
            "reads (it reads format 1)\n");

  writeFile("nul.json", std::string("{\"format\": 1}") + '\0' + "{\"properties\": {\"gain\": 1}}");
  EXPECT_EQ(run("import nul.json"), std::make_pair(2, std::string()));
  EXPECT_EQ(errors(), "optiqon: nul.json is not a settings profile: it holds a NUL byte\n");

  writeFile("large.json", "{\"format\": 1}" + std::string(1024 * 1024, ' '));
  EXPECT_EQ(run("import large.json"), std::make_pair(2, std::string()));
  EXPECT_EQ(errors(), "optiqon: large.json is not a settings profile: larger than 1 MiB\n");

  std::filesystem::create_directory(dir_ / "folder.json");
  for (const std::string& path : {std::string("folder.json"), std::string("/dev/zero")}) {
    EXPECT_EQ(run("import " + path), std::make_pair(2, std::string()));
    EXPECT_EQ(errors(), "optiqon: " + path + " is not a settings profile: not a regular file\n");
  }
  EXPECT_FALSE(std::filesystem::exists(dir_ / "video.trace"));
}

// A dry run reads the camera and writes nothing; a value already held is not shown.
TEST_F(OptiqonTool, ImportDryRunSendsNoWrite) {
  writeFile("profile.json",
            "{\"format\": 1, \"properties\": {\"brightness\": 7, \"contrast\": 32}, "
            "\"controls\": {\"30\": 1.15, \"20\": [1, 2, 3, 4], \"36\": [10, 11]}}");
  EXPECT_EQ(run("import profile.json --dry-run --save", "xu = 3.5=0A0B\n"),
            std::make_pair(0, std::string("brightness              0 -> 7\n"
                                          "control 20              0,0,0,0 -> 1,2,3,4\n"
                                          "control 30              -0.45 -> 1.15\n")));
  EXPECT_EQ(tracedWrites(), std::vector<std::string>{});
  EXPECT_NE(readFile(dir_ / "video.trace").find(" Get "), std::string::npos);
}

// A firmware image of `pages` pages of 256 bytes, each page's bytes telling its number.
std::string firmwareImage(int pages) {
  std::string image;
  for (int page = 0; page < pages; ++page) {
    for (int byte = 0; byte < 256; ++byte) {
      image += static_cast<char>((page * 7 + byte) & 0xFF);
    }
  }
  return image;
}

// Plain lines when standard output is no terminal, each tenth of the pages as it is verified,
// and the image in the flash.
TEST_F(OptiqonTool, UpdateWritesAndVerifiesTheImage) {
  const std::string image = firmwareImage(30);
  writeFile("fw 1\"a\".img", image);
  const auto [code, output] = run("update 'fw 1\"a\".img'", "flash = flash.bin\n");
  EXPECT_EQ(code, 0) << errors();
  std::string expected =
      "erasing the flash for 30 pages\n"
      "downloading 1/30 pages, 0:00 elapsed, -:-- left\n";
  for (int page = 3; page <= 30; page += 3) {
    expected += "downloading " + std::to_string(page) + "/30 pages, 0:00 elapsed, 0:00 left\n";
  }
  EXPECT_EQ(output, expected + "firmware updated: 30 pages written and verified in 0:00\n");
  EXPECT_EQ(errors(), "");
  EXPECT_EQ(readFile(dir_ / "flash.bin").substr(0, image.size()), image);

  // An image named like the upgrader's switch is still an image.
  std::filesystem::remove(dir_ / "flash.bin");
  writeFile("-s", image);
  EXPECT_EQ(run("update -- -s", "flash = flash.bin\n").first, 0) << errors();
  EXPECT_EQ(readFile(dir_ / "flash.bin").substr(0, image.size()), image);
}

// The exit code is the update's verdict, for each way the simulated camera can make it fail, and
// the camera API's message says what failed.
TEST_F(OptiqonTool, UpdateEndsWithTheUpgradersVerdict) {
  writeFile("fw.img", firmwareImage(30));
  const std::string lostFirmware = "; the camera has no working firmware until an update succeeds";
  const struct {
    std::string scenario;
    int code;
    std::string verdict;
    std::string lastError;
  } failures[] = {
      {"camera = absent\n", 1, "firmware not updated: no camera",
       "optiqon: camera at " + Location +
           ": its HID interface was not found, so its firmware cannot be reached"},
      {"erase_busy_reads = never\n", 3,
       "firmware update failed: the flash could not be erased" + lostFirmware,
       "optiqon: camera K3M51-0001: a flash sector stayed busy: erase failed"},
      {"mismatch = 13:3\n", 4,
       "firmware update failed: a page was refused or did not verify" + lostFirmware,
       "optiqon: camera K3M51-0001: page 14 of 30 did not verify: the download failed"},
      {"refuse_write = 13\n", 4,
       "firmware update failed: a page was refused or did not verify" + lostFirmware,
       "optiqon: camera K3M51-0001 refused page 14 of 30: the download failed"},
      {"refuse_read_request = 13:3\n", 4,
       "firmware update failed: a page was refused or did not verify" + lostFirmware,
       "optiqon: camera K3M51-0001: page 14 of 30 did not verify: the download failed"},
      {"unplug_after_reports = 60\n", 4,
       "firmware update failed: a page was refused or did not verify" + lostFirmware,
       "optiqon: camera K3M51-0001 was unplugged during the update, after 19 of 30 pages: it may "
       "be left without working firmware"},
  };
  for (const auto& failure : failures) {
    const auto [code, output] = run("update fw.img", failure.scenario);
    EXPECT_EQ(code, failure.code) << failure.scenario;
    EXPECT_EQ(output.substr(output.rfind('\n', output.size() - 2) + 1), failure.verdict + "\n")
        << output;
    const std::string shown = errors();
    EXPECT_EQ(shown.substr(shown.rfind('\n', shown.size() - 2) + 1), failure.lastError + "\n")
        << shown;
  }
}

TEST_F(OptiqonTool, UnusableImagesAreRefusedBeforeAnythingIsSent) {
  writeFile("empty.img", "");
  writeFile("large.img", "");
  std::filesystem::resize_file(dir_ / "large.img", 65535 * 256 + 1);
  std::filesystem::create_directory(dir_ / "folder.img");
  const std::pair<std::string, std::string> refusals[] = {
      {"missing.img", "optiqon: cannot read the firmware image missing.img\n"},
      {"folder.img", "optiqon: cannot read the firmware image folder.img\n"},
      {"empty.img", "optiqon: the firmware image empty.img cannot be used: the image is empty\n"},
      {"large.img",
       "optiqon: the firmware image large.img cannot be used: the image is 16776961 bytes: the "
       "camera's flash takes at most 16776960\n"},
  };
  for (const auto& [image, message] : refusals) {
    EXPECT_EQ(run("update " + image, "trace = hid.trace\n"), std::make_pair(2, std::string()));
    EXPECT_EQ(errors(), message);
  }
  EXPECT_FALSE(std::filesystem::exists(dir_ / "hid.trace"));
  EXPECT_FALSE(std::filesystem::exists(dir_ / "logfile.txt"));
}

// A value the camera did not answer is never shown or stored as a value: a video device that
// cannot be activated answers nothing, and no temporary folder is needed for any answer.
TEST_F(OptiqonTool, UnansweredValuesAreNeverValues) {
  const std::string failing = "xu = 2.20=01020304, 2.9=2A\nfail = ActivateObject=0x80004005\n";
  EXPECT_EQ(run("get 20 9 --json", failing),
            std::make_pair(3, std::string("{\"properties\":{},\"controls\":{\"20\":null,\"9\":"
                                          "null}}\n")));
  EXPECT_NE(errors().find("optiqon: the camera did not answer for control 20: camera K3M51-0001: "
                          "its video device could not be opened (0x80004005)\n"),
            std::string::npos)
      << errors();
  EXPECT_EQ(run("export p.json", failing).first, 3);
  EXPECT_FALSE(std::filesystem::exists(dir_ / "p.json"));
  const std::string answering = "xu = 2.20=01020304, 2.9=2A\n";
  EXPECT_EQ(runShell("TMPDIR=/nonexistent/tmp", "get 20 9 --json", answering),
            std::make_pair(0, std::string("{\"properties\":{},\"controls\":{\"20\":[1,2,3,4],"
                                          "\"9\":[42]}}\n")));
  EXPECT_EQ(errors(), "");
}

// The serial number comes from the camera as UTF-8 text, or is said to be missing.
TEST_F(OptiqonTool, SerialNumberIsTextOrMissing) {
  const std::string accented = "serial = K3M51-\xC3\xA9\n";
  EXPECT_EQ(run("status --json", accented),
            std::make_pair(0,
                           "{\"camera\":\"present\",\"serial_number\":\"K3M51-\xC3\xA9\","
                           "\"location\":\"" +
                               Location + "\"}\n"));
  ASSERT_EQ(run("export p.json", accented).first, 0) << errors();
  EXPECT_NE(readFile(dir_ / "p.json").find("\"serial_number\": \"K3M51-\xC3\xA9\""),
            std::string::npos);

  const std::string noHid = "camera = absent\n";
  EXPECT_EQ(run("status --json", noHid),
            std::make_pair(3, "{\"camera\":\"present\",\"serial_number\":null,\"location\":\"" +
                                  Location + "\"}\n"));
  EXPECT_EQ(errors(), "optiqon: the camera at " + Location +
                          " gave no serial number: its HID interface was not found\n");
  EXPECT_EQ(run("export p.json", noHid),
            std::make_pair(
                0, "profile of camera (no serial number) at " + Location + " written to p.json\n"));
  EXPECT_EQ(readFile(dir_ / "p.json").find("serial_number"), std::string::npos);
}

// Without its standard output (or error) the update runs to its verdict all the same, and no
// file the camera's side opens takes their place.
TEST_F(OptiqonTool, UpdateRunsToItsVerdictWithStandardStreamsClosed) {
  const std::string image = firmwareImage(30);
  writeFile("fw.img", image);
  EXPECT_EQ(runShell("", "update fw.img >&-", "flash = flash.bin\n").first, 0) << errors();
  EXPECT_EQ(readFile(dir_ / "flash.bin").substr(0, image.size()), image);
  std::filesystem::remove(dir_ / "flash.bin");
  writeFile("errors", "");
  EXPECT_EQ(runShell("", "update fw.img >&- 2>&- <&-", "flash = flash.bin\n").first, 0);
  EXPECT_EQ(readFile(dir_ / "flash.bin").substr(0, image.size()), image);
}

// A late failure (the last page does not verify) is the verdict, with its exit code.
TEST_F(OptiqonTool, LateFailureIsTheVerdict) {
  writeFile("fw.img", firmwareImage(30));
  const auto [code, output] = run("update fw.img", "flash = flash.bin\nmismatch = 29:3\n");
  EXPECT_EQ(code, 4);
  EXPECT_TRUE(
      output.ends_with("downloading 27/30 pages, 0:00 elapsed, 0:00 left\n"
                       "firmware update failed: a page was refused or did not verify; the "
                       "camera has no working firmware until an update succeeds\n"))
      << output;
  EXPECT_EQ(errors(),
            "optiqon: camera K3M51-0001: page 30 of 30 did not verify: the download "
            "failed\n");
}

// While the camera is written, a hang-up and a closed output do not end the tool, the first
// termination request waits for the verdict, and the second ends the run with its warning. The
// update takes its real time here, so that the signals arrive while it runs.
TEST_F(OptiqonTool, UpdateHoldsTheRuleAgainstSignals) {
  const std::string image = firmwareImage(20);
  writeFile("fw.img", image);
  const std::string scenario = "flash = flash.bin\n";
  const std::string signalled =
      "OPTIQON_SIM_CAMERA=camera.scenario '" + std::string(OPTIQON_SIM_PATH) +
      "' update fw.img >out 2>errors & tool=$!; "
      "for i in $(seq 500); do grep -q downloading out && break; sleep 0.02; done; ";
  const std::string realClock = "clock = real\n" + scenario;
  EXPECT_EQ(
      runScript(signalled + "kill -TERM $tool; kill -HUP $tool; wait $tool; echo $?", realClock),
      std::make_pair(0, std::string("0\n")));
  EXPECT_TRUE(readFile(dir_ / "out").ends_with(" pages written and verified in 0:00\n") ||
              readFile(dir_ / "out").ends_with(" pages written and verified in 0:01\n") ||
              readFile(dir_ / "out").ends_with(" pages written and verified in 0:02\n"))
      << readFile(dir_ / "out");
  EXPECT_EQ(errors(),
            "\noptiqon: interrupted: the firmware update goes on, because stopping now would leave "
            "the camera without working firmware. Interrupt again to stop anyway.\n");
  EXPECT_EQ(readFile(dir_ / "flash.bin").substr(0, image.size()), image);

  EXPECT_EQ(runScript(signalled + "kill -TERM $tool; sleep 0.1; kill -TERM $tool; wait $tool; "
                                  "echo $?",
                      realClock),
            std::make_pair(0, std::string("143\n")));
  EXPECT_TRUE(
      errors().ends_with("\noptiqon: interrupted again: stopping; the camera may be left "
                         "without working firmware until an update succeeds.\n"))
      << errors();

  std::filesystem::remove(dir_ / "flash.bin");
  EXPECT_EQ(runScript("OPTIQON_SIM_CAMERA=camera.scenario '" + std::string(OPTIQON_SIM_PATH) +
                          "' update fw.img 2>errors | head -1; echo ${PIPESTATUS[0]}",
                      scenario),
            std::make_pair(0, std::string("erasing the flash for 20 pages\n0\n")));
  EXPECT_EQ(readFile(dir_ / "flash.bin").substr(0, image.size()), image);
}

TEST_F(OptiqonTool, UnknownCommandIsNamed) {
  EXPECT_EQ(run("flash fw.img"), std::make_pair(2, std::string()));
  EXPECT_EQ(errors(), "optiqon: 'flash' is not a command; 'optiqon --help' lists them\n");
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
