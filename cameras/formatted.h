// A message from its printf-style text and values, for the texts of camera_messages.h.
#pragma once

#include <cstdio>
#include <string>

namespace cameras {

template <typename... Values>
std::string formatted(const char* format, Values... values) {
  const int length = std::snprintf(nullptr, 0, format, values...);
  if (length <= 0) {
    return std::string();
  }
  std::string text(static_cast<std::size_t>(length) + 1, '\0');
  std::snprintf(text.data(), text.size(), format, values...);
  text.resize(static_cast<std::size_t>(length));
  return text;
}

}  // namespace cameras
