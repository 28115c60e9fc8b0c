// The watcher run as a process against a simulated PC with two cameras, A plugged in only while
// a.plugged exists and B always there: kept profiles given back at each plugging, held values
// put back, profiles that cannot be used, a camera pulled out part way, and how it stops. The
// waits poll the log with a generous limit; how fast the watcher answers is measured by the
// benchmark, not here.
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "exit_codes.h"
#include "linux/usb_port_path.h"
#include "scratch_directory.h"
#include "shell_command.h"
#include "watch_log.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

std::string textOf(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// Every line of the log without its time, which is checked for its form.
std::vector<std::string> linesOf(const std::string& log) {
  static const std::regex timed(R"((\d{4}-\d\d-\d\dT\d\d:\d\d:\d\dZ) (.*))");
  std::vector<std::string> lines;
  std::istringstream in(log);
  for (std::string line; std::getline(in, line);) {
    std::smatch parts;
    lines.push_back(std::regex_match(line, parts, timed) ? parts[2].str() : "UNTIMED " + line);
  }
  return lines;
}

class Watch : public ::testing::Test {
 protected:
  Watch() {
    std::ofstream(dir_ / "pc.scenario")
        << "clock = virtual\nserial = K3M51-A001\nplugged = a.plugged\n"
           "camera_settings = a.settings\n"
        << extraKeysOfA_ << "[camera]\nserial = K3M51-B002\ncamera_settings = b.settings\n";
    std::ofstream(dir_ / "a.plugged") << "in\n";
  }
  ~Watch() override {
    if (watcher_ > 0) {
      kill(watcher_, SIGKILL);
      waitpid(watcher_, nullptr, 0);
    }
  }

  void describeA(const std::string& keys) {
    std::ofstream(dir_ / "pc.scenario")
        << "clock = virtual\nserial = K3M51-A001\nplugged = a.plugged\n"
           "camera_settings = a.settings\n"
        << keys << "[camera]\nserial = K3M51-B002\ncamera_settings = b.settings\n";
  }

  std::string environment() const {
    return "cd '" + dir_.string() + "' && XDG_CONFIG_HOME='" + dir_.string() +
           "/config' OPTIQON_SIM_CAMERA=pc.scenario ";
  }
  // The tool's exit code and standard output; its standard error in errors().
  std::pair<int, std::string> run(const std::string& arguments) {
    return runCommand(environment() + "'" + OPTIQON_SIM_PATH + "' " + arguments + " 2>errors");
  }
  std::string errors() const { return textOf(dir_ / "errors"); }
  std::string brightnessOf(const std::string& serial) {
    return run("get --serial " + serial + " brightness").second;
  }

  // A's kept profile holds brightness 10; A itself saved 3, which it starts from when plugged
  // in again, and holds 3 now.
  void keepBrightness10ForA() {
    ASSERT_EQ(run("set --serial K3M51-A001 brightness=10").first, 0);
    ASSERT_EQ(run("remember --serial K3M51-A001").first, 0);
    ASSERT_EQ(run("set --serial K3M51-A001 brightness=3").first, 0);
    ASSERT_EQ(run("save --serial K3M51-A001").first, 0);
  }

  void startWatcher(const std::vector<std::string>& options = {}) {
    watcher_ = fork();
    ASSERT_GE(watcher_, 0);
    if (watcher_ == 0) {
      const std::string log = (dir_ / "watch.log").string();
      const int out = open(log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
      if (chdir(dir_.c_str()) != 0 || out < 0 || dup2(out, 2) < 0) {
        _exit(127);
      }
      setenv("XDG_CONFIG_HOME", (dir_ / "config").c_str(), 1);
      setenv("OPTIQON_SIM_CAMERA", "pc.scenario", 1);
      std::vector<char*> arguments{const_cast<char*>("optiqon_sim"), const_cast<char*>("watch")};
      for (const std::string& option : options) {
        arguments.push_back(const_cast<char*>(option.c_str()));
      }
      arguments.push_back(nullptr);
      execv(OPTIQON_SIM_PATH, arguments.data());
      _exit(127);
    }
    waitForLines(1);
  }

  // The watcher's exit code once it ended after `signal`; -1 when a signal ended it.
  int stopWatcher(int signal) {
    kill(watcher_, signal);
    int status = 0;
    waitpid(watcher_, &status, 0);
    watcher_ = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

  std::vector<std::string> log() const { return linesOf(textOf(dir_ / "watch.log")); }

  // Waits until the log has `count` lines; what it holds then.
  std::vector<std::string> waitForLines(std::size_t count) {
    for (auto limit = std::chrono::steady_clock::now() + 20s;
         log().size() < count && std::chrono::steady_clock::now() < limit;) {
      std::this_thread::sleep_for(10ms);
    }
    return log();
  }

  // Pulls A out and plugs it in again, the watcher seeing it gone in between.
  void replugA() {
    fs::remove(dir_ / "a.plugged");
    std::this_thread::sleep_for(100ms);
    std::ofstream(dir_ / "a.plugged") << "in again\n";
  }

  std::string startLine() const {
    return "watching for cameras plugged in, their kept profiles in " +
           (dir_ / "config" / "optiqon" / "cameras").string();
  }

  ScratchDirectory scratch_{"optiqon-watch"};
  const fs::path& dir_ = scratch_.path();
  std::string extraKeysOfA_;
  pid_t watcher_ = -1;
};

constexpr const char* AppliedToA =
    "camera K3M51-A001: kept profile applied: 1 set, 0 refused, 46 already held: done";

TEST_F(Watch, ACameraPluggedInAgainGetsItsKeptProfileBackAndTheOtherIsLeftAlone) {
  keepBrightness10ForA();
  ASSERT_EQ(run("set --serial K3M51-B002 brightness=5").first, 0);
  const std::string settingsOfB = textOf(dir_ / "b.settings");
  startWatcher();
  EXPECT_EQ(waitForLines(2), (std::vector<std::string>{startLine(), AppliedToA}));
  EXPECT_EQ(brightnessOf("K3M51-A001"), "brightness              10\n");

  replugA();
  EXPECT_EQ(waitForLines(3), (std::vector<std::string>{startLine(), AppliedToA, AppliedToA}));
  EXPECT_EQ(brightnessOf("K3M51-A001"), "brightness              10\n");
  EXPECT_EQ(textOf(dir_ / "b.settings"), settingsOfB);

  EXPECT_EQ(stopWatcher(SIGTERM), 0);
  EXPECT_EQ(log().back(), "stopped");
}

TEST_F(Watch, HoldPutsBackWhatAnotherProgramChangedAndKeepsWhatSetRemembers) {
  keepBrightness10ForA();
  startWatcher({"--hold", "1"});
  EXPECT_EQ(waitForLines(2), (std::vector<std::string>{
                                 startLine() + "; holding the kept values every 1 s", AppliedToA}));

  EXPECT_EQ(run("set --serial K3M51-A001 brightness=50"),
            (std::pair<int, std::string>{0, "brightness              50\n"}));
  EXPECT_EQ(errors(),
            "optiqon: the watcher holds the kept profile of camera K3M51-A001 and will put back "
            "brightness (kept at 10) within 1 s; 'optiqon set --remember' keeps the new value\n");
  EXPECT_EQ(waitForLines(3).back(),
            "camera K3M51-A001: brightness was changed to 50: put back to 10");
  EXPECT_EQ(brightnessOf("K3M51-A001"), "brightness              10\n");

  // A change remembered is kept, in the profile and by the watcher.
  EXPECT_EQ(run("set --serial K3M51-A001 --remember contrast=7").second,
            "contrast                7\nkept profile of camera K3M51-A001 updated in " +
                (dir_ / "config/optiqon/cameras/K3M51-A001.json").string() + "\n");
  EXPECT_EQ(errors(), "");
  std::this_thread::sleep_for(2500ms);
  EXPECT_EQ(run("get --serial K3M51-A001 brightness contrast").second,
            "brightness              10\ncontrast                7\n");
  EXPECT_EQ(log().size(), 3u);
  EXPECT_EQ(stopWatcher(SIGINT), 0);
}

TEST_F(Watch, AKeptProfileOfACameraNotPluggedInChangesNothing) {
  ASSERT_EQ(run("set --serial K3M51-A001 brightness=10").first, 0);
  ASSERT_EQ(run("remember --serial K3M51-A001").first, 0);
  fs::rename(dir_ / "config/optiqon/cameras/K3M51-A001.json",
             dir_ / "config/optiqon/cameras/K3M51-Z999.json");
  startWatcher();
  replugA();
  std::this_thread::sleep_for(500ms);
  EXPECT_EQ(stopWatcher(SIGTERM), 0);
  EXPECT_EQ(log(), (std::vector<std::string>{startLine(), "stopped"}));
  // Plugged in again with nothing saved, at its factory value.
  EXPECT_EQ(brightnessOf("K3M51-A001"), "brightness              0\n");
}

TEST_F(Watch, AnUnusableKeptProfileIsSaidAtEachPluggingAndNothingIsSent) {
  ASSERT_EQ(run("set --serial K3M51-B002 brightness=9").first, 0);
  ASSERT_EQ(run("remember --serial K3M51-B002").first, 0);
  ASSERT_EQ(run("set --serial K3M51-B002 brightness=1").first, 0);
  fs::create_directories(dir_ / "config/optiqon/cameras");
  std::ofstream(dir_ / "config/optiqon/cameras/K3M51-A001.json") << "{\"format\": 1, \"prop";

  startWatcher({"--hold", "1"});
  std::vector<std::string> lines = waitForLines(3);
  ASSERT_EQ(lines.size(), 3u);
  const std::string unusable = "camera K3M51-A001: kept profile unusable: ";
  EXPECT_EQ(lines[1].substr(0, unusable.size()), unusable);
  EXPECT_EQ(lines[1].substr(lines[1].size() - 14), ": nothing sent");
  EXPECT_EQ(lines[2],
            "camera K3M51-B002: kept profile applied: 1 set, 0 refused, 46 already held: done");

  // Said once however many times the hold reads it, and again when the camera is plugged in.
  std::this_thread::sleep_for(1500ms);
  replugA();
  lines = waitForLines(4);
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(lines[3], lines[1]);
  EXPECT_EQ(brightnessOf("K3M51-A001"), "brightness              0\n");
  EXPECT_EQ(kill(watcher_, 0), 0);
}

TEST_F(Watch, ACameraPulledOutWhileItsProfileIsAppliedGetsItWhenPluggedInAgain) {
  keepBrightness10ForA();
  describeA("unplug_after_controls = 5\n");
  startWatcher();
  std::vector<std::string> lines = waitForLines(2);
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[1],
            "camera K3M51-A001: unplugged while its kept profile was applied (camera K3M51-A001 "
            "is no longer plugged in): applied again when it is plugged in");
  EXPECT_FALSE(fs::exists(dir_ / "a.plugged"));
  std::ofstream(dir_ / "a.plugged") << "in again\n";
  EXPECT_EQ(waitForLines(3).back(), AppliedToA);
  EXPECT_EQ(brightnessOf("K3M51-A001"), "brightness              10\n");
}

TEST_F(Watch, OneWatcherRunsForAUserAndStopsWhenAsked) {
  EXPECT_EQ(run("watch --stop"), (std::pair<int, std::string>{0, "no watcher is running\n"}));
  startWatcher();
  const std::string process = std::to_string(watcher_);
  EXPECT_EQ(run("watch").first, 3);
  EXPECT_EQ(errors(), "optiqon: a watcher is already running for this user (process " + process +
                          "): 'optiqon watch --stop' stops it\n");
  EXPECT_EQ(run("watch --stop"), (std::pair<int, std::string>{0, "the watcher (process " + process +
                                                                     ") was asked to stop\n"}));
  int status = 0;
  waitpid(watcher_, &status, 0);
  watcher_ = -1;
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  EXPECT_EQ(log().back(), "stopped");
  EXPECT_EQ(run("watch --hold 0").first, 2);
  EXPECT_EQ(run("watch --serial K3M51-A001").first, 2);
  EXPECT_EQ(errors(),
            "optiqon: watch gives every camera with a kept profile its profile: it takes no "
            "--serial or --location ('optiqon forget' leaves a camera alone)\n");
}

TEST(WatchLog, AFileIsKeptBelowItsLimitWithTheLinesBeforeInTheOlderFile) {
  const ScratchDirectory scratch("optiqon-watch-log");
  const fs::path file = scratch.path() / "logs" / "watch.log";
  {
    WatchLog log(file, 100);
    for (int line = 0; line < 7; ++line) {
      log.line("line " + std::to_string(line) +
               " of the log");  // 39 bytes with its time: two a file
    }
  }
  const std::vector<std::string> newest = linesOf(textOf(file));
  const std::vector<std::string> older = linesOf(textOf(fs::path(file) += ".1"));
  EXPECT_EQ(newest, (std::vector<std::string>{"line 6 of the log"}));
  EXPECT_EQ(older, (std::vector<std::string>{"line 4 of the log", "line 5 of the log"}));

  const fs::path link = scratch.path() / "link.log";
  fs::create_symlink(file, link);
  EXPECT_THROW(WatchLog(link, 100), CommandFailure);
}

TEST(UsbPortPath, TheUsbDeviceAboveAnInterfaceNamesTheLocation) {
  EXPECT_EQ(usbPortPathOf("/devices/pci0000:00/0000:00:14.0/usb1/1-2/1-2.3/1-2.3:1.0/"
                          "0003:1BBD:024C.0001/hidraw/hidraw0"),
            "1-2.3");
  EXPECT_EQ(usbPortPathOf("/devices/pci0000:00/0000:00:14.0/usb3/3-1/3-1:1.0/video4linux/video0"),
            "3-1");
  for (const char* path : {"", "/devices/virtual/misc/uhid", "/devices/usb1/1-", "/1-2..3/x",
                           "/devices/platform/a-1.2x/hidraw/hidraw1", "/1-2./x"}) {
    EXPECT_EQ(usbPortPathOf(path), "") << path;
  }
}

}  // namespace
