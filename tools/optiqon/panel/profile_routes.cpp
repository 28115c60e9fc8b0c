// The profiles' routes: the camera's settings exported as a profile file, a profile imported
// (checked whole before anything is sent, or only compared with the camera), and the kept
// profile of a camera read, replaced and removed, as export, import, remember and forget do.
#include <filesystem>
#include <system_error>

#include "../kept_profiles.h"
#include "../kept_values.h"
#include "panel_routes.h"

namespace {

// How a request's profile is named in the messages about it, in place of a file's path.
constexpr const char* BodyName = "the profile";

// What readProfile puts between two bad parts of a profile, for the command's standard error.
constexpr std::string_view PartSeparator = "\noptiqon: ";

Json profileProblems(const std::string& message) {
  Json problems = Json::array();
  std::size_t start = 0;
  for (std::size_t next; (next = message.find(PartSeparator, start)) != std::string::npos;
       start = next + PartSeparator.size()) {
    problems.push_back(problem(std::nullopt, message.substr(start, next - start)));
  }
  problems.push_back(problem(std::nullopt, message.substr(start)));
  return problems;
}

// A file name for the download: the serial number as a kept profile's file is named, so that
// no serial number makes a name the browser would refuse or misread.
std::string downloadName(Camera& camera) {
  const std::optional<std::string> serial = camera.serialNumber();
  return serial ? keptProfileName(*serial) : "camera.json";
}

std::filesystem::path keptFile(const std::string& serial) {
  return keptProfilesFolderOrFail() / keptProfileName(serial);
}

}  // namespace

PanelResponse exportProfile(Camera& camera) {
  PanelResponse answer{200, "application/json", currentProfile(camera), {}};
  answer.headers.emplace_back("Content-Disposition",
                              "attachment; filename=\"" + downloadName(camera) + "\"");
  return answer;
}

std::vector<ProfileValue> profileOfBody(const PanelRequest& request) {
  try {
    return readProfileText(BodyName, request.body);
  } catch (const UsageError& error) {
    const Json problems = profileProblems(error.what());
    throw RouteFailure(BadRequest,
                       problems.size() == 1
                           ? problems[0]["message"].get<std::string>() + ": nothing sent"
                           : std::string(BodyName) + " has " + std::to_string(problems.size()) +
                                 " bad parts: nothing sent",
                       problems);
  }
}

PanelResponse importProfile(Camera& camera, const std::vector<ProfileValue>& values, bool dryRun) {
  Json answer;
  if (dryRun) {
    answer["changes"] = Json::array();
    for (const ProfileValue& value : values) {
      const Reading current = camera.read(value.setting);
      if (!matches(value, current)) {
        answer["changes"].push_back({{"name", value.setting.label},
                                     {"current", readingValue(current)},
                                     {"profile", readingValue(readingOf(value))}});
      }
    }
    return jsonAnswer(200, answer);
  }
  answer["values"] = Json::array();
  bool tookAll = true;
  std::string refused;
  for (const ProfileValue& value : values) {
    const bool accepted = camera.write(value.setting, value.write);
    const std::optional<std::string> refusal =
        accepted ? std::nullopt : std::optional<std::string>(camera.lastFailure());
    const ReadBack back = readBack(camera, value.setting);
    const Json item = valueResult(back, accepted && matches(value, back.reading), refusal, tookAll);
    if (!item["took"].get<bool>()) {
      refused += (refused.empty() ? "" : "; ") + value.setting.label +
                 " did not take the value: " + item["refusal"].get<std::string>();
    }
    answer["values"].push_back(item);
  }
  if (!tookAll) {
    answer["error"] = refused;
  }
  return jsonAnswer(tookAll ? 200 : Unprocessable, answer);
}

PanelResponse keptProfile(const std::string& serial) {
  const std::filesystem::path file = keptFile(serial);
  std::error_code error;
  if (!std::filesystem::exists(std::filesystem::symlink_status(file, error))) {
    throw RouteFailure(NotFound, "camera " + serial + " has no kept profile");
  }
  Json answer;
  answer["serial_number"] = serial;
  answer["file"] = file.string();
  try {
    std::string text;
    readProfile(file.string(), text);
    answer["profile"] = Json::parse(text);
    answer["unusable"] = nullptr;
  } catch (const UsageError& unusable) {
    answer["profile"] = nullptr;
    answer["unusable"] = unusable.what();
  }
  return jsonAnswer(200, answer);
}

PanelResponse keepProfile(const std::string& serial, const std::string& text) {
  const std::filesystem::path file = writeKeptProfile(keptProfilesFolderOrFail(), serial, text);
  return jsonAnswer(200, {{"serial_number", serial}, {"file", file.string()}});
}

PanelResponse forgetProfile(const std::string& serial) {
  const bool forgotten = removeKeptProfile(keptProfilesFolderOrFail(), serial);
  return jsonAnswer(200, {{"serial_number", serial}, {"forgotten", forgotten}});
}
