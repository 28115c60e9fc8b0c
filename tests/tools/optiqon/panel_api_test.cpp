// The panel's JSON interface end to end: `optiqon_sim panel` run as a process against a simulated
// PC of three cameras (A, B whose flash refuses a page, C pulled out after so many calls), asked
// as a script asks it over HTTP, its answers checked against the cameras' own files, the video
// trace and the tool's `get`. Every test ends by finding the panel still running and stopping it
// with SIGTERM.
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include <gtest/gtest.h>

#include "panel_process.h"
#include "scratch_directory.h"
#include "shell_command.h"

namespace {

namespace fs = std::filesystem;
using namespace panel_test;

const std::string LocationA = "PCIROOT(0)#PCI(1400)#USBROOT(0)#USB(1)#USB(1)";
const std::string LocationB = "PCIROOT(0)#PCI(1400)#USBROOT(0)#USB(1)#USB(2)";
const std::string LocationC = "PCIROOT(0)#PCI(1400)#USBROOT(0)#USB(1)#USB(3)";

// The real clock, so that an update of a few pages takes about a second: long enough to be asked
// about while it runs.
const std::string ThreeCameras =
    "clock = real\n"
    "serial = K3M51-A001\ncamera_settings = a.settings\nvideo_trace = a.trace\n"
    "[camera]\nserial = K3M51-B002\ncamera_settings = b.settings\nrefuse_write = 2\n"
    "[camera]\nserial = K3M51-C003\ncamera_settings = c.settings\nplugged = c.plugged\n"
    "unplug_after_controls = 70\n";

std::string textOf(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// A location as a query parameter carries it.
std::string percentEncoded(const std::string& text) {
  static const char* const Hex = "0123456789ABCDEF";
  std::string encoded;
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (std::isalnum(byte) != 0 || c == '-' || c == '_' || c == '.') {
      encoded += c;
    } else {
      encoded += {'%', Hex[byte >> 4], Hex[byte & 15]};
    }
  }
  return encoded;
}

// The trace's lines that change the camera: a property set, a control written (a KsProperty
// whose flags are KSPROPERTY_TYPE_SET | KSPROPERTY_TYPE_TOPOLOGY).
std::vector<std::string> writesIn(const std::string& trace) {
  std::vector<std::string> writes;
  std::istringstream lines(trace);
  for (std::string line; std::getline(lines, line);) {
    if (line.find(" Set ") != std::string::npos || line.find("0200001002") != std::string::npos) {
      writes.push_back(line);
    }
  }
  return writes;
}

class PanelApi : public ::testing::Test {
 protected:
  void start(const std::string& scenario = ThreeCameras) {
    std::ofstream(dir_ / "pc.scenario") << scenario;
    std::ofstream(dir_ / "c.plugged") << "in\n";
    panel_ = std::make_unique<PanelProcess>(dir_);
    client_ = std::make_unique<PanelClient>(*panel_);
  }

  void TearDown() override {
    if (panel_) {
      EXPECT_TRUE(panel_->running()) << textOf(dir_ / "panel.err");
      const auto [code, took] = panel_->stop();
      EXPECT_EQ(code, 0);
      EXPECT_LT(took, 2s);
    }
  }

  const PanelClient& api() const { return *client_; }

  // What the tool's own `get` reads from the camera, as another program sharing it.
  std::string toolGet(const std::string& serial, const std::string& names) {
    return runCommand("cd '" + dir_.string() + "' && XDG_CONFIG_HOME='" + dir_.string() +
                      "/config' OPTIQON_SIM_CAMERA=pc.scenario '" + OPTIQON_SIM_PATH +
                      "' get --json --serial " + serial + " " + names + " 2>&1")
        .second;
  }

  std::string trace() const { return textOf(dir_ / "a.trace"); }

  ScratchDirectory scratch_{"optiqon-panel"};
  const fs::path& dir_ = scratch_.path();
  std::unique_ptr<PanelProcess> panel_;
  std::unique_ptr<PanelClient> client_;
};

const std::string BrightnessZero = "{\"properties\":{\"brightness\":0},\"controls\":{}}\n";

Json listing(const std::string& serial, const std::string& location) {
  return {
      {"serial_number", serial}, {"location", location}, {"video_side", true}, {"hid_side", true}};
}

const Json ThreeListed = {{"cameras",
                           {listing("K3M51-A001", LocationA), listing("K3M51-B002", LocationB),
                            listing("K3M51-C003", LocationC)}}};

TEST_F(PanelApi, ListsEveryCameraAndTheStreamBeginsWithTheList) {
  start();
  const Answer listed = api().get("/api/cameras");
  EXPECT_EQ(listed.status, 200);
  EXPECT_EQ(listed.contentType, "application/json");
  EXPECT_EQ(listed.json(), ThreeListed);

  EventStream stream(*panel_);
  const std::vector<StreamedEvent> events = stream.waitForCount(1);
  ASSERT_FALSE(events.empty());
  EXPECT_EQ(events[0].name, "cameras");
  EXPECT_EQ(events[0].data, ThreeListed);
}

TEST_F(PanelApi, SettingsGiveEachPropertyWithItsRangeAndModeAndEveryControl) {
  start();
  const Answer answer = api().get("/api/cameras/K3M51-A001/settings");
  ASSERT_EQ(answer.status, 200) << answer.body;
  const Json settings = answer.json();
  EXPECT_EQ(settings["serial_number"], "K3M51-A001");
  EXPECT_EQ(settings["location"], LocationA);
  ASSERT_EQ(settings["properties"].size(), 10u);
  EXPECT_EQ(settings["properties"][0], Json::parse(R"({"name":"brightness","value":0,
      "automatic":false,"minimum":-64,"maximum":64,"step":1,"default":0,"automatic_mode":false,
      "unreadable":null})"));
  // White balance has an automatic mode, and the camera powers up in it.
  EXPECT_EQ(settings["properties"][7], Json::parse(R"({"name":"white-balance","value":4600,
      "automatic":true,"minimum":2800,"maximum":6500,"step":10,"default":4600,
      "automatic_mode":true,"unreadable":null})"));
  ASSERT_EQ(settings["controls"].size(), 39u);
  EXPECT_EQ(settings["controls"][19], Json::parse(R"({"name":"control 20","number":20,
      "length":4,"value":[0,0,0,0],"settable":true,"unreadable":null})"));
  EXPECT_EQ(settings["controls"][2]["name"], "control 3");
  EXPECT_EQ(settings["controls"][2]["settable"], false);
  EXPECT_EQ(settings["controls"][5]["settable"], false);
  EXPECT_EQ(settings["controls"][29]["value"], -0.45);  // control 30: its number, not a byte
}

TEST_F(PanelApi, ValuesAreWrittenInOrderAndEachIsReadBack) {
  start();
  const Answer answer = api().put("/api/cameras/K3M51-A001/settings",
                                  R"({"brightness": -10, "control 20": [1, 2, 3, 4], "21": [9, 8,
                                  7, 6], "30": 1.0, "white-balance": 5000})");
  ASSERT_EQ(answer.status, 200) << answer.body;
  Json expected = Json::parse(R"({"values":[
      {"name":"brightness","value":-10,"automatic":false,"took":true,"refusal":null},
      {"name":"control 20","value":[1,2,3,4],"took":true,"refusal":null},
      {"name":"control 21","value":[9,8,7,6],"took":true,"refusal":null},
      {"name":"control 30","value":null,"took":true,"refusal":null},
      {"name":"white-balance","value":5000,"automatic":false,"took":true,"refusal":null}]})");
  // 1.0 is written as byte 11, which reads back as 11 * 0.05 - 0.45, as the camera scales it.
  expected["values"][3]["value"] = 11 * 0.05 - 0.45;
  EXPECT_EQ(answer.json(), expected);
  EXPECT_EQ(toolGet("K3M51-A001", "brightness 20 21 white-balance"),
            "{\"properties\":{\"brightness\":-10,\"white-balance\":5000},"
            "\"controls\":{\"20\":[1,2,3,4],\"21\":[9,8,7,6]}}\n");

  // Handed back to the camera: the value stays, the mode changes.
  const Answer automatic =
      api().put("/api/cameras/K3M51-A001/settings", R"({"white-balance": "auto"})");
  ASSERT_EQ(automatic.status, 200) << automatic.body;
  EXPECT_EQ(automatic.json()["values"][0], Json::parse(R"({"name":"white-balance","value":5000,
      "automatic":true,"took":true,"refusal":null})"));
  EXPECT_EQ(api().get("/api/cameras/K3M51-A001/settings").json()["properties"][7]["automatic"],
            true);
  // The other cameras were left alone.
  EXPECT_EQ(toolGet("K3M51-B002", "brightness"), BrightnessZero);
}

TEST_F(PanelApi, BadValuesAreRefusedWholeAsSetRefusesThemAndNothingIsSent) {
  start();
  ASSERT_EQ(api().get("/api/cameras/K3M51-A001/settings").status, 200);
  const std::string before = trace();

  const Answer answer =
      api().put("/api/cameras/K3M51-A001/settings",
                R"({"brightness": 10, "20": [1, 2, 3], "contrast": "7", "hue": 1.5,
                    "control 3": [1], "zoom": 2, "21": [1, 2, 3, 256]})");
  EXPECT_EQ(answer.status, 400);
  EXPECT_EQ(answer.json(), Json::parse(R"({"error":"6 values are refused: nothing sent",
      "problems":[
      {"name":"control 20","message":"'20=1,2,3': control 20 takes 4 bytes, not 3"},
      {"name":"contrast","message":"'contrast=\"7\"': '\"7\"' is not a whole number"},
      {"name":"hue","message":"'hue=1.5': '1.5' is not a whole number"},
      {"name":"control 3","message":"'3=1': control 3 is the register control: use 'optiqon register'"},
      {"name":"zoom","message":"'zoom=2': 'zoom' is neither an image property nor a vendor control number"},
      {"name":"control 21","message":"'21=1,2,3,256': byte 256 is outside 0 to 255"}]})"));

  const Answer one = api().put("/api/cameras/K3M51-A001/settings", R"({"brightness": [1, 2]})");
  EXPECT_EQ(one.status, 400);
  EXPECT_EQ(one.json()["error"], "'brightness=1,2': '1,2' is not a whole number: nothing sent");
  // An automatic mode the camera does not offer: its range is read, nothing is written.
  const Answer automatic =
      api().put("/api/cameras/K3M51-A001/settings", R"({"contrast": 5, "brightness": "auto"})");
  EXPECT_EQ(automatic.status, 400);
  EXPECT_EQ(automatic.json()["error"],
            "'brightness=auto': the camera has no automatic mode for it: nothing sent");
  const Answer control = api().put("/api/cameras/K3M51-A001/settings", R"({"20": "auto"})");
  EXPECT_EQ(control.json()["error"], "'20=auto': control 20 has no automatic mode: nothing sent");

  for (const std::string& body : {std::string(R"({"brightness": )"), std::string("[1, 2]"),
                                  std::string("{}"), std::string(40, '[') + std::string(40, ']')}) {
    const Answer malformed = api().put("/api/cameras/K3M51-A001/settings", body);
    EXPECT_EQ(malformed.status, 400) << body;
    EXPECT_TRUE(malformed.json().contains("error")) << body;
  }
  EXPECT_EQ(
      api()
          .ask(http::verb::put, "/api/cameras/K3M51-A001/settings", R"({"hue": 1})", "text/plain")
          .status,
      415);

  EXPECT_EQ(writesIn(trace()), writesIn(before));
  EXPECT_EQ(
      toolGet("K3M51-A001", "brightness contrast 20"),
      "{\"properties\":{\"brightness\":0,\"contrast\":32},\"controls\":{\"20\":[0,0,0,0]}}\n");
}

TEST_F(PanelApi, AValueTheCameraRefusesIsNamedWithItsReasonAndTheOthersAreWritten) {
  start();
  const Answer answer = api().put("/api/cameras/K3M51-A001/settings",
                                  R"({"contrast": 5, "brightness": 9999, "gain": 7})");
  EXPECT_EQ(answer.status, 422);
  EXPECT_EQ(answer.json(), Json::parse(R"({"values":[
      {"name":"contrast","value":5,"automatic":false,"took":true,"refusal":null},
      {"name":"brightness","value":0,"automatic":false,"took":false,
       "refusal":"9999 is outside the range of image property 0, -64 to 64"},
      {"name":"gain","value":7,"automatic":false,"took":true,"refusal":null}],
      "error":"brightness did not take the value: 9999 is outside the range of image property 0, -64 to 64"})"));
  EXPECT_EQ(toolGet("K3M51-A001", "contrast brightness gain"),
            "{\"properties\":{\"contrast\":5,\"brightness\":0,\"gain\":7},\"controls\":{}}\n");
}

TEST_F(PanelApi, SaveResetAndThePassword) {
  start();
  EXPECT_EQ(api().post("/api/cameras/K3M51-A001/password", R"({"password": "0000"})").json(),
            Json::parse(R"({"error":"camera K3M51-A001 did not take the password"})"));
  EXPECT_EQ(api().post("/api/cameras/K3M51-A001/password", R"({"password": "0000"})").status, 422);
  const Answer bad = api().post("/api/cameras/K3M51-A001/password", R"({"password": "12345"})");
  EXPECT_EQ(bad.status, 400);
  EXPECT_EQ(bad.json()["error"], "the password '12345' is not four hexadecimal digits");
  EXPECT_EQ(api().post("/api/cameras/K3M51-A001/password", R"({"password": 1234})").status, 400);
  const Answer accepted = api().post("/api/cameras/K3M51-A001/password", R"({"password": "1a2b"})");
  EXPECT_EQ(accepted.status, 200);
  EXPECT_EQ(accepted.json(), Json::parse(R"({"result":"accepted"})"));

  ASSERT_EQ(api().put("/api/cameras/K3M51-A001/settings", R"({"brightness": 12})").status, 200);
  const Answer saved = api().post("/api/cameras/K3M51-A001/save");
  EXPECT_EQ(saved.status, 200);
  EXPECT_EQ(saved.json(), Json::parse(R"({"result":"saved"})"));
  EXPECT_TRUE(fs::exists(dir_ / "a.settings.saved"));

  const Answer reset = api().post("/api/cameras/K3M51-A001/reset");
  EXPECT_EQ(reset.status, 200);
  EXPECT_EQ(reset.json(), Json::parse(R"({"result":"reset"})"));
  EXPECT_FALSE(fs::exists(dir_ / "a.settings.saved"));
  EXPECT_EQ(toolGet("K3M51-A001", "brightness"), BrightnessZero);

  const Answer wrongMethod = api().get("/api/cameras/K3M51-A001/save");
  EXPECT_EQ(wrongMethod.status, 405);
  EXPECT_EQ(wrongMethod.headers["Allow"], "POST");
}

TEST_F(PanelApi, TheCamerasRefusalOfASaveIsItsReason) {
  // Every extension-unit request fails, as a camera whose unit is stuck: the settings are still
  // read, each control named with why it is unreadable.
  start("clock = real\nserial = K3M51-A001\nfail = KsProperty=0x80070005\n");
  const Answer saved = api().post("/api/cameras/K3M51-A001/save");
  EXPECT_EQ(saved.status, 422);
  EXPECT_EQ(saved.json()["error"],
            "the camera refused to save its settings: camera K3M51-A001: saving the settings "
            "failed (0x80070005)");
  const Answer settings = api().get("/api/cameras/K3M51-A001/settings");
  ASSERT_EQ(settings.status, 200);
  EXPECT_EQ(settings.json()["controls"][0]["value"], nullptr);
  EXPECT_EQ(settings.json()["controls"][0]["unreadable"],
            "camera K3M51-A001: reading a vendor control failed (0x80070005)");
  EXPECT_EQ(settings.json()["properties"][0]["value"], 0);
  const Answer exported = api().get("/api/cameras/K3M51-A001/profile");
  EXPECT_EQ(exported.status, 422);
  EXPECT_EQ(exported.json()["error"],
            "the camera did not answer for control 1: camera K3M51-A001: reading a vendor "
            "control failed (0x80070005): no profile written");
}

TEST_F(PanelApi, AProfileExportedFromOneCameraIsComparedWithAndImportedIntoAnother) {
  start();
  ASSERT_EQ(api()
                .put("/api/cameras/K3M51-A001/settings", R"({"brightness": 10, "20": [1,2,3,4]})")
                .status,
            200);
  const Answer exported = api().get("/api/cameras/K3M51-A001/profile");
  ASSERT_EQ(exported.status, 200);
  EXPECT_EQ(exported.contentType, "application/json");
  EXPECT_EQ(exported.headers["Content-Disposition"], "attachment; filename=\"K3M51-A001.json\"");
  const Json profile = exported.json();
  EXPECT_EQ(profile["format"], 1);
  EXPECT_EQ(profile["serial_number"], "K3M51-A001");
  EXPECT_EQ(profile["properties"].size(), 10u);
  EXPECT_EQ(profile["controls"].size(), 37u);  // every control but 3 and 6

  const Answer dryRun = api().post("/api/cameras/K3M51-B002/profile?dry_run=1", exported.body);
  ASSERT_EQ(dryRun.status, 200) << dryRun.body;
  EXPECT_EQ(dryRun.json(), Json::parse(R"({"changes":[
      {"name":"brightness","current":0,"profile":10},
      {"name":"control 20","current":[0,0,0,0],"profile":[1,2,3,4]}]})"));
  EXPECT_EQ(toolGet("K3M51-B002", "brightness"), BrightnessZero);

  const Answer imported = api().post("/api/cameras/K3M51-B002/profile", exported.body);
  ASSERT_EQ(imported.status, 200) << imported.body;
  EXPECT_EQ(imported.json()["values"].size(), 47u);
  EXPECT_EQ(imported.json()["values"][0], Json::parse(R"({"name":"brightness","value":10,
      "automatic":false,"took":true,"refusal":null})"));
  EXPECT_EQ(toolGet("K3M51-B002", "brightness 20"),
            "{\"properties\":{\"brightness\":10},\"controls\":{\"20\":[1,2,3,4]}}\n");
  EXPECT_EQ(api().post("/api/cameras/K3M51-B002/profile?dry_run=true", exported.body).json(),
            Json::parse(R"({"changes":[]})"));
}

TEST_F(PanelApi, AProfileIsCheckedWholeBeforeAnythingIsSent) {
  start();
  const std::string before = trace();
  const Answer refused = api().post(
      "/api/cameras/K3M51-A001/profile",
      R"({"format": 1, "properties": {"brightness": 5, "hue": "x"}, "controls": {"20": [1]}, "extra": 1})");
  EXPECT_EQ(refused.status, 400);
  EXPECT_EQ(refused.json(), Json::parse(R"({"error":"the profile has 3 bad parts: nothing sent",
      "problems":[
      {"name":null,"message":"the profile: unknown entry \"extra\""},
      {"name":null,"message":"the profile: properties \"hue\": \"x\" is not a whole number"},
      {"name":null,"message":"the profile: controls \"20\": control 20 takes 4 bytes, not 1"}]})"));
  const Answer format = api().post("/api/cameras/K3M51-A001/profile", R"({"format": 2})");
  EXPECT_EQ(format.json()["error"],
            "the profile: profile format 2 is not one this optiqon reads (it reads format 1): "
            "nothing sent");
  const Answer notJson = api().post("/api/cameras/K3M51-A001/profile", "{");
  EXPECT_EQ(notJson.status, 400);
  EXPECT_EQ(api().post("/api/cameras/K3M51-A001/profile?dry_run=maybe", "{}").status, 400);
  EXPECT_EQ(writesIn(trace()), writesIn(before));
  EXPECT_EQ(toolGet("K3M51-A001", "brightness"), BrightnessZero);
}

TEST_F(PanelApi, TheKeptProfileIsRememberedReadAndForgotten) {
  start();
  const fs::path file = dir_ / "config/optiqon/cameras/K3M51-A001.json";
  const Answer none = api().get("/api/cameras/K3M51-A001/kept");
  EXPECT_EQ(none.status, 404);
  EXPECT_EQ(none.json()["error"], "camera K3M51-A001 has no kept profile");

  ASSERT_EQ(api().put("/api/cameras/K3M51-A001/settings", R"({"brightness": 3})").status, 200);
  const Answer remembered = api().ask(http::verb::put, "/api/cameras/K3M51-A001/kept");
  ASSERT_EQ(remembered.status, 200) << remembered.body;
  EXPECT_EQ(remembered.json(), (Json{{"serial_number", "K3M51-A001"}, {"file", file.string()}}));
  const Answer kept = api().get("/api/cameras/K3M51-A001/kept");
  ASSERT_EQ(kept.status, 200);
  EXPECT_EQ(kept.json()["profile"], Json::parse(textOf(file)));
  EXPECT_EQ(kept.json()["profile"]["properties"]["brightness"], 3);
  EXPECT_EQ(kept.json()["unusable"], nullptr);

  // A profile given is checked whole, and kept as it was sent: a camera not plugged in too.
  const std::string given = R"({"format": 1, "properties": {"gain": 4}})";
  EXPECT_EQ(
      api()
          .put("/api/cameras/K3M51-Z999/kept", R"({"format": 1, "properties": {"gain": "4"}})")
          .status,
      400);
  EXPECT_FALSE(fs::exists(dir_ / "config/optiqon/cameras/K3M51-Z999.json"));
  EXPECT_EQ(api().put("/api/cameras/K3M51-Z999/kept", given).status, 200);
  EXPECT_EQ(textOf(dir_ / "config/optiqon/cameras/K3M51-Z999.json"), given);

  const Answer forgotten = api().remove("/api/cameras/K3M51-A001/kept");
  EXPECT_EQ(forgotten.json(), Json::parse(R"({"serial_number":"K3M51-A001","forgotten":true})"));
  EXPECT_FALSE(fs::exists(file));
  EXPECT_EQ(api().remove("/api/cameras/K3M51-A001/kept").json()["forgotten"], false);
  EXPECT_EQ(api().remove("/api/cameras/K3M51-Z999/kept").json()["forgotten"], true);

  // An unusable kept profile is shown as such.
  fs::create_directories(file.parent_path());
  std::ofstream(file) << "{\"format\": 7}";
  EXPECT_EQ(api().get("/api/cameras/K3M51-A001/kept").json()["unusable"],
            file.string() + ": profile format 7 is not one this optiqon reads (it reads format 1)");
}

// An image of three pages: about a second of the simulated camera's real-clock waits.
const std::string SmallImage(3 * 256, '\x5A');

bool finished(const StreamedEvent& event, const std::string& serial) {
  return event.name == "update" && event.data["serial_number"] == serial &&
         event.data["stage"] == "finished";
}

TEST_F(PanelApi, AnUpdateRunsOnItsOwnToItsVerdictWithItsProgressAsEvents) {
  start();
  EventStream stream(*panel_);
  const Answer started =
      api().post("/api/cameras/K3M51-A001/update", SmallImage, "application/octet-stream");
  ASSERT_EQ(started.status, 202) << started.body;
  EXPECT_EQ(started.json()["serial_number"], "K3M51-A001");
  EXPECT_EQ(started.json()["pages"], 3);
  EXPECT_EQ(started.json()["verdict"], nullptr);

  // One update at a time for a camera; its settings wait for the verdict; the others go on.
  const Answer second =
      api().post("/api/cameras/K3M51-A001/update", SmallImage, "application/octet-stream");
  EXPECT_EQ(second.status, 409);
  EXPECT_EQ(second.json()["error"],
            "the firmware of camera K3M51-A001 is being updated already: one update at a time");
  const Answer busy = api().get("/api/cameras/K3M51-A001/settings");
  EXPECT_EQ(busy.status, 409);
  EXPECT_EQ(busy.json()["error"], "the camera at " + LocationA +
                                      " is having its firmware updated: it answers again after "
                                      "the update's verdict");
  EXPECT_EQ(api().get("/api/cameras/K3M51-B002/settings").status, 200);

  const std::vector<StreamedEvent> events =
      stream.waitFor([](const StreamedEvent& event) { return finished(event, "K3M51-A001"); });
  std::vector<std::string> stages;
  for (const StreamedEvent& event : events) {
    if (event.name == "update") {
      stages.push_back(event.data["stage"].get<std::string>());
    }
  }
  ASSERT_FALSE(stages.empty());
  EXPECT_EQ(stages.front(), "waiting");
  EXPECT_EQ(stages.back(), "finished");
  EXPECT_NE(std::find(stages.begin(), stages.end(), "erasing"), stages.end());
  EXPECT_NE(std::find(stages.begin(), stages.end(), "downloading"), stages.end());

  const Answer state = api().get("/api/cameras/K3M51-A001/update");
  ASSERT_EQ(state.status, 200);
  const Json verdict = state.json();
  EXPECT_EQ(verdict["pages_written"], 3);
  EXPECT_EQ(verdict["seconds_left"], nullptr);
  EXPECT_EQ(verdict["verdict"]["code"], 0);
  EXPECT_EQ(verdict["verdict"]["text"], "firmware updated: 3 pages written and verified in 0:0" +
                                            std::to_string(verdict["seconds_elapsed"].get<int>()));
  EXPECT_EQ(verdict["verdict"]["failure"], nullptr);
  EXPECT_EQ(api().get("/api/cameras/K3M51-A001/settings").status, 200);

  // A stream opened now begins with the list and the update's state.
  EventStream later(*panel_);
  const std::vector<StreamedEvent> first = later.waitForCount(2);
  ASSERT_EQ(first.size(), 2u);
  EXPECT_EQ(first[1].name, "update");
  EXPECT_EQ(first[1].data, verdict);
}

TEST_F(PanelApi, StoppedDuringAnUpdateThePanelEndsOnlyAfterTheVerdict) {
  // The camera holds no working firmware from the erase to the verdict: a stop waits for it.
  start("clock = real\nserial = K3M51-A001\nflash = a.flash\n");
  std::string image;
  for (int i = 0; i < 3 * 256; ++i) {
    image += static_cast<char>(i * 7 + 1);
  }
  ASSERT_EQ(api().post("/api/cameras/K3M51-A001/update", image, "application/octet-stream").status,
            202);
  const auto [code, took] = panel_->stop();
  EXPECT_EQ(code, 0);
  EXPECT_GT(took, 300ms);  // an erase and three pages, each with the camera's fixed waits
  panel_.reset();
  EXPECT_EQ(textOf(dir_ / "a.flash").substr(0, image.size()), image);
}

TEST_F(PanelApi, AFailedUpdateAndImagesRefusedBeforeAnythingIsSent) {
  start();
  const Answer started =
      api().post("/api/cameras/K3M51-B002/update", SmallImage, "application/octet-stream");
  ASSERT_EQ(started.status, 202) << started.body;
  EXPECT_EQ(api().get("/api/cameras/K3M51-A001/update").json()["error"],
            "camera K3M51-A001 has had no firmware update since the panel started");
  Json state;
  for (auto limit = std::chrono::steady_clock::now() + 20s;
       std::chrono::steady_clock::now() < limit; std::this_thread::sleep_for(50ms)) {
    state = api().get("/api/cameras/K3M51-B002/update").json();
    if (state["stage"] == "finished") {
      break;
    }
  }
  EXPECT_EQ(
      state["verdict"],
      (Json{{"code", 4},
            {"text",
             "firmware update failed: a page was refused or did not verify; the camera has "
             "no working firmware until an update succeeds"},
            {"failure", "camera K3M51-B002: page 3 of 3 did not verify: the download failed"}}));

  const Answer empty = api().post("/api/cameras/K3M51-A001/update", "", "application/octet-stream");
  EXPECT_EQ(empty.status, 400);
  EXPECT_EQ(empty.json()["error"],
            "the firmware image cannot be used: the image is empty: nothing sent");
  EXPECT_EQ(api().post("/api/cameras/K3M51-A001/update", SmallImage, "application/json").status,
            415);
  // The largest image the flash takes is read whole (then there is no such camera); one byte more
  // is refused unread.
  const std::string largest(65535u * 256u, '\0');
  EXPECT_EQ(
      api().post("/api/cameras/K3M51-Z999/update", largest, "application/octet-stream").status,
      404);
  EXPECT_EQ(api()
                .post("/api/cameras/K3M51-Z999/update", largest + "x", "application/octet-stream")
                .status,
            413);
  EXPECT_EQ(api().get("/api/cameras/K3M51-A001/update").status, 404);
}

TEST_F(PanelApi, ACameraPulledOutMidRequestAnswersGoneAndLeavesTheList) {
  start();
  EventStream stream(*panel_);
  ASSERT_EQ(api().get("/api/cameras/K3M51-C003/settings").status, 200);
  // Pulled out at its 70th call, in the middle of reading its settings again.
  const Answer gone = api().get("/api/cameras/K3M51-C003/settings");
  EXPECT_EQ(gone.status, 410);
  EXPECT_EQ(gone.json(), Json::parse(R"({"error":"camera K3M51-C003 is no longer plugged in"})"));

  const std::vector<StreamedEvent> events = stream.waitFor([](const StreamedEvent& event) {
    return event.name == "cameras" && event.data["cameras"].size() == 2;
  });
  ASSERT_FALSE(events.empty());
  EXPECT_EQ(
      events.back().data,
      (Json{{"cameras", {listing("K3M51-A001", LocationA), listing("K3M51-B002", LocationB)}}}));

  const Answer absent = api().get("/api/cameras/K3M51-C003/settings");
  EXPECT_EQ(absent.status, 404);
  EXPECT_EQ(absent.json()["error"],
            "no camera with serial number K3M51-C003; present: K3M51-A001 at " + LocationA +
                ", K3M51-B002 at " + LocationB);
  EXPECT_EQ(api().get("/api/cameras").json()["cameras"].size(), 2u);

  // Plugged in again, it is listed again.
  std::ofstream(dir_ / "c.plugged") << "in again\n";
  const std::vector<StreamedEvent> back = stream.waitFor(
      [](const StreamedEvent& event) {
        return event.name == "cameras" && event.data["cameras"].size() == 3;
      },
      events.size());
  EXPECT_EQ(back.back().data, ThreeListed);
}

TEST_F(PanelApi, TwoCamerasOfOneSerialNumberAreToldApartByTheirLocation) {
  start("clock = real\nserial = K3M51-A001\n[camera]\nserial = K3M51-A001\n");
  const Answer ambiguous = api().get("/api/cameras/K3M51-A001/settings");
  EXPECT_EQ(ambiguous.status, 400);
  EXPECT_EQ(ambiguous.json()["error"], "2 cameras give serial number K3M51-A001 (at " + LocationA +
                                           ", " + LocationB + "): choose one by its location");
  const Answer chosen = api().put(
      "/api/cameras/K3M51-A001/settings?location=" + percentEncoded(LocationB), R"({"gain": 9})");
  ASSERT_EQ(chosen.status, 200) << chosen.body;
  const Answer second =
      api().get("/api/cameras/K3M51-A001/settings?location=" + percentEncoded(LocationB));
  EXPECT_EQ(second.json()["location"], LocationB);
  EXPECT_EQ(second.json()["properties"][9]["value"], 9);
  EXPECT_EQ(api()
                .get("/api/cameras/K3M51-A001/settings?location=" + percentEncoded(LocationA))
                .json()["properties"][9]["value"],
            0);
  const Answer other =
      api().get("/api/cameras/K3M51-B002/settings?location=" + percentEncoded(LocationB));
  EXPECT_EQ(other.status, 404);
  EXPECT_EQ(other.json()["error"],
            "the camera at " + LocationB + " is camera K3M51-A001, not camera K3M51-B002");
}

TEST_F(PanelApi, UnknownRoutesAndMethodsAreRefused) {
  start();
  EXPECT_EQ(api().get("/api/cameras/K3M51-A001/zoom").json(),
            Json::parse(R"({"error":"no such route: GET /api/cameras/K3M51-A001/zoom"})"));
  EXPECT_EQ(api().get("/api/nothing").status, 404);
  EXPECT_EQ(api().get("/api/cameras/").status, 404);
  const Answer method = api().remove("/api/cameras/K3M51-A001/settings");
  EXPECT_EQ(method.status, 405);
  EXPECT_EQ(method.headers["Allow"], "GET, PUT");
  EXPECT_EQ(api().post("/api/cameras").status, 405);
  // A JSON body past 1 MiB is refused unread.
  EXPECT_EQ(api().put("/api/cameras/K3M51-A001/settings", std::string(1024 * 1024 + 1, ' ')).status,
            413);
}

}  // namespace
