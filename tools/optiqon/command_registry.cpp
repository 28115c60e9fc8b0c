#include "command_registry.h"

std::unique_ptr<Camera> CommandContext::findCamera() const {
  return ::findCamera(options_.camera);
}

std::unique_ptr<Camera> CommandContext::openCamera() const {
  std::unique_ptr<Camera> camera = findCamera();
  if (!camera) {
    throw CommandFailure(NoCamera, "no camera named \"Corvantis Optiqon\" is connected");
  }
  return camera;
}

CLI::App& CommandRegistry::add(const std::string& name, const std::string& description,
                               CommandAction action, const char* exitCodesHelp) {
  CLI::App* command = app_.add_subcommand(name, description);
  command->footer(exitCodesHelp);
  commands_.emplace_back(command, std::move(action));
  return *command;
}

int CommandRegistry::runChosen(const CommandContext& context) const {
  for (const auto& [command, action] : commands_) {
    if (command->parsed()) {
      return action(context);
    }
  }
  return BadUsage;
}

void addJsonFlag(CLI::App& command, bool& json) {
  command.add_flag("--json", json, "Print the result as JSON");
}
