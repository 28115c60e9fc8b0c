// A settings profile: the camera's settings as a JSON file, which export writes and import reads.
// A file is checked whole before anything is sent, so that a bad file never leaves the camera
// half set.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "camera.h"
#include "camera_values.h"

// One value of a profile: as the file holds it (and as get shows it), and as it is written.
struct ProfileValue {
  Setting setting;
  std::vector<double> file;
  std::vector<double> write;
};

// Whether a profile keeps the setting: every one but the register and password controls, which
// are no settings.
bool keptInProfile(const Setting& setting);

// The profile of the camera with `serialNumber` (none when the camera gave none) and its
// `readings`, taken now: one value a line, each value on its line whole, so that a profile reads
// and compares as the table of show does.
std::string profileText(const std::optional<std::string>& serialNumber,
                        const std::vector<Reading>& readings);

// The file's values, image properties in their numbering order, then vendor controls
// ascending; UsageError naming every bad part when the file is not a profile that can be
// written whole.
std::vector<ProfileValue> readProfile(const std::string& path);
// The same, with the text the values were read from, to keep the file as it was checked.
std::vector<ProfileValue> readProfile(const std::string& path, std::string& text);
// The same for a profile's text that came from elsewhere than a file, `name` naming it in the
// messages as a file's path does.
std::vector<ProfileValue> readProfileText(const std::string& name, const std::string& text);

// The camera's settings now, as a profile; a CommandFailure (Refused) naming the value the camera
// did not answer for, and why.
std::string currentProfile(Camera& camera);

// Whether the camera holds the profile's value, as `reading` shows it.
bool matches(const ProfileValue& value, const Reading& reading);
