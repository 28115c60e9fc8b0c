// The built simulated upgrader run as a separate process, as a technician or a parent process
// runs it: its scenario file, its standard output and error, its exit code, its flash file.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "program_run.h"
#include "scratch_directory.h"
#include "upgrader_transcripts.h"

namespace {

class SimProgram : public ::testing::Test {
 protected:
  std::string path(const std::string& name) const { return (dir_ / name).string(); }

  void write(const std::string& name, const std::string& bytes) const {
    std::ofstream(path(name), std::ios::binary) << bytes;
  }

  std::string read(const std::string& name) const {
    std::ifstream in(path(name), std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  }

  // Runs the program in the scratch directory with `scenario` (none: no variable at all).
  ProgramRun run(const std::string& arguments, const std::string* scenario) const {
    if (scenario == nullptr) {
      return runProgram(UPGRADER_SIM_PATH, arguments, dir_, std::nullopt);
    }
    write("scenario.txt", *scenario);
    return runWithScenarioFile(arguments, "scenario.txt");
  }

  // Runs the program with OPTIQON_SIM_CAMERA naming `path`, whatever is there.
  ProgramRun runWithScenarioFile(const std::string& arguments, const std::string& path) const {
    return runProgram(UPGRADER_SIM_PATH, arguments, dir_, path);
  }

  ScratchDirectory scratch_{"optiqon-sim"};
  const std::filesystem::path& dir_ = scratch_.path();
};

std::string imageBytes(std::size_t size) {
  std::string image(size, '\0');
  for (std::size_t i = 0; i < size; ++i) {
    image[i] = static_cast<char>(i * 31 + 7);
  }
  return image;
}

TEST_F(SimProgram, FlashesAThreePageImageIntoTheFlashFile) {
  const std::string image = imageBytes(768);
  write("image.img", image);
  const std::string scenario = "flash = flash.bin\n";
  const ProgramRun result = run("image.img", &scenario);
  EXPECT_EQ(result.out, transcript::successfulRun(768));
  EXPECT_EQ(result.err, "");
  EXPECT_EQ(result.exitCode, 0);
  const std::string flash = read("flash.bin");
  ASSERT_EQ(flash.size(), 16u * 1024 * 1024);
  EXPECT_EQ(flash.substr(0, 768), image);
  EXPECT_EQ(flash.find_first_not_of('\xFF', 768), std::string::npos);
  EXPECT_EQ(read("logfile.txt"), "");
}

TEST_F(SimProgram, FlashFileKeepsWhatAnEarlierRunWrote) {
  write("image.img", imageBytes(256));
  const std::string flashing = "flash = flash.bin\nclock = virtual\n";
  ASSERT_EQ(run("image.img", &flashing).exitCode, 0);
  // The next run's only erase is refused, so it sends no page; the flash file still holds the
  // image from the run before.
  const std::string refused = flashing + "refuse_erase = 0\n";
  const ProgramRun result = run("image.img", &refused);
  EXPECT_TRUE(result.out.ends_with("\nDownload Failed\n"));
  EXPECT_EQ(result.exitCode, 4);
  EXPECT_EQ(read("flash.bin").substr(0, 256), imageBytes(256));
}

TEST_F(SimProgram, TraceShowsEveryReportWithItsVirtualTime) {
  write("image.img", imageBytes(300));
  const std::string scenario = "clock = virtual\ntrace = trace.txt\nerase_busy_reads = 0\n";
  ASSERT_EQ(run("image.img", &scenario).exitCode, 0);
  EXPECT_EQ(read("trace.txt"),
            "0 SetOutputReport 0x05 2 ok\n"
            "100 GetInputReport 0x06 2 ok\n"
            "110 SetOutputReport 0x04 261 ok\n"
            "210 SetOutputReport 0x02 5 ok\n"
            "210 GetInputReport 0x03 259 ok\n"
            "220 SetOutputReport 0x04 261 ok\n"
            "320 SetOutputReport 0x02 5 ok\n"
            "320 GetInputReport 0x03 259 ok\n");
}

TEST_F(SimProgram, ReportsTheCameraAsAbsentOrListedLater) {
  const std::string absent = "camera = absent\nclock = virtual\n";
  const ProgramRun none = run("image.img", &absent);
  EXPECT_EQ(none.out,
            "Did not find Corvantis K3M51-USB camera...\n"
            "Connect Corvantis K3M51-USB camera Device...and try again\n");
  EXPECT_EQ(none.exitCode, 1);

  const std::string later = "camera_index = 6\ncamera_copies = 2\ncamera_fail = caps\n";
  const ProgramRun usage = run("", &later);
  const std::string found =
      "Found Corvantis K3M51-USB camera. Device #7 - VID: 0x1BBD, PID: 0x024C\n";
  EXPECT_EQ(usage.out.substr(0, found.size()), found);
  EXPECT_EQ(usage.exitCode, 0);
}

TEST_F(SimProgram, PrintsTheSerialNumberWithoutAScenario) {
  const ProgramRun result = run("-s", nullptr);
  EXPECT_EQ(result.out, "K030M05010-000000010000000000000000\n");
  EXPECT_EQ(result.exitCode, 0);
  EXPECT_FALSE(std::filesystem::exists(dir_ / "logfile.txt"));
}

TEST_F(SimProgram, UnusableScenarioStopsWithExitCode64) {
  const std::string bad = "clock = virtual\nflash_size = 4\n";
  const ProgramRun result = run("-s", &bad);
  EXPECT_EQ(result.out, "");
  EXPECT_EQ(result.err, "optiqon_fw_upgrader_sim: scenario.txt:2: unknown key 'flash_size'\n");
  EXPECT_EQ(result.exitCode, 64);

  write("flash.bin", "short");
  const std::string shortFlash = "flash = flash.bin\n";
  const ProgramRun flash = run("-s", &shortFlash);
  EXPECT_EQ(flash.err,
            "optiqon_fw_upgrader_sim: flash file flash.bin does not hold exactly 16777216 bytes\n");
  EXPECT_EQ(flash.exitCode, 64);
  EXPECT_EQ(read("flash.bin"), "short");

  const ProgramRun missing = run("-s", nullptr);
  EXPECT_EQ(missing.exitCode, 0);
  const ProgramRun nowhere = runWithScenarioFile("-s", "nowhere.txt");
  EXPECT_EQ(nowhere.exitCode, 64);
  EXPECT_EQ(nowhere.err, "optiqon_fw_upgrader_sim: nowhere.txt: cannot read the scenario file\n");
}

TEST_F(SimProgram, ScenarioFileThatCannotBeReadWhollyIsRefused) {
  std::filesystem::create_directory(dir_ / "folder");
  const ProgramRun folder = runWithScenarioFile("-s", "folder");
  EXPECT_EQ(folder.err, "optiqon_fw_upgrader_sim: folder: cannot read the scenario file\n");
  EXPECT_EQ(folder.exitCode, 64);
  EXPECT_EQ(folder.out, "");

  write("huge.txt", std::string(1024 * 1024, '#') + "\n");
  const ProgramRun huge = runWithScenarioFile("-s", "huge.txt");
  EXPECT_EQ(huge.err,
            "optiqon_fw_upgrader_sim: huge.txt: a scenario file holds at most 1048576 bytes\n");
  EXPECT_EQ(huge.exitCode, 64);

  const std::string noCamera = "camera_copies = 0\n";
  const ProgramRun copies = run("-s", &noCamera);
  EXPECT_EQ(copies.err,
            "optiqon_fw_upgrader_sim: scenario.txt:1: bad value '0' for camera_copies: expected "
            "a number from 1 to 16\n");
  EXPECT_EQ(copies.exitCode, 64);
}

// The flash file is written only by a run that changed the flash, and only as a whole.
TEST_F(SimProgram, FlashFileIsRewrittenOnlyWhenTheFlashChanged) {
  const std::string scenario = "clock = virtual\nflash = flash.bin\n";
  write("fw.img", imageBytes(300));
  ASSERT_EQ(run("fw.img", &scenario).exitCode, 0);
  const std::string flashed = read("flash.bin");
  ASSERT_EQ(flashed.size(), 16u * 1024 * 1024);

  std::filesystem::last_write_time(
      dir_ / "flash.bin", std::filesystem::file_time_type::clock::now() - std::chrono::hours(24));
  // As the file system keeps it, to its own resolution.
  const auto longAgo = std::filesystem::last_write_time(dir_ / "flash.bin");
  write("empty.img", "");
  for (const char* arguments : {"-s", "empty.img", "missing.img", ""}) {
    run(arguments, &scenario);
    EXPECT_EQ(std::filesystem::last_write_time(dir_ / "flash.bin"), longAgo) << arguments;
  }
  const std::string absent = scenario + "camera = absent\n";
  EXPECT_EQ(run("fw.img", &absent).exitCode, 1);
  EXPECT_EQ(std::filesystem::last_write_time(dir_ / "flash.bin"), longAgo);
  EXPECT_EQ(read("flash.bin"), flashed);
  EXPECT_FALSE(std::filesystem::exists(dir_ / "flash.bin.writing"));
}

// A flash file that cannot be written is found before the camera is touched, not after
// "Download Complete".
TEST_F(SimProgram, UnwritableFlashFileIsRefusedBeforeAnyReport) {
  write("fw.img", imageBytes(300));
  const std::string scenario =
      "clock = virtual\nflash = no/such/folder/flash.bin\ntrace = trace.txt\n";
  const ProgramRun result = run("fw.img", &scenario);
  EXPECT_EQ(result.out, "");
  EXPECT_EQ(result.err,
            "optiqon_fw_upgrader_sim: no/such/folder/flash.bin: no flash file can be written "
            "there\n");
  EXPECT_EQ(result.exitCode, 64);
  EXPECT_EQ(read("trace.txt"), "");
}

// A camera pulled out mid-run: every call to it fails as for a device that is gone.
TEST_F(SimProgram, CameraUnpluggedMidRun) {
  write("fw.img", imageBytes(1024));
  const std::string duringDownload =
      "clock = virtual\nunplug_after_reports = 6\ntrace = trace.txt\n";
  const ProgramRun download = run("fw.img", &duringDownload);
  EXPECT_TRUE(download.out.ends_with("\rDownloading firmware 1% first setoutput report failed"))
      << download.out;
  EXPECT_EQ(download.exitCode, 4);
  EXPECT_TRUE(read("trace.txt").ends_with(" SetOutputReport 0x04 261 refused\n"));

  const std::string beforeSerial = "unplug_after_reports = 0\n";
  const ProgramRun serial = run("-s", &beforeSerial);
  EXPECT_EQ(serial.out, "Could not read the serial number of the Corvantis K3M51-USB camera\n");
  EXPECT_EQ(serial.exitCode, 5);
}

// A reader that stops reading mid-run (here `head`) must not stop the flashing it watches.
TEST_F(SimProgram, ReaderThatGoesAwayDoesNotCutTheFlashShort) {
#if defined(_WIN32)
  GTEST_SKIP() << "the reader is a POSIX pipeline (bash, head); a Windows program has no "
                  "SIGPIPE to ignore, and writes to a closed pipe fail instead";
#else
  write("fw.img", imageBytes(65536));
  write("scenario.txt", "clock = virtual\ntrace = trace.txt\nflash = flash.bin\n");
  write("pipe.sh", "OPTIQON_SIM_CAMERA=scenario.txt '" + std::string(UPGRADER_SIM_PATH) +
                       "' fw.img | head -c 150 >out.txt\necho ${PIPESTATUS[0]} >status.txt\n");
  const int status = std::system(("cd '" + dir_.string() + "' && bash pipe.sh").c_str());
  ASSERT_EQ(WEXITSTATUS(status), 0);
  EXPECT_EQ(read("status.txt"), "0\n");
  EXPECT_EQ(read("out.txt").size(), 150u);
  const std::string trace = read("trace.txt");
  std::size_t pagesWritten = 0;
  for (auto at = trace.find("SetOutputReport 0x04 261 ok"); at != std::string::npos;
       at = trace.find("SetOutputReport 0x04 261 ok", at + 1)) {
    ++pagesWritten;
  }
  EXPECT_EQ(pagesWritten, 256u);
  EXPECT_TRUE(read("flash.bin").substr(0, 65536) == imageBytes(65536));
#endif
}

}  // namespace

namespace {

#if !defined(_WIN32)
// Runs `script` with bash in the scratch directory, the simulated upgrader as $UPGRADER and the
// scenario file as OPTIQON_SIM_CAMERA; its exit code.
int runScript(const std::filesystem::path& dir, const std::string& script) {
  const std::string command = "cd '" + dir.string() + "' && UPGRADER='" +
                              std::string(UPGRADER_SIM_PATH) +
                              "' OPTIQON_SIM_CAMERA=scenario.txt bash -c '" + script + "'";
  const int status = std::system(command.c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}
#endif

// Names someone else chose beside the flash file (here links to a file of the user's, under the
// names an earlier version wrote through) are never opened: the flash file is written in place.
TEST_F(SimProgram, NamesPlantedBesideTheFlashFileAreLeftAlone) {
#if defined(_WIN32)
  GTEST_SKIP() << "symbolic links cannot be made by this platform's C++ library";
#else
  write("victim.txt", "the user's own file");
  std::filesystem::create_symlink("victim.txt", dir_ / "flash.bin.writing");
  write("fw.img", imageBytes(512));
  const std::string scenario = "clock = virtual\nflash = flash.bin\n";
  EXPECT_EQ(run("-s", &scenario).exitCode, 0);
  EXPECT_EQ(run("fw.img", &scenario).exitCode, 0);
  EXPECT_EQ(read("victim.txt"), "the user's own file");
  EXPECT_EQ(read("flash.bin").substr(0, 512), imageBytes(512));
#endif
}

// The simulated camera is one camera for every process that opens it: a run that finds another
// holding it waits for its turn, as a host waits for a busy device, and says so.
TEST_F(SimProgram, RunThatFindsTheCameraBusyWaitsForIt) {
#if defined(_WIN32)
  GTEST_SKIP() << "the other process is flock(1), a POSIX program";
#else
  write("scenario.txt", "clock = virtual\nflash = flash.bin\n");
  ASSERT_EQ(runScript(dir_,
                      "touch flash.bin; (flock flash.bin -c \"touch held; sleep 1\" &);"
                      "while [ ! -e held ]; do sleep 0.01; done;"
                      "\"$UPGRADER\" -s >out.txt 2>err.txt"),
            0);
  EXPECT_EQ(read("out.txt"), "K030M05010-000000010000000000000000\n");
  EXPECT_EQ(read("err.txt"),
            "simulated camera: flash.bin is in use by another program; waiting "
            "for it\n");
#endif
}

// Updates beside a loop of serial-number reads, each run its own process: every run takes its
// turn, and the flash file is whole and holds the image at the end.
TEST_F(SimProgram, ConcurrentRunsNeverCutTheFlashFileShort) {
#if defined(_WIN32)
  GTEST_SKIP() << "the runs are started by a bash script";
#else
  write("fw.img", imageBytes(4096));
  write("scenario.txt", "clock = virtual\nflash = flash.bin\n");
  ASSERT_EQ(runScript(dir_,
                      "for i in 1 2 3 4 5; do \"$UPGRADER\" fw.img >/dev/null || exit 1; "
                      "done & for i in $(seq 30); do \"$UPGRADER\" -s >/dev/null 2>&1; "
                      "done; wait $!"),
            0);
  const std::string flash = read("flash.bin");
  ASSERT_EQ(flash.size(), 16u * 1024 * 1024);
  EXPECT_EQ(flash.substr(0, 4096), imageBytes(4096));
#endif
}

}  // namespace
