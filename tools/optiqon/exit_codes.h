// The tool's exit codes, how its help lists them, and the failures that end a command with one.
#pragma once

#include <stdexcept>
#include <string>

// The update exits with the upgrader's own codes instead (OptiqonUpgraderExitCode), and with
// NoVerdict when the upgrader did not run or did not end with a verdict.
enum ExitCode { Ok = 0, NoCamera = 1, BadUsage = 2, Refused = 3, NoVerdict = 6 };

inline constexpr const char* ExitCodesHelp =
    "Exit codes:\n"
    "  0  done\n"
    "  1  no camera\n"
    "  2  bad usage: nothing was sent to the camera\n"
    "  3  the camera refused a command, a value did not take or could not be read";

inline constexpr const char* UpdateExitCodesHelp =
    "Exit codes, the upgrader's verdict:\n"
    "  0  the image was written and verified\n"
    "  1  no camera\n"
    "  2  bad usage, or an image that cannot be used: nothing was sent to the camera\n"
    "  3  the erase failed\n"
    "  4  the download failed: a page did not verify or a write was refused\n"
    "  6  the upgrader did not run, or ended without a verdict";

// Ends the command: its message is shown, and the process exits with its code.
class CommandFailure : public std::runtime_error {
 public:
  CommandFailure(ExitCode code, const std::string& message)
      : std::runtime_error(message), code_(code) {}

  ExitCode exitCode() const { return code_; }

 private:
  ExitCode code_;
};

// A bad argument: its message names the part that is wrong, and nothing was sent to the camera.
class UsageError : public CommandFailure {
 public:
  explicit UsageError(const std::string& message) : CommandFailure(BadUsage, message) {}
};
