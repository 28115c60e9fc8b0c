// The library's standard output turned into a pipe that the tool reads as the library writes,
// for the calls whose output tells something before they return: the upgrader's progress
// during an update, and the exit message with which Initialize begins its five-second wait
// when there is no camera.
#pragma once

#include <cstddef>

#include "turned_standard_output.h"

class LibraryOutputPipe {
 public:
  // Turns standard output into the pipe; when no pipe or descriptor can be had, opened() is
  // false and standard output is left as it was.
  LibraryOutputPipe();
  ~LibraryOutputPipe();
  LibraryOutputPipe(const LibraryOutputPipe&) = delete;
  LibraryOutputPipe& operator=(const LibraryOutputPipe&) = delete;

  bool opened() const { return readEnd_ >= 0; }
  // The tool's own standard output, set apart while the library's is the pipe.
  int toolOutput() const { return turned_.toolOutput(); }
  // What the library wrote next; 0 once standard output is given back and all is read.
  long read(char* buffer, std::size_t size);
  // Gives standard output back, which ends the pipe: what the library wrote after it reaches
  // the tool's standard output. Safe from any thread, and more than once.
  void giveBack();

 private:
  int readEnd_ = -1;
  TurnedStandardOutput turned_;
};
