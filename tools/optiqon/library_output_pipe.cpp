#include "library_output_pipe.h"

#include <cstdio>
#include <iostream>

#include "console_streams.h"

LibraryOutputPipe::LibraryOutputPipe() {
  std::cout.flush();
  std::fflush(stdout);
  int ends[2] = {-1, -1};
  toolOutput_ = console::saveOutput();
  if (toolOutput_ < 0 || !console::makePipe(ends)) {
    return;
  }
  // Standard output becomes the pipe's only writer, so the pipe ends when it is given back.
  const bool redirected = console::redirectOutput(ends[1]);
  console::closeDescriptor(ends[1]);
  if (redirected) {
    readEnd_ = ends[0];
  } else {
    console::closeDescriptor(ends[0]);
  }
}

LibraryOutputPipe::~LibraryOutputPipe() {
  giveBack();
  if (readEnd_ >= 0) {
    console::closeDescriptor(readEnd_);
  }
  if (toolOutput_ >= 0) {
    console::closeDescriptor(toolOutput_);
  }
}

long LibraryOutputPipe::read(char* buffer, std::size_t size) {
  return opened() ? console::readSome(readEnd_, buffer, size) : 0;
}

void LibraryOutputPipe::giveBack() {
  if (!opened() || givenBack_.exchange(true)) {
    return;
  }
  // What the library left in the C runtime's buffer belongs to the pipe.
  std::fflush(stdout);
  console::redirectOutput(toolOutput_);
}
