// The commands that read and change the camera's settings: status, show, get and set.
#include <Brenwick.h>

#include <iostream>
#include <nlohmann/json.hpp>

#include "camera_access.h"
#include "commands.h"
#include "library_output_capture.h"

namespace {

// What a read-back shows when the value took: the property's whole number, the bytes, or for
// control 30 the byte the library made of the number, as the library reads that byte back.
bool took(const Assignment& assignment, const Reading& reading) {
  if (assignment.setting.kind == Setting::Kind::Property) {
    return reading.property && *reading.property == static_cast<int>(assignment.values[0]);
  }
  if (assignment.setting.number == ScaledControl) {
    const auto byte =
        static_cast<unsigned char>(static_cast<int>(OptiqonScaledForWriting(assignment.values[0])));
    return reading.control && reading.control->size() == 1 &&
           reading.control->front() == OptiqonScaledAfterReading(byte);
  }
  return reading.control == assignment.values;
}

}  // namespace

int status(bool json) {
  const bool present = initializeCamera();
  std::string serial;
  if (present) {
    serial = readSerialNumber();
  }
  if (json) {
    nlohmann::ordered_json result;
    result["camera"] = present ? "present" : "absent";
    if (present) {
      result["serial_number"] = serial;
    }
    std::cout << result.dump() << '\n';
  } else {
    std::cout << "camera                  " << (present ? "present" : "absent") << '\n';
    if (present) {
      std::cout << "serial number           " << serial << '\n';
    }
  }
  return present ? Ok : NoCamera;
}

int show(bool json) {
  if (!openCamera()) {
    return NoCamera;
  }
  std::vector<Reading> readings;
  int result = Ok;
  for (const Setting& setting : everySetting()) {
    readings.push_back(readSetting(setting));
    if (!readings.back().answered()) {
      std::cerr << "optiqon: the camera did not answer for " << setting.label << '\n';
      result = Refused;
    }
  }
  printReadings(readings, json);
  return result;
}

int get(const std::vector<std::string>& names, bool json) {
  std::vector<Setting> settings;
  for (const std::string& name : names) {
    settings.push_back(findSetting(name));
  }
  if (!openCamera()) {
    return NoCamera;
  }
  std::vector<Reading> readings;
  int result = Ok;
  for (const Setting& setting : settings) {
    readings.push_back(readSetting(setting));
    if (!readings.back().answered()) {
      std::cerr << "optiqon: the camera did not answer for " << setting.label << '\n';
      result = Refused;
    }
  }
  printReadings(readings, json);
  return result;
}

int set(const std::vector<std::string>& texts, bool json) {
  std::vector<Assignment> assignments;
  bool bad = false;
  for (const std::string& text : texts) {
    try {
      assignments.push_back(parseAssignment(text));
    } catch (const UsageError& error) {
      std::cerr << "optiqon: " << error.what() << '\n';
      bad = true;
    }
  }
  if (bad) {
    return BadUsage;
  }
  if (!openCamera()) {
    return NoCamera;
  }
  std::vector<Reading> readings;
  int result = Ok;
  for (const Assignment& assignment : assignments) {
    const Setting& setting = assignment.setting;
    writeSetting(setting, assignment.values);
    readings.push_back(readSetting(setting));
    if (!took(assignment, readings.back())) {
      std::cerr << "optiqon: " << setting.label << " did not take the value "
                << formatValue(setting, assignment.values) << '\n';
      result = Refused;
    }
  }
  printReadings(readings, json);
  return result;
}
