// The fixed waits of the Linux backends' Sleep (the camera's pauses between flash steps, the
// library's wait as it lets a camera go), slept on the monotonic clock.
#pragma once

#include <cstdint>

namespace kit {

// Sleeps `milliseconds` to an absolute point on the monotonic clock, so that a signal that wakes
// the thread does not shorten the camera's wait, and the wall clock being set does not lengthen
// it.
void sleepMonotonic(std::uint32_t milliseconds);

}  // namespace kit
