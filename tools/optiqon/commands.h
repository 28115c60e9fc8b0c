// The tool's commands, each returning the process's exit code (an ExitCode). A UsageError
// thrown from one means nothing was sent to the camera.
#pragma once

#include <string>
#include <vector>

int status(bool json);
int show(bool json);
int get(const std::vector<std::string>& names, bool json);
int set(const std::vector<std::string>& texts, bool json);

// Reads the register at `addressText`, after writing `valueText` to it when that is not empty.
int registerCommand(const std::string& addressText, const std::string& valueText);
int password(const std::string& text);
// SaveSettings when `save`, ResetSettings otherwise.
int settingsCommand(bool save);

// Writes the camera's settings to the profile at `path`.
int exportProfile(const std::string& path);
// Writes the profile at `path` to the camera and reads each value back; with `dryRun` shows
// what would change and writes nothing; with `save` has the camera store the result.
int importProfile(const std::string& path, bool dryRun, bool save);

// Has the library run the upgrader on the image at `path`, showing its progress; returns the
// upgrader's verdict as an exit code.
int updateFirmware(const std::string& path);
