// The camera as the tool's commands see it: opened, read and written through the library's
// exports alone, with the library's own lines kept off the tool's results.
#pragma once

#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "camera_values.h"

// The tool's exit codes. The update exits with the upgrader's own codes instead
// (OptiqonUpgraderExitCode), and with NoVerdict when the upgrader did not run or did not end with
// a verdict.
enum ExitCode { Ok = 0, NoCamera = 1, BadUsage = 2, Refused = 3, NoVerdict = 6 };

// Initialize, with the library's lines shown on standard error. Without a camera it returns as
// soon as the library begins the five-second wait in which it does nothing more, and leaves
// that wait to the end of the process.
bool initializeCamera();
// Whether the library was left in that wait: the process then ends without waiting for it.
bool libraryStillWaiting();

// Whether the camera is there; says so on standard error when it is not.
bool openCamera();

// The serial number the camera reports, without the line end the library leaves on it.
std::string readSerialNumber();

// The control's values; empty when the read failed.
std::optional<std::vector<double>> readControl(int number);

void writeControl(int number, const std::vector<double>& values);

// One value as read: the property's number or the control's values, each empty when the camera
// did not answer.
struct Reading {
  Setting setting;
  std::optional<int> property;
  std::optional<std::vector<double>> control;

  bool answered() const {
    return setting.kind == Setting::Kind::Property ? property.has_value() : control.has_value();
  }
};

Reading readSetting(const Setting& setting);

// A property's one whole number or a control's values, as the library takes them.
void writeSetting(const Setting& setting, const std::vector<double>& values);

// A control's value as the JSON output and the profiles carry it: the bytes as a list, control
// 30 as its scaled number.
nlohmann::ordered_json controlJson(const Setting& setting, const std::vector<double>& values);

// The readings as {"properties": {name: value}, "controls": {number: value}}; null for a value
// the camera did not answer for.
nlohmann::ordered_json readingsJson(const std::vector<Reading>& readings);

// A reading as the tables show it.
std::string formatReading(const Reading& reading);

// Label and value in columns, or the JSON of readingsJson, on standard output.
void printReadings(const std::vector<Reading>& readings, bool json);
