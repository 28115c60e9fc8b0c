// The shipped libBrenwick.so as a host meets it on this machine: the same exports as the
// simulated library, and, without any video device, the not-found listing after a real wait.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <set>
#include <sstream>
#include <string>

#include "shell_command.h"

namespace {

TEST(ShippedLibrary, ExportsExactlyWhatTheSimulatedLibraryExports) {
  const std::set<std::string> shipped = exportedNames(BRENWICK_PATH);
  EXPECT_EQ(shipped.size(), 22u);  // the thirteen commands and the safe-array and memory functions
  EXPECT_EQ(shipped, exportedNames(BRENWICK_SIM_PATH));
}

TEST(ShippedLibrary, WithoutVideoDevicesInitializeListsNoneWaitsAndFails) {
  std::error_code error;
  if (std::filesystem::exists("/sys/class/video4linux", error) &&
      !std::filesystem::is_empty("/sys/class/video4linux", error)) {
    GTEST_SKIP() << "this machine has video devices";
  }
  const auto start = std::chrono::steady_clock::now();
  const auto [code, output] =
      runCommand(std::string("'") + LIBRARY_HOST_PATH + "' '" + BRENWICK_PATH + "' 2>&1");
  const auto waited = std::chrono::steady_clock::now() - start;
  EXPECT_EQ(code, 0);
  EXPECT_EQ(output,
            "\nDid not find \"K3M51-USB\" device (AN75779 firmware)\n\n"
            " \t\t\t\tVideo Devices connected : \n"
            "\nExiting App in 5 sec..."
            "\nInitialize() = false\n");
  EXPECT_GE(waited, std::chrono::milliseconds(5000));
}

}  // namespace
