// The firmware update of one camera, in the calling process: the upgrader's erase and page-by-page
// download over the camera's own HID interface, with its progress told as each page verifies and
// its verdict given by value. Nothing is printed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace cameras {

struct UpdateOutcome {
  int verdict;          // an OptiqonUpgraderExitCode
  std::string message;  // empty for a verified image
};

using PageProgress = void (*)(void* context, unsigned pagesWritten, unsigned pages);

// Why the image cannot be flashed, or none; `pages` gets the pages it takes.
std::optional<std::string> imageProblem(const std::uint8_t* image, std::size_t size,
                                        unsigned* pages);

// Flashes the image into the camera whose HID interface is at `hidPath`; `serial` names it in
// messages. Runs to its verdict whatever happens to the camera.
UpdateOutcome updateFirmware(const std::u16string& hidPath, const std::string& serial,
                             const std::uint8_t* image, std::size_t size, PageProgress progress,
                             void* context);

}  // namespace cameras
