#include "library_output_pipe.h"

#include "console_streams.h"

LibraryOutputPipe::LibraryOutputPipe() {
  int ends[2] = {-1, -1};
  if (!console::makePipe(ends)) {
    return;
  }
  // Standard output becomes the pipe's only writer, so the pipe ends when it is given back.
  const bool turned = turned_.turnTo(ends[1]);
  console::closeDescriptor(ends[1]);
  if (turned) {
    readEnd_ = ends[0];
  } else {
    console::closeDescriptor(ends[0]);
  }
}

LibraryOutputPipe::~LibraryOutputPipe() {
  turned_.giveBack();
  if (readEnd_ >= 0) {
    console::closeDescriptor(readEnd_);
  }
}

long LibraryOutputPipe::read(char* buffer, std::size_t size) {
  return opened() ? console::readSome(readEnd_, buffer, size) : 0;
}

void LibraryOutputPipe::giveBack() {
  turned_.giveBack();
}
