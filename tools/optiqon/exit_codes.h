// The tool's exit codes, how its help lists them, and the failures that end a command with one.
#pragma once

#include <stdexcept>
#include <string>

// The update exits with the verdict's codes instead (OptiqonUpgraderExitCode), the worst of
// them when it flashes several cameras.
enum ExitCode { Ok = 0, NoCamera = 1, BadUsage = 2, Refused = 3 };

inline constexpr const char* ExitCodesHelp =
    "Exit codes:\n"
    "  0  done\n"
    "  1  no camera, or none with the serial number or location given, or it was unplugged\n"
    "  2  bad usage, or several cameras where one must be chosen: nothing was sent\n"
    "  3  the camera refused a command, a value did not take or could not be read";

// How a command is told its camera, for each command's help.
inline constexpr const char* CameraChoiceHelp =
    "The camera: --serial S (as 'optiqon list' shows it) or --location L, before or after the\n"
    "command; with one camera on the PC neither is needed. With several and neither given,\n"
    "status, show and get read each camera in turn, and the other commands refuse.";

inline constexpr const char* UpdateExitCodesHelp =
    "Exit codes, the update's verdict (with several cameras, the worst of theirs):\n"
    "  0  the image was written and verified\n"
    "  1  no camera, or its HID interface was not found\n"
    "  2  bad usage, or an image that cannot be used: nothing was sent to the camera\n"
    "  3  the erase failed\n"
    "  4  the download failed: a page did not verify, a write was refused, or the camera was\n"
    "     unplugged";

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

// The camera was unplugged: the command ends for that camera, with its message.
class CameraGone : public CommandFailure {
 public:
  explicit CameraGone(const std::string& message) : CommandFailure(NoCamera, message) {}
};
