// The password the camera takes on its password control, from the text a person gives.
#pragma once

#include <cstdint>

// The two bytes a password stands for: its characters 1 and 2, and 3 and 4, each pair read as a
// hexadecimal number (white space first, a sign, and reading up to the first non-digit, as the
// standard string-to-integer conversion does), low 8 bits kept. Throws std::invalid_argument
// "invalid stoi argument" when a pair holds no digit to read.
struct PasswordBytes {
  std::uint8_t first;
  std::uint8_t second;
};
PasswordBytes passwordBytes(const char* password);
