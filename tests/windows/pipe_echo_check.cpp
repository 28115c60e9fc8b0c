// The library's text-mode pipe under a real Windows implementation: UpdateFirmware and
// GetSerialNumber of a library built to start pipe_stand_in.exe instead of the upgrader. What
// UpdateFirmware echoes is captured in binary and compared byte for byte: CR LF arrives as LF, a
// lone CR arrives unchanged (also at the end of a write and at the end of the output), and a line
// longer than 127 characters arrives in pieces of at most 127 characters. Every check prints one
// line; the exit code is the number of checks that failed.
#include <cstdio>
#include <string>

#include "Brenwick.h"
#include "library_console.h"

namespace {

int failures = 0;

std::string visible(const std::string& bytes) {
  std::string text;
  for (char c : bytes) {
    text += c == '\r' ? std::string("\\r") : c == '\n' ? std::string("\\n\n") : std::string(1, c);
  }
  return text;
}

void checkBytes(const std::string& actual, const std::string& expected, const char* what) {
  const bool passed = actual == expected;
  std::printf("%s: %s\n", passed ? "PASS" : "FAIL", what);
  if (!passed) {
    std::printf("expected:\n%s\nactual:\n%s\n", visible(expected).c_str(), visible(actual).c_str());
    ++failures;
  }
  std::fflush(stdout);
}

std::string digits(std::size_t count) {
  std::string text;
  for (std::size_t i = 0; i < count; ++i) {
    text += static_cast<char>('0' + i % 10);
  }
  return text;
}

// What UpdateFirmware writes while the stand-in runs.
std::string echoOfUpdateFirmware() {
  constexpr const char* CaptureFile = "pipe_echo_capture.bin";
  std::FILE* capture = std::fopen(CaptureFile, "w+b");
  if (capture == nullptr) {
    return "(the capture file cannot be made)";
  }
  setLibraryConsole(capture);
  UpdateFirmware("image.img");
  setLibraryConsole(nullptr);
  std::string echoed;
  std::rewind(capture);
  char buffer[512];
  for (std::size_t read; (read = std::fread(buffer, 1, sizeof buffer, capture)) > 0;) {
    echoed.append(buffer, read);
  }
  std::fclose(capture);
  std::remove(CaptureFile);
  return echoed;
}

}  // namespace

int main() {
  checkBytes(echoOfUpdateFirmware(),
             "Stand-in started\n"
             "\rErasing sectors 50% \rErasing sectors 100% \n"
             "lone\rcarriage return\n"
             "split\n"
             "CR LF\n" +
                 digits(300) + "\n" + std::string(127, 'a') + "." + std::string(50, 'c') +
                 "\n"
                 "ends with a lone CR\r",
             "UpdateFirmware echoes CR LF as LF, lone CRs unchanged, long lines in pieces of 127");
  checkBytes(GetSerialNumber(), digits(127),
             "GetSerialNumber of a 300-character line is its first 127 characters");
  std::printf("%d checks failed\n", failures);
  return failures;
}
