// The library writes its own lines (its info: lines, the list of video devices when the camera is
// missing, the message of its exit wait) to the process's standard output. The tool's results go
// there too, so each call into the library runs with file descriptor 1 turned to a temporary
// file, and what the library wrote is handed back to be shown on standard error.
#pragma once

#include <cstdio>
#include <string>
#include <utility>

#include "turned_standard_output.h"

class LibraryOutputCapture {
 public:
  // Starts capturing; when no temporary file or descriptor can be had, nothing is captured and
  // the library's lines reach standard output as they would without the tool.
  LibraryOutputCapture();
  ~LibraryOutputCapture();
  LibraryOutputCapture(const LibraryOutputCapture&) = delete;
  LibraryOutputCapture& operator=(const LibraryOutputCapture&) = delete;

  // Gives standard output back and returns what was written to it meanwhile.
  std::string finish();

 private:
  std::FILE* file_ = nullptr;
  TurnedStandardOutput turned_;
};

// Writes the library's lines to standard error, each on a line of its own, leaving out the
// blank lines the library puts before its messages.
void showLibraryOutput(const std::string& text);

// Runs `call` with the library's output captured and shown on standard error, and keeps a copy
// in `printed`; returns the call's result. An exception from the library still gives standard
// output back first.
template <typename Call>
auto withLibraryOutputCaptured(Call&& call, std::string& printed) {
  LibraryOutputCapture capture;
  struct Shown {
    LibraryOutputCapture& capture;
    std::string& printed;
    ~Shown() {
      printed = capture.finish();
      showLibraryOutput(printed);
    }
  } shown{capture, printed};
  return std::forward<Call>(call)();
}

template <typename Call>
auto withLibraryOutputCaptured(Call&& call) {
  std::string printed;
  return withLibraryOutputCaptured(std::forward<Call>(call), printed);
}
