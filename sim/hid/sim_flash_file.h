// The simulated camera's flash kept in a file between runs, so that one run can flash an image
// and a later one (or a person with a hex viewer) can find it there, as on the camera itself.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace sim {

// Fills `flash` from the file at `path`; a missing file leaves the flash erased. Throws
// ScenarioError when the file does not hold exactly the flash's size.
void loadFlashFile(const std::string& path, std::vector<std::uint8_t>& flash);

// Throws ScenarioError unless the flash can be written back to `path` at the end of the run: a
// run that flashes an image must not learn only after "Download Complete" that it cannot keep it.
void checkFlashFileWritable(const std::string& path);

// Replaces the file at `path` with `flash` as a whole: written beside it first and renamed into
// place, so that a failed write leaves the previous flash file as it was. Throws ScenarioError.
void saveFlashFile(const std::string& path, const std::vector<std::uint8_t>& flash);

}  // namespace sim
