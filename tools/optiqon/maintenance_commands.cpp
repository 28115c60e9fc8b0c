// The commands for what is not a setting: a camera register, the password, and storing or
// restoring the settings as a whole.
#include <cstdio>
#include <memory>

#include "commands.h"
#include "output_format.h"

namespace {

std::string hexByte(int value) {
  char text[8];
  std::snprintf(text, sizeof text, "0x%02X", value & 0xFF);
  return text;
}

// Reads the register at `addressText`, after writing `valueText` to it when that is not empty.
int registerCommand(const CommandContext& context, const std::string& addressText,
                    const std::string& valueText) {
  const unsigned char address = parseByte(addressText, "register address");
  const bool writing = !valueText.empty();
  const unsigned char value = writing ? parseByte(valueText, "register value") : 0;
  const std::unique_ptr<Camera> camera = context.openCamera();
  if (writing && !camera->writeRegister(address, value)) {
    printProblem("the camera refused register " + hexByte(address) + ": " + camera->lastFailure());
    return Refused;
  }
  const RegisterAnswer answer = camera->readRegister();
  if (!answer.value) {
    printProblem("the camera did not answer for its register: " + camera->lastFailure());
    return Refused;
  }
  if (answer.lastGiven.size() != 1 || answer.lastGiven[0] != address) {
    printProblem("the camera reads back only the register last written (" +
                 (answer.lastGiven.empty() ? "?" : hexByte(answer.lastGiven[0])) +
                 "): write register " + hexByte(address) + " to read it");
    return Refused;
  }
  printLine("register " + hexByte(address) + " = " + hexByte(*answer.value));
  return writing && *answer.value != value ? Refused : Ok;
}

int password(const CommandContext& context, const std::string& text) {
  checkPassword(text);
  if (!context.openCamera()->sendPassword(text)) {
    printProblem("the camera did not accept the password");
    return Refused;
  }
  printLine("password accepted");
  return Ok;
}

// What a settings command does, and how it speaks of it.
struct SettingsAction {
  bool (Camera::*call)();
  const char* refusal;
  const char* done;
};

const SettingsAction Save{&Camera::storeSettings, "save its settings", "settings saved"};
const SettingsAction Reset{&Camera::restoreFactorySettings, "reset its settings",
                           "factory settings restored"};

int settingsCommand(Camera& camera, const SettingsAction& action) {
  if (!(camera.*action.call)()) {
    printProblem(std::string("the camera refused to ") + action.refusal + ": " +
                 camera.lastFailure());
    return Refused;
  }
  printLine(action.done);
  return Ok;
}

struct RegisterOptions {
  std::string address;
  std::string value;
};

void addRegisterCommand(CommandRegistry& commands) {
  const auto options = std::make_shared<RegisterOptions>();
  CLI::App& command =
      commands.add("register", "Writes a camera register, or reads the one last written",
                   [options](const CommandContext& context) {
                     return registerCommand(context, options->address, options->value);
                   });
  command.add_option("address", options->address, "0 to 255, or 0x00 to 0xFF")->required();
  command.add_option("value", options->value, "The value to write (0 to 255, or 0x00 to 0xFF)");
}

void addPasswordCommand(CommandRegistry& commands) {
  const auto text = std::make_shared<std::string>();
  CLI::App& command =
      commands.add("password", "Sends the camera's password",
                   [text](const CommandContext& context) { return password(context, *text); });
  command.add_option("password", *text, "Four hexadecimal digits")->required();
}

}  // namespace

int saveSettings(Camera& camera) {
  return settingsCommand(camera, Save);
}

void addMaintenanceCommands(CommandRegistry& commands) {
  addRegisterCommand(commands);
  addPasswordCommand(commands);
  commands.add("save", "Makes the camera store its current settings",
               [](const CommandContext& context) { return saveSettings(*context.openCamera()); });
  commands.add(
      "reset", "Restores the camera's factory settings",
      [](const CommandContext& context) { return settingsCommand(*context.openCamera(), Reset); });
}
