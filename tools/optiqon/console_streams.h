// The process's standard streams and console signals, one backend per platform, chosen by the
// build.
#pragma once

#include <string_view>

namespace console {

constexpr int StandardOutput = 1;

// A standard stream (0, 1 or 2) the tool was started without is opened on the null device, so
// that no file the tool opens later takes its number and receives what is meant for the user.
void openMissingStandardStreams();

// Writes all of `text`; output that nobody reads any more is dropped.
void writeAll(int descriptor, std::string_view text);

bool isTerminal(int descriptor);
// Whether the terminal moves its cursor up a line when told to, as several cameras' bars need;
// turned on where the console has it off.
bool movesCursor(int descriptor);

// While one lives (while cameras are being written), the tool holds the upgrader's rule: a hang-up
// and output nobody reads any more do not end it (the output is dropped); the first interrupt or
// termination request is deferred with a line on standard error saying why, and the second ends
// the tool, saying the camera may be left without working firmware.
class UpdateInterruptRule {
 public:
  UpdateInterruptRule();
  ~UpdateInterruptRule();
  UpdateInterruptRule(const UpdateInterruptRule&) = delete;
  UpdateInterruptRule& operator=(const UpdateInterruptRule&) = delete;
};

// The lines of the rule, written once for both platforms.
inline constexpr std::string_view UpdateContinues =
    "\noptiqon: interrupted: the firmware update goes on, because stopping now would leave the "
    "camera without working firmware. Interrupt again to stop anyway.\n";
inline constexpr std::string_view UpdateStopped =
    "\noptiqon: interrupted again: stopping; the camera may be left without working firmware "
    "until an update succeeds.\n";

}  // namespace console
