// A scripted camera for the simulated builds: `key = value` lines, `#` comments, read from the
// file that OPTIQON_SIM_CAMERA names. Only the simulated builds read it. One file describes both
// sides of the camera; each side reads its own keys (sim/hid/sim_hid_scenario.h,
// sim/video/sim_video_scenario.h), and this layer holds what they share: the file and its lines,
// the name of every key, the clock, and the reading of plain values.
#pragma once

#include <cstdint>
#include <functional>
#include <istream>
#include <map>
#include <set>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "sim_clock.h"
#include "text_encoding.h"

namespace sim {

class ScenarioError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Exit code of a simulated program whose scenario cannot be used.
constexpr int ScenarioUnusable = 64;

// UTF-16 of UTF-8 text; none when the text is not UTF-8, so that a scenario's device names and
// serial number are refused rather than shown with stand-ins for bytes that are not text.
using kit::utf16FromUtf8;

// One `key = value` line, with its number in the file.
struct ScenarioLine {
  unsigned number;
  std::string key;
  std::string value;
};

// A file's lines that hold a key, and the file's name for messages. A scenario describes the PC
// and its first camera in the lines before its first `[camera]` line; each `[camera]` line adds
// another camera, plugged into the next USB port, described by the lines up to the next one.
struct ScenarioLines {
  std::string origin;
  std::vector<ScenarioLine> lines;
  unsigned sectionLine = 0;            // the `[camera]` line of a camera's section; 0 for the top
  std::vector<ScenarioLines> cameras;  // the `[camera]` sections, in the file's order
};

// The line that starts a camera's section, alone on its line.
inline constexpr std::string_view CameraSectionLine = "[camera]";

// The cameras a scenario may describe: as many devices as one USB bus addresses.
inline constexpr std::size_t MaxCameras = 127;

// Splits the text into its key lines and camera sections; throws ScenarioError
// "ORIGIN:N: expected key = value", or when the file describes more than MaxCameras cameras.
ScenarioLines splitScenarioLines(std::istream& in, const std::string& origin);

// Throws ScenarioError "ORIGIN:N: unknown key 'KEY'" for the first key that neither side reads,
// and "ORIGIN:N: key 'KEY' belongs before the first [camera]" for a key of the PC in a camera's
// section.
void checkKnownKeys(const ScenarioLines& lines);

// The serial number of the camera described by section `section` (1 for the first `[camera]`)
// when its section names none: K3M51-0002, K3M51-0003, ... after the first camera's K3M51-0001.
std::u16string defaultSerialNumber(std::size_t section);

// The whole file, a scenario or camera settings file as `what` says. A file that cannot be read to
// its end (a directory, a read error) or that is larger than any scenario needs is refused rather
// than taken for an empty one: throws ScenarioError.
std::string readBoundedFile(const std::string& path, const std::string& what);

// The lines of the scenario file OPTIQON_SIM_CAMERA names, its keys checked; none when the
// variable is not set, so that every key keeps its default.
ScenarioLines scenarioLinesFromEnvironment();

// How one side reads one of its keys' values into its settings; ScenarioError says what it
// expected.
template <typename Settings>
using KeyReaders = std::map<std::string_view, std::function<void(Settings&, std::string_view)>>;

// The readers of one camera's keys as readers of a side's whole scenario, which holds its first
// camera's settings as its base.
template <typename Whole, typename Part>
KeyReaders<Whole> readersOfPart(const KeyReaders<Part>& parts) {
  KeyReaders<Whole> readers;
  for (const auto& [key, reader] : parts) {
    readers.emplace(key, [reader](Whole& whole, std::string_view value) { reader(whole, value); });
  }
  return readers;
}

// Reads every line whose key `readers` knows into `settings`, in the file's order; lines of the
// other side's keys are left to it. Errors name the file, the line, the value and the key.
template <typename Settings>
void readOwnKeys(const ScenarioLines& lines, const KeyReaders<Settings>& readers,
                 Settings& settings) {
  for (const ScenarioLine& line : lines.lines) {
    const auto reader = readers.find(line.key);
    if (reader == readers.end()) {
      continue;
    }
    try {
      reader->second(settings, line.value);
    } catch (const ScenarioError& error) {
      throw ScenarioError(lines.origin + ":" + std::to_string(line.number) + ": bad value '" +
                          line.value + "' for " + line.key + ": " + error.what());
    }
  }
}

// A camera's serial number, which both sides read: the HID side answers it, and both place the
// camera's USB device under it.
void readSerialNumber(std::u16string& serial, std::string_view value);

// The clock, which both sides keep: `clock = virtual` or `real` (the default).
void readClock(Clock::Mode& clock, std::string_view value);

// Plain values, for the sides' readers. Each throws ScenarioError saying what it expected.
namespace scenario_values {

std::string_view trim(std::string_view text);
std::vector<std::string_view> splitList(std::string_view text, char separator);
// A whole number in decimal, or in hexadecimal with 0x, from `first` to `limit`.
unsigned number(std::string_view text, unsigned limit, unsigned first = 0);
std::set<unsigned> numberSet(std::string_view text, unsigned limit);
// A file name, which may not be empty.
std::string fileName(std::string_view text);
bool allHexDigits(std::string_view text);

template <typename T>
T choose(std::string_view text, std::string_view first, T firstValue, std::string_view second,
         T secondValue) {
  if (text == first) {
    return firstValue;
  }
  if (text == second) {
    return secondValue;
  }
  throw ScenarioError("expected " + std::string(first) + " or " + std::string(second));
}

}  // namespace scenario_values

}  // namespace sim
