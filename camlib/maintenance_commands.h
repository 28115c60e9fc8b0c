// The camera's maintenance controls on the first extension unit: the register control
// (selector 3) and the password control (selector 6).
#pragma once

#include <cstdint>

#include "OptiqonCamera.h"
#include "media_services.h"
#include "password_bytes.h"

namespace maintenance {

inline constexpr ULONG RegisterSelector = OPTIQON_REGISTER_CONTROL;
inline constexpr ULONG PasswordSelector = OPTIQON_PASSWORD_CONTROL;
inline constexpr std::int32_t PasswordControlNumber = OPTIQON_PASSWORD_CONTROL;

// Register 0xF0 takes the camera's settings commands.
inline constexpr std::uint8_t SettingsRegister = 0xF0;
inline constexpr std::uint8_t SaveSettingsCommand = 0x01;
inline constexpr std::uint8_t ResetSettingsCommand = 0x05;

// The first byte the password control answers once the camera took a password.
inline constexpr std::uint8_t PasswordAccepted = 1;

}  // namespace maintenance
