#include "output_format.h"

#include <algorithm>
#include <iostream>

#include "camera.h"

namespace {

constexpr std::size_t LabelColumn = 24;
constexpr std::size_t LeastGap = 2;

}  // namespace

std::string tableRow(std::string_view label, std::string_view value) {
  std::string row(label);
  row.resize(std::max(row.size() + LeastGap, LabelColumn), ' ');
  return row.append(value);
}

void printRow(std::string_view label, std::string_view value) {
  printLine(tableRow(label, value));
}

void printJson(const Json& value) {
  printLine(value.dump());
}

void printLine(std::string_view text) {
  std::cout << text << '\n';
}

void printProblem(std::string_view message) {
  std::cerr << "optiqon: " << message << '\n';
}

std::string formatReading(const Reading& reading) {
  if (reading.setting.kind == Setting::Kind::Property) {
    return reading.property ? std::to_string(*reading.property) : "unavailable";
  }
  return reading.control ? formatValue(reading.setting, *reading.control) : "unreadable";
}

Json controlJson(const Setting& setting, const std::vector<double>& values) {
  if (setting.number == ScaledControl && values.size() == 1) {
    return values.front();
  }
  Json bytes = Json::array();
  for (double byte : values) {
    bytes.push_back(static_cast<int>(byte));
  }
  return bytes;
}

Json readingsJson(const std::vector<Reading>& readings) {
  Json properties = Json::object();
  Json controls = Json::object();
  for (const Reading& reading : readings) {
    if (reading.setting.kind == Setting::Kind::Property) {
      properties[reading.setting.label] = reading.property ? Json(*reading.property) : nullptr;
    } else {
      controls[std::to_string(reading.setting.number)] =
          reading.control ? controlJson(reading.setting, *reading.control) : nullptr;
    }
  }
  Json result;
  result["properties"] = properties;
  result["controls"] = controls;
  return result;
}

void printReadings(const std::vector<Reading>& readings, bool json) {
  if (json) {
    printJson(readingsJson(readings));
    return;
  }
  for (const Reading& reading : readings) {
    printRow(reading.setting.label, formatReading(reading));
  }
}

Json listingJson(const CameraListing& camera) {
  Json object;
  object["serial_number"] = camera.serialNumber ? Json(*camera.serialNumber) : Json(nullptr);
  object["location"] = camera.location;
  object["video_side"] = camera.videoSide;
  object["hid_side"] = camera.hidSide;
  return object;
}
