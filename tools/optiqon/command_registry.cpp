#include "command_registry.h"

#include <algorithm>

std::string Camera::name() {
  const std::optional<std::string> serial = serialNumber();
  return serial ? *serial : "(no serial number) at " + location();
}

CameraWanted CommandContext::wanted() const {
  CameraWanted wanted;
  if (!options_.location.empty()) {
    wanted.location = options_.location;
  } else if (!options_.serials.empty()) {
    wanted.serial = options_.serials.front();
  }
  return wanted;
}

std::unique_ptr<Camera> CommandContext::openCamera() const {
  if (options_.serials.size() > 1) {
    throw UsageError("only update takes --serial more than once");
  }
  if (!options_.location.empty() && !options_.serials.empty()) {
    throw UsageError("choose a camera by --serial or by --location, not both");
  }
  return ::openCamera(wanted());
}

int CommandContext::forEachCamera(const std::function<int(Camera&, Blocks)>& action) const {
  if (!options_.serials.empty() || !options_.location.empty()) {
    return action(*openCamera(), Blocks::One);
  }
  const std::vector<CameraListing> cameras = listCameras();
  if (cameras.size() <= 1) {
    return action(*openCamera(), Blocks::One);
  }
  int result = Ok;
  for (const CameraListing& listed : cameras) {
    try {
      const std::unique_ptr<Camera> camera = ::openCamera({std::nullopt, listed.location});
      result = worse(result, action(*camera, Blocks::EachHeaded));
    } catch (const CommandFailure& failure) {
      printProblem(failure.what());
      result = worse(result, failure.exitCode());
    }
  }
  return result;
}

std::vector<std::unique_ptr<Camera>> CommandContext::openCameras(bool all) const {
  std::vector<std::unique_ptr<Camera>> cameras;
  if (all) {
    if (!options_.serials.empty() || !options_.location.empty()) {
      throw UsageError("--all flashes every camera: give it without --serial or --location");
    }
    for (const CameraListing& listed : listCameras()) {
      cameras.push_back(::openCamera({std::nullopt, listed.location}));
    }
    if (cameras.empty()) {
      throw CommandFailure(NoCamera, "no camera found");
    }
    return cameras;
  }
  if (options_.serials.size() <= 1) {
    cameras.push_back(openCamera());
    return cameras;
  }
  for (auto serial = options_.serials.begin(); serial != options_.serials.end(); ++serial) {
    if (std::find(options_.serials.begin(), serial, *serial) != serial) {
      throw UsageError("--serial " + *serial + " is given twice");
    }
    cameras.push_back(::openCamera({*serial, std::nullopt}));
  }
  return cameras;
}

void printCameraHeading(Camera& camera) {
  printLine("[" + camera.name() + "]");
}

Json cameraHeading(Camera& camera) {
  Json heading;
  const std::optional<std::string> serial = camera.serialNumber();
  heading["serial_number"] = serial ? Json(*serial) : Json(nullptr);
  heading["location"] = camera.location();
  return heading;
}

int worse(int first, int second) {
  return std::max(first, second);
}

CLI::App& CommandRegistry::add(const std::string& name, const std::string& description,
                               CommandAction action, const char* exitCodesHelp) {
  CLI::App* command = app_.add_subcommand(name, description);
  command->footer(std::string(CameraChoiceHelp) + "\n\n" + exitCodesHelp);
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

void addCameraOptions(CLI::App& app, GlobalOptions& options) {
  app.add_option("--serial", options.serials,
                 "The camera with this serial number (list shows them); update takes several")
      ->type_size(1)
      ->allow_extra_args(false);
  app.add_option("--location", options.location,
                 "The camera plugged in here, as list shows it: for two cameras that give the "
                 "same serial number");
  // Given after the command's name, they are still the tool's.
  app.fallthrough();
}
