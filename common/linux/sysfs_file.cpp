#include "sysfs_file.h"

#include <fstream>
#include <iterator>

namespace kit {

std::optional<std::string> readSysfsFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    return std::nullopt;
  }
  std::string content{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  if (in.bad()) {
    return std::nullopt;
  }
  return content;
}

}  // namespace kit
