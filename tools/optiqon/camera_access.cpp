#include "camera_access.h"

#include <Brenwick.h>

#include <algorithm>
#include <atomic>
#include <iostream>
#include <memory>
#include <stdexcept>
#include <string_view>
#include <thread>

#include "library_output_capture.h"
#include "library_output_pipe.h"

namespace {

// How Initialize begins the wait it makes when it finds no camera.
constexpr std::string_view ExitWaitMessage = "Exiting App in 5 sec...";

// Set when Initialize was left in its exit wait.
std::atomic<bool> libraryWaiting{false};

struct InitializeCall {
  LibraryOutputPipe pipe;
  std::atomic<bool> present{false};
};

}  // namespace

bool initializeCamera() {
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

bool libraryStillWaiting() {
  return libraryWaiting;
}

bool openCamera() {
  if (initializeCamera()) {
    return true;
  }
  std::cerr << "optiqon: no camera named \"Corvantis Optiqon\" is connected\n";
  return false;
}

std::string readSerialNumber() {
  const char* text = withLibraryOutputCaptured([] { return GetSerialNumber(); });
  std::string serial = text != nullptr ? text : "";
  while (!serial.empty() && (serial.back() == '\n' || serial.back() == '\r')) {
    serial.pop_back();
  }
  return serial;
}

// The library hands back zeros for a failed read, and tells of the failure only by the info:
// line it prints.
std::optional<std::vector<double>> readControl(int number) {
  std::string printed;
  SAFEARRAY* array =
      withLibraryOutputCaptured([number] { return GetPropertyExtended(number); }, printed);
  if (array == nullptr) {
    return std::nullopt;
  }
  std::vector<double> values;
  LONG lower = 0;
  LONG upper = -1;
  void* data = nullptr;
  if (SafeArrayGetLBound(array, 1, &lower) >= 0 && SafeArrayGetUBound(array, 1, &upper) >= 0 &&
      upper >= lower && SafeArrayAccessData(array, &data) >= 0) {
    const double* doubles = static_cast<const double*>(data);
    values.assign(doubles, doubles + (upper - lower + 1));
    SafeArrayUnaccessData(array);
  }
  SafeArrayDestroy(array);
  if (printed.find("info: ") != std::string::npos) {
    return std::nullopt;
  }
  return values;
}

void writeControl(int number, const std::vector<double>& values) {
  SAFEARRAY* array = SafeArrayCreateVector(VT_R8, 0, static_cast<ULONG>(values.size()));
  if (array == nullptr) {
    throw std::runtime_error("no memory for the values of control " + std::to_string(number));
  }
  void* data = nullptr;
  if (SafeArrayAccessData(array, &data) >= 0) {
    std::copy(values.begin(), values.end(), static_cast<double*>(data));
    SafeArrayUnaccessData(array);
    withLibraryOutputCaptured([number, array] { SetPropertyExtended(number, array); });
  }
  SafeArrayDestroy(array);
}

Reading readSetting(const Setting& setting) {
  Reading reading{setting, std::nullopt, std::nullopt};
  if (setting.kind == Setting::Kind::Property) {
    reading.property =
        propertyValue(withLibraryOutputCaptured([&] { return GetProperty(setting.number); }));
  } else {
    reading.control = readControl(setting.number);
  }
  return reading;
}

void writeSetting(const Setting& setting, const std::vector<double>& values) {
  if (setting.kind == Setting::Kind::Property) {
    withLibraryOutputCaptured([&] { SetProperty(setting.number, values[0]); });
  } else {
    writeControl(setting.number, values);
  }
}

nlohmann::ordered_json controlJson(const Setting& setting, const std::vector<double>& values) {
  if (setting.number == ScaledControl && values.size() == 1) {
    return values.front();
  }
  nlohmann::ordered_json bytes = nlohmann::ordered_json::array();
  for (double byte : values) {
    bytes.push_back(static_cast<int>(byte));
  }
  return bytes;
}

nlohmann::ordered_json readingsJson(const std::vector<Reading>& readings) {
  nlohmann::ordered_json properties = nlohmann::ordered_json::object();
  nlohmann::ordered_json controls = nlohmann::ordered_json::object();
  for (const Reading& reading : readings) {
    if (reading.setting.kind == Setting::Kind::Property) {
      properties[reading.setting.label] =
          reading.property ? nlohmann::ordered_json(*reading.property) : nullptr;
    } else {
      controls[std::to_string(reading.setting.number)] =
          reading.control ? controlJson(reading.setting, *reading.control) : nullptr;
    }
  }
  nlohmann::ordered_json result;
  result["properties"] = properties;
  result["controls"] = controls;
  return result;
}

std::string formatReading(const Reading& reading) {
  if (reading.setting.kind == Setting::Kind::Property) {
    return reading.property ? std::to_string(*reading.property) : "unavailable";
  }
  return reading.control ? formatValue(reading.setting, *reading.control) : "unreadable";
}

void printReadings(const std::vector<Reading>& readings, bool json) {
  if (json) {
    std::cout << readingsJson(readings).dump() << '\n';
    return;
  }
  for (const Reading& reading : readings) {
    std::string label = reading.setting.label;
    label.resize(std::max<std::size_t>(label.size() + 2, 24), ' ');
    std::cout << label << formatReading(reading) << '\n';
  }
}
