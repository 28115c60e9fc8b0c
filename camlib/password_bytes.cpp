#include "password_bytes.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <string>

#include "library_messages.h"

namespace {

// One pair of the password's characters, converted as std::stoi converts in base 16.
std::uint8_t passwordByte(const std::string& pair) {
  const char* start = pair.c_str();
  char* end = nullptr;
  const long value = std::strtol(start, &end, 16);
  if (end == start) {
    throw std::invalid_argument(library_messages::PasswordUnreadable);
  }
  return static_cast<std::uint8_t>(static_cast<unsigned long>(value) & 0xFF);
}

// Characters [from, from + 2) of the text, stopping at its end.
std::string characterPair(const char* text, std::size_t from) {
  const std::size_t length = std::strlen(text);
  return from >= length ? std::string()
                        : std::string(text + from, std::min<std::size_t>(2, length - from));
}

}  // namespace

PasswordBytes passwordBytes(const char* password) {
  const std::uint8_t first = passwordByte(characterPair(password, 0));
  const std::uint8_t second = passwordByte(characterPair(password, 2));
  return {first, second};
}
