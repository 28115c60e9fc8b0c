// The tool's command line and its commands, run in-process over a fake camera in place of the
// library: the chosen command's action runs, a missing camera and bad values end a command with
// their exit codes, and the settings commands read and write only through the camera interface.
#include <gtest/gtest.h>

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "commands.h"
#include "output_format.h"

namespace {

// What a fake camera holds, and what was done to it; kept by the test, since each command owns
// the camera it opens.
struct FakeCameraState {
  std::optional<std::string> serial = "K030M05010-FAKE";
  std::string location = "1-1";
  std::map<int, int> properties;
  std::map<int, std::vector<double>> controls;
  std::vector<std::string> writes;
  // A control that keeps its value whatever is written to it.
  int stuckControl = 0;
};

// A camera that keeps what is written to it, in place of the camera API.
class FakeCamera : public Camera {
 public:
  explicit FakeCamera(FakeCameraState& state) : state_(state) {}

  std::optional<std::string> serialNumber() override { return state_.serial; }
  std::string location() override { return state_.location; }

  Reading read(const Setting& setting) override {
    Reading reading{setting, std::nullopt, std::nullopt};
    if (setting.kind == Setting::Kind::Property) {
      reading.property = state_.properties[setting.number];
    } else if (state_.controls.count(setting.number) != 0) {
      reading.control = state_.controls[setting.number];
    }
    return reading;
  }

  bool write(const Setting& setting, const std::vector<double>& values) override {
    state_.writes.push_back(setting.label);
    if (setting.kind == Setting::Kind::Property) {
      state_.properties[setting.number] = static_cast<int>(values[0]);
    } else if (setting.number != state_.stuckControl) {
      state_.controls[setting.number] = values;
    }
    return true;
  }

  std::optional<PropertyRange> propertyRange(int) override { return std::nullopt; }
  std::optional<PropertyState> readProperty(int property) override {
    return PropertyState{state_.properties[property], false};
  }
  bool writeProperty(int property, long value, bool) override {
    return write(everySetting().at(static_cast<std::size_t>(property)),
                 {static_cast<double>(value)});
  }

  bool writeRegister(unsigned char, unsigned char) override { return false; }
  RegisterAnswer readRegister() override { return {}; }
  bool sendPassword(const std::string&) override { return false; }
  bool storeSettings() override { return true; }
  bool restoreFactorySettings() override { return true; }
  std::string lastFailure() override { return "no answer"; }
  UpdateVerdict updateFirmware(const std::vector<unsigned char>&, const PageProgress&) override {
    return {};
  }

 private:
  FakeCameraState& state_;
};

// The cameras on the fake PC.
std::vector<FakeCameraState*> camerasThere;
int camerasLookedFor = 0;

}  // namespace

std::vector<CameraListing> listCameras() {
  std::vector<CameraListing> listings;
  for (FakeCameraState* camera : camerasThere) {
    listings.push_back({camera->serial, camera->location, true, camera->serial.has_value()});
  }
  return listings;
}

// As the camera API chooses: by location, by serial number, or the only camera.
std::unique_ptr<Camera> openCamera(const CameraWanted& wanted) {
  ++camerasLookedFor;
  std::vector<FakeCameraState*> fitting;
  for (FakeCameraState* camera : camerasThere) {
    if (wanted.location ? camera->location == *wanted.location
                        : !wanted.serial || camera->serial == wanted.serial) {
      fitting.push_back(camera);
    }
  }
  if (fitting.empty()) {
    throw CommandFailure(NoCamera, "no camera found");
  }
  if (fitting.size() > 1) {
    throw CommandFailure(BadUsage, "several cameras: choose one");
  }
  return std::make_unique<FakeCamera>(*fitting.front());
}

unsigned checkFirmwareImage(const std::vector<unsigned char>& image) {
  return static_cast<unsigned>(image.size() / 256);
}

namespace {

class ToolCommands : public ::testing::Test {
 protected:
  ToolCommands() {
    addCameraOptions(app_, options_);
    addSettingsCommands(commands_);
  }
  ~ToolCommands() override {
    camerasThere.clear();
    camerasLookedFor = 0;
  }

  struct Run {
    int code;
    std::string output;
    std::string errors;
  };

  // The command line parsed and its command run, and a failure that ends it shown, as main does.
  Run run(std::vector<std::string> arguments) {
    arguments.insert(arguments.begin(), "optiqon");
    std::vector<char*> argv;
    for (std::string& argument : arguments) {
      argv.push_back(argument.data());
    }
    app_.parse(static_cast<int>(argv.size()), argv.data());
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    int code = 0;
    try {
      code = commands_.runChosen(CommandContext(options_));
    } catch (const CommandFailure& failure) {
      code = failure.exitCode();
      printProblem(failure.what());
    }
    std::string output = testing::internal::GetCapturedStdout();
    return {code, output, testing::internal::GetCapturedStderr()};
  }

  CLI::App app_{"optiqon"};
  GlobalOptions options_;
  CommandRegistry commands_{app_};
};

TEST_F(ToolCommands, TheChosenCommandsActionRunsWithTheContext) {
  const GlobalOptions* given = nullptr;
  commands_.add("first", "First", [](const CommandContext&) { return 10; });
  commands_.add("second", "Second", [&given](const CommandContext& context) {
    given = &context.options();
    return 20;
  });
  EXPECT_EQ(run({"second"}).code, 20);
  EXPECT_EQ(given, &options_);
  EXPECT_EQ(run({"first"}).code, 10);
}

TEST_F(ToolCommands, NoCommandChosenIsBadUsage) {
  EXPECT_EQ(run({}).code, BadUsage);
  EXPECT_EQ(camerasLookedFor, 0);
}

TEST_F(ToolCommands, EachCommandsHelpEndsWithItsExitCodes) {
  commands_.add(
      "update", "Update", [](const CommandContext&) { return 0; }, UpdateExitCodesHelp);
  EXPECT_TRUE(app_.get_subcommand("status")->get_footer().ends_with(ExitCodesHelp));
  EXPECT_TRUE(app_.get_subcommand("update")->get_footer().ends_with(UpdateExitCodesHelp));
  EXPECT_TRUE(app_.get_subcommand("status")->get_footer().starts_with(CameraChoiceHelp));
}

TEST_F(ToolCommands, MissingCameraEndsTheCommandWithItsCode) {
  const Run show = run({"show"});
  EXPECT_EQ(show.code, NoCamera);
  EXPECT_EQ(show.output, "");
  EXPECT_EQ(show.errors, "optiqon: no camera found\n");
  const Run status = run({"status", "--json"});
  EXPECT_EQ(status.code, NoCamera);
  EXPECT_EQ(status.output, "{\"camera\":\"absent\"}\n");
}

TEST_F(ToolCommands, StatusTellsTheSerialNumber) {
  FakeCameraState camera;
  camerasThere = {&camera};
  const Run status = run({"status"});
  EXPECT_EQ(status.code, Ok);
  EXPECT_EQ(status.output,
            "camera                  present\n"
            "serial number           K030M05010-FAKE\n"
            "location                1-1\n");
}

TEST_F(ToolCommands, BadValuesAreNamedBeforeTheCameraIsLookedFor) {
  FakeCameraState camera;
  camerasThere = {&camera};
  const Run set = run({"set", "brightness=x", "gain=2", "20=1,2"});
  EXPECT_EQ(set.code, BadUsage);
  EXPECT_EQ(set.errors,
            "optiqon: 'brightness=x': 'x' is not a whole number\n"
            "optiqon: '20=1,2': control 20 takes 4 bytes, not 2\n");
  EXPECT_EQ(camerasLookedFor, 0);
  EXPECT_TRUE(camera.writes.empty());
  EXPECT_EQ(run({"get", "brightness", "40"}).code, BadUsage);
  EXPECT_EQ(camerasLookedFor, 0);
}

TEST_F(ToolCommands, SetWritesEachValueAndNamesOneThatDidNotTake) {
  FakeCameraState camera;
  camera.stuckControl = 21;
  camerasThere = {&camera};
  const Run set = run({"set", "gain=4", "21=9,9,9,9", "20=1,2,3,4"});
  EXPECT_EQ(set.code, Refused);
  EXPECT_EQ(camera.writes, (std::vector<std::string>{"gain", "control 21", "control 20"}));
  EXPECT_EQ(set.output,
            "gain                    4\n"
            "control 21              unreadable\n"
            "control 20              1,2,3,4\n");
  EXPECT_EQ(set.errors, "optiqon: control 21 did not take the value 9,9,9,9\n");
  EXPECT_EQ(camerasLookedFor, 1);
}

TEST_F(ToolCommands, ShowNamesEachValueTheCameraDidNotAnswerFor) {
  FakeCameraState camera;
  camerasThere = {&camera};
  const Run get = run({"get", "hue", "20", "--json"});
  EXPECT_EQ(get.code, Refused);
  EXPECT_EQ(get.output, "{\"properties\":{\"hue\":0},\"controls\":{\"20\":null}}\n");
  EXPECT_EQ(get.errors, "optiqon: the camera did not answer for control 20: no answer\n");
}

// A camera whose HID interface was not found gave no serial number: said so, never made up.
TEST_F(ToolCommands, StatusOfACameraWithoutItsSerialNumber) {
  FakeCameraState camera;
  camera.serial.reset();
  camerasThere = {&camera};
  const Run status = run({"status", "--json"});
  EXPECT_EQ(status.code, Refused);
  EXPECT_EQ(status.output,
            "{\"camera\":\"present\",\"serial_number\":null,\"location\":\"1-1\"}\n");
  EXPECT_EQ(status.errors,
            "optiqon: the camera at 1-1 gave no serial number: its HID interface was not found\n");
}

class ToolCommandsOnSeveralCameras : public ToolCommands {
 protected:
  ToolCommandsOnSeveralCameras() {
    first_.serial = "K3M51-A001";
    second_.serial = "K3M51-B002";
    second_.location = "1-2";
    second_.properties[0] = 7;
    camerasThere = {&first_, &second_};
  }

  FakeCameraState first_;
  FakeCameraState second_;
};

// A command that changes a camera needs it named; nothing is written to any.
TEST_F(ToolCommandsOnSeveralCameras, SetWithoutSerialSendsNothing) {
  const Run set = run({"set", "gain=4"});
  EXPECT_EQ(set.code, BadUsage);
  EXPECT_EQ(set.errors, "optiqon: several cameras: choose one\n");
  EXPECT_TRUE(first_.writes.empty());
  EXPECT_TRUE(second_.writes.empty());
}

TEST_F(ToolCommandsOnSeveralCameras, SetTakesOneSerialOnly) {
  EXPECT_EQ(run({"set", "--serial", "K3M51-A001", "--serial", "K3M51-B002", "gain=4"}).code,
            BadUsage);
  EXPECT_TRUE(first_.writes.empty());
  EXPECT_TRUE(second_.writes.empty());
}

TEST_F(ToolCommandsOnSeveralCameras, SetWithSerialChangesThatCameraAlone) {
  const Run set = run({"set", "--serial", "K3M51-B002", "gain=4"});
  EXPECT_EQ(set.code, Ok) << set.errors;
  EXPECT_TRUE(first_.writes.empty());
  EXPECT_EQ(second_.writes, std::vector<std::string>{"gain"});
}

TEST_F(ToolCommandsOnSeveralCameras, UnknownSerialIsNoCamera) {
  EXPECT_EQ(run({"--serial", "K3M51-X999", "set", "gain=4"}).code, NoCamera);
  EXPECT_TRUE(first_.writes.empty());
  EXPECT_TRUE(second_.writes.empty());
}

// Reading commands act on each camera in turn, each block headed by the camera. (CLI11 keeps
// what one parse set, so each test parses once.)
TEST_F(ToolCommandsOnSeveralCameras, GetReadsEachCameraInTurn) {
  const Run get = run({"get", "brightness"});
  EXPECT_EQ(get.code, Ok);
  EXPECT_EQ(get.output,
            "[K3M51-A001]\n"
            "brightness              0\n"
            "[K3M51-B002]\n"
            "brightness              7\n");
}

TEST_F(ToolCommandsOnSeveralCameras, GetAsJsonGivesAnObjectPerCamera) {
  const Run json = run({"get", "brightness", "--json"});
  EXPECT_EQ(json.output,
            "{\"serial_number\":\"K3M51-A001\",\"location\":\"1-1\",\"properties\":{"
            "\"brightness\":0},\"controls\":{}}\n"
            "{\"serial_number\":\"K3M51-B002\",\"location\":\"1-2\",\"properties\":{"
            "\"brightness\":7},\"controls\":{}}\n");
}

TEST_F(ToolCommandsOnSeveralCameras, GetWithSerialReadsThatCameraAlone) {
  EXPECT_EQ(run({"get", "--serial", "K3M51-B002", "brightness"}).output,
            "brightness              7\n");
}

// Two cameras that give one serial number: --serial cannot choose, --location can.
TEST_F(ToolCommandsOnSeveralCameras, SameSerialIsRefused) {
  second_.serial = first_.serial;
  EXPECT_EQ(run({"set", "--serial", "K3M51-A001", "gain=4"}).code, BadUsage);
  EXPECT_TRUE(first_.writes.empty());
  EXPECT_TRUE(second_.writes.empty());
}

TEST_F(ToolCommandsOnSeveralCameras, SameSerialIsChosenByLocation) {
  second_.serial = first_.serial;
  EXPECT_EQ(run({"set", "--location", "1-2", "gain=4"}).code, Ok);
  EXPECT_TRUE(first_.writes.empty());
  EXPECT_EQ(second_.writes, std::vector<std::string>{"gain"});
}

TEST_F(ToolCommandsOnSeveralCameras, SerialAndLocationTogetherAreBadUsage) {
  EXPECT_EQ(run({"set", "--location", "1-2", "--serial", "K3M51-B002", "gain=4"}).code, BadUsage);
  EXPECT_TRUE(second_.writes.empty());
}

}  // namespace
