// optiqon: the camera's settings from the command line, through the library's exports alone.
//
// The tool never calls Deinitialize: that export only releases what Initialize opened, prints
// its exit message and waits five seconds, and the end of the process releases the same things
// (the open video device, the objects the library holds) without the wait. Nothing the camera
// stores depends on it: settings persist only through SaveSettings.
#include <Brenwick.h>

#include <CLI/CLI.hpp>
#include <cstdio>
#include <iostream>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "camera_values.h"
#include "library_output_capture.h"

namespace {

enum ExitCode { Ok = 0, NoCamera = 1, BadUsage = 2, Refused = 3 };

const char* const ExitCodes =
    "Exit codes:\n"
    "  0  done\n"
    "  1  no camera\n"
    "  2  bad usage: nothing was sent to the camera\n"
    "  3  the camera refused a command, a value did not take or could not be read";

bool openCamera() {
  if (withLibraryOutputCaptured([] { return Initialize(); })) {
    return true;
  }
  std::cerr << "optiqon: no camera named \"Corvantis Optiqon\" is connected\n";
  return false;
}

// The control's values; empty when the read failed. The library hands back zeros for a failed
// read, and tells of the failure only by the info: line it prints.
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

void printReadings(const std::vector<Reading>& readings, bool json) {
  if (json) {
    nlohmann::ordered_json properties = nlohmann::ordered_json::object();
    nlohmann::ordered_json controls = nlohmann::ordered_json::object();
    for (const Reading& reading : readings) {
      if (reading.setting.kind == Setting::Kind::Property) {
        properties[reading.setting.label] =
            reading.property ? nlohmann::ordered_json(*reading.property) : nullptr;
      } else if (!reading.control) {
        controls[std::to_string(reading.setting.number)] = nullptr;
      } else if (reading.setting.number == ScaledControl && reading.control->size() == 1) {
        controls[std::to_string(reading.setting.number)] = reading.control->front();
      } else {
        nlohmann::ordered_json bytes = nlohmann::ordered_json::array();
        for (double byte : *reading.control) {
          bytes.push_back(static_cast<int>(byte));
        }
        controls[std::to_string(reading.setting.number)] = bytes;
      }
    }
    nlohmann::ordered_json result;
    result["properties"] = properties;
    result["controls"] = controls;
    std::cout << result.dump() << '\n';
    return;
  }
  for (const Reading& reading : readings) {
    std::string value;
    if (reading.setting.kind == Setting::Kind::Property) {
      value = reading.property ? std::to_string(*reading.property) : "unavailable";
    } else {
      value = reading.control ? formatValue(reading.setting, *reading.control) : "unreadable";
    }
    std::string label = reading.setting.label;
    label.resize(std::max<std::size_t>(label.size() + 2, 24), ' ');
    std::cout << label << value << '\n';
  }
}

int status(bool json) {
  const bool present = withLibraryOutputCaptured([] { return Initialize(); });
  std::string serial;
  if (present) {
    const char* text = withLibraryOutputCaptured([] { return GetSerialNumber(); });
    serial = text != nullptr ? text : "";
    while (!serial.empty() && (serial.back() == '\n' || serial.back() == '\r')) {
      serial.pop_back();
    }
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
  for (const Setting& setting : everySetting()) {
    readings.push_back(readSetting(setting));
  }
  printReadings(readings, json);
  return Ok;
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

// What a read-back shows when the value took: the property's whole number, the bytes, or for
// control 30 the byte the library made of the number, as the library reads that byte back.
bool took(const Assignment& assignment, const Reading& reading) {
  if (assignment.setting.kind == Setting::Kind::Property) {
    return reading.property && *reading.property == static_cast<int>(assignment.values[0]);
  }
  if (assignment.setting.number == ScaledControl) {
    const auto byte =
        static_cast<unsigned char>(static_cast<int>((assignment.values[0] - 0.45) * 20));
    return reading.control && reading.control->size() == 1 &&
           reading.control->front() == byte * 0.05 - 0.45;
  }
  return reading.control == assignment.values;
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
    if (setting.kind == Setting::Kind::Property) {
      withLibraryOutputCaptured([&] { SetProperty(setting.number, assignment.values[0]); });
    } else {
      writeControl(setting.number, assignment.values);
    }
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

std::string hexByte(int value) {
  char text[8];
  std::snprintf(text, sizeof text, "0x%02X", value & 0xFF);
  return text;
}

int registerCommand(const std::string& addressText, const std::string& valueText) {
  const unsigned char address = parseByte(addressText, "register address");
  const bool writing = !valueText.empty();
  const unsigned char value = writing ? parseByte(valueText, "register value") : 0;
  if (!openCamera()) {
    return NoCamera;
  }
  if (writing && !withLibraryOutputCaptured([&] { return SetRegister(address, value); })) {
    std::cerr << "optiqon: the camera refused register " << hexByte(address) << '\n';
    return Refused;
  }
  // The camera answers a register read with the register it was last given and its value; the
  // library hands back the value, and control 3's one byte is the address.
  const std::vector<double> reported = readControl(RegisterControl).value_or(std::vector<double>{});
  const int read = withLibraryOutputCaptured([] { return GetRegister(); });
  if (read < 0) {
    return Refused;
  }
  if (reported.size() != 1 || static_cast<int>(reported[0]) != address) {
    std::cerr << "optiqon: the camera reads back only the register last written ("
              << (reported.empty() ? "?" : hexByte(static_cast<int>(reported[0])))
              << "): write register " << hexByte(address) << " to read it\n";
    return Refused;
  }
  std::cout << "register " << hexByte(address) << " = " << hexByte(read) << '\n';
  return writing && read != value ? Refused : Ok;
}

int password(const std::string& text) {
  checkPassword(text);
  if (!openCamera()) {
    return NoCamera;
  }
  if (!withLibraryOutputCaptured([&] { return SetPassword(text.c_str()); })) {
    std::cerr << "optiqon: the camera did not accept the password\n";
    return Refused;
  }
  std::cout << "password accepted\n";
  return Ok;
}

int settingsCommand(bool save) {
  if (!openCamera()) {
    return NoCamera;
  }
  const int result =
      withLibraryOutputCaptured([save] { return save ? SaveSettings() : ResetSettings(); });
  if (result != 0) {
    char code[16];
    std::snprintf(code, sizeof code, "0x%08X", static_cast<unsigned>(result));
    std::cerr << "optiqon: the camera refused to "
              << (save ? "save its settings" : "reset its settings") << " (" << code << ")\n";
    return Refused;
  }
  std::cout << (save ? "settings saved\n" : "factory settings restored\n");
  return Ok;
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"optiqon: the Corvantis Optiqon camera's settings from the command line", "optiqon"};
  app.set_version_flag("--version", "optiqon " OPTIQON_VERSION);
  app.require_subcommand(1);
  app.footer(ExitCodes);

  bool json = false;
  std::vector<std::string> items;
  std::string first;
  std::string second;

  CLI::App* statusCommand =
      app.add_subcommand("status", "Whether the camera is there, and its serial number");
  CLI::App* showCommand =
      app.add_subcommand("show", "Every image property and vendor control with its value");
  CLI::App* getCommand =
      app.add_subcommand("get", "Image properties by name, vendor controls by number");
  getCommand
      ->add_option("setting", items,
                   "brightness, contrast, hue, saturation, sharpness, "
                   "gamma, color-enable, white-balance, backlight-compensation, gain, or 1 to 39")
      ->required();
  CLI::App* setCommand =
      app.add_subcommand("set", "Sets image properties and vendor controls, and reads each back");
  setCommand
      ->add_option("assignment", items,
                   "NAME=VALUE (a whole number) or NUMBER=BYTES (e.g. 20=1,2,3,4; "
                   "30 takes its scaled number): every one is checked before any is sent")
      ->required();
  for (CLI::App* reading : {statusCommand, showCommand, getCommand, setCommand}) {
    reading->add_flag("--json", json, "Print the result as JSON");
  }
  CLI::App* registerSub =
      app.add_subcommand("register", "Writes a camera register, or reads the one last written");
  registerSub->add_option("address", first, "0 to 255, or 0x00 to 0xFF")->required();
  registerSub->add_option("value", second, "The value to write (0 to 255, or 0x00 to 0xFF)");
  CLI::App* passwordCommand = app.add_subcommand("password", "Sends the camera's password");
  passwordCommand->add_option("password", first, "Four hexadecimal digits")->required();
  CLI::App* saveCommand = app.add_subcommand("save", "Makes the camera store its current settings");
  CLI::App* resetCommand = app.add_subcommand("reset", "Restores the camera's factory settings");
  for (CLI::App* command : app.get_subcommands({})) {
    command->footer(ExitCodes);
  }

  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& error) {
    return app.exit(error) == 0 ? Ok : BadUsage;
  }

  try {
    if (statusCommand->parsed()) {
      return status(json);
    }
    if (showCommand->parsed()) {
      return show(json);
    }
    if (getCommand->parsed()) {
      return get(items, json);
    }
    if (setCommand->parsed()) {
      return set(items, json);
    }
    if (registerSub->parsed()) {
      return registerCommand(first, second);
    }
    if (passwordCommand->parsed()) {
      return password(first);
    }
    if (saveCommand->parsed()) {
      return settingsCommand(true);
    }
    if (resetCommand->parsed()) {
      return settingsCommand(false);
    }
  } catch (const UsageError& error) {
    std::cerr << "optiqon: " << error.what() << '\n';
    return BadUsage;
  } catch (const std::exception& error) {
    std::cerr << "optiqon: " << error.what() << '\n';
    return Refused;
  }
  return BadUsage;
}
