#include "maintenance_commands.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

#include "Brenwick.h"
#include "control_sizes.h"
#include "export_lock.h"
#include "library_console.h"
#include "library_messages.h"
#include "uvc_extension.h"

namespace {

constexpr ULONG RegisterSelector = 3;
constexpr ULONG PasswordSelector = 6;
constexpr std::int32_t PasswordControlNumber = 6;

// Register 0xF0 takes the camera's settings commands.
constexpr std::uint8_t SettingsRegister = 0xF0;
constexpr std::uint8_t SaveSettingsCommand = 0x01;
constexpr std::uint8_t ResetSettingsCommand = 0x05;

constexpr std::uint8_t PasswordAccepted = 1;

HRESULT writeControl(ULONG selector, std::uint8_t first, std::uint8_t second) {
  std::uint8_t request[2] = {first, second};
  ULONG returned = 0;
  return UvcExtension::SetGetExtensionUnit(ExtensionUnitGuidNode2, ExtensionUnitNode2, selector,
                                           WriteControlFlags, request, sizeof request, &returned);
}

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

bool SetRegister(unsigned char address, unsigned char value) {
  const auto call = oneExportAtATime();
  return writeControl(RegisterSelector, address, value) == S_OK;
}

// The register control answers with the address last written and that register's value; -1,
// which no 8-bit register holds, when it cannot be read.
int GetRegister() {
  const auto call = oneExportAtATime();
  std::uint8_t reply[2] = {0xCD, 0xEF};
  ULONG returned = 0;
  const HRESULT result = UvcExtension::SetGetExtensionUnit(
      ExtensionUnitGuidNode2, ExtensionUnitNode2, RegisterSelector, ReadControlFlags, reply,
      sizeof reply, &returned);
  if (result != S_OK) {
    printToConsole(library_messages::RegisterUnreadable);
    return -1;
  }
  return reply[1];
}

int SaveSettings() {
  const auto call = oneExportAtATime();
  return writeControl(RegisterSelector, SettingsRegister, SaveSettingsCommand);
}

int ResetSettings() {
  const auto call = oneExportAtATime();
  return writeControl(RegisterSelector, SettingsRegister, ResetSettingsCommand);
}

bool SetPassword(const char* password) {
  const auto call = oneExportAtATime();
  if (password == nullptr) {
    return false;
  }
  const PasswordBytes bytes = passwordBytes(password);
  writeControl(PasswordSelector, bytes.first, bytes.second);
  const std::vector<std::uint8_t> state =
      UvcExtension::GetExtensionUnit(ExtensionUnitGuidNode2, ExtensionUnitNode2, PasswordSelector,
                                     LookupControlSize(PasswordControlNumber));
  return !state.empty() && state[0] == PasswordAccepted;
}
