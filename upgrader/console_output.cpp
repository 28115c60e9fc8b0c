#include "console_output.h"

#include <cstdarg>

void ConsoleOutput::print(const char* format, ...) {
  if (stream_ == nullptr) {
    return;
  }
  std::va_list arguments;
  va_start(arguments, format);
  std::vfprintf(stream_, format, arguments);
  va_end(arguments);
}
