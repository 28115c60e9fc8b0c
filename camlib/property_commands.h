// The camera's adjustable properties: the standard image properties through the platform's
// video processing amplifier, and the numbered vendor controls of the two extension units.
#pragma once

#include <cstdint>

#include "OptiqonCamera.h"
#include "media_services.h"

// A double as the camera's byte: truncated toward zero to a signed 32-bit integer, the low 8
// bits kept. NaN counts as 0 and values beyond the 32-bit range saturate.
std::uint8_t byteOfValue(double value);
std::int32_t truncateToInt32(double value);

// Number 30 carries a scaled value in its first byte (OptiqonScaledForWriting and
// OptiqonScaledAfterReading).
inline constexpr std::int32_t ScaledControlNumber = OPTIQON_SCALED_CONTROL;
double scaleForWriting(double value);
double scaleAfterReading(double value);
