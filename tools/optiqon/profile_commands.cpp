// Settings profiles: export writes the camera's settings to a profile, import writes a profile's
// settings to the camera and reads each back.
#include <iostream>
#include <memory>
#include <string_view>

#include "commands.h"
#include "output_format.h"
#include "profile_file.h"
#include "whole_file.h"

namespace {

// The profile name that means standard output.
constexpr std::string_view StandardOutputName = "-";

int exportProfile(const CommandContext& context, const std::string& path) {
  const std::unique_ptr<Camera> camera = context.openCamera();
  std::vector<Reading> readings;
  for (const Setting& setting : everySetting()) {
    if (!keptInProfile(setting)) {
      continue;
    }
    readings.push_back(camera->read(setting));
    if (!readings.back().answered()) {
      printProblem("the camera did not answer for " + setting.label + ": " + camera->lastFailure() +
                   ": no profile written");
      return Refused;
    }
  }
  const std::optional<std::string> serial = camera->serialNumber();
  const std::string text = profileText(serial, readings);
  if (path == StandardOutputName) {
    std::cout << text << std::flush;
    return std::cout ? Ok : Refused;
  }
  if (!kit::replaceFileWhole(path, text)) {
    printProblem("cannot write the profile " + path);
    return BadUsage;
  }
  printLine("profile of camera " + camera->name() + " written to " + path);
  return Ok;
}

// What would change: each value the camera holds otherwise, with the profile's value.
int showChanges(Camera& camera, const std::vector<ProfileValue>& values) {
  bool changes = false;
  for (const ProfileValue& value : values) {
    const Reading current = camera.read(value.setting);
    if (!matches(value, current)) {
      printRow(value.setting.label,
               formatReading(current) + " -> " + formatValue(value.setting, value.file));
      changes = true;
    }
  }
  if (!changes) {
    printLine("nothing would change");
  }
  return Ok;
}

// Writes the profile to the camera and reads each value back; with `dryRun` shows what would
// change and writes nothing; with `save` has the camera store the result.
int importProfile(const CommandContext& context, const std::string& path, bool dryRun, bool save) {
  const std::vector<ProfileValue> values = readProfile(path);
  const std::unique_ptr<Camera> camera = context.openCamera();
  if (dryRun) {
    return showChanges(*camera, values);
  }
  int result = Ok;
  std::vector<Reading> readings;
  for (const ProfileValue& value : values) {
    camera->write(value.setting, value.write);
    readings.push_back(camera->read(value.setting));
    if (!matches(value, readings.back())) {
      printProblem(value.setting.label + " did not take the value " +
                   formatValue(value.setting, value.file));
      result = Refused;
    }
  }
  printReadings(readings, false);
  if (!save) {
    return result;
  }
  if (result != Ok) {
    printProblem("settings not saved, since not every value took");
    return result;
  }
  return saveSettings(*camera);
}

void addExportCommand(CommandRegistry& commands) {
  const auto path = std::make_shared<std::string>();
  CLI::App& command =
      commands.add("export", "Writes the camera's settings to a profile (a JSON file)",
                   [path](const CommandContext& context) { return exportProfile(context, *path); });
  command
      .add_option("file", *path,
                  "The profile to write, or - for standard output. It is written beside itself "
                  "and renamed into place; a link is followed and the file it leads to "
                  "replaced; a device or FIFO is written in place")
      ->required();
}

struct ImportOptions {
  std::string path;
  bool dryRun = false;
  bool save = false;
};

void addImportCommand(CommandRegistry& commands) {
  const auto options = std::make_shared<ImportOptions>();
  CLI::App& command =
      commands.add("import", "Writes a profile's settings to the camera, and reads each back",
                   [options](const CommandContext& context) {
                     return importProfile(context, options->path, options->dryRun, options->save);
                   });
  command
      .add_option("file", options->path, "The profile to read: checked whole before any is sent")
      ->required();
  command.add_flag("--dry-run", options->dryRun, "Show what would change, and send nothing");
  command.add_flag("--save", options->save,
                   "Have the camera store its settings when every value took");
}

}  // namespace

void addProfileCommands(CommandRegistry& commands) {
  addExportCommand(commands);
  addImportCommand(commands);
}
