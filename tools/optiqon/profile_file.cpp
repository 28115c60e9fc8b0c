#include "profile_file.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <set>
#include <string_view>

#include "output_format.h"

namespace {

constexpr int ProfileFormat = 1;
// Larger than any profile: export writes about 1 KB.
constexpr std::size_t MostProfileBytes = 1024 * 1024;
// A profile nests three deep (the profile, its groups, a control's bytes); a file that nests far
// deeper is no profile, and is refused before it is built.
constexpr int MostProfileNesting = 8;
// How much of a bad value or name a message shows.
constexpr std::size_t MostExcerptCharacters = 40;

// Text for a message: as it is when it is short printable ASCII, otherwise with every other byte
// as \xNN, and cut short with "..." past `most` characters, so that a message stays one short
// readable line whatever the file holds.
std::string shortText(std::string_view text, std::size_t most = MostExcerptCharacters) {
  std::string shown;
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte >= 0x20 && byte < 0x7F) {
      shown += c;
    } else {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\x%02X", byte);
      shown += escaped;
    }
    if (shown.size() > most) {
      return shown.substr(0, most) + "...";
    }
  }
  return shown;
}

// A value as JSON, short: what a message quotes of a bad value.
std::string excerpt(const Json& value) {
  return shortText(value.dump(-1, ' ', true, Json::error_handler_t::replace));
}

// A key as the file spells it, quoted as JSON, short.
std::string quotedKey(const std::string& key) {
  return excerpt(Json(key));
}

// A JSON integer as a whole number; none for any other value, and for an integer beyond what a
// long long holds (the parser keeps those as unsigned).
std::optional<long long> wholeNumberOf(const Json& value) {
  if (value.is_number_unsigned()) {
    const auto number = value.get<std::uint64_t>();
    if (number > static_cast<std::uint64_t>(INT64_MAX)) {
      return std::nullopt;
    }
    return static_cast<long long>(number);
  }
  if (value.is_number_integer()) {
    return value.get<long long>();
  }
  return std::nullopt;
}

// Control 30 reads back as its byte times 0.05 less 0.45, but the byte written is made
// from (number - 0.45) * 20, truncated. A profile holds the number as it reads back, so
// that it can be compared and restored; these turn it into the byte and the byte into the
// number that writes it. Half a step above the byte keeps the truncation off the step below.
std::optional<long long> scaledReadingByte(double number) {
  if (!(number >= -1 && number <= 13)) {
    return std::nullopt;  // far off the scale, and no value for llround
  }
  const double steps = (number + OPTIQON_SCALE_OFFSET) / OPTIQON_SCALE_READ_FACTOR;
  const long long byte = std::llround(steps);
  if (std::fabs(steps - static_cast<double>(byte)) > 1e-6 || byte < 0 || byte > 255) {
    return std::nullopt;
  }
  return byte;
}

double scaledWriteNumber(long long byte) {
  return OPTIQON_SCALE_OFFSET + (static_cast<double>(byte) + 0.5) / OPTIQON_SCALE_WRITE_FACTOR;
}

// A property's value in a profile: a whole number the amplifier can carry.
std::vector<double> profilePropertyValue(const Json& json) {
  if (!json.is_number_integer()) {
    throw UsageError(excerpt(json) + " is not a whole number");
  }
  const std::optional<long long> number = wholeNumberOf(json);
  if (!number || *number < INT32_MIN || *number > INT32_MAX) {
    throw UsageError(excerpt(json) + " is not a whole number from -2147483648 to 2147483647");
  }
  return {static_cast<double>(*number)};
}

std::vector<double> controlBytes(int number, const Json& json) {
  if (!json.is_array()) {
    throw UsageError(excerpt(json) + " is not a list of bytes: " + controlTakes(number));
  }
  if (static_cast<int>(json.size()) != controlLength(number)) {
    throw UsageError(controlTakes(number) + ", not " + std::to_string(json.size()));
  }
  std::vector<double> bytes;
  for (const Json& byte : json) {
    const std::optional<long long> value = wholeNumberOf(byte);
    if (!value || *value < 0 || *value > 255) {
      throw UsageError("byte " + excerpt(byte) + " is not a whole number from 0 to 255");
    }
    bytes.push_back(static_cast<double>(*value));
  }
  return bytes;
}

ProfileValue controlValue(const Setting& setting, const Json& json) {
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
    throw UsageError(excerpt(json) +
                     " is not a value of control 30 (-0.45 to 12.3 in steps of 0.05)");
  }
  return {setting, {json.get<double>()}, {scaledWriteNumber(*byte)}};
}

// The profile's text: a regular file, read no further than one byte past the most a profile
// holds.
std::string readProfileFile(const std::string& path) {
  std::error_code error;
  const std::filesystem::file_status status = std::filesystem::status(path, error);
  if (!std::filesystem::exists(status)) {
    throw UsageError("cannot read the profile " + path);
  }
  if (!std::filesystem::is_regular_file(status)) {
    throw UsageError(path + " is not a settings profile: not a regular file");
  }
  std::ifstream in(path, std::ios::binary);
  std::string text(MostProfileBytes + 1, '\0');
  in.read(text.data(), static_cast<std::streamsize>(text.size()));
  if (in.bad() || (!in && !in.eof())) {
    throw UsageError("cannot read the profile " + path);
  }
  text.resize(static_cast<std::size_t>(in.gcount()));
  return text;
}

// At most MostProfileBytes, holding no NUL (which would end the text early for some readers and
// not for others).
void checkProfileText(const std::string& name, const std::string& text) {
  if (text.size() > MostProfileBytes) {
    throw UsageError(name + " is not a settings profile: larger than 1 MiB");
  }
  if (text.find('\0') != std::string::npos) {
    throw UsageError(name + " is not a settings profile: it holds a NUL byte");
  }
}

// The text parsed, nesting bounded and every key of an object given once; UsageError otherwise.
Json parseProfile(const std::string& path, const std::string& text) {
  std::vector<std::set<std::string>> keysOfOpenObjects;
  const Json::parser_callback_t check = [&](int depth, Json::parse_event_t event, Json& parsed) {
    using Event = Json::parse_event_t;
    if ((event == Event::object_start || event == Event::array_start) &&
        depth >= MostProfileNesting) {
      throw UsageError(path + " is not a settings profile: it nests values more than " +
                       std::to_string(MostProfileNesting) + " deep");
    }
    if (event == Event::object_start) {
      keysOfOpenObjects.emplace_back();
    } else if (event == Event::object_end && !keysOfOpenObjects.empty()) {
      keysOfOpenObjects.pop_back();
    } else if (event == Event::key && !keysOfOpenObjects.empty() &&
               !keysOfOpenObjects.back().insert(parsed.get<std::string>()).second) {
      throw UsageError(path + ": " + quotedKey(parsed.get<std::string>()) + " is given twice");
    }
    return true;
  };
  try {
    return Json::parse(text, check);
  } catch (const Json::parse_error& error) {
    const std::string what = error.what();
    throw UsageError(path +
                     " is not valid JSON: " + shortText(what.substr(what.find("] ") + 2), 200));
  }
}

// The profile's format: the whole number 1.
void checkFormat(const std::string& path, const Json& profile) {
  if (!profile.contains("format")) {
    throw UsageError(path + " is not a settings profile: it has no \"format\"");
  }
  const Json& format = profile["format"];
  if (!format.is_number_integer() || wholeNumberOf(format) != ProfileFormat) {
    throw UsageError(path + ": profile format " + excerpt(format) +
                     " is not one this optiqon reads (it reads format 1)");
  }
}

// Every bad part of the profile's entries other than its values: unknown entries, and entries of
// the wrong type.
std::vector<std::string> entryErrors(const Json& profile) {
  std::vector<std::string> errors;
  for (const auto& [key, entry] : profile.items()) {
    const bool settings = key == "properties" || key == "controls";
    const bool text = key == "serial_number" || key == "taken";
    if (!settings && !text && key != "format") {
      errors.push_back("unknown entry " + quotedKey(key));
    } else if (settings && !entry.is_object()) {
      errors.push_back(quotedKey(key) + " is not a JSON object");
    } else if (text && !entry.is_string()) {
      errors.push_back(quotedKey(key) + " is not a string");
    }
  }
  return errors;
}

// The setting a key of the group names: a property by name in "properties", a vendor control by
// number in "controls" (however the number is spelled).
Setting settingOfKey(const std::string& key, Setting::Kind kind) {
  const bool plain =
      key.size() <= MostExcerptCharacters &&
      std::all_of(key.begin(), key.end(), [](char c) { return c > 0x20 && c < 0x7F; });
  if (!plain) {
    throw UsageError("not an image property or vendor control number");
  }
  const Setting setting = findSetting(key);
  if (setting.kind != kind) {
    throw UsageError(kind == Setting::Kind::Property ? "not an image property"
                                                     : "not a vendor control number");
  }
  return setting;
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

// The profile laid out one value a line.
std::string layOut(const Json& profile) {
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

}  // namespace

bool keptInProfile(const Setting& setting) {
  return setting.kind == Setting::Kind::Property ||
         (setting.number != RegisterControl && setting.number != PasswordControl);
}

std::string profileText(const std::optional<std::string>& serialNumber,
                        const std::vector<Reading>& readings) {
  Json profile;
  profile["format"] = ProfileFormat;
  // A camera whose HID interface was not found gave no serial number: the profile holds none.
  if (serialNumber) {
    profile["serial_number"] = *serialNumber;
  }
  profile["taken"] = utcNow();
  const Json values = readingsJson(readings);
  profile["properties"] = values["properties"];
  profile["controls"] = values["controls"];
  return layOut(profile);
}

std::string currentProfile(Camera& camera) {
  std::vector<Reading> readings;
  for (const Setting& setting : everySetting()) {
    if (!keptInProfile(setting)) {
      continue;
    }
    readings.push_back(camera.read(setting));
    if (!readings.back().answered()) {
      throw CommandFailure(Refused, "the camera did not answer for " + setting.label + ": " +
                                        camera.lastFailure() + ": no profile written");
    }
  }
  return profileText(camera.serialNumber(), readings);
}

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

std::vector<ProfileValue> readProfile(const std::string& path) {
  std::string text;
  return readProfile(path, text);
}

std::vector<ProfileValue> readProfile(const std::string& path, std::string& text) {
  text = readProfileFile(path);
  return readProfileText(path, text);
}

std::vector<ProfileValue> readProfileText(const std::string& path, const std::string& text) {
  checkProfileText(path, text);
  // Ordered, so that the bad parts are named in the order the file holds them.
  const Json profile = parseProfile(path, text);
  if (!profile.is_object()) {
    throw UsageError(path + " is not a settings profile: expected a JSON object");
  }
  checkFormat(path, profile);
  std::vector<std::string> errors = entryErrors(profile);
  std::vector<ProfileValue> values;
  for (const char* group : {"properties", "controls"}) {
    if (!profile.contains(group) || !profile[group].is_object()) {
      continue;
    }
    const Setting::Kind kind =
        group == std::string("properties") ? Setting::Kind::Property : Setting::Kind::Control;
    std::set<int> given;
    for (const auto& [name, value] : profile[group].items()) {
      const std::string where = std::string(group) + " " + quotedKey(name) + ": ";
      try {
        const Setting setting = settingOfKey(name, kind);
        if (!given.insert(setting.number).second) {
          throw UsageError(setting.label + " is given twice");
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
