// A camera given its kept values: each value the camera does not hold is written and read back,
// and only those, so that a camera already set as kept is left untouched. The watcher does this
// when a camera is plugged in and, holding the values, every few seconds after.
#pragma once

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "camera.h"
#include "profile_file.h"

// The camera's kept profile in `folder`, checked whole; none when it has none. A UsageError
// names what is wrong with a file that cannot be used.
std::optional<std::vector<ProfileValue>> readKeptProfile(const std::filesystem::path& folder,
                                                         const std::string& serialNumber);

struct KeptValuesOutcome {
  unsigned set = 0;                  // written, and read back as kept
  unsigned unchanged = 0;            // already held
  std::vector<std::string> refused;  // written, and read back otherwise: their names
};

// Called for each value the camera held otherwise, before it is written, with what it held.
using ValueChanged = std::function<void(const ProfileValue& kept, const Reading& held)>;

// Writes the values the camera does not hold. The camera unplugged ends it with CameraGone.
KeptValuesOutcome giveKeptValues(Camera& camera, const std::vector<ProfileValue>& values,
                                 const ValueChanged& changed = nullptr);

// The profile's value as a reading, as the camera reads it back when it holds it.
Reading readingOf(const ProfileValue& value);
