#include "kept_values.h"

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
