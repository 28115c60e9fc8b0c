// The tool's command line and its commands, run in-process over a fake camera in place of the
// library: the chosen command's action runs, a missing camera and bad values end a command with
// their exit codes, and the settings commands read and write only through the camera interface.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "commands.h"
#include "output_format.h"

namespace {

// What the fake camera holds, and what was done to it; kept by the test, since each command
// owns the camera it opens.
struct FakeCameraState {
  std::map<int, int> properties;
  std::map<int, std::vector<double>> controls;
  std::vector<std::string> writes;
  // A control that keeps its value whatever is written to it.
  int stuckControl = 0;
};

// A camera that keeps what is written to it, in place of the library.
class FakeCamera : public Camera {
 public:
  explicit FakeCamera(FakeCameraState& state) : state_(state) {}

  std::string serialNumber() override { return "K030M05010-FAKE"; }

  Reading read(const Setting& setting) override {
    Reading reading{setting, std::nullopt, std::nullopt};
    if (setting.kind == Setting::Kind::Property) {
      reading.property = state_.properties[setting.number];
    } else if (state_.controls.count(setting.number) != 0) {
      reading.control = state_.controls[setting.number];
    }
    return reading;
  }

  void write(const Setting& setting, const std::vector<double>& values) override {
    state_.writes.push_back(setting.label);
    if (setting.kind == Setting::Kind::Property) {
      state_.properties[setting.number] = static_cast<int>(values[0]);
    } else if (setting.number != state_.stuckControl) {
      state_.controls[setting.number] = values;
    }
  }

  bool writeRegister(unsigned char, unsigned char) override { return false; }
  RegisterAnswer readRegister() override { return {}; }
  bool sendPassword(const std::string&) override { return false; }
  int storeSettings() override { return 0; }
  int restoreFactorySettings() override { return 0; }

 private:
  FakeCameraState& state_;
};

// The camera findCamera finds: none while this is null.
FakeCameraState* cameraThere = nullptr;
int camerasLookedFor = 0;

}  // namespace

std::unique_ptr<Camera> findCamera(const CameraChoice&) {
  ++camerasLookedFor;
  if (cameraThere == nullptr) {
    return nullptr;
  }
  return std::make_unique<FakeCamera>(*cameraThere);
}

namespace {

class ToolCommands : public ::testing::Test {
 protected:
  ToolCommands() { addSettingsCommands(commands_); }
  ~ToolCommands() override {
    cameraThere = nullptr;
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
  CommandRegistry commands_{app_};
  GlobalOptions options_;
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
  EXPECT_EQ(app_.get_subcommand("status")->get_footer(), ExitCodesHelp);
  EXPECT_EQ(app_.get_subcommand("update")->get_footer(), UpdateExitCodesHelp);
}

TEST_F(ToolCommands, MissingCameraEndsTheCommandWithItsCode) {
  const Run show = run({"show"});
  EXPECT_EQ(show.code, NoCamera);
  EXPECT_EQ(show.output, "");
  EXPECT_EQ(show.errors, "optiqon: no camera named \"Corvantis Optiqon\" is connected\n");
  const Run status = run({"status", "--json"});
  EXPECT_EQ(status.code, NoCamera);
  EXPECT_EQ(status.output, "{\"camera\":\"absent\"}\n");
}

TEST_F(ToolCommands, StatusTellsTheSerialNumber) {
  FakeCameraState camera;
  cameraThere = &camera;
  const Run status = run({"status"});
  EXPECT_EQ(status.code, Ok);
  EXPECT_EQ(status.output,
            "camera                  present\n"
            "serial number           K030M05010-FAKE\n");
}

TEST_F(ToolCommands, BadValuesAreNamedBeforeTheCameraIsLookedFor) {
  FakeCameraState camera;
  cameraThere = &camera;
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
  cameraThere = &camera;
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
  cameraThere = &camera;
  const Run get = run({"get", "hue", "20", "--json"});
  EXPECT_EQ(get.code, Refused);
  EXPECT_EQ(get.output, "{\"properties\":{\"hue\":0},\"controls\":{\"20\":null}}\n");
  EXPECT_EQ(get.errors, "optiqon: the camera did not answer for control 20\n");
}

}  // namespace
