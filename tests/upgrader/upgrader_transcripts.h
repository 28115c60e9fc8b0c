// What the upgrader prints, spelled once for every suite that runs it: in-process on the
// simulated camera or the hidraw fakes, as a separate program, or echoed by the library.
#pragma once

#include <cstdint>
#include <string>

namespace transcript {

inline constexpr const char* NotFoundLines =
    "Did not find Corvantis K3M51-USB camera...\n"
    "Connect Corvantis K3M51-USB camera Device...and try again\n";

// The line the upgrade mode prints once it has chosen the camera at list index `index`.
inline std::string foundLine(unsigned index) {
  return "Found Corvantis K3M51-USB camera. Device #" + std::to_string(index) +
         " - VID: 0x1BBD, PID: 0x024C\n";
}

// What a whole successful run prints after the found line, for images of up to 12 pages that
// fit one sector: one erase update, one download update, the last page and both verdicts.
inline std::string smallImageSuccess(std::uint32_t transferSize) {
  return "Firmware file size = " + std::to_string(transferSize) +
         "\n"
         "\rErasing sectors 100% \n"
         "\rDownloading firmware 1% "
         "\nLast section of firmware download\n"
         "\nDownload Complete\n"
         "\nDownload Complete\n";
}

// A whole successful run on the camera listed second (after one unrelated interface).
inline std::string successfulRun(std::uint32_t transferSize, unsigned cameraIndex = 1) {
  return foundLine(cameraIndex) + smallImageSuccess(transferSize);
}

}  // namespace transcript
