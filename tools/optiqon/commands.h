// The tool's commands, added by the file of each group in the order the help lists them.
#pragma once

#include "command_registry.h"

// list
void addListCommand(CommandRegistry& commands);
// status, show, get, set
void addSettingsCommands(CommandRegistry& commands);
// register, password, save, reset
void addMaintenanceCommands(CommandRegistry& commands);
// export, import
void addProfileCommands(CommandRegistry& commands);
// update
void addUpdateCommand(CommandRegistry& commands);
// watch
void addWatchCommand(CommandRegistry& commands);
// panel
void addPanelCommand(CommandRegistry& commands);

// The camera's values of `settings` now go into its kept profile, the others kept as they were;
// a camera without a kept profile has its current settings kept whole: set --remember.
int keepSetValues(Camera& camera, const std::vector<Setting>& settings);

// Has the camera store its current settings, and says whether it did: save, and import --save.
int saveSettings(Camera& camera);
