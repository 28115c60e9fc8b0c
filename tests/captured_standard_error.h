// The process's standard error, sent to a temporary file for as long as an object lives: where
// the programs of the kit say what a person should see and no parent parses.
#pragma once

#include <unistd.h>

#include <cstdio>
#include <string>

class CapturedStandardError {
 public:
  CapturedStandardError() : file_(std::tmpfile()) {
    std::fflush(stderr);
    saved_ = dup(STDERR_FILENO);
    dup2(fileno(file_), STDERR_FILENO);
  }
  ~CapturedStandardError() {
    restore();
    std::fclose(file_);
  }
  CapturedStandardError(const CapturedStandardError&) = delete;
  CapturedStandardError& operator=(const CapturedStandardError&) = delete;

  // Everything written so far; standard error is the process's own again.
  std::string written() {
    restore();
    std::string text;
    std::rewind(file_);
    for (int c; (c = std::fgetc(file_)) != EOF;) {
      text += static_cast<char>(c);
    }
    return text;
  }

 private:
  void restore() {
    if (saved_ >= 0) {
      std::fflush(stderr);
      dup2(saved_, STDERR_FILENO);
      close(saved_);
      saved_ = -1;
    }
  }

  std::FILE* file_;
  int saved_ = -1;
};
