// A wait's time as Windows' waits take it.
#pragma once

#include <windows.h>

#include <chrono>

namespace console {

// INFINITE for Forever and for any time as long as INFINITE's (about 49.7 days) or longer, which
// no wait of the watcher tells apart from Forever; nothing below zero.
inline DWORD waitMilliseconds(std::chrono::milliseconds timeout) {
  if (timeout.count() <= 0) {
    return 0;
  }
  if (timeout.count() >= static_cast<long long>(INFINITE)) {
    return INFINITE;
  }
  return static_cast<DWORD>(timeout.count());
}

}  // namespace console
