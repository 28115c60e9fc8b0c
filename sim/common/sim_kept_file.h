// Files in which the simulated camera keeps something between runs, as the real camera keeps it
// in its own memory: the flash on the HID side, the settings on the video side. Each is replaced
// as a whole, so that a run cut short or a full disk never leaves half a file for the next run.
#pragma once

#include <string>
#include <string_view>

namespace sim {

// Throws ScenarioError unless a file of this kind (`what`, e.g. "flash file") can be written at
// `path`: a run must learn before it changes the camera that the change cannot be kept, not
// after.
void checkKeptFileWritable(const std::string& path, std::string_view what);

// Replaces the file at `path` with `contents`: written beside it first and renamed into place,
// so that a failed write leaves the previous file as it was. False when it could not be done.
bool replaceKeptFile(const std::string& path, std::string_view contents);

}  // namespace sim
