// The simulated camera's flash kept in a file, so that one run can flash an image and a later one
// (or a person with a hex viewer) can find it there, as on the camera itself. The file is the
// flash: mapped into memory, it follows every erase and page write as the camera makes it, so a
// run ended by any signal leaves it as the camera would be left, part erased and part written.
#pragma once

#include <string>

#include "sim_flash_camera.h"
#include "sim_shared_file.h"

namespace sim {

// Opens the flash file at `path` for `camera` and has the camera use it as its flash, for as long
// as the returned file lives; a missing file is made, erased. The file is locked meanwhile, so
// that two processes never use one flash at once. Throws ScenarioError when the file cannot be
// written or does not hold exactly the flash's size.
SharedFile useFlashFile(const std::string& path, FlashCamera& camera);

}  // namespace sim
