// The user's configuration folder on Windows: the roaming application data folder.
#include <cstdlib>

#include "../kept_profiles.h"

const char* const KeptProfilesSubfolder = "Optiqon\\cameras";

std::optional<std::filesystem::path> userConfigurationFolder() {
  if (const wchar_t* appData = _wgetenv(L"APPDATA"); appData != nullptr && appData[0] != 0) {
    const std::filesystem::path folder(appData);
    if (folder.is_absolute()) {
      return folder;
    }
  }
  return std::nullopt;
}
