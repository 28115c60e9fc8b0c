#include "upgrader_launch.h"

#include <cstring>
#include <stdexcept>

#include "Brenwick.h"
#include "child_process.h"
#include "export_lock.h"
#include "library_console.h"
#include "library_messages.h"
#include "upgrader_location.h"

namespace {

// The upgrader's output is read as the console shows it: a line at a time, or 127 characters
// when a line (a whole phase of progress updates) is longer.
constexpr int PieceBufferSize = 128;
constexpr const char* SerialNumberSwitch = " -s";

// Control 4 is addressed once the upgrader's output has ended. No value for it after an update
// is known, so the request carries no values and sends nothing. It is kept so: a guessed value
// would send an unknown command to a camera that has just been flashed.
constexpr int ControlAfterUpdate = 4;

char serialNumber[PieceBufferSize];

std::string quotedIfBlank(const std::string& path) {
  return path.find_first_of(" \t") == std::string::npos ? path : "\"" + path + "\"";
}

}  // namespace

std::string upgraderPath() {
  return upgrader_location::directory() + upgrader_location::Separator +
         upgrader_location::FileName;
}

std::string firmwareCommand(const std::string& upgrader, const std::string& arguments) {
  return quotedIfBlank(upgrader) + " " + arguments;
}

std::string serialNumberCommand(const std::string& upgrader) {
  return quotedIfBlank(upgrader) + SerialNumberSwitch;
}

bool startCommand(const std::string& command, ChildProcess& child) {
  switch (child.start(command)) {
    case ChildStart::Started:
      return true;
    case ChildStart::ProgramNotFound:
      std::fprintf(stderr, library_messages::ProgramNotFound, child.program().c_str());
      std::fflush(stderr);
      return false;
    case ChildStart::Failed:
      break;
  }
  throw std::runtime_error(library_messages::StartFailed);
}

void echoOutput(ChildProcess& child) {
  char piece[PieceBufferSize];
  while (std::fgets(piece, PieceBufferSize, child.output()) != nullptr) {
    // Kept as hosts have always seen it; the upgrader never begins a line with a full stop, so
    // its own output passes unchanged.
    printToConsole(piece[0] == '.' ? library_messages::EchoedFullStop : piece);
  }
}

std::string runForFirstLine(const std::string& command) {
  ChildProcess child;
  char piece[PieceBufferSize] = {};
  if (!startCommand(command, child) ||
      std::fgets(piece, PieceBufferSize, child.output()) == nullptr) {
    piece[0] = '\0';
  }
  child.finish();
  return piece;
}

void updateFirmwareWith(const std::string& upgrader, const std::string& arguments) {
  ChildProcess child;
  if (startCommand(firmwareCommand(upgrader, arguments), child)) {
    echoOutput(child);
  }
  SetPropertyExtended(ControlAfterUpdate, nullptr);
  child.finish();
}

char* serialNumberFrom(const std::string& upgrader) {
  std::memset(serialNumber, 0, sizeof serialNumber);
  const std::string line = runForFirstLine(serialNumberCommand(upgrader));
  std::strncpy(serialNumber, line.c_str(), sizeof serialNumber - 1);
  return serialNumber;
}

void UpdateFirmware(std::string arguments) {
  const auto call = oneExportAtATime();
  updateFirmwareWith(upgraderPath(), arguments);
}

char* GetSerialNumber() {
  const auto call = oneExportAtATime();
  return serialNumberFrom(upgraderPath());
}
