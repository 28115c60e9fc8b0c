// The upgrader's standard output. A parent process reads it through a pipe and parses it, so
// every line is printed through here and flushed where a reader must see it at once. Without a
// stream nothing is printed: the camera API runs the same steps and reports by value.
#pragma once

#include <cstdio>

class ConsoleOutput {
 public:
  explicit ConsoleOutput(std::FILE* stream) : stream_(stream) {}

#if defined(__GNUC__)
  __attribute__((format(printf, 2, 3)))
#endif
  void
  print(const char* format, ...);
  void write(const char* text) {
    if (stream_ != nullptr) {
      std::fputs(text, stream_);
    }
  }
  void flush() {
    if (stream_ != nullptr) {
      std::fflush(stream_);
    }
  }

 private:
  std::FILE* stream_;
};
