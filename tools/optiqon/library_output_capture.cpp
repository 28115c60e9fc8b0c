#include "library_output_capture.h"

#include <iostream>
#include <sstream>

#include "console_streams.h"

LibraryOutputCapture::LibraryOutputCapture() {
  std::cout.flush();
  std::fflush(stdout);
  file_ = std::tmpfile();
  if (file_ == nullptr) {
    return;
  }
  savedOutput_ = console::saveOutput();
  if (savedOutput_ < 0 || !console::redirectOutput(fileno(file_))) {
    if (savedOutput_ >= 0) {
      console::closeDescriptor(savedOutput_);
      savedOutput_ = -1;
    }
    std::fclose(file_);
    file_ = nullptr;
  }
}

LibraryOutputCapture::~LibraryOutputCapture() {
  finish();
}

std::string LibraryOutputCapture::finish() {
  if (file_ == nullptr) {
    return {};
  }
  // What the library left in the C runtime's buffer belongs to the capture, not to the tool.
  std::fflush(stdout);
  console::restoreOutput(savedOutput_);
  savedOutput_ = -1;
  std::string text;
  std::rewind(file_);
  char buffer[4096];
  for (std::size_t got; (got = std::fread(buffer, 1, sizeof buffer, file_)) > 0;) {
    text.append(buffer, got);
  }
  std::fclose(file_);
  file_ = nullptr;
  return text;
}

void showLibraryOutput(const std::string& text) {
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) {
    if (!line.empty() && line.back() == '\r') {
      line.pop_back();
    }
    if (!line.empty()) {
      std::cerr << line << '\n';
    }
  }
  std::cerr.flush();
}
