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

// The serial number a camera's kept profile is filed under: its own; a CommandFailure (Refused)
// when it gave none.
std::string keptSerialOf(Camera& camera);

// What became of the kept profile after set --remember: where it is, and whether the camera had
// one before (its other values kept as they were) or has its current settings kept whole.
struct KeptProfileUpdate {
  std::filesystem::path file;
  bool updated = false;
};

// The camera's values of `settings` now go into its kept profile in `folder`, the others kept as
// they were; a camera without a kept profile has its current settings kept whole. A
// CommandFailure when the camera did not answer for a value (the kept profile left as it was) or
// the profile cannot be written; a UsageError when the kept profile cannot be used.
KeptProfileUpdate keepCurrentValues(Camera& camera, const std::filesystem::path& folder,
                                    const std::vector<Setting>& settings);
