// What the tool's user names and types, and what the camera reads back: the camera's image
// properties by name, its vendor controls by number, and the values for them, all checked here
// before anything reaches the camera.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "OptiqonCamera.h"
#include "exit_codes.h"

struct Setting {
  enum class Kind { Property, Control };
  Kind kind;
  int number;  // the amplifier's property number 0 to 9, or the vendor control 1 to 39
  std::string label;
};

constexpr int FirstControl = OPTIQON_FIRST_CONTROL;
constexpr int LastControl = OPTIQON_LAST_CONTROL;
// The register and password controls, which have commands of their own.
constexpr int RegisterControl = OPTIQON_REGISTER_CONTROL;
constexpr int PasswordControl = OPTIQON_PASSWORD_CONTROL;
// The control that carries a scaled number instead of bytes.
constexpr int ScaledControl = OPTIQON_SCALED_CONTROL;

// Every image property in the amplifier's order, then every vendor control.
std::vector<Setting> everySetting();

// A property by name or a vendor control by number; UsageError otherwise.
Setting findSetting(const std::string& text);

// The number of bytes vendor control `number` carries, from the camera's public header, as the
// camera API takes it: a wrong-length value is refused before anything is sent.
inline int controlLength(int number) {
  return OptiqonControlLength(number);
}

// "control N takes L bytes": what a value of the control must hold, for messages.
std::string controlTakes(int number);

struct Assignment {
  Setting setting;
  // One whole number for a property, the scaled number for control 30, the bytes otherwise.
  std::vector<double> values;
};

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

// NAME=VALUE or NUMBER=VALUE, checked whole; UsageError naming the bad part.
Assignment parseAssignment(const std::string& text);

// Whether the value read back is the one written: the property's whole number, the bytes, or for
// control 30 the byte made of the number, as that byte reads back.
bool took(const Assignment& assignment, const Reading& reading);

// A register address or value: 0 to 255, decimal or 0x hexadecimal.
unsigned char parseByte(const std::string& text, const std::string& what);

// Exactly four hexadecimal digits.
void checkPassword(const std::string& text);

// A value read from the camera as the user types it: a whole number, a byte list (1,2,3,4) or
// the scaled number of control 30.
std::string formatValue(const Setting& setting, const std::vector<double>& values);
