// The process's standard error, sent to a temporary file for as long as an object lives: where
// the programs of the kit say what a person should see and no parent parses.
#pragma once

#include <cstdio>
#include <string>

#if defined(_WIN32)
#include <io.h>
#else
#include <unistd.h>
#endif

// The C runtime's descriptor calls, by their names on each platform.
namespace descriptor {
constexpr int StandardError = 2;
#if defined(_WIN32)
inline int duplicate(int d) {
  return _dup(d);
}
inline int duplicateOnto(int from, int to) {
  return _dup2(from, to);
}
inline int closeIt(int d) {
  return _close(d);
}
inline int of(std::FILE* file) {
  return _fileno(file);
}
#else
inline int duplicate(int d) {
  return dup(d);
}
inline int duplicateOnto(int from, int to) {
  return dup2(from, to);
}
inline int closeIt(int d) {
  return close(d);
}
inline int of(std::FILE* file) {
  return fileno(file);
}
#endif
}  // namespace descriptor

class CapturedStandardError {
 public:
  CapturedStandardError() : file_(std::tmpfile()) {
    std::fflush(stderr);
    saved_ = descriptor::duplicate(descriptor::StandardError);
    descriptor::duplicateOnto(descriptor::of(file_), descriptor::StandardError);
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
      descriptor::duplicateOnto(saved_, descriptor::StandardError);
      descriptor::closeIt(saved_);
      saved_ = -1;
    }
  }

  std::FILE* file_;
  int saved_ = -1;
};
