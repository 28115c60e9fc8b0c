// optiqon: the camera's settings from the command line. Each group of commands adds its own to the
// command line; this file parses it, runs the command chosen and turns what ended it into the
// process's exit code.
#include <CLI/CLI.hpp>
#include <exception>

#include "commands.h"
#include "console_streams.h"
#include "output_format.h"

namespace {

// CLI11 answers a word that is no command with "A subcommand is required"; the user is better
// served by being told which word it was.
bool isUnknownCommand(const CLI::App& app, int argc, char** argv) {
  if (argc < 2 || argv[1][0] == '-') {
    return false;
  }
  for (const CLI::App* command : app.get_subcommands({})) {
    if (command->check_name(argv[1])) {
      return false;
    }
  }
  return true;
}

int runChosen(const CommandRegistry& commands, const CommandContext& context) {
  try {
    return commands.runChosen(context);
  } catch (const CommandFailure& failure) {
    printProblem(failure.what());
    return failure.exitCode();
  } catch (const std::exception& error) {
    printProblem(error.what());
    return Refused;
  }
}

int runCommandLine(int argc, char** argv) {
  CLI::App app{
      "optiqon: the Corvantis Optiqon cameras' settings and firmware from the command "
      "line",
      "optiqon"};
  app.set_version_flag("--version", "optiqon " OPTIQON_VERSION);
  app.require_subcommand(1);
  app.footer(ExitCodesHelp);
  GlobalOptions options;
  addCameraOptions(app, options);
  CommandRegistry commands(app);
  addListCommand(commands);
  addSettingsCommands(commands);
  addMaintenanceCommands(commands);
  addProfileCommands(commands);
  addUpdateCommand(commands);
  addWatchCommand(commands);
  addPanelCommand(commands);

  if (isUnknownCommand(app, argc, argv)) {
    printProblem(std::string("'") + argv[1] + "' is not a command; 'optiqon --help' lists them");
    return BadUsage;
  }
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& error) {
    return app.exit(error) == 0 ? Ok : BadUsage;
  }
  return runChosen(commands, CommandContext(options));
}

}  // namespace

int main(int argc, char** argv) {
  console::openMissingStandardStreams();
  return runCommandLine(argc, argv);
}
