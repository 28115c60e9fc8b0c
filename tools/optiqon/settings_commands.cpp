// The commands that read and change the camera's settings: status, show, get and set.
#include <filesystem>
#include <memory>
#include <optional>

#include "commands.h"
#include "kept_profiles.h"
#include "kept_values.h"
#include "output_format.h"
#include "watcher_lock.h"

namespace {

// Reads each setting; a setting the camera did not answer for is named, and makes the result
// Refused.
int readEach(Camera& camera, const std::vector<Setting>& settings, bool json, Blocks blocks) {
  std::vector<Reading> readings;
  int result = Ok;
  for (const Setting& setting : settings) {
    readings.push_back(camera.read(setting));
    if (!readings.back().answered()) {
      printProblem("the camera did not answer for " + setting.label + ": " + camera.lastFailure());
      result = Refused;
    }
  }
  if (blocks == Blocks::One) {
    printReadings(readings, json);
  } else if (json) {
    Json object = cameraHeading(camera);
    object.update(readingsJson(readings));
    printJson(object);
  } else {
    printCameraHeading(camera);
    printReadings(readings, false);
  }
  return result;
}

// The serial number the camera gave, or why there is none: its HID interface, which tells it,
// was not found.
int statusOf(Camera& camera, bool json, Blocks blocks) {
  const std::optional<std::string> serial = camera.serialNumber();
  if (json) {
    Json result;
    result["camera"] = "present";
    result["serial_number"] = serial ? Json(*serial) : Json(nullptr);
    result["location"] = camera.location();
    printJson(result);
  } else {
    if (blocks == Blocks::EachHeaded) {
      printCameraHeading(camera);
    }
    printRow("camera", "present");
    printRow("serial number", serial ? *serial : "unknown");
    printRow("location", camera.location());
  }
  if (!serial) {
    printProblem("the camera at " + camera.location() +
                 " gave no serial number: its HID interface was not found");
    return Refused;
  }
  return Ok;
}

int status(const CommandContext& context, bool json) {
  if (context.options().serials.empty() && context.options().location.empty() &&
      listCameras().empty()) {
    if (json) {
      printJson(Json{{"camera", "absent"}});
    } else {
      printRow("camera", "absent");
    }
    return NoCamera;
  }
  return context.forEachCamera(
      [json](Camera& camera, Blocks blocks) { return statusOf(camera, json, blocks); });
}

int show(const CommandContext& context, bool json) {
  return context.forEachCamera([json](Camera& camera, Blocks blocks) {
    return readEach(camera, everySetting(), json, blocks);
  });
}

int get(const CommandContext& context, const std::vector<std::string>& names, bool json) {
  std::vector<Setting> settings;
  for (const std::string& name : names) {
    settings.push_back(findSetting(name));
  }
  return context.forEachCamera([&settings, json](Camera& camera, Blocks blocks) {
    return readEach(camera, settings, json, blocks);
  });
}

// Every assignment checked, each bad one named; none when any is bad.
std::optional<std::vector<Assignment>> parseAssignments(const std::vector<std::string>& texts) {
  std::vector<Assignment> assignments;
  bool bad = false;
  for (const std::string& text : texts) {
    try {
      assignments.push_back(parseAssignment(text));
    } catch (const UsageError& error) {
      printProblem(error.what());
      bad = true;
    }
  }
  if (bad) {
    return std::nullopt;
  }
  return assignments;
}

// The settings among `assignments` that a running watcher holds for the camera at other values,
// so that the user learns that the value does not stay and how to keep it.
void noteHeldValues(Camera& camera, const std::vector<Assignment>& assignments) {
  const std::optional<std::filesystem::path> folder = keptProfilesFolder();
  const std::optional<std::string> serial = camera.serialNumber();
  if (!folder || !serial) {
    return;
  }
  const std::optional<RunningWatcher> watcher = runningWatcher(watcherLockFile(*folder));
  if (!watcher || watcher->holdSeconds == 0) {
    return;
  }
  std::optional<std::vector<ProfileValue>> kept;
  try {
    kept = readKeptProfile(*folder, *serial);
  } catch (const UsageError&) {
    return;  // a kept profile the watcher cannot use holds nothing
  }
  std::vector<std::string> held;
  for (const Assignment& assignment : assignments) {
    for (const ProfileValue& value : kept.value_or(std::vector<ProfileValue>{})) {
      if (value.setting.label == assignment.setting.label &&
          !matches(value, camera.read(value.setting))) {
        held.push_back(value.setting.label + " (kept at " + formatValue(value.setting, value.file) +
                       ")");
      }
    }
  }
  if (!held.empty()) {
    std::string list;
    for (const std::string& item : held) {
      list += (list.empty() ? "" : ", ") + item;
    }
    printProblem("the watcher holds the kept profile of camera " + *serial + " and will put back " +
                 list + " within " + std::to_string(watcher->holdSeconds) +
                 " s; 'optiqon set --remember' keeps the new value");
  }
}

int set(const CommandContext& context, const std::vector<std::string>& texts, bool json,
        bool remember) {
  const std::optional<std::vector<Assignment>> assignments = parseAssignments(texts);
  if (!assignments) {
    return BadUsage;
  }
  const std::unique_ptr<Camera> camera = context.openCamera();
  std::vector<Reading> readings;
  int result = Ok;
  for (const Assignment& assignment : *assignments) {
    const Setting& setting = assignment.setting;
    camera->write(setting, assignment.values);
    readings.push_back(camera->read(setting));
    if (!took(assignment, readings.back())) {
      printProblem(setting.label + " did not take the value " +
                   formatValue(setting, assignment.values));
      result = Refused;
    }
  }
  printReadings(readings, json);
  if (result != Ok) {
    if (remember) {
      printProblem("kept profile left as it was, since not every value took");
    }
    return result;
  }
  if (remember) {
    std::vector<Setting> settings;
    for (const Assignment& assignment : *assignments) {
      settings.push_back(assignment.setting);
    }
    return keepSetValues(*camera, settings);
  }
  noteHeldValues(*camera, *assignments);
  return result;
}

// What a reading command's options hold. CLI11 fills them while it parses, after the command was
// added, so each command's action shares them with its options.
struct ReadingOptions {
  std::vector<std::string> items;
  bool json = false;
  bool remember = false;  // set only
};

void addStatusCommand(CommandRegistry& commands) {
  const auto options = std::make_shared<ReadingOptions>();
  CLI::App& command = commands.add(
      "status", "Whether the camera is there, its serial number and its location",
      [options](const CommandContext& context) { return status(context, options->json); });
  addJsonFlag(command, options->json);
}

void addShowCommand(CommandRegistry& commands) {
  const auto options = std::make_shared<ReadingOptions>();
  CLI::App& command = commands.add(
      "show", "Every image property and vendor control with its value",
      [options](const CommandContext& context) { return show(context, options->json); });
  addJsonFlag(command, options->json);
}

void addGetCommand(CommandRegistry& commands) {
  const auto options = std::make_shared<ReadingOptions>();
  CLI::App& command = commands.add("get", "Image properties by name, vendor controls by number",
                                   [options](const CommandContext& context) {
                                     return get(context, options->items, options->json);
                                   });
  command
      .add_option("setting", options->items,
                  "brightness, contrast, hue, saturation, sharpness, "
                  "gamma, color-enable, white-balance, backlight-compensation, gain, or 1 to 39")
      ->required();
  addJsonFlag(command, options->json);
}

void addSetCommand(CommandRegistry& commands) {
  const auto options = std::make_shared<ReadingOptions>();
  CLI::App& command =
      commands.add("set", "Sets image properties and vendor controls, and reads each back",
                   [options](const CommandContext& context) {
                     return set(context, options->items, options->json, options->remember);
                   });
  command
      .add_option("assignment", options->items,
                  "NAME=VALUE (a whole number) or NUMBER=BYTES (e.g. 20=1,2,3,4; "
                  "30 takes its scaled number): every one is checked before any is sent")
      ->required();
  addJsonFlag(command, options->json);
  command.add_flag("--remember", options->remember,
                   "Also keep the new values in the camera's kept profile, so that a watcher "
                   "gives them back when the camera is plugged in and holds them. Without it, a "
                   "watcher holding the camera's kept values puts changed ones back");
}

}  // namespace

void addSettingsCommands(CommandRegistry& commands) {
  addStatusCommand(commands);
  addShowCommand(commands);
  addGetCommand(commands);
  addSetCommand(commands);
}
