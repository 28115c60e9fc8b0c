// A small host of the Brenwick library: it opens the camera, prints its brightness and its
// serial number, and says plainly when no camera is connected.
//
// Exit codes: 0 the camera answered, 1 no camera is connected.
#include <Brenwick.h>

#include <cstdio>
#include <string>

namespace {

constexpr int Brightness = 0;  // the video processing amplifier's first property

// The serial-number line the upgrader prints, without its line break.
std::string serialNumber() {
  std::string line = GetSerialNumber();
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) {
    line.pop_back();
  }
  return line;
}

}  // namespace

int main() {
  if (!Initialize()) {
    std::printf("\nNo Corvantis Optiqon camera is connected.\n");
    return 1;
  }
  std::printf("Brightness: %.0f\n", GetProperty(Brightness));
  const std::string serial = serialNumber();
  std::printf("Serial number: %s\n", serial.empty() ? "(not readable)" : serial.c_str());
  Deinitialize();
  return 0;
}
