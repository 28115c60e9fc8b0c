// New files made with _O_EXCL (CREATE_NEW), which fails on any file or link already at the
// name, and moved over the old one with MoveFileExW, which replaces it as a whole.
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>

#include <algorithm>
#include <cerrno>

#include "../whole_file_platform.h"

namespace kit::platform {

NewFile makeNewFile(const std::filesystem::path& path, int& descriptor) {
  descriptor = _wopen(path.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY | _O_NOINHERIT,
                      _S_IREAD | _S_IWRITE);
  if (descriptor >= 0) {
    return NewFile::Made;
  }
  return errno == EEXIST ? NewFile::NameTaken : NewFile::Failed;
}

bool writeAndClose(int descriptor, std::string_view contents) {
  constexpr std::size_t MostAtOnce = 1u << 30;  // _write takes an unsigned count
  bool written = true;
  while (written && !contents.empty()) {
    const auto chunk = static_cast<unsigned>(std::min(contents.size(), MostAtOnce));
    const int count = _write(descriptor, contents.data(), chunk);
    written = count > 0;
    if (written) {
      contents.remove_prefix(static_cast<std::size_t>(count));
    }
  }
  return _close(descriptor) == 0 && written;
}

unsigned long processNumber() {
  return static_cast<unsigned long>(GetCurrentProcessId());
}

bool renameOver(const std::filesystem::path& from, const std::filesystem::path& to) {
  return MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING) != 0;
}

}  // namespace kit::platform
