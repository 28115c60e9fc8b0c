// One export at a time. The library is made for a host that makes every call from the thread
// that called Initialize; a host that calls from several threads at once gets its calls one
// after the other, rather than sharing the camera connection, the control size table and the
// platform's objects unguarded. The lock is recursive because exports call exports: Initialize
// ends in Deinitialize when it finds no camera, and UpdateFirmware addresses a control through
// SetPropertyExtended.
#pragma once

#include <mutex>

inline std::recursive_mutex& exportMutex() {
  static std::recursive_mutex mutex;
  return mutex;
}

// Held from the start of an export to its return.
[[nodiscard]] inline std::lock_guard<std::recursive_mutex> oneExportAtATime() {
  return std::lock_guard<std::recursive_mutex>(exportMutex());
}
