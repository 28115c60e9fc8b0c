// The built shared library as a host meets it: loaded at run time by a program that knows only
// its headers, exporting nothing but its plain names, and driving the simulated camera and the
// simulated upgrader end to end.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <sstream>
#include <string>

#include "program_run.h"
#include "scratch_directory.h"
#if !defined(_WIN32)
#include "shell_command.h"
#endif
#include "upgrader_transcripts.h"

namespace {

std::string readFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class LibraryProgram : public ::testing::Test {
 protected:
  std::pair<int, std::string> runHost(const std::string& scenario, const std::string& image) {
    return run(BRENWICK_HOST_PATH, scenario, quotedPath(BRENWICK_SIM_PATH) + " " + image);
  }

  // The plain-C host, writing registers: the pairs are its arguments.
  std::pair<int, std::string> runCHost(const std::string& scenario, const std::string& pairs) {
    return run(BRENWICK_C_HOST_PATH, scenario, quotedPath(BRENWICK_SIM_PATH) + " " + pairs);
  }

  // The host run in the scratch directory on the scenario, with its exit code and its standard
  // output and error together.
  std::pair<int, std::string> run(const std::string& host, const std::string& scenario,
                                  const std::string& arguments) {
    std::ofstream(dir_ / "camera.scenario") << scenario;
    const ProgramRun result =
        runProgram(host, arguments, dir_, "camera.scenario", ErrorOutput::Merged);
    return {result.exitCode, result.out};
  }

  // The extension-unit requests of the video trace: request, length, data, result.
  std::vector<std::string> tracedRequests() {
    std::istringstream trace(readFile(dir_ / "video.trace"));
    std::vector<std::string> requests;
    for (std::string line; std::getline(trace, line);) {
      if (line.find(" KsProperty ") != std::string::npos) {
        requests.push_back(line.substr(line.find(" KsProperty ") + 12));
      }
    }
    return requests;
  }

  ScratchDirectory scratch_{"optiqon-host"};
  const std::filesystem::path& dir_ = scratch_.path();
};

TEST(LibraryExports, OnlyThePlainNamesAreExported) {
#if defined(_WIN32)
  GTEST_SKIP() << "a Windows program under Wine cannot run the build machine's nm; the DLL's "
                  "export table is read by windows.sim_export_table";
#else
  const std::set<std::string> names = exportedNames(BRENWICK_SIM_PATH);
  const std::set<std::string> expected = {
      "Initialize",          "Deinitialize",          "SetProperty",
      "GetProperty",         "SetPropertyExtended",   "GetPropertyExtended",
      "SetRegister",         "GetRegister",           "SaveSettings",
      "ResetSettings",       "SetPassword",           "UpdateFirmware",
      "GetSerialNumber",     "SafeArrayCreateVector", "SafeArrayGetDim",
      "SafeArrayGetLBound",  "SafeArrayGetUBound",    "SafeArrayGetVartype",
      "SafeArrayAccessData", "SafeArrayUnaccessData", "SafeArrayDestroy",
      "CoTaskMemFree"};
  EXPECT_EQ(names, expected);
#endif
}

TEST_F(LibraryProgram, HostDrivesEveryExportAgainstTheSimulatedCamera) {
  std::ofstream(dir_ / "fw.img", std::ios::binary) << std::string(300, 'F');
  const auto [code, output] =
      runHost("clock = virtual\nvideo_trace = video.trace\nflash = flash.bin\n", "fw.img");
  EXPECT_EQ(code, 0);
  EXPECT_EQ(output,
            std::string(
                "\nInitialize() = true\n"
                "\nSetProperty(0, 12.9); GetProperty(0) = 12.000000\n"
                "\nGetPropertyExtended(20) = [0, 0, 0, 0]\n"
                "\nGetPropertyExtended(30) = [-0.45]\n"
                "\nSetPropertyExtended(20, [1, 2, 3, 4]); GetPropertyExtended(20) = [1, 2, 3, 4]\n"
                "\nSetPassword(\"1A2B\") = true\n"
                "\nSetRegister(0x10, 0x80) = true\n"
                "\nGetRegister() = 128\n"
                "\nSaveSettings() = 0\n"
                "\nGetSerialNumber() = K030M05010-000000010000000000000000\n\n"
                "\nUpdateFirmware(\"fw.img\"):\n") +
                transcript::successfulRun(512) +
                "\nDeinitialize():\n"
                "\nExiting App in 5 sec...\n"
                "done\n");
  const std::string flash = readFile(dir_ / "flash.bin");
  EXPECT_EQ(flash.substr(0, 300), std::string(300, 'F'));
  EXPECT_EQ(flash.substr(300, 212), std::string(212, '\xFF'));

  // Every extension-unit request, as the camera received it.
  const std::vector<std::string> requests = tracedRequests();
  const std::string node2 = "0c89b6acb3a360408b9adf34eef39a2e";
  const std::vector<std::string> expected = {
      node2 + "14000000010000100200000000000000 4 00000000 0x00000000",
      node2 + "1e000000010000100200000000000000 1 00 0x00000000",
      node2 + "14000000020000100200000000000000 4 01020304 0x00000000",
      node2 + "14000000010000100200000000000000 4 01020304 0x00000000",
      node2 + "06000000020000100200000000000000 2 1a2b 0x00000000",
      node2 + "06000000010000100200000000000000 2 0100 0x00000000",
      node2 + "03000000020000100200000000000000 2 1080 0x00000000",
      node2 + "03000000010000100200000000000000 2 1080 0x00000000",
      node2 + "03000000020000100200000000000000 2 f001 0x00000000",
  };
  EXPECT_EQ(requests, expected);
}

TEST_F(LibraryProgram, UnusableScenarioStopsTheHostWithCode64) {
  const auto [code, output] = runHost("fail = Nothing=1\n", "");
  EXPECT_EQ(code, 64);
  EXPECT_NE(output.find("Brenwick_sim: camera.scenario:1: "), std::string::npos) << output;
}

TEST_F(LibraryProgram, SuccessWithoutAnObjectIsAnUnusableScenario) {
  const auto [code, output] = runHost("clock = virtual\nfail = QueryIAMVideoProcAmp=1\n", "");
  EXPECT_EQ(code, 64);
  EXPECT_EQ(output,
            "Brenwick_sim: camera.scenario:2: bad value 'QueryIAMVideoProcAmp=1' for fail: "
            "QueryIAMVideoProcAmp hands back an object: expected a failure, a negative HRESULT\n");
}

// Of three capture devices, the one that bears the camera's name is opened, without the list.
TEST_F(LibraryProgram, CameraInTheMiddleOfThreeDevicesIsOpened) {
  const auto [code, output] = runHost(
      "clock = virtual\n"
      "video_devices = Integrated Webcam, Corvantis Optiqon, Capture Card\n"
      "xu = 2.20=0A0B0C0D\n",
      "");
  EXPECT_EQ(code, 0);
  const std::string opened =
      "\nInitialize() = true\n"
      "\nSetProperty(0, 12.9); GetProperty(0) = 12.000000\n"
      "\nGetPropertyExtended(20) = [10, 11, 12, 13]\n";
  EXPECT_EQ(output.substr(0, opened.size()), opened) << output;
}

// A host in plain C passes the register's address and value as 32-bit integers; the camera gets
// their low bytes.
TEST_F(LibraryProgram, PlainCHostWritesTheLowByteOfEachRegisterNumber) {
  const auto [code, output] =
      runCHost("clock = virtual\nvideo_trace = video.trace\n", "0x1FF 0x100 0x10 0x80 -1 256");
  EXPECT_EQ(code, 0);
  EXPECT_EQ(output,
            "Initialize() = true\n"
            "SetRegister(0x1FF, 0x100) = true\n"
            "SetRegister(0x10, 0x80) = true\n"
            "SetRegister(0xFFFFFFFF, 0x100) = true\n"
            "\nExiting App in 5 sec...\n");
  const std::string write = "0c89b6acb3a360408b9adf34eef39a2e03000000020000100200000000000000 2 ";
  EXPECT_EQ(tracedRequests(),
            (std::vector<std::string>{write + "ff00 0x00000000", write + "1080 0x00000000",
                                      write + "ff00 0x00000000"}));
}

}  // namespace
