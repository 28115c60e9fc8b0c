// Settings profiles: export writes the camera's settings to a JSON file, import writes a file's
// settings to the camera. A file is checked whole before anything is sent, so that a bad file
// never leaves the camera half set.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <nlohmann/json.hpp>
#include <sstream>

#include "camera_access.h"
#include "commands.h"

namespace {

constexpr int ProfileFormat = 1;

// Control 30 reads back as its byte times 0.05 less 0.45, but the library makes the byte it
// writes from (number - 0.45) * 20, truncated. A profile holds the number as it reads back, so
// that it can be compared and restored; these turn it into the byte and the byte into the
// number that writes it. Half a step above the byte keeps the truncation off the step below.
std::optional<long long> scaledReadingByte(double number) {
  const double steps = (number + 0.45) * 20;
  const long long byte = std::llround(steps);
  if (std::fabs(steps - static_cast<double>(byte)) > 1e-6 || byte < 0 || byte > 255) {
    return std::nullopt;
  }
  return byte;
}

double scaledWriteNumber(long long byte) {
  return 0.45 + (static_cast<double>(byte) + 0.5) / 20;
}

// One value of a profile: as the file holds it (and as get shows it), and as it is written.
struct ProfileValue {
  Setting setting;
  std::vector<double> file;
  std::vector<double> write;
};

bool matches(const ProfileValue& value, const Reading& reading) {
  if (value.setting.kind == Setting::Kind::Property) {
    return reading.property && *reading.property == static_cast<int>(value.file[0]);
  }
  if (value.setting.number == ScaledControl) {
    return reading.control && reading.control->size() == 1 &&
           scaledReadingByte(reading.control->front()) == scaledReadingByte(value.file[0]);
  }
  return reading.control == value.file;
}

// A property's value in a profile: a whole number the amplifier can carry.
std::vector<double> profilePropertyValue(const nlohmann::ordered_json& json) {
  if (!json.is_number_integer() || json.get<long long>() < INT32_MIN ||
      json.get<long long>() > INT32_MAX) {
    throw UsageError(json.dump() + " is not a whole number");
  }
  return {static_cast<double>(json.get<long long>())};
}

std::vector<double> controlBytes(int number, const nlohmann::ordered_json& json) {
  if (!json.is_array()) {
    throw UsageError(json.dump() + " is not a list of bytes: " + controlTakes(number));
  }
  if (static_cast<int>(json.size()) != controlLength(number)) {
    throw UsageError(controlTakes(number) + ", not " + std::to_string(json.size()));
  }
  std::vector<double> bytes;
  for (const nlohmann::ordered_json& byte : json) {
    if (!byte.is_number_integer() || byte.get<long long>() < 0 || byte.get<long long>() > 255) {
      throw UsageError("byte " + byte.dump() + " is not a whole number from 0 to 255");
    }
    bytes.push_back(static_cast<double>(byte.get<long long>()));
  }
  return bytes;
}

ProfileValue controlValue(const Setting& setting, const nlohmann::ordered_json& json) {
  if (setting.number == RegisterControl || setting.number == PasswordControl) {
    throw UsageError(std::string("control ") + std::to_string(setting.number) + " is the " +
                     (setting.number == RegisterControl ? "register" : "password") +
                     " control, not a setting");
  }
  if (setting.number != ScaledControl) {
    const std::vector<double> bytes = controlBytes(setting.number, json);
    return {setting, bytes, bytes};
  }
  const std::optional<long long> byte =
      json.is_number() ? scaledReadingByte(json.get<double>()) : std::nullopt;
  if (!byte) {
    throw UsageError(json.dump() +
                     " is not a value of control 30 (-0.45 to 12.3 in steps of 0.05)");
  }
  return {setting, {json.get<double>()}, {scaledWriteNumber(*byte)}};
}

// The file's values, image properties in their numbering order, then vendor controls
// ascending; UsageError naming every bad part when the file is not a profile that can be
// written whole.
std::vector<ProfileValue> readProfile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    throw UsageError("cannot read the profile " + path);
  }
  const std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  // Ordered, so that the bad parts are named in the order the file holds them.
  nlohmann::ordered_json profile;
  try {
    profile = nlohmann::ordered_json::parse(text);
  } catch (const nlohmann::ordered_json::parse_error& error) {
    const std::string what = error.what();
    throw UsageError(path + " is not valid JSON: " + what.substr(what.find("] ") + 2));
  }
  if (!profile.is_object()) {
    throw UsageError(path + " is not a settings profile: expected a JSON object");
  }
  if (!profile.contains("format")) {
    throw UsageError(path + " is not a settings profile: it has no \"format\"");
  }
  if (profile["format"] != ProfileFormat) {
    throw UsageError(path + ": profile format " + profile["format"].dump() +
                     " is not one this optiqon reads (it reads format 1)");
  }
  std::vector<std::string> errors;
  std::vector<ProfileValue> values;
  for (const auto& [key, entry] : profile.items()) {
    const bool settings = key == "properties" || key == "controls";
    if (!settings && key != "format" && key != "serial_number" && key != "taken") {
      errors.push_back("unknown entry \"" + key + "\"");
    } else if (settings && !entry.is_object()) {
      errors.push_back("\"" + key + "\" is not a JSON object");
    }
  }
  for (const char* group : {"properties", "controls"}) {
    if (!profile.contains(group) || !profile[group].is_object()) {
      continue;
    }
    const Setting::Kind kind =
        group == std::string("properties") ? Setting::Kind::Property : Setting::Kind::Control;
    for (const auto& [name, value] : profile[group].items()) {
      const std::string where = std::string(group) + " \"" + name + "\": ";
      try {
        const Setting setting = findSetting(name);
        if (setting.kind != kind) {
          throw UsageError(kind == Setting::Kind::Property ? "not an image property"
                                                           : "not a vendor control number");
        }
        if (kind == Setting::Kind::Property) {
          const std::vector<double> number = profilePropertyValue(value);
          values.push_back({setting, number, number});
        } else {
          values.push_back(controlValue(setting, value));
        }
      } catch (const UsageError& error) {
        errors.push_back(where + error.what());
      }
    }
  }
  if (!errors.empty()) {
    std::string message;
    for (std::size_t i = 0; i < errors.size(); ++i) {
      message += (i == 0 ? "" : "\noptiqon: ") + path + ": " + errors[i];
    }
    throw UsageError(message);
  }
  std::sort(values.begin(), values.end(), [](const ProfileValue& a, const ProfileValue& b) {
    return std::make_pair(a.setting.kind != Setting::Kind::Property, a.setting.number) <
           std::make_pair(b.setting.kind != Setting::Kind::Property, b.setting.number);
  });
  return values;
}

std::string column(std::string label) {
  label.resize(std::max<std::size_t>(label.size() + 2, 24), ' ');
  return label;
}

// The time as ISO 8601 in UTC, to the second.
std::string utcNow() {
  using namespace std::chrono;
  const auto now = floor<seconds>(system_clock::now());
  const auto day = floor<days>(now);
  const year_month_day date{day};
  const hh_mm_ss time{now - day};
  char text[32];
  std::snprintf(text, sizeof text, "%04d-%02u-%02uT%02d:%02d:%02dZ", static_cast<int>(date.year()),
                static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()),
                static_cast<int>(time.hours().count()), static_cast<int>(time.minutes().count()),
                static_cast<int>(time.seconds().count()));
  return text;
}

// The profile laid out one value a line, each value on its line whole, so that a profile reads
// and compares as the table of show does.
std::string layOut(const nlohmann::ordered_json& profile) {
  std::string text = "{";
  const char* separator = "\n";
  for (const auto& [key, entry] : profile.items()) {
    text += separator + std::string("  ") + nlohmann::json(key).dump() + ": ";
    if (entry.is_object()) {
      text += "{";
      const char* inner = "\n";
      for (const auto& [name, value] : entry.items()) {
        text += inner + std::string("    ") + nlohmann::json(name).dump() + ": " + value.dump();
        inner = ",\n";
      }
      text += "\n  }";
    } else {
      text += entry.dump();
    }
    separator = ",\n";
  }
  return text + "\n}\n";
}

// Writes the text beside the file and renames it into place, so that a write that fails (a full
// disk) leaves an earlier profile of that name as it was.
bool replaceFile(const std::string& path, const std::string& text) {
  const std::string partial = path + ".partial";
  std::ofstream out(partial, std::ios::binary);
  out << text;
  out.close();
  std::error_code error;
  if (out) {
    std::filesystem::rename(partial, path, error);
    if (!error) {
      return true;
    }
  }
  std::filesystem::remove(partial, error);
  return false;
}

}  // namespace

int exportProfile(const std::string& path) {
  if (!openCamera()) {
    return NoCamera;
  }
  std::vector<Reading> readings;
  for (const Setting& setting : everySetting()) {
    if (setting.kind == Setting::Kind::Control &&
        (setting.number == RegisterControl || setting.number == PasswordControl)) {
      continue;
    }
    readings.push_back(readSetting(setting));
    if (!readings.back().answered()) {
      std::cerr << "optiqon: the camera did not answer for " << setting.label
                << ": no profile written\n";
      return Refused;
    }
  }
  nlohmann::ordered_json profile;
  profile["format"] = ProfileFormat;
  profile["serial_number"] = readSerialNumber();
  profile["taken"] = utcNow();
  const nlohmann::ordered_json values = readingsJson(readings);
  profile["properties"] = values["properties"];
  profile["controls"] = values["controls"];
  if (!replaceFile(path, layOut(profile))) {
    std::cerr << "optiqon: cannot write the profile " << path << '\n';
    return BadUsage;
  }
  std::cout << "profile of camera " << profile["serial_number"].get<std::string>() << " written to "
            << path << '\n';
  return Ok;
}

int importProfile(const std::string& path, bool dryRun, bool save) {
  const std::vector<ProfileValue> values = readProfile(path);
  if (!openCamera()) {
    return NoCamera;
  }
  if (dryRun) {
    bool changes = false;
    for (const ProfileValue& value : values) {
      const Reading current = readSetting(value.setting);
      if (!matches(value, current)) {
        std::cout << column(value.setting.label) << formatReading(current) << " -> "
                  << formatValue(value.setting, value.file) << '\n';
        changes = true;
      }
    }
    if (!changes) {
      std::cout << "nothing would change\n";
    }
    return Ok;
  }
  int result = Ok;
  std::vector<Reading> readings;
  for (const ProfileValue& value : values) {
    writeSetting(value.setting, value.write);
    readings.push_back(readSetting(value.setting));
    if (!matches(value, readings.back())) {
      std::cerr << "optiqon: " << value.setting.label << " did not take the value "
                << formatValue(value.setting, value.file) << '\n';
      result = Refused;
    }
  }
  printReadings(readings, false);
  if (save) {
    if (result != Ok) {
      std::cerr << "optiqon: settings not saved, since not every value took\n";
      return result;
    }
    return settingsCommand(true);
  }
  return result;
}
