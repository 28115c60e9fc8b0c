// The camera over the Brenwick library's exports, which know one camera, the first found, and
// report through what they print as much as through what they return.
//
// The tool never calls Deinitialize: that export only releases what Initialize opened, prints
// its exit message and waits five seconds, and the end of the process releases the same things
// (the open video device, the objects the library holds) without the wait. Nothing the camera
// stores depends on it: settings persist only through SaveSettings.
#include <Brenwick.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <stdexcept>
#include <string_view>
#include <thread>

#include "camera.h"
#include "library_output_capture.h"
#include "library_output_pipe.h"
#include "safe_array_values.h"

namespace {

// How Initialize begins the wait it makes when it finds no camera.
constexpr std::string_view ExitWaitMessage = "Exiting App in 5 sec...";

// Set when Initialize was left in its exit wait.
std::atomic<bool> libraryWaiting{false};

struct InitializeCall {
  LibraryOutputPipe pipe;
  std::atomic<bool> present{false};
};

// Initialize, with the library's lines shown on standard error. Without a camera it returns as
// soon as the library begins the five-second wait in which it does nothing more, and leaves
// that wait to the end of the process.
bool initializeLibrary() {
  // Shared with the call's thread, which outlives this function when it is left waiting.
  const auto call = std::make_shared<InitializeCall>();
  if (!call->pipe.opened()) {
    return withLibraryOutputCaptured([] { return Initialize(); });
  }
  std::thread calling([call] {
    call->present = Initialize();
    call->pipe.giveBack();
  });
  std::string printed;
  char buffer[512];
  for (long got; (got = call->pipe.read(buffer, sizeof buffer)) > 0;) {
    printed.append(buffer, static_cast<std::size_t>(got));
    if (printed.find(ExitWaitMessage) != std::string::npos) {
      // No camera: Initialize has let go of everything and only waits now.
      call->pipe.giveBack();
      libraryWaiting = true;
      calling.detach();
      showLibraryOutput(printed);
      return false;
    }
  }
  calling.join();
  showLibraryOutput(printed);
  return call->present;
}

// A property's value as the library reports it: empty when the report is a failure code. The
// library reports a failure as its HRESULT: the codes it passes on (0x8xxxxxxx) are negative
// numbers below -2^30, far outside any image property's range.
std::optional<int> propertyValue(double reported) {
  if (reported < -1073741824.0 || reported > 2147483647.0) {
    return std::nullopt;
  }
  return static_cast<int>(reported);
}

class BrenwickCamera : public Camera {
 public:
  std::string serialNumber() override {
    const char* text = withLibraryOutputCaptured([] { return GetSerialNumber(); });
    std::string serial = text != nullptr ? text : "";
    while (!serial.empty() && (serial.back() == '\n' || serial.back() == '\r')) {
      serial.pop_back();
    }
    return serial;
  }

  Reading read(const Setting& setting) override {
    Reading reading{setting, std::nullopt, std::nullopt};
    if (setting.kind == Setting::Kind::Property) {
      reading.property =
          propertyValue(withLibraryOutputCaptured([&] { return GetProperty(setting.number); }));
    } else {
      reading.control = readControl(setting.number);
    }
    return reading;
  }

  void write(const Setting& setting, const std::vector<double>& values) override {
    if (setting.kind == Setting::Kind::Property) {
      withLibraryOutputCaptured([&] { SetProperty(setting.number, values[0]); });
    } else {
      writeControl(setting.number, values);
    }
  }

  bool writeRegister(unsigned char address, unsigned char value) override {
    return withLibraryOutputCaptured([&] { return SetRegister(address, value); });
  }

  // The library hands back the register's value; control 3's one byte is the register's address.
  RegisterAnswer readRegister() override {
    RegisterAnswer answer;
    for (double byte : readControl(RegisterControl).value_or(std::vector<double>{})) {
      answer.lastGiven.push_back(static_cast<int>(byte));
    }
    const int value = withLibraryOutputCaptured([] { return GetRegister(); });
    if (value >= 0) {
      answer.value = value;
    }
    return answer;
  }

  bool sendPassword(const std::string& password) override {
    return withLibraryOutputCaptured([&] { return SetPassword(password.c_str()); });
  }

  int storeSettings() override {
    return withLibraryOutputCaptured([] { return SaveSettings(); });
  }

  int restoreFactorySettings() override {
    return withLibraryOutputCaptured([] { return ResetSettings(); });
  }

 private:
  // The library hands back zeros for a failed read, and tells of the failure only by the info:
  // line it prints.
  static std::optional<std::vector<double>> readControl(int number) {
    std::string printed;
    SAFEARRAY* array =
        withLibraryOutputCaptured([number] { return GetPropertyExtended(number); }, printed);
    if (array == nullptr) {
      return std::nullopt;
    }
    std::vector<double> values = valuesOfSafeArray(array);
    SafeArrayDestroy(array);
    if (printed.find("info: ") != std::string::npos) {
      return std::nullopt;
    }
    return values;
  }

  static void writeControl(int number, const std::vector<double>& values) {
    SAFEARRAY* array = SafeArrayCreateVector(VT_R8, 0, static_cast<ULONG>(values.size()));
    if (array == nullptr) {
      throw std::runtime_error("no memory for the values of control " + std::to_string(number));
    }
    if (copyIntoSafeArray(array, values)) {
      withLibraryOutputCaptured([number, array] { SetPropertyExtended(number, array); });
    }
    SafeArrayDestroy(array);
  }
};

}  // namespace

std::unique_ptr<Camera> findCamera(const CameraChoice&) {
  if (!initializeLibrary()) {
    return nullptr;
  }
  return std::make_unique<BrenwickCamera>();
}

int finishWithCamera(int exitCode) {
  if (libraryWaiting) {
    std::cout.flush();
    std::cerr.flush();
    std::fflush(nullptr);
    std::_Exit(exitCode);
  }
  return exitCode;
}
