// Kept profiles: for each camera, by its serial number, the settings it is to be given whenever it
// is plugged in, stored per user under the platform's configuration folder, one file a camera in
// the profile format.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

// The folder of the kept profiles: $XDG_CONFIG_HOME/optiqon/cameras (~/.config when the variable
// is unset or not an absolute path) off Windows, %APPDATA%\Optiqon\cameras on Windows. None when
// the platform names no such folder for this user.
std::optional<std::filesystem::path> keptProfilesFolder();

// The platform's configuration folder of the user, the base of the above, and the kit's folder
// of kept profiles beneath it (one file a platform).
std::optional<std::filesystem::path> userConfigurationFolder();
extern const char* const KeptProfilesSubfolder;

// The file name of a camera's kept profile: its serial number with every character that is not a
// letter, digit, '-' or '_' written as %XX (so that no serial number leads out of the folder or
// names a hidden file), and ".json".
std::string keptProfileName(const std::string& serialNumber);

// The serial number of a kept profile's file name; none for a name keptProfileName never makes.
std::optional<std::string> serialOfKeptProfile(const std::string& fileName);

// The serial numbers of the profiles kept in `folder`, in order; none kept when it does not exist.
std::vector<std::string> keptSerials(const std::filesystem::path& folder);

// The folder of the kept profiles; a CommandFailure (BadUsage) when the platform names none.
std::filesystem::path keptProfilesFolderOrFail();

// Writes `text` whole as the kept profile of the camera with `serialNumber`, making the folder
// when it is missing, and returns the file's path; a CommandFailure (BadUsage) when it cannot.
std::filesystem::path writeKeptProfile(const std::filesystem::path& folder,
                                       const std::string& serialNumber, const std::string& text);

// Removes the camera's kept profile: false when it had none, a CommandFailure (Refused) saying why
// when it cannot be removed.
bool removeKeptProfile(const std::filesystem::path& folder, const std::string& serialNumber);
