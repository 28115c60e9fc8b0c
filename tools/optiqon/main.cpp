// optiqon: the camera's settings from the command line, through the library's exports alone.
//
// The tool never calls Deinitialize: that export only releases what Initialize opened, prints
// its exit message and waits five seconds, and the end of the process releases the same things
// (the open video device, the objects the library holds) without the wait. Nothing the camera
// stores depends on it: settings persist only through SaveSettings.
#include <CLI/CLI.hpp>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

#include "camera_access.h"
#include "camera_values.h"
#include "commands.h"

namespace {

const char* const ExitCodes =
    "Exit codes:\n"
    "  0  done\n"
    "  1  no camera\n"
    "  2  bad usage: nothing was sent to the camera\n"
    "  3  the camera refused a command, a value did not take or could not be read";

const char* const UpdateExitCodes =
    "Exit codes, the upgrader's verdict:\n"
    "  0  the image was written and verified\n"
    "  1  no camera\n"
    "  2  bad usage, or an image that cannot be used: nothing was sent to the camera\n"
    "  3  the erase failed\n"
    "  4  the download failed: a page did not verify or a write was refused\n"
    "  6  the upgrader did not run, or ended without a verdict";

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

// The process's end: when the library was left in its exit wait, without waiting for it.
int endProcess(int code) {
  if (libraryStillWaiting()) {
    std::cout.flush();
    std::cerr.flush();
    std::fflush(nullptr);
    std::_Exit(code);
  }
  return code;
}

int runCommand(int argc, char** argv) {
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
  CLI::App* exportCommand =
      app.add_subcommand("export", "Writes the camera's settings to a profile (a JSON file)");
  exportCommand
      ->add_option("file", first,
                   "The profile to write, or - for standard output. It is written beside itself "
                   "and renamed into place; a link is followed and the file it leads to "
                   "replaced; a device or FIFO is written in place")
      ->required();
  CLI::App* importCommand = app.add_subcommand(
      "import", "Writes a profile's settings to the camera, and reads each back");
  importCommand->add_option("file", first, "The profile to read: checked whole before any is sent")
      ->required();
  bool dryRun = false;
  bool save = false;
  importCommand->add_flag("--dry-run", dryRun, "Show what would change, and send nothing");
  importCommand->add_flag("--save", save,
                          "Have the camera store its settings when every value took");
  CLI::App* updateCommand = app.add_subcommand(
      "update", "Writes a firmware image to the camera's flash, and verifies every page");
  updateCommand->add_option("image", first, "The firmware image")->required();
  for (CLI::App* command : app.get_subcommands({})) {
    command->footer(command == updateCommand ? UpdateExitCodes : ExitCodes);
  }

  if (isUnknownCommand(app, argc, argv)) {
    std::cerr << "optiqon: '" << argv[1] << "' is not a command; 'optiqon --help' lists them\n";
    return BadUsage;
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
    if (exportCommand->parsed()) {
      return exportProfile(first);
    }
    if (importCommand->parsed()) {
      return importProfile(first, dryRun, save);
    }
    if (updateCommand->parsed()) {
      return updateFirmware(first);
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

}  // namespace

int main(int argc, char** argv) {
  return endProcess(runCommand(argc, argv));
}
