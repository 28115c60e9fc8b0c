// The commands for what is not a setting: a camera register, the password, and storing or
// restoring the settings as a whole.
#include <Brenwick.h>

#include <cstdio>
#include <iostream>

#include "camera_access.h"
#include "commands.h"
#include "library_output_capture.h"

namespace {

std::string hexByte(int value) {
  char text[8];
  std::snprintf(text, sizeof text, "0x%02X", value & 0xFF);
  return text;
}

}  // namespace

int registerCommand(const std::string& addressText, const std::string& valueText) {
  const unsigned char address = parseByte(addressText, "register address");
  const bool writing = !valueText.empty();
  const unsigned char value = writing ? parseByte(valueText, "register value") : 0;
  if (!openCamera()) {
    return NoCamera;
  }
  if (writing && !withLibraryOutputCaptured([&] { return SetRegister(address, value); })) {
    std::cerr << "optiqon: the camera refused register " << hexByte(address) << '\n';
    return Refused;
  }
  // The camera answers a register read with the register it was last given and its value; the
  // library hands back the value, and control 3's one byte is the address.
  const std::vector<double> reported = readControl(RegisterControl).value_or(std::vector<double>{});
  const int read = withLibraryOutputCaptured([] { return GetRegister(); });
  if (read < 0) {
    return Refused;
  }
  if (reported.size() != 1 || static_cast<int>(reported[0]) != address) {
    std::cerr << "optiqon: the camera reads back only the register last written ("
              << (reported.empty() ? "?" : hexByte(static_cast<int>(reported[0])))
              << "): write register " << hexByte(address) << " to read it\n";
    return Refused;
  }
  std::cout << "register " << hexByte(address) << " = " << hexByte(read) << '\n';
  return writing && read != value ? Refused : Ok;
}

int password(const std::string& text) {
  checkPassword(text);
  if (!openCamera()) {
    return NoCamera;
  }
  if (!withLibraryOutputCaptured([&] { return SetPassword(text.c_str()); })) {
    std::cerr << "optiqon: the camera did not accept the password\n";
    return Refused;
  }
  std::cout << "password accepted\n";
  return Ok;
}

int settingsCommand(bool save) {
  if (!openCamera()) {
    return NoCamera;
  }
  const int result =
      withLibraryOutputCaptured([save] { return save ? SaveSettings() : ResetSettings(); });
  if (result != 0) {
    char code[16];
    std::snprintf(code, sizeof code, "0x%08X", static_cast<unsigned>(result));
    std::cerr << "optiqon: the camera refused to "
              << (save ? "save its settings" : "reset its settings") << " (" << code << ")\n";
    return Refused;
  }
  std::cout << (save ? "settings saved\n" : "factory settings restored\n");
  return Ok;
}
