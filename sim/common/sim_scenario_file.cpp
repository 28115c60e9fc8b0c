#include "sim_scenario_file.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <sstream>

namespace sim {

namespace {

constexpr std::size_t MaxScenarioFileSize = 1024 * 1024;

// Every key of a scenario file, of either side. Each side reads its own and leaves the other's;
// a key that is in neither is a mistake in the file, whichever program reads it.

// The keys that describe one camera: before the first [camera] line they describe the first,
// inside a section the section's camera.
const std::set<std::string_view>& cameraKeys() {
  static const std::set<std::string_view> keys = {
      // Both sides: which camera it is, and whether it is plugged in.
      "serial", "plugged",
      // The HID side: the camera's HID interface, its flash and the flash's faults.
      "camera", "camera_fail", "flash", "erase_busy_reads", "refuse_erase", "refuse_write",
      "mismatch", "refuse_read_request", "fail_read", "short_read", "fail_status_read",
      "unplug_after_reports", "trace",
      // The video side: the camera's controls, properties, password and the files it keeps.
      "password", "xu", "property_values", "vpa_unsupported", "video_trace", "camera_settings",
      "unplug_after_controls"};
  return keys;
}

// The keys that describe the PC: its clock, the devices beside the cameras, the first camera's
// place among them and the faults of the PC's own calls.
const std::set<std::string_view>& pcKeys() {
  static const std::set<std::string_view> keys = {"clock", "camera_index", "camera_copies",
                                                  "video_devices", "fail"};
  return keys;
}

std::string placeOf(const ScenarioLines& lines, unsigned number) {
  return lines.origin + ":" + std::to_string(number) + ": ";
}

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};

}  // namespace

namespace scenario_values {

std::string_view trim(std::string_view text) {
  const auto first = text.find_first_not_of(" \t\r");
  if (first == std::string_view::npos) {
    return {};
  }
  const auto last = text.find_last_not_of(" \t\r");
  return text.substr(first, last - first + 1);
}

std::vector<std::string_view> splitList(std::string_view text, char separator) {
  std::vector<std::string_view> items;
  for (;;) {
    const auto at = text.find(separator);
    items.push_back(trim(text.substr(0, at)));
    if (at == std::string_view::npos) {
      return items;
    }
    text.remove_prefix(at + 1);
  }
}

unsigned number(std::string_view text, unsigned limit, unsigned first) {
  int base = 10;
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    text.remove_prefix(2);
    base = 16;
  }
  unsigned value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, base);
  if (text.empty() || error != std::errc() || end != text.data() + text.size() || value > limit ||
      value < first) {
    throw ScenarioError("expected a number from " + std::to_string(first) + " to " +
                        std::to_string(limit));
  }
  return value;
}

std::set<unsigned> numberSet(std::string_view text, unsigned limit) {
  std::set<unsigned> numbers;
  for (std::string_view item : splitList(text, ',')) {
    numbers.insert(number(item, limit));
  }
  return numbers;
}

std::string fileName(std::string_view text) {
  if (text.empty()) {
    throw ScenarioError("expected a file name");
  }
  return std::string(text);
}

bool allHexDigits(std::string_view text) {
  return std::all_of(text.begin(), text.end(),
                     [](char c) { return std::isxdigit(static_cast<unsigned char>(c)) != 0; });
}

}  // namespace scenario_values

ScenarioLines splitScenarioLines(std::istream& in, const std::string& origin) {
  using scenario_values::trim;
  ScenarioLines lines{origin, {}, 0, {}};
  ScenarioLines* section = &lines;
  std::string line;
  for (unsigned number = 1; std::getline(in, line); ++number) {
    std::string_view content = line;
    content = trim(content.substr(0, content.find('#')));
    if (content.empty()) {
      continue;
    }
    if (content == CameraSectionLine) {
      if (lines.cameras.size() + 1 >= MaxCameras) {
        throw ScenarioError(placeOf(lines, number) + "a PC takes at most " +
                            std::to_string(MaxCameras) + " cameras");
      }
      section = &lines.cameras.emplace_back(ScenarioLines{origin, {}, number, {}});
      continue;
    }
    const auto equals = content.find('=');
    if (equals == std::string_view::npos) {
      throw ScenarioError(placeOf(lines, number) + "expected key = value");
    }
    section->lines.push_back({number, std::string(trim(content.substr(0, equals))),
                              std::string(trim(content.substr(equals + 1)))});
  }
  return lines;
}

void checkKnownKeys(const ScenarioLines& lines) {
  auto known = [](const std::string& key) {
    return cameraKeys().count(key) != 0 || pcKeys().count(key) != 0;
  };
  for (const ScenarioLine& line : lines.lines) {
    if (!known(line.key)) {
      throw ScenarioError(placeOf(lines, line.number) + "unknown key '" + line.key + "'");
    }
  }
  for (const ScenarioLines& camera : lines.cameras) {
    for (const ScenarioLine& line : camera.lines) {
      if (!known(line.key)) {
        throw ScenarioError(placeOf(lines, line.number) + "unknown key '" + line.key + "'");
      }
      if (cameraKeys().count(line.key) == 0) {
        throw ScenarioError(placeOf(lines, line.number) + "key '" + line.key +
                            "' belongs before the first [camera]");
      }
    }
  }
}

std::u16string defaultSerialNumber(std::size_t section) {
  char serial[16];
  std::snprintf(serial, sizeof serial, "K3M51-%04u", static_cast<unsigned>(section + 1));
  return kit::utf16FromUtf8Lossy(serial);
}

void readSerialNumber(std::u16string& serial, std::string_view value) {
  auto read = utf16FromUtf8(value);
  if (!read) {
    throw ScenarioError("the serial number is not UTF-8");
  }
  serial = *read;
}

void readClock(Clock::Mode& clock, std::string_view value) {
  clock =
      scenario_values::choose(value, "virtual", Clock::Mode::Virtual, "real", Clock::Mode::Real);
}

std::string readBoundedFile(const std::string& path, const std::string& what) {
  const std::string cannotRead = path + ": cannot read the " + what;
  std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "rb"));
  if (!file) {
    throw ScenarioError(cannotRead);
  }
  std::string text;
  char chunk[4096];
  while (const std::size_t got = std::fread(chunk, 1, sizeof chunk, file.get())) {
    text.append(chunk, got);
    if (text.size() > MaxScenarioFileSize) {
      throw ScenarioError(path + ": a " + what + " holds at most " +
                          std::to_string(MaxScenarioFileSize) + " bytes");
    }
  }
  if (std::ferror(file.get())) {
    throw ScenarioError(cannotRead);
  }
  return text;
}

ScenarioLines scenarioLinesFromEnvironment() {
  const char* path = std::getenv("OPTIQON_SIM_CAMERA");
  if (path == nullptr) {
    return {};
  }
  std::istringstream in(readBoundedFile(path, "scenario file"));
  ScenarioLines lines = splitScenarioLines(in, path);
  checkKnownKeys(lines);
  return lines;
}

}  // namespace sim
