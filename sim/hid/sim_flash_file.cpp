#include "sim_flash_file.h"

#include "sim_scenario_file.h"

namespace sim {

SharedFile useFlashFile(const std::string& path, FlashCamera& camera) {
  SharedFile file(path, "flash file");
  // Made under the lock, so that a process that finds the file empty is the one that erases it.
  if (file.size() == 0) {
    file.fill(FlashCamera::FlashSize, 0xFF);
  }
  if (file.size() != FlashCamera::FlashSize) {
    throw ScenarioError("flash file " + path + " does not hold exactly " +
                        std::to_string(FlashCamera::FlashSize) + " bytes");
  }
  camera.useFlash(file.map());
  return file;
}

}  // namespace sim
