#include "maintenance_commands.h"

#include <vector>

#include "Brenwick.h"
#include "control_sizes.h"
#include "export_lock.h"
#include "library_console.h"
#include "library_messages.h"
#include "uvc_extension.h"

namespace {

using namespace maintenance;

HRESULT writeControl(ULONG selector, std::uint8_t first, std::uint8_t second) {
  std::uint8_t request[2] = {first, second};
  ULONG returned = 0;
  return UvcExtension::SetGetExtensionUnit(ExtensionUnitGuidNode2, ExtensionUnitNode2, selector,
                                           WriteControlFlags, request, sizeof request, &returned);
}

}  // namespace

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
