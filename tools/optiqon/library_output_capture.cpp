#include "library_output_capture.h"

#include <iostream>
#include <sstream>

LibraryOutputCapture::LibraryOutputCapture() : file_(std::tmpfile()) {
  if (file_ != nullptr && !turned_.turnTo(fileno(file_))) {
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
  turned_.giveBack();
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
