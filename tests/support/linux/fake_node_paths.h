// The paths by which the fake systems are reached: a prefix naming a kind of node
// ("/dev/hidraw", "/sys/class/video4linux/video"), the node's number, then the rest of the path.
#pragma once

#include <cstring>
#include <string>

// The node a sysfs path or a device path names, and the rest of the path after it.
inline bool nodeInPath(const std::string& path, const char* prefix, unsigned& node,
                       std::string& rest) {
  if (path.rfind(prefix, 0) != 0) {
    return false;
  }
  const std::size_t start = std::strlen(prefix);
  std::size_t end = start;
  while (end < path.size() && path[end] >= '0' && path[end] <= '9') {
    ++end;
  }
  if (end == start) {
    return false;
  }
  node = static_cast<unsigned>(std::stoul(path.substr(start, end - start)));
  rest = path.substr(end);
  return true;
}
