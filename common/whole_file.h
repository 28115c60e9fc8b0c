// Files that the kit's programs replace as a whole: a profile the tool exports, the files in
// which the simulated camera keeps its state. A reader never finds half a file, a failed write
// leaves the earlier file as it was, and no name that someone else could have planted (a link
// to another file) is ever written through.
#pragma once

#include <filesystem>
#include <optional>
#include <string_view>

namespace kit {

// Writes `contents` to `path` as a whole. A link at `path` is followed, and the file it leads to
// is the one written. A regular file (or none) is replaced: the contents go to a new file made
// beside it under a name of its own, which is then renamed into place. Anything else that
// exists there (a device, a FIFO, a terminal) is written in place, since it cannot be replaced.
// False when it could not be done; the earlier file is then as it was.
bool replaceFileWhole(const std::filesystem::path& path, std::string_view contents);

// Whether a new file can be made beside `path`: one of its own is made and removed again.
bool canCreateFileBeside(const std::filesystem::path& path);

// What a link at `path` leads to, link after link (at most 40, as the kernel allows); `path`
// itself when it is no link. None when the links go round in a circle.
std::optional<std::filesystem::path> followLinks(const std::filesystem::path& path);

}  // namespace kit
