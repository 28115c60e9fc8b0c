// The settings' routes: every image property and vendor control read with what the camera gives
// about it, values checked as `optiqon set` checks them and written and read back, and the
// camera's stored settings and password.
#include <string_view>

#include "panel_routes.h"

namespace {

// A vendor control is named as `optiqon show` names it; a request may give its number alone, as
// `optiqon set` takes it.
constexpr std::string_view ControlPrefix = "control ";

// A word in place of a property's value: the camera sets the property itself.
constexpr std::string_view Automatic = "auto";

Json propertyItem(Camera& camera, const Setting& setting) {
  const std::optional<PropertyState> state = camera.readProperty(setting.number);
  std::optional<std::string> unreadable;
  if (!state) {
    unreadable = camera.lastFailure();
  }
  const std::optional<PropertyRange> range = camera.propertyRange(setting.number);
  if (!range && !unreadable) {
    unreadable = camera.lastFailure();
  }
  const auto ranged = [&range](long PropertyRange::*field) {
    return range ? Json((*range).*field) : Json(nullptr);
  };
  Json item;
  item["name"] = setting.label;
  item["value"] = state ? Json(state->value) : Json(nullptr);
  item["automatic"] = state ? Json(state->automatic) : Json(nullptr);
  item["minimum"] = ranged(&PropertyRange::minimum);
  item["maximum"] = ranged(&PropertyRange::maximum);
  item["step"] = ranged(&PropertyRange::step);
  item["default"] = ranged(&PropertyRange::defaultValue);
  item["automatic_mode"] = range ? Json(range->canBeAutomatic) : Json(nullptr);
  item["unreadable"] = unreadable ? Json(*unreadable) : Json(nullptr);
  return item;
}

Json controlItem(Camera& camera, const Setting& setting) {
  const Reading reading = camera.read(setting);
  Json item;
  item["name"] = setting.label;
  item["number"] = setting.number;
  item["length"] = controlLength(setting.number);
  item["value"] = readingValue(reading);
  // The register and password controls are reached through their own commands.
  item["settable"] = keptInProfile(setting);
  item["unreadable"] = reading.answered() ? Json(nullptr) : Json(camera.lastFailure());
  return item;
}

// The name the body gives, as `optiqon set` takes it.
std::string nameAsSetTakesIt(const std::string& key) {
  return key.rfind(ControlPrefix, 0) == 0 ? key.substr(ControlPrefix.size()) : key;
}

// A JSON value as `optiqon set` takes it after the '=': a number as JSON writes it, a list of
// numbers with commas between. Anything else is written as JSON, for the check to refuse by
// name.
std::string valueAsSetTakesIt(const Json& value) {
  if (!value.is_array()) {
    return value.dump(-1, ' ', false, Json::error_handler_t::replace);
  }
  std::string text;
  for (std::size_t i = 0; i < value.size(); ++i) {
    if (i > 0) {
      text += ',';
    }
    text += value[i].dump(-1, ' ', false, Json::error_handler_t::replace);
  }
  return text;
}

// What a failure says of refused values: the one's message, or how many.
std::string refusedValues(const Json& problems) {
  return (problems.size() == 1 ? problems[0]["message"].get<std::string>()
                               : std::to_string(problems.size()) + " values are refused") +
         ": nothing sent";
}

// The property a body hands to the camera: NAME: "auto".
std::optional<ValueToSet> automaticValue(const std::string& name, const Json& value) {
  if (!value.is_string() || value.get<std::string>() != Automatic) {
    return std::nullopt;
  }
  const std::string given = "'" + name + "=" + std::string(Automatic) + "': ";
  Setting setting;
  try {
    setting = findSetting(name);
  } catch (const UsageError& error) {
    throw UsageError(given + error.what());
  }
  if (setting.kind != Setting::Kind::Property) {
    throw UsageError(given + setting.label + " has no automatic mode");
  }
  return ValueToSet{{setting, {}}, true};
}

// The camera's range of each property the values hand to it, read before anything is sent: a
// property without an automatic mode is refused then.
void checkAutomaticModes(Camera& camera, const std::vector<ValueToSet>& values) {
  Json problems = Json::array();
  for (const ValueToSet& value : values) {
    const Setting& setting = value.assignment.setting;
    if (!value.automatic) {
      continue;
    }
    const std::optional<PropertyRange> range = camera.propertyRange(setting.number);
    if (!range) {
      throw RouteFailure(Unprocessable, "the camera did not answer for the range of " +
                                            setting.label + ": " + camera.lastFailure() +
                                            ": nothing sent");
    }
    if (!range->canBeAutomatic) {
      problems.push_back(problem(setting.label, "'" + setting.label + "=" + std::string(Automatic) +
                                                    "': the camera has no automatic mode for it"));
    }
  }
  if (!problems.empty()) {
    throw RouteFailure(BadRequest, refusedValues(problems), problems);
  }
}

// Writes one value and reads it back: what the answer says of it, and whether it took.
Json writeValue(Camera& camera, const ValueToSet& value, bool& tookAll) {
  const Assignment& assignment = value.assignment;
  const Setting& setting = assignment.setting;
  bool accepted = false;
  if (value.automatic) {
    const std::optional<PropertyState> held = camera.readProperty(setting.number);
    accepted = held && camera.writeProperty(setting.number, held->value, true);
  } else {
    accepted = camera.write(setting, assignment.values);
  }
  const std::optional<std::string> refusal =
      accepted ? std::nullopt : std::optional<std::string>(camera.lastFailure());
  const ReadBack back = readBack(camera, setting);
  // A property set to a value is in manual mode; one handed to the camera is in automatic.
  const bool held = value.automatic
                        ? back.automatic.value_or(false)
                        : took(assignment, back.reading) && !back.automatic.value_or(false);
  return valueResult(back, accepted && held, refusal, tookAll);
}

}  // namespace

Json readingValue(const Reading& reading) {
  if (!reading.answered()) {
    return nullptr;
  }
  if (reading.setting.kind == Setting::Kind::Property) {
    return *reading.property;
  }
  return controlJson(reading.setting, *reading.control);
}

ReadBack readBack(Camera& camera, const Setting& setting) {
  if (setting.kind != Setting::Kind::Property) {
    return {camera.read(setting), std::nullopt};
  }
  ReadBack back{{setting, std::nullopt, std::nullopt}, std::nullopt};
  if (const std::optional<PropertyState> state = camera.readProperty(setting.number)) {
    back.reading.property = static_cast<int>(state->value);
    back.automatic = state->automatic;
  }
  return back;
}

Json valueResult(const ReadBack& back, bool tookIt, const std::optional<std::string>& refusal,
                 bool& tookAll) {
  const Reading& readBack = back.reading;
  const Setting& setting = readBack.setting;
  Json item;
  item["name"] = setting.label;
  item["value"] = readingValue(readBack);
  if (setting.kind == Setting::Kind::Property) {
    item["automatic"] = back.automatic ? Json(*back.automatic) : Json(nullptr);
  }
  item["took"] = tookIt;
  if (tookIt) {
    item["refusal"] = nullptr;
  } else if (refusal) {
    item["refusal"] = *refusal;
  } else {
    item["refusal"] = readBack.answered()
                          ? "the camera holds " + formatReading(readBack) + " instead"
                          : std::string("the camera did not answer for it when read back");
  }
  tookAll = tookAll && tookIt;
  return item;
}

Json settingsOf(Camera& camera) {
  Json settings;
  settings["serial_number"] = camera.serialNumber() ? Json(*camera.serialNumber()) : Json(nullptr);
  settings["location"] = camera.location();
  settings["properties"] = Json::array();
  settings["controls"] = Json::array();
  for (const Setting& setting : everySetting()) {
    if (setting.kind == Setting::Kind::Property) {
      settings["properties"].push_back(propertyItem(camera, setting));
    } else {
      settings["controls"].push_back(controlItem(camera, setting));
    }
  }
  return settings;
}

std::vector<ValueToSet> valuesToSet(const Json& body) {
  if (!body.is_object() || body.empty()) {
    throw RouteFailure(BadRequest,
                       "expected a JSON object of the values to set, by name: "
                       "{\"brightness\": 10, \"control 20\": [1, 2, 3, 4]}");
  }
  std::vector<ValueToSet> values;
  Json problems = Json::array();
  for (const auto& [key, value] : body.items()) {
    const std::string name = nameAsSetTakesIt(key);
    try {
      if (std::optional<ValueToSet> automatic = automaticValue(name, value)) {
        values.push_back(std::move(*automatic));
      } else {
        values.push_back({parseAssignment(name + "=" + valueAsSetTakesIt(value)), false});
      }
    } catch (const UsageError& error) {
      std::optional<std::string> label;
      try {
        label = findSetting(name).label;
      } catch (const UsageError&) {
        label = key;
      }
      problems.push_back(problem(label, error.what()));
    }
  }
  if (!problems.empty()) {
    throw RouteFailure(BadRequest, refusedValues(problems), problems);
  }
  return values;
}

PanelResponse setValues(Camera& camera, const std::vector<ValueToSet>& values) {
  checkAutomaticModes(camera, values);
  Json answer;
  answer["values"] = Json::array();
  bool tookAll = true;
  std::string refused;
  for (const ValueToSet& value : values) {
    const Json item = writeValue(camera, value, tookAll);
    if (!item["took"].get<bool>()) {
      refused += (refused.empty() ? "" : "; ") + item["name"].get<std::string>() +
                 " did not take the value: " + item["refusal"].get<std::string>();
    }
    answer["values"].push_back(item);
  }
  if (!tookAll) {
    answer["error"] = refused;
  }
  return jsonAnswer(tookAll ? 200 : Unprocessable, answer);
}

namespace {

PanelResponse settingsCommand(Camera& camera, bool (Camera::*call)(), const char* what,
                              const char* result) {
  if (!(camera.*call)()) {
    throw RouteFailure(Unprocessable,
                       std::string("the camera refused to ") + what + ": " + camera.lastFailure());
  }
  return jsonAnswer(200, {{"result", result}});
}

}  // namespace

PanelResponse storeSettings(Camera& camera) {
  return settingsCommand(camera, &Camera::storeSettings, "save its settings", "saved");
}

PanelResponse restoreFactorySettings(Camera& camera) {
  return settingsCommand(camera, &Camera::restoreFactorySettings, "reset its settings", "reset");
}

PanelResponse sendPassword(Camera& camera, const Json& body) {
  if (!body.is_object() || body.size() != 1 || !body.contains("password") ||
      !body["password"].is_string()) {
    throw RouteFailure(BadRequest, "expected {\"password\": \"HEX4\"}, four hexadecimal digits");
  }
  const std::string password = body["password"].get<std::string>();
  checkPassword(password);
  if (!camera.sendPassword(password)) {
    throw RouteFailure(Unprocessable, camera.lastFailure());
  }
  return jsonAnswer(200, {{"result", "accepted"}});
}
