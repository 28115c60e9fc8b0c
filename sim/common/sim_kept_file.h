// Files in which the simulated camera keeps its settings between runs, as the real camera keeps
// them in its own memory. Each is replaced as a whole, so that a run cut short or a full disk
// never leaves half a file for the next run, and every process that opens the same camera takes
// its turn on the file under a lock, so that no two runs' changes cross.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

#include "sim_shared_file.h"

namespace sim {

// Throws ScenarioError unless a file of this kind (`what`, e.g. "camera settings file") can be
// written at `path`: a run must learn before it changes the camera that the change cannot be
// kept, not after.
void checkKeptFileWritable(const std::string& path, std::string_view what);

// The file's name as one file is named, so that two names of one file (relative and absolute,
// through a link) are found the same: no two cameras may keep their state in one file.
std::filesystem::path sameFileName(const std::string& path);

// Replaces the file at `path` with `contents` as a whole; false when it could not be done.
bool replaceKeptFile(const std::string& path, std::string_view contents);

// The turn on the kept file at `path`, held for as long as the returned lock lives: the lock is
// the file `path` + ".lock", made beside it and kept there, since the kept file itself is
// replaced at every write.
SharedFile takeKeptFileTurn(const std::string& path, std::string_view what);

}  // namespace sim
