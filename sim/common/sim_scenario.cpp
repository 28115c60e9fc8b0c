#include "sim_scenario.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <sstream>
#include <string_view>
#include <vector>

namespace sim {

namespace {

constexpr unsigned MaxInterfaces = 100000;
constexpr std::size_t MaxScenarioFileSize = 1024 * 1024;
constexpr unsigned Sectors = FlashCamera::FlashSize / FlashCamera::SectorSize;
constexpr unsigned Pages = FlashCamera::FlashSize / FlashCamera::PageSize;

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

// A whole number in decimal, or in hexadecimal with 0x, from `first` to `limit`.
unsigned parseNumber(std::string_view text, unsigned limit, unsigned first = 0) {
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

std::set<unsigned> parseNumberSet(std::string_view text, unsigned limit) {
  std::set<unsigned> numbers;
  for (std::string_view item : splitList(text, ',')) {
    numbers.insert(parseNumber(item, limit));
  }
  return numbers;
}

// `WHERE:N` pairs, comma-separated: a page or a sector, with a count of calls.
std::map<unsigned, unsigned> parseCountsAt(std::string_view text, std::string_view where,
                                           unsigned lastPlace, unsigned firstCount) {
  std::map<unsigned, unsigned> counts;
  for (std::string_view item : splitList(text, ',')) {
    const auto colon = item.find(':');
    if (colon == std::string_view::npos) {
      throw ScenarioError("expected " + std::string(where) + ":N");
    }
    counts[parseNumber(trim(item.substr(0, colon)), lastPlace)] =
        parseNumber(trim(item.substr(colon + 1)), 1000000, firstCount);
  }
  return counts;
}

// `PAGE:N` pairs: the first N calls for the page.
std::map<unsigned, unsigned> parsePageCounts(std::string_view text) {
  return parseCountsAt(text, "PAGE", Pages - 1, 0);
}

// `SECTOR:N` pairs: the Nth status read of the sector's erase.
std::map<unsigned, unsigned> parseSectorReads(std::string_view text) {
  return parseCountsAt(text, "SECTOR", Sectors - 1, 1);
}

FailStep parseFailStep(std::string_view text) {
  static const std::map<std::string_view, FailStep> steps = {
      {"enumerate", FailStep::Enumerate},
      {"size_query", FailStep::SizeQueryTooSmall},
      {"detail", FailStep::Detail},
      {"open", FailStep::Open},
      {"preparsed_data", FailStep::PreparsedData},
      {"attributes", FailStep::Attributes},
      {"caps", FailStep::Caps},
      {"value_caps", FailStep::ValueCaps},
  };
  auto found = steps.find(text);
  if (found == steps.end()) {
    throw ScenarioError(
        "expected one of enumerate, size_query, detail, open, preparsed_data, attributes, caps, "
        "value_caps");
  }
  return found->second;
}

std::vector<std::string> parseDeviceNames(std::string_view text) {
  std::vector<std::string> names;
  if (text.empty()) {
    return names;  // a PC without any capture device
  }
  for (std::string_view name : splitList(text, ',')) {
    if (name.empty()) {
      throw ScenarioError("expected device names separated by commas");
    }
    if (!utf16FromUtf8(name)) {
      throw ScenarioError("a device name is not UTF-8");
    }
    names.emplace_back(name);
  }
  return names;
}

VideoStep parseVideoStep(std::string_view text) {
  std::string known;
  for (std::size_t i = 0; i < VideoStepNames.size(); ++i) {
    if (VideoStepNames[i] == text) {
      return static_cast<VideoStep>(i);
    }
    known += (i == 0 ? "" : ", ") + std::string(VideoStepNames[i]);
  }
  throw ScenarioError("unknown step '" + std::string(text) + "': expected one of " + known);
}

// Steps that hand back an object (a store, a list, a string, an interface). A faulted step hands
// back nothing, so for these only a failure is a real PC's answer.
bool handsBackAnObject(VideoStep step) {
  switch (step) {
    case VideoStep::MFCreateAttributes:
    case VideoStep::MFEnumDeviceSources:
    case VideoStep::GetAllocatedString:
    case VideoStep::ActivateObject:
    case VideoStep::MFCreateSourceReaderFromMediaSource:
    case VideoStep::QueryIKsTopologyInfo:
    case VideoStep::CreateNodeInstance:
    case VideoStep::QueryIKsControl:
    case VideoStep::QueryIAMVideoProcAmp:
      return true;
    default:
      return false;
  }
}

// `STEP=HRESULT` pairs, comma-separated. An HRESULT is taken as its 32 bits, so that a success
// code other than S_OK can be injected as well as a failure, where the step hands back no object.
std::map<VideoStep, std::int32_t> parseVideoFaults(std::string_view text) {
  std::map<VideoStep, std::int32_t> faults;
  for (std::string_view item : splitList(text, ',')) {
    const auto equals = item.find('=');
    if (equals == std::string_view::npos) {
      throw ScenarioError("expected STEP=HRESULT");
    }
    const VideoStep step = parseVideoStep(trim(item.substr(0, equals)));
    const auto result =
        static_cast<std::int32_t>(parseNumber(trim(item.substr(equals + 1)), 0xFFFFFFFF));
    if (result >= 0 && handsBackAnObject(step)) {
      throw ScenarioError(std::string(nameOf(step)) +
                          " hands back an object: expected a failure, a negative HRESULT");
    }
    faults[step] = result;
  }
  return faults;
}

bool allHexDigits(std::string_view text) {
  return std::all_of(text.begin(), text.end(),
                     [](char c) { return std::isxdigit(static_cast<unsigned char>(c)) != 0; });
}

// Four hexadecimal digits, high byte first, as the password control receives them.
std::uint16_t parsePassword(std::string_view text) {
  std::uint16_t password = 0;
  if (text.size() != 4 || !allHexDigits(text)) {
    throw ScenarioError("expected four hexadecimal digits");
  }
  std::from_chars(text.data(), text.data() + text.size(), password, 16);
  return password;
}

// Hexadecimal bytes, with or without blanks between them.
std::vector<std::uint8_t> parseHexBytes(std::string_view text) {
  std::string digits;
  for (char c : text) {
    if (c != ' ' && c != '\t') {
      digits += c;
    }
  }
  if (digits.size() % 2 != 0 || !allHexDigits(digits)) {
    throw ScenarioError("expected bytes in hexadecimal");
  }
  std::vector<std::uint8_t> bytes(digits.size() / 2);
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    std::from_chars(digits.data() + 2 * i, digits.data() + 2 * i + 2, bytes[i], 16);
  }
  return bytes;
}

static_assert(VideoCamera::SecondUnitNode == VideoCamera::FirstUnitNode + 1);

// `NODE.SELECTOR=BYTES` pairs, comma-separated. The register control starts as if one register
// had been written; the password control has no value of its own.
std::map<std::pair<unsigned, unsigned>, std::vector<std::uint8_t>> parseControlValues(
    std::string_view text) {
  std::map<std::pair<unsigned, unsigned>, std::vector<std::uint8_t>> values;
  for (std::string_view item : splitList(text, ',')) {
    const auto equals = item.find('=');
    const std::string_view control = trim(item.substr(0, equals));
    const auto dot = control.find('.');
    if (equals == std::string_view::npos || dot == std::string_view::npos) {
      throw ScenarioError("expected NODE.SELECTOR=BYTES");
    }
    const unsigned node = parseNumber(trim(control.substr(0, dot)), VideoCamera::SecondUnitNode,
                                      VideoCamera::FirstUnitNode);
    const unsigned selector =
        parseNumber(trim(control.substr(dot + 1)), VideoCamera::selectorsOn(node), 1);
    std::vector<std::uint8_t> bytes = parseHexBytes(item.substr(equals + 1));
    if (node == VideoCamera::FirstUnitNode && selector == VideoCamera::RegisterSelector &&
        bytes.size() != 2) {
      throw ScenarioError("expected an address and a value for the register control");
    }
    if (node == VideoCamera::FirstUnitNode && selector == VideoCamera::PasswordSelector) {
      throw ScenarioError("the password control keeps no value; the password key sets it");
    }
    values[{node, selector}] = std::move(bytes);
  }
  return values;
}

// A whole number in decimal, with a minus sign when negative, as the amplifier takes a value.
std::int32_t parseSignedNumber(std::string_view text) {
  std::int32_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || error != std::errc() || end != text.data() + text.size()) {
    throw ScenarioError("expected a whole number from -2147483648 to 2147483647");
  }
  return value;
}

// `PROPERTY=VALUE` pairs, comma-separated. Which values the camera takes is its own business,
// checked when the scenario is applied, as a host's Set would be.
std::map<unsigned, std::int32_t> parsePropertyValues(std::string_view text) {
  std::map<unsigned, std::int32_t> values;
  for (std::string_view item : splitList(text, ',')) {
    const auto equals = item.find('=');
    if (equals == std::string_view::npos) {
      throw ScenarioError("expected PROPERTY=VALUE");
    }
    const unsigned property =
        parseNumber(trim(item.substr(0, equals)), VideoCamera::AmplifierProperties - 1);
    values[property] = parseSignedNumber(trim(item.substr(equals + 1)));
  }
  return values;
}

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

using KeyHandler = std::function<void(Scenario&, std::string_view)>;

const std::map<std::string_view, KeyHandler>& keyHandlers() {
  static const std::map<std::string_view, KeyHandler> handlers = {
      {"camera",
       [](Scenario& s, std::string_view v) {
         s.cameraPresent = choose(v, "present", true, "absent", false);
       }},
      {"camera_index",
       [](Scenario& s, std::string_view v) { s.cameraIndex = parseNumber(v, MaxInterfaces); }},
      {"camera_copies",
       [](Scenario& s, std::string_view v) { s.cameraCopies = parseNumber(v, 16, 1); }},
      {"camera_fail", [](Scenario& s, std::string_view v) { s.cameraFailStep = parseFailStep(v); }},
      {"serial",
       [](Scenario& s, std::string_view v) {
         auto serial = utf16FromUtf8(v);
         if (!serial) {
           throw ScenarioError("the serial number is not UTF-8");
         }
         s.serialNumber = *serial;
       }},
      {"flash",
       [](Scenario& s, std::string_view v) {
         if (v.empty()) {
           throw ScenarioError("expected a file name");
         }
         s.flashPath = v;
       }},
      {"erase_busy_reads",
       [](Scenario& s, std::string_view v) {
         s.faults.eraseBusyReads =
             v == "never" ? std::nullopt : std::optional<unsigned>(parseNumber(v, 1000000));
       }},
      {"refuse_erase",
       [](Scenario& s, std::string_view v) {
         s.faults.refusedEraseSectors = parseNumberSet(v, Sectors - 1);
       }},
      {"refuse_write",
       [](Scenario& s, std::string_view v) {
         s.faults.refusedWritePages = parseNumberSet(v, Pages - 1);
       }},
      {"mismatch",
       [](Scenario& s, std::string_view v) { s.faults.mismatchedReads = parsePageCounts(v); }},
      {"refuse_read_request",
       [](Scenario& s, std::string_view v) { s.faults.refusedReadRequests = parsePageCounts(v); }},
      {"fail_read",
       [](Scenario& s, std::string_view v) { s.faults.failedReads = parsePageCounts(v); }},
      {"short_read",
       [](Scenario& s, std::string_view v) { s.faults.shortReads = parsePageCounts(v); }},
      {"fail_status_read",
       [](Scenario& s, std::string_view v) { s.faults.failedStatusReads = parseSectorReads(v); }},
      {"unplug_after_reports",
       [](Scenario& s, std::string_view v) { s.unplugAfterReports = parseNumber(v, 100000000); }},
      {"clock",
       [](Scenario& s, std::string_view v) {
         s.clock = choose(v, "virtual", Clock::Mode::Virtual, "real", Clock::Mode::Real);
       }},
      {"trace",
       [](Scenario& s, std::string_view v) {
         if (v.empty()) {
           throw ScenarioError("expected a file name");
         }
         s.tracePath = v;
       }},
      {"video_devices",
       [](Scenario& s, std::string_view v) { s.videoDevices = parseDeviceNames(v); }},
      {"fail", [](Scenario& s, std::string_view v) { s.videoFaults = parseVideoFaults(v); }},
      {"password", [](Scenario& s, std::string_view v) { s.password = parsePassword(v); }},
      {"xu", [](Scenario& s, std::string_view v) { s.controlValues = parseControlValues(v); }},
      {"property_values",
       [](Scenario& s, std::string_view v) { s.propertyValues = parsePropertyValues(v); }},
      {"vpa_unsupported",
       [](Scenario& s, std::string_view v) {
         s.unsupportedProperties = parseNumberSet(v, VideoCamera::AmplifierProperties - 1);
       }},
      {"video_trace",
       [](Scenario& s, std::string_view v) {
         if (v.empty()) {
           throw ScenarioError("expected a file name");
         }
         s.videoTracePath = v;
       }},
      {"camera_settings",
       [](Scenario& s, std::string_view v) {
         if (v.empty()) {
           throw ScenarioError("expected a file name");
         }
         s.cameraSettingsPath = v;
       }},
  };
  return handlers;
}

// What a file may hold: a scenario describes the whole PC, a camera settings file only what the
// camera itself keeps, so that the camera can never rewrite the PC it finds itself in.
enum class Keys { Scenario, CameraSettings };

bool isCameraSetting(std::string_view key) {
  return key == "xu" || key == "property_values";
}

void applyLine(Scenario& scenario, std::string_view line, Keys keys) {
  const auto equals = line.find('=');
  if (equals == std::string_view::npos) {
    throw ScenarioError("expected key = value");
  }
  const std::string_view key = trim(line.substr(0, equals));
  const std::string_view value = trim(line.substr(equals + 1));
  if (keys == Keys::CameraSettings && !isCameraSetting(key)) {
    throw ScenarioError("key '" + std::string(key) +
                        "' is no camera setting: a camera settings file holds only xu and "
                        "property_values");
  }
  auto handler = keyHandlers().find(key);
  if (handler == keyHandlers().end()) {
    throw ScenarioError("unknown key '" + std::string(key) + "'");
  }
  try {
    handler->second(scenario, value);
  } catch (const ScenarioError& error) {
    throw ScenarioError("bad value '" + std::string(value) + "' for " + std::string(key) + ": " +
                        error.what());
  }
}

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};

Scenario parseLines(std::istream& in, const std::string& origin, Keys keys) {
  Scenario scenario;
  std::string line;
  for (unsigned number = 1; std::getline(in, line); ++number) {
    std::string_view content = line;
    content = trim(content.substr(0, content.find('#')));
    if (content.empty()) {
      continue;
    }
    try {
      applyLine(scenario, content, keys);
    } catch (const ScenarioError& error) {
      throw ScenarioError(origin + ":" + std::to_string(number) + ": " + error.what());
    }
  }
  return scenario;
}

}  // namespace

Scenario parseScenario(std::istream& in, const std::string& origin) {
  return parseLines(in, origin, Keys::Scenario);
}

Scenario parseCameraSettings(std::istream& in, const std::string& origin) {
  return parseLines(in, origin, Keys::CameraSettings);
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

Scenario readCameraSettings(const std::string& path) {
  std::istringstream in(readBoundedFile(path, "camera settings file"));
  return parseCameraSettings(in, path);
}

Scenario scenarioFromEnvironment() {
  const char* path = std::getenv("OPTIQON_SIM_CAMERA");
  if (path == nullptr) {
    return Scenario{};
  }
  std::istringstream in(readBoundedFile(path, "scenario file"));
  return parseScenario(in, path);
}

}  // namespace sim
