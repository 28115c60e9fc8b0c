// The user's configuration folder off Windows, as the XDG base directories name it.
#include <cstdlib>

#include "../kept_profiles.h"

const char* const KeptProfilesSubfolder = "optiqon/cameras";

std::optional<std::filesystem::path> userConfigurationFolder() {
  // A relative XDG_CONFIG_HOME is invalid and ignored, as the base directory rules say.
  if (const char* config = std::getenv("XDG_CONFIG_HOME");
      config != nullptr && std::filesystem::path(config).is_absolute()) {
    return std::filesystem::path(config);
  }
  if (const char* home = std::getenv("HOME"); home != nullptr && home[0] == '/') {
    return std::filesystem::path(home) / ".config";
  }
  return std::nullopt;
}
