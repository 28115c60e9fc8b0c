// New files made with O_EXCL and O_NOFOLLOW, so that a file or link someone put at the chosen
// name is never opened, and renamed over the old one with rename(2), which replaces it at once.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "../whole_file_platform.h"

namespace kit::platform {

NewFile makeNewFile(const std::filesystem::path& path, int& descriptor) {
  descriptor = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
  if (descriptor >= 0) {
    return NewFile::Made;
  }
  return errno == EEXIST ? NewFile::NameTaken : NewFile::Failed;
}

bool writeAndClose(int descriptor, std::string_view contents) {
  bool written = true;
  while (written && !contents.empty()) {
    const ssize_t count = ::write(descriptor, contents.data(), contents.size());
    if (count < 0 && errno == EINTR) {
      continue;
    }
    written = count > 0;
    if (written) {
      contents.remove_prefix(static_cast<std::size_t>(count));
    }
  }
  return ::close(descriptor) == 0 && written;
}

unsigned long processNumber() {
  return static_cast<unsigned long>(::getpid());
}

bool renameOver(const std::filesystem::path& from, const std::filesystem::path& to) {
  return ::rename(from.c_str(), to.c_str()) == 0;
}

}  // namespace kit::platform
