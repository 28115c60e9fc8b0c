// The library's text-mode pipe under a real Windows implementation: UpdateFirmware and
// GetSerialNumber of a library built to start pipe_stand_in.exe instead of the upgrader. What
// UpdateFirmware echoes is captured in binary and compared byte for byte: CR LF arrives as LF, a
// lone CR arrives unchanged (also at the end of a write and at the end of the output), and a line
// longer than 127 characters arrives in pieces of at most 127 characters. An upgrader that is not
// there is named in one line on standard error, as CreateProcess found it in the command line.
// Every check prints one line; the exit code is the number of checks that failed.
#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <string>

#include "Brenwick.h"
#include "library_console.h"
#include "upgrader_launch.h"

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

// What an update with the upgrader at `upgrader` writes on standard error, read back as text.
std::string standardErrorOfUpdateWith(const std::string& upgrader) {
  constexpr const char* CaptureFile = "pipe_echo_errors.txt";
  std::FILE* capture = std::fopen(CaptureFile, "w+");
  if (capture == nullptr) {
    return "(the capture file cannot be made)";
  }
  std::fflush(stderr);
  const int saved = _dup(_fileno(stderr));
  _dup2(_fileno(capture), _fileno(stderr));
  updateFirmwareWith(upgrader, "image.img");
  std::fflush(stderr);
  _dup2(saved, _fileno(stderr));
  _close(saved);
  std::string written;
  std::rewind(capture);
  for (int c; (c = std::fgetc(capture)) != EOF;) {
    written += static_cast<char>(c);
  }
  std::fclose(capture);
  std::remove(CaptureFile);
  return written;
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
  const std::string missing = "C:\\Program Files\\Optiqon missing\\optiqon_upgrade.exe";
  checkBytes(standardErrorOfUpdateWith(missing), missing + ": not found\n",
             "A missing upgrader, quoted in the command line for its blank, is named unquoted");
  std::printf("%d checks failed\n", failures);
  return failures;
}
