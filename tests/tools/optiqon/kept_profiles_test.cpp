// Kept profiles: the file a camera's profile is kept in, named for its serial number so that no
// serial number leads out of the folder, and remember, forget and remembered on three cameras.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "kept_profiles.h"
#include "scratch_directory.h"
#include "shell_command.h"

namespace {

TEST(KeptProfileName, ASerialNumberNamesOneFileInTheFolderAndComesBack) {
  EXPECT_EQ(keptProfileName("K3M51-A001"), "K3M51-A001.json");
  EXPECT_EQ(keptProfileName("../etc/x"), "%2E%2E%2Fetc%2Fx.json");
  EXPECT_EQ(keptProfileName(".hidden"), "%2Ehidden.json");
  EXPECT_EQ(keptProfileName("K3M51-\xC3\xA9"), "K3M51-%C3%A9.json");
  EXPECT_EQ(keptProfileName(std::string("a\0b", 3)), "a%00b.json");
  for (const std::string serial : {"K3M51-A001", "../etc/x", "a b\\c", "K3M51-\xC3\xA9", "%41"}) {
    EXPECT_EQ(serialOfKeptProfile(keptProfileName(serial)), serial);
  }
  // Names the tool never makes are no kept profiles: left alone, never read as one.
  for (const char* name : {"K3M51.json.partial", ".json", "a%2.json", "a%zz.json", "%41.json",
                           "a%2e.json", "notes.txt"}) {
    EXPECT_EQ(serialOfKeptProfile(name), std::nullopt) << name;
  }
}

class KeptProfiles : public ::testing::Test {
 protected:
  KeptProfiles() {
    std::ofstream(dir_ / "pc.scenario")
        << "clock = virtual\nserial = K3M51-A001\n"
           "[camera]\nserial = K3M51-B002\nplugged = b.plugged\ncamera_settings = b.settings\n"
           "[camera]\nserial = K3M51-C003\n";
    std::ofstream(dir_ / "b.plugged") << "in\n";
  }

  std::pair<int, std::string> run(const std::string& arguments) {
    return runCommand("cd '" + dir_.string() + "' && XDG_CONFIG_HOME='" + dir_.string() +
                      "/config' OPTIQON_SIM_CAMERA=pc.scenario '" + OPTIQON_SIM_PATH + "' " +
                      arguments + " 2>errors");
  }
  std::string errors() const { return textOf(dir_ / "errors"); }
  static std::string textOf(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
  }
  std::filesystem::path kept(const std::string& name) const {
    return dir_ / "config" / "optiqon" / "cameras" / name;
  }

  ScratchDirectory scratch_{"optiqon-kept"};
  const std::filesystem::path& dir_ = scratch_.path();
};

TEST_F(KeptProfiles, RememberKeepsTheChosenCamerasSettingsAndRememberedListsThem) {
  ASSERT_EQ(run("set --serial K3M51-B002 brightness=7").first, 0);
  EXPECT_EQ(run("remember --serial K3M51-B002"),
            (std::pair<int, std::string>{0, "profile of camera K3M51-B002 kept in " +
                                                kept("K3M51-B002.json").string() + "\n"}));
  const std::string profile = textOf(kept("K3M51-B002.json"));
  EXPECT_NE(profile.find("\"serial_number\": \"K3M51-B002\""), std::string::npos) << profile;
  EXPECT_NE(profile.find("\"brightness\": 7"), std::string::npos) << profile;

  std::filesystem::remove(dir_ / "b.plugged");
  EXPECT_EQ(run("remembered"),
            (std::pair<int, std::string>{0, "K3M51-B002              not plugged in\n"}));
  EXPECT_EQ(run("remembered --json").second,
            "[{\"serial_number\":\"K3M51-B002\",\"present\":false,\"file\":\"" +
                kept("K3M51-B002.json").string() + "\"}]\n");
  // Forgotten by serial number, plugged in or not.
  EXPECT_EQ(run("forget --serial K3M51-B002"),
            (std::pair<int, std::string>{0, "kept profile of camera K3M51-B002 forgotten\n"}));
  EXPECT_FALSE(std::filesystem::exists(kept("K3M51-B002.json")));
  EXPECT_EQ(run("forget --serial K3M51-B002"),
            (std::pair<int, std::string>{0, "camera K3M51-B002 has no kept profile\n"}));
}

TEST_F(KeptProfiles, AProfileMadeEarlierIsCheckedWholeBeforeItIsKept) {
  ASSERT_EQ(run("export --serial K3M51-A001 a.json").first, 0);
  EXPECT_EQ(run("remember --serial K3M51-C003 --file a.json").first, 0);
  EXPECT_EQ(textOf(kept("K3M51-C003.json")), textOf(dir_ / "a.json"));
  std::ofstream(dir_ / "bad.json") << "{\"format\": 1, \"properties\": {\"brightness\": \"x\"}}";
  EXPECT_EQ(run("remember --serial K3M51-A001 --file bad.json").first, 2);
  EXPECT_FALSE(std::filesystem::exists(kept("K3M51-A001.json")));
}

TEST_F(KeptProfiles, SeveralCamerasAndNoSerialNumberKeepNothing) {
  EXPECT_EQ(run("remember").first, 2);
  EXPECT_NE(errors().find("choose one by its serial number"), std::string::npos) << errors();
  EXPECT_FALSE(std::filesystem::exists(dir_ / "config"));
  EXPECT_EQ(run("remembered"), (std::pair<int, std::string>{0, ""}));
}

}  // namespace
