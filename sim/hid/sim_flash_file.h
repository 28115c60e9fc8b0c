// The simulated camera's flash kept in a file, so that one run can flash an image and a later one
// (or a person with a hex viewer) can find it there, as on the camera itself. The file is the
// flash: mapped into memory, it follows every erase and page write as the camera makes it, so a
// run ended by any signal leaves it as the camera would be left, part erased and part written.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "sim_flash_camera.h"
#include "sim_shared_file.h"

namespace sim {

// A flash file as every process that opens the same camera shares it, as programs share one
// device: a process holds the file (its lock and its mapping) only while it uses the flash, so
// that a program that only lists the cameras and reads their serial numbers keeps no other
// waiting, and two processes never use one flash at once.
class FlashFile final : public FlashCamera::Cells {
 public:
  // Checks the file at `path` as a scenario names it, and holds nothing afterwards: a missing or
  // empty file is made, erased. Throws ScenarioError when the file cannot be written or does not
  // hold exactly the flash's size, so that a run learns it before it sends anything.
  explicit FlashFile(std::string path);

  // The process's turn on the flash, for a report call: waits while another process has it,
  // checks the file again as at setup (it may have been removed or changed meanwhile) and maps
  // it. Nothing to do while the turn is held. Throws ScenarioError.
  void take();
  // Unmaps the file and gives the turn back, to whichever process waits for it.
  void giveBack();
  bool held() const { return turn_.isOpen(); }

  // The mapping of the turn while it is held; otherwise a look at the file (see the definition).
  // Throws ScenarioError when the file cannot be looked at.
  std::span<std::uint8_t> cells() override;

 private:
  std::string path_;
  SharedFile turn_;  // locked and mapped while the process uses the flash
  SharedFile look_;  // mapped, never locked: the cells as they are between turns
};

}  // namespace sim
