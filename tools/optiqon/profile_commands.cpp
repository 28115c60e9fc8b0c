// Settings profiles: export writes the camera's settings to a profile, import writes a profile's
// settings to the camera and reads each back; remember keeps a camera's profile by its serial
// number, forget removes it, remembered lists them.
#include <algorithm>
#include <filesystem>
#include <iostream>
#include <memory>
#include <string_view>

#include "commands.h"
#include "kept_profiles.h"
#include "kept_values.h"
#include "output_format.h"
#include "profile_file.h"
#include "whole_file.h"

namespace {

// The profile name that means standard output.
constexpr std::string_view StandardOutputName = "-";

int exportProfile(const CommandContext& context, const std::string& path) {
  const std::unique_ptr<Camera> camera = context.openCamera();
  const std::string text = currentProfile(*camera);
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

// --- Kept profiles

// The camera's current settings, or the profile at `path` checked whole, become the camera's
// kept profile.
int rememberProfile(const CommandContext& context, const std::string& path) {
  const std::filesystem::path folder = keptProfilesFolderOrFail();
  const std::unique_ptr<Camera> camera = context.openCamera();
  const std::string serial = keptSerialOf(*camera);
  std::string text;
  if (path.empty()) {
    text = currentProfile(*camera);
  } else {
    readProfile(path, text);  // checked whole: a UsageError names every bad part
  }
  const std::filesystem::path kept = writeKeptProfile(folder, serial, text);
  printLine("profile of camera " + serial + " kept in " + kept.string());
  return Ok;
}

int forgetProfile(const CommandContext& context) {
  const std::filesystem::path folder = keptProfilesFolderOrFail();
  std::string serial;
  if (context.options().serials.size() == 1 && context.options().location.empty()) {
    serial = context.options().serials.front();  // forgotten whether it is plugged in or not
  } else {
    serial = keptSerialOf(*context.openCamera());
  }
  printLine(removeKeptProfile(folder, serial) ? "kept profile of camera " + serial + " forgotten"
                                              : "camera " + serial + " has no kept profile");
  return Ok;
}

int listKeptProfiles(bool json) {
  const std::filesystem::path folder = keptProfilesFolderOrFail();
  std::vector<std::string> present;
  for (const CameraListing& camera : listCameras()) {
    if (camera.serialNumber) {
      present.push_back(*camera.serialNumber);
    }
  }
  Json list = Json::array();
  for (const std::string& serial : keptSerials(folder)) {
    const bool there = std::find(present.begin(), present.end(), serial) != present.end();
    if (json) {
      list.push_back({{"serial_number", serial},
                      {"present", there},
                      {"file", (folder / keptProfileName(serial)).string()}});
    } else {
      printRow(serial, there ? "present" : "not plugged in");
    }
  }
  if (json) {
    printJson(list);
  }
  return Ok;
}

void addKeptProfileCommands(CommandRegistry& commands) {
  const auto path = std::make_shared<std::string>();
  CLI::App& remember = commands.add(
      "remember",
      "Keeps the camera's current settings as its kept profile, the settings it is to be given "
      "whenever it is plugged in",
      [path](const CommandContext& context) { return rememberProfile(context, *path); });
  remember.add_option("--file", *path,
                      "Keep this profile, made earlier, instead of the current settings");
  commands.add("forget",
               "Removes the camera's kept profile (--serial: also of a camera not "
               "plugged in)",
               [](const CommandContext& context) { return forgetProfile(context); });
  const auto json = std::make_shared<bool>(false);
  CLI::App& remembered =
      commands.add("remembered", "Lists the kept profiles, and whether each camera is plugged in",
                   [json](const CommandContext&) { return listKeptProfiles(*json); });
  addJsonFlag(remembered, *json);
}

}  // namespace

int keepSetValues(Camera& camera, const std::vector<Setting>& settings) {
  const KeptProfileUpdate kept = keepCurrentValues(camera, keptProfilesFolderOrFail(), settings);
  printLine((kept.updated ? "kept profile of camera " + *camera.serialNumber() + " updated in "
                          : "settings of camera " + *camera.serialNumber() + " kept in ") +
            kept.file.string());
  return Ok;
}

void addProfileCommands(CommandRegistry& commands) {
  addExportCommand(commands);
  addImportCommand(commands);
  addKeptProfileCommands(commands);
}
