#include "camera_values.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

// The amplifier's numbering: brightness is 0, gain 9.
const char* const PropertyNames[] = {"brightness",   "contrast",      "hue",
                                     "saturation",   "sharpness",     "gamma",
                                     "color-enable", "white-balance", "backlight-compensation",
                                     "gain"};

std::string controlLabel(int number) {
  return "control " + std::to_string(number);
}

std::optional<long long> wholeNumber(const std::string& text) {
  long long value = 0;
  const char* end = text.data() + text.size();
  const auto [stop, error] = std::from_chars(text.data(), end, value);
  if (text.empty() || error != std::errc() || stop != end) {
    return std::nullopt;
  }
  return value;
}

// A decimal number, as 1.5 or 15e-1; not hexadecimal, and not infinity.
std::optional<double> realNumber(const std::string& text) {
  double value = 0;
  const char* end = text.data() + text.size();
  const auto [stop, error] = std::from_chars(text.data(), end, value, std::chars_format::general);
  if (text.empty() || error != std::errc() || stop != end || !std::isfinite(value)) {
    return std::nullopt;
  }
  return value;
}

std::vector<std::string> splitAtCommas(const std::string& text) {
  std::vector<std::string> parts;
  std::size_t start = 0;
  for (std::size_t comma; (comma = text.find(',', start)) != std::string::npos; start = comma + 1) {
    parts.push_back(text.substr(start, comma - start));
  }
  parts.push_back(text.substr(start));
  return parts;
}

}  // namespace

std::vector<Setting> everySetting() {
  std::vector<Setting> settings;
  for (int property = 0; property < 10; ++property) {
    settings.push_back({Setting::Kind::Property, property, PropertyNames[property]});
  }
  for (int number = FirstControl; number <= LastControl; ++number) {
    settings.push_back({Setting::Kind::Control, number, controlLabel(number)});
  }
  return settings;
}

Setting findSetting(const std::string& text) {
  for (int property = 0; property < 10; ++property) {
    if (text == PropertyNames[property]) {
      return {Setting::Kind::Property, property, PropertyNames[property]};
    }
  }
  const std::optional<long long> number = wholeNumber(text);
  if (!number) {
    throw UsageError("'" + text + "' is neither an image property nor a vendor control number");
  }
  if (*number < FirstControl || *number > LastControl) {
    throw UsageError("there is no vendor control " + text + " (they are 1 to 39)");
  }
  const int control = static_cast<int>(*number);
  return {Setting::Kind::Control, control, controlLabel(control)};
}

std::string controlTakes(int number) {
  const int length = controlLength(number);
  return "control " + std::to_string(number) + " takes " + std::to_string(length) +
         (length == 1 ? " byte" : " bytes");
}

Assignment parseAssignment(const std::string& text) {
  const std::size_t equals = text.find('=');
  if (equals == std::string::npos) {
    throw UsageError("'" + text + "': expected NAME=VALUE or NUMBER=VALUE");
  }
  const std::string name = text.substr(0, equals);
  const std::string value = text.substr(equals + 1);
  Setting setting;
  try {
    setting = findSetting(name);
  } catch (const UsageError& error) {
    throw UsageError("'" + text + "': " + error.what());
  }
  const std::string bad = "'" + text + "': ";
  if (setting.kind == Setting::Kind::Property) {
    const std::optional<long long> number = wholeNumber(value);
    if (!number || *number < INT32_MIN || *number > INT32_MAX) {
      throw UsageError(bad + "'" + value + "' is not a whole number");
    }
    return {setting, {static_cast<double>(*number)}};
  }
  if (setting.number == RegisterControl) {
    throw UsageError(bad + "control 3 is the register control: use 'optiqon register'");
  }
  if (setting.number == PasswordControl) {
    throw UsageError(bad + "control 6 is the password control: use 'optiqon password'");
  }
  if (setting.number == ScaledControl) {
    const std::optional<double> number = realNumber(value);
    if (!number) {
      throw UsageError(bad + "'" + value + "' is not a number");
    }
    // Compared as the number, not its truncated byte: 0.44 would truncate to byte 0 as well.
    if (!(*number >= OPTIQON_SCALED_LOWEST && *number <= OPTIQON_SCALED_HIGHEST)) {
      throw UsageError(bad + "'" + value + "' is outside what control 30 carries (0.45 to 13.2)");
    }
    return {setting, {*number}};
  }
  const std::vector<std::string> parts = splitAtCommas(value);
  const int length = controlLength(setting.number);
  if (static_cast<int>(parts.size()) != length) {
    throw UsageError(bad + controlTakes(setting.number) + ", not " + std::to_string(parts.size()));
  }
  std::vector<double> bytes;
  for (const std::string& part : parts) {
    const std::optional<long long> number = wholeNumber(part);
    if (!number) {
      throw UsageError(bad + "'" + part + "' is not a whole number");
    }
    if (*number < 0 || *number > 255) {
      throw UsageError(bad + "byte " + part + " is outside 0 to 255");
    }
    bytes.push_back(static_cast<double>(*number));
  }
  return {setting, bytes};
}

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

unsigned char parseByte(const std::string& text, const std::string& what) {
  std::optional<long long> number;
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    long long value = 0;
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data() + 2, end, value, 16);
    if (error == std::errc() && stop == end) {
      number = value;
    }
  } else {
    number = wholeNumber(text);
  }
  if (!number || *number < 0 || *number > 255) {
    throw UsageError("the " + what + " '" + text +
                     "' is not a number from 0 to 255 (or 0x00 to 0xFF)");
  }
  return static_cast<unsigned char>(*number);
}

void checkPassword(const std::string& text) {
  const bool hex =
      text.size() == 4 && text.find_first_not_of("0123456789abcdefABCDEF") == std::string::npos;
  if (!hex) {
    throw UsageError("the password '" + text + "' is not four hexadecimal digits");
  }
}

std::string formatValue(const Setting& setting, const std::vector<double>& values) {
  std::string text;
  for (std::size_t i = 0; i < values.size(); ++i) {
    if (i > 0) {
      text += ',';
    }
    if (setting.kind == Setting::Kind::Control && setting.number == ScaledControl && i == 0) {
      char number[32];
      std::snprintf(number, sizeof number, "%g", values[i]);
      text += number;
    } else {
      text += std::to_string(static_cast<long long>(values[i]));
    }
  }
  return text;
}
