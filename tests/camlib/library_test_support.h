// What the camera library's in-process suites share, whichever backend is under the library: its
// console kept in a file for the test to read, the lines it prints when it finds no camera and
// when it lets go, safe arrays as a host makes and takes them, and the simulated upgrader that
// the library starts.
#pragma once

#include <gtest/gtest.h>

#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "Brenwick.h"
#include "captured_standard_error.h"
#include "environment_variable.h"
#include "library_console.h"
#include "scratch_directory.h"

inline constexpr const char* NotFound =
    "\nDid not find \"K3M51-USB\" device (AN75779 firmware)\n\n \t\t\t\tVideo Devices connected : "
    "\n";
inline constexpr const char* Exiting = "\nExiting App in 5 sec...";

inline std::string failureLine(const std::string& operation, const std::string& step,
                               const std::string& code) {
  return "info: Function: " + operation + ", " + step + " failed, Error code: 0x" + code + " \n";
}

// The library's console, sent to a temporary file for as long as this lives.
class CapturedConsole {
 public:
  CapturedConsole() : file_(std::tmpfile()) { setLibraryConsole(file_); }
  ~CapturedConsole() {
    setLibraryConsole(nullptr);
    std::fclose(file_);
  }
  CapturedConsole(const CapturedConsole&) = delete;
  CapturedConsole& operator=(const CapturedConsole&) = delete;

  // What the library printed since the last look.
  std::string printed() {
    std::string text;
    std::fseek(file_, read_, SEEK_SET);
    for (int c; (c = std::fgetc(file_)) != EOF;) {
      text += static_cast<char>(c);
    }
    read_ = std::ftell(file_);
    return text;
  }

 private:
  std::FILE* file_;
  long read_ = 0;
};

// Reads the doubles of an array the library returned, and destroys it as a host would.
inline std::vector<double> takeValues(SAFEARRAY* array) {
  std::vector<double> values;
  if (array == nullptr) {
    ADD_FAILURE() << "no array";
    return values;
  }
  LONG lower = 0, upper = 0;
  EXPECT_EQ(SafeArrayGetLBound(array, 1, &lower), S_OK);
  EXPECT_EQ(SafeArrayGetUBound(array, 1, &upper), S_OK);
  EXPECT_EQ(lower, 0);
  void* data = nullptr;
  EXPECT_EQ(SafeArrayAccessData(array, &data), S_OK);
  const auto* doubles = static_cast<const double*>(data);
  values.assign(doubles, doubles + (upper - lower + 1));
  SafeArrayUnaccessData(array);
  EXPECT_EQ(SafeArrayDestroy(array), S_OK);
  return values;
}

// An array of doubles as a host makes one to pass in, destroyed with this object.
struct HostArray {
  explicit HostArray(const std::vector<double>& values)
      : array(SafeArrayCreateVector(VT_R8, 0, static_cast<ULONG>(values.size()))) {
    void* data = nullptr;
    SafeArrayAccessData(array, &data);
    std::copy(values.begin(), values.end(), static_cast<double*>(data));
    SafeArrayUnaccessData(array);
  }
  ~HostArray() { SafeArrayDestroy(array); }
  SAFEARRAY* array;
};

// A scratch directory with the scenario of the simulated upgrader's camera: a virtual clock, and
// the flash kept in the directory. Between enter() and leave() the directory is the working
// directory and OPTIQON_SIM_CAMERA names the scenario, so that the upgrader the library starts
// runs on it.
class UpgraderScenario {
 public:
  explicit UpgraderScenario(const std::string& prefix)
      : scratch_(prefix), file_((scratch_ / "camera.scenario").string()) {}

  void enter() {
    std::ofstream(file_) << "clock = virtual\nflash = " << (dir() / "flash.bin").string() << "\n";
    setEnvironmentVariable("OPTIQON_SIM_CAMERA", file_.c_str());
    previous_ = std::filesystem::current_path();
    std::filesystem::current_path(dir());
  }
  void leave() {
    std::filesystem::current_path(previous_);
    clearEnvironmentVariable("OPTIQON_SIM_CAMERA");
  }

  const std::filesystem::path& dir() const { return scratch_.path(); }
  const std::string& file() const { return file_; }

 private:
  ScratchDirectory scratch_;
  std::string file_;
  std::filesystem::path previous_;
};
