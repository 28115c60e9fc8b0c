// The camera's adjustable properties: the standard image properties through the platform's
// video processing amplifier, and the numbered vendor controls of the two extension units.
#pragma once

#include <cstdint>

#include "media_services.h"

// Where a numbered vendor control lives: numbers up to 31 (zero and negative numbers too) are
// selector n of node 2, numbers from 32 selector n - 31 of node 3.
struct ExtendedControl {
  GUID unit;
  DWORD node;
  ULONG selector;
};
ExtendedControl extendedControlOf(std::int32_t number);

// A double as the camera's byte: truncated toward zero to a signed 32-bit integer, the low 8
// bits kept. NaN counts as 0 and values beyond the 32-bit range saturate.
std::uint8_t byteOfValue(double value);
std::int32_t truncateToInt32(double value);

// Number 30 carries a scaled value in its first byte. The two directions both subtract 0.45,
// so a value read and written back does not come back unchanged; hosts rely on this exact
// arithmetic, so it stays.
inline constexpr std::int32_t ScaledControlNumber = 30;
double scaleForWriting(double value);
double scaleAfterReading(double value);
