// list: every camera on the PC, one a line, with its serial number, where it is plugged in and
// whether both of its sides were found (its video device for the settings, its HID interface for
// the serial number and the firmware).
#include <memory>

#include "commands.h"
#include "output_format.h"

namespace {

std::string sidesFound(const CameraListing& camera) {
  if (camera.videoSide && camera.hidSide) {
    return "video device and HID interface found";
  }
  return camera.videoSide ? "HID interface not found" : "video device not found";
}

int list(bool json) {
  const std::vector<CameraListing> cameras = listCameras();
  if (json) {
    Json listed = Json::array();
    for (const CameraListing& camera : cameras) {
      listed.push_back(listingJson(camera));
    }
    printJson(listed);
  } else {
    for (const CameraListing& camera : cameras) {
      printRow(camera.serialNumber.value_or("(no serial number)"),
               camera.location + "  " + sidesFound(camera));
    }
  }
  return cameras.empty() ? NoCamera : Ok;
}

}  // namespace

void addListCommand(CommandRegistry& commands) {
  const auto json = std::make_shared<bool>(false);
  CLI::App& command = commands.add(
      "list",
      "Every camera on the PC: its serial number, where it is plugged in, and whether its video "
      "device and HID interface were both found",
      [json](const CommandContext&) { return list(*json); });
  command.footer(ExitCodesHelp);
  addJsonFlag(command, *json);
}
