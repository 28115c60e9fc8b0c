// What the platform does for files replaced whole: one header, a file per platform
// (posix/whole_file_posix.cpp, windows/whole_file_windows.cpp).
#pragma once

#include <filesystem>
#include <string_view>

namespace kit::platform {

enum class NewFile { Made, NameTaken, Failed };

// Makes a new file at `path` for writing, exclusively: a file or link already there is never
// opened (NameTaken). Its descriptor goes to `descriptor`.
NewFile makeNewFile(const std::filesystem::path& path, int& descriptor);

// Writes all of `contents`, then closes the descriptor; false when either failed.
bool writeAndClose(int descriptor, std::string_view contents);

// The running process's number, which makes a new file's name unlike another process's.
unsigned long processNumber();

// Renames `from` over `to`, replacing the file there; false on failure.
bool renameOver(const std::filesystem::path& from, const std::filesystem::path& to);

}  // namespace kit::platform
