#include "kept_values.h"

#include <algorithm>
#include <system_error>

#include "kept_profiles.h"

std::optional<std::vector<ProfileValue>> readKeptProfile(const std::filesystem::path& folder,
                                                         const std::string& serialNumber) {
  const std::filesystem::path file = folder / keptProfileName(serialNumber);
  std::error_code error;
  if (!std::filesystem::exists(std::filesystem::symlink_status(file, error))) {
    return std::nullopt;
  }
  return readProfile(file.string());
}

KeptValuesOutcome giveKeptValues(Camera& camera, const std::vector<ProfileValue>& values,
                                 const ValueChanged& changed) {
  KeptValuesOutcome outcome;
  for (const ProfileValue& value : values) {
    const Reading held = camera.read(value.setting);
    if (matches(value, held)) {
      ++outcome.unchanged;
      continue;
    }
    if (changed) {
      changed(value, held);
    }
    camera.write(value.setting, value.write);
    if (matches(value, camera.read(value.setting))) {
      ++outcome.set;
    } else {
      outcome.refused.push_back(value.setting.label);
    }
  }
  return outcome;
}

Reading readingOf(const ProfileValue& value) {
  Reading reading{value.setting, std::nullopt, std::nullopt};
  if (value.setting.kind == Setting::Kind::Property) {
    reading.property = static_cast<int>(value.file.at(0));
  } else {
    reading.control = value.file;
  }
  return reading;
}

std::string keptSerialOf(Camera& camera) {
  const std::optional<std::string> serial = camera.serialNumber();
  if (!serial) {
    throw CommandFailure(Refused, "camera " + camera.name() +
                                      " gave no serial number, which a kept profile is filed "
                                      "under: nothing kept");
  }
  return *serial;
}

namespace {

// The kept profile with the camera's values of `settings` now, the others as they were kept.
std::vector<Reading> keptWithCurrent(Camera& camera, const std::vector<ProfileValue>& kept,
                                     const std::vector<Setting>& settings) {
  const auto among = [&settings](const Setting& setting) {
    return std::any_of(settings.begin(), settings.end(), [&setting](const Setting& changed) {
      return changed.label == setting.label;
    });
  };
  std::vector<Reading> readings;
  for (const ProfileValue& value : kept) {
    readings.push_back(among(value.setting) ? camera.read(value.setting) : readingOf(value));
  }
  for (const Setting& setting : settings) {
    if (std::none_of(kept.begin(), kept.end(), [&setting](const ProfileValue& value) {
          return value.setting.label == setting.label;
        })) {
      readings.push_back(camera.read(setting));
    }
  }
  return readings;
}

}  // namespace

KeptProfileUpdate keepCurrentValues(Camera& camera, const std::filesystem::path& folder,
                                    const std::vector<Setting>& settings) {
  const std::string serial = keptSerialOf(camera);
  const std::optional<std::vector<ProfileValue>> kept = readKeptProfile(folder, serial);
  std::string text;
  if (kept) {
    const std::vector<Reading> readings = keptWithCurrent(camera, *kept, settings);
    for (const Reading& reading : readings) {
      if (!reading.answered()) {
        throw CommandFailure(Refused, "the camera did not answer for " + reading.setting.label +
                                          ": " + camera.lastFailure() +
                                          ": kept profile left as it was");
      }
    }
    text = profileText(serial, readings);
  } else {
    text = currentProfile(camera);
  }
  return {writeKeptProfile(folder, serial, text), kept.has_value()};
}
