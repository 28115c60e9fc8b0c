// From the first erase command to the verdict the camera holds no working firmware: a run that
// ends in between leaves a camera that no longer starts. While a guard lives, losing the output
// (a closed pipe or terminal) never ends the run, and an interrupt only says that the download
// goes on; a second interrupt ends the run as it would have before.
#pragma once

class InterruptGuard {
 public:
  InterruptGuard();
  ~InterruptGuard();
  InterruptGuard(const InterruptGuard&) = delete;
  InterruptGuard& operator=(const InterruptGuard&) = delete;
};
