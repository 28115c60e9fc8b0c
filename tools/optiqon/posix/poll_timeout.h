// A wait's limit as poll() takes it: milliseconds, -1 for none.
#pragma once

#include <algorithm>
#include <chrono>
#include <limits>

namespace console {

inline int pollTimeout(std::chrono::milliseconds timeout) {
  if (timeout.count() >= std::numeric_limits<int>::max()) {
    return -1;
  }
  return static_cast<int>(std::max<std::chrono::milliseconds::rep>(timeout.count(), 0));
}

}  // namespace console
