// The process's standard output turned to a descriptor of the tool's (a temporary file, a pipe)
// while the library writes, with the tool's own standard output kept apart to be given back.
#pragma once

#include <atomic>

class TurnedStandardOutput {
 public:
  TurnedStandardOutput() = default;
  // Gives standard output back, if it is still turned.
  ~TurnedStandardOutput();
  TurnedStandardOutput(const TurnedStandardOutput&) = delete;
  TurnedStandardOutput& operator=(const TurnedStandardOutput&) = delete;

  // Flushes what the tool wrote, then turns standard output to `descriptor`; false when that
  // cannot be done, and standard output is then as it was.
  bool turnTo(int descriptor);
  // Flushes what the library left in the C runtime's buffer (it belongs to the descriptor), then
  // gives standard output back. Safe from any thread, and more than once.
  void giveBack();
  // The tool's own standard output while it is turned; -1 when it is not.
  int toolOutput() const { return toolOutput_; }

 private:
  int toolOutput_ = -1;
  std::atomic<bool> givenBack_{false};
};
