#include "sim_video_scenario.h"

#include <charconv>

namespace sim {

namespace {

using namespace scenario_values;

std::vector<std::string> deviceNames(std::string_view text) {
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

VideoStep videoStep(std::string_view text) {
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
std::map<VideoStep, std::int32_t> videoFaults(std::string_view text) {
  std::map<VideoStep, std::int32_t> faults;
  for (std::string_view item : splitList(text, ',')) {
    const auto equals = item.find('=');
    if (equals == std::string_view::npos) {
      throw ScenarioError("expected STEP=HRESULT");
    }
    const VideoStep step = videoStep(trim(item.substr(0, equals)));
    const auto result =
        static_cast<std::int32_t>(number(trim(item.substr(equals + 1)), 0xFFFFFFFF));
    if (result >= 0 && handsBackAnObject(step)) {
      throw ScenarioError(std::string(nameOf(step)) +
                          " hands back an object: expected a failure, a negative HRESULT");
    }
    faults[step] = result;
  }
  return faults;
}

// Four hexadecimal digits, high byte first, as the password control receives them.
std::uint16_t password(std::string_view text) {
  std::uint16_t password = 0;
  if (text.size() != 4 || !allHexDigits(text)) {
    throw ScenarioError("expected four hexadecimal digits");
  }
  std::from_chars(text.data(), text.data() + text.size(), password, 16);
  return password;
}

// Hexadecimal bytes, with or without blanks between them.
std::vector<std::uint8_t> hexBytes(std::string_view text) {
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
std::map<std::pair<unsigned, unsigned>, std::vector<std::uint8_t>> controlValues(
    std::string_view text) {
  std::map<std::pair<unsigned, unsigned>, std::vector<std::uint8_t>> values;
  for (std::string_view item : splitList(text, ',')) {
    const auto equals = item.find('=');
    const std::string_view control = trim(item.substr(0, equals));
    const auto dot = control.find('.');
    if (equals == std::string_view::npos || dot == std::string_view::npos) {
      throw ScenarioError("expected NODE.SELECTOR=BYTES");
    }
    const unsigned node = number(trim(control.substr(0, dot)), VideoCamera::SecondUnitNode,
                                 VideoCamera::FirstUnitNode);
    const unsigned selector =
        number(trim(control.substr(dot + 1)), VideoCamera::selectorsOn(node), 1);
    std::vector<std::uint8_t> bytes = hexBytes(item.substr(equals + 1));
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
std::int32_t signedNumber(std::string_view text) {
  std::int32_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || error != std::errc() || end != text.data() + text.size()) {
    throw ScenarioError("expected a whole number from -2147483648 to 2147483647");
  }
  return value;
}

// `PROPERTY=VALUE` pairs, comma-separated. Which values the camera takes is its own business,
// checked when the scenario is applied, as a host's Set would be.
std::map<unsigned, std::int32_t> propertyValues(std::string_view text) {
  std::map<unsigned, std::int32_t> values;
  for (std::string_view item : splitList(text, ',')) {
    const auto equals = item.find('=');
    if (equals == std::string_view::npos) {
      throw ScenarioError("expected PROPERTY=VALUE");
    }
    const unsigned property =
        number(trim(item.substr(0, equals)), VideoCamera::AmplifierProperties - 1);
    values[property] = signedNumber(trim(item.substr(equals + 1)));
  }
  return values;
}

using V = std::string_view;

// The keys of one camera.
const KeyReaders<VideoCameraScenario>& cameraKeys() {
  using S = VideoCameraScenario;
  static const KeyReaders<VideoCameraScenario> readers = {
      {"serial", [](S& s, V v) { readSerialNumber(s.serialNumber, v); }},
      {"plugged", [](S& s, V v) { s.pluggedPath = fileName(v); }},
      {"xu", [](S& s, V v) { s.controlValues = controlValues(v); }},
      {"property_values", [](S& s, V v) { s.propertyValues = propertyValues(v); }},
      {"password", [](S& s, V v) { s.password = password(v); }},
      {"vpa_unsupported",
       [](S& s, V v) {
         s.unsupportedProperties = numberSet(v, VideoCamera::AmplifierProperties - 1);
       }},
      {"video_trace", [](S& s, V v) { s.videoTracePath = fileName(v); }},
      {"camera_settings", [](S& s, V v) { s.cameraSettingsPath = fileName(v); }},
      {"unplug_after_controls", [](S& s, V v) { s.unplugAfterControls = number(v, 100000000, 1); }},
  };
  return readers;
}

// The keys that hold the camera's own settings, which a camera settings file may hold too.
const KeyReaders<VideoScenario>& cameraSettingKeys() {
  static const KeyReaders<VideoScenario> readers = [] {
    KeyReaders<VideoScenario> keys = readersOfPart<VideoScenario>(cameraKeys());
    std::erase_if(
        keys, [](const auto& key) { return key.first != "xu" && key.first != "property_values"; });
    return keys;
  }();
  return readers;
}

// The keys before the first [camera] line: the PC's, and its first camera's.
const KeyReaders<VideoScenario>& videoKeys() {
  using S = VideoScenario;
  static const KeyReaders<VideoScenario> readers = [] {
    KeyReaders<VideoScenario> keys = readersOfPart<VideoScenario>(cameraKeys());
    keys.insert({
        {"video_devices", [](S& s, V v) { s.videoDevices = deviceNames(v); }},
        {"fail", [](S& s, V v) { s.videoFaults = videoFaults(v); }},
        {"clock", [](S& s, V v) { readClock(s.clock, v); }},
    });
    return keys;
  }();
  return readers;
}

}  // namespace

VideoScenario readVideoScenario(const ScenarioLines& lines) {
  VideoScenario scenario;
  readOwnKeys(lines, videoKeys(), scenario);
  for (std::size_t section = 1; section <= lines.cameras.size(); ++section) {
    VideoCameraScenario& camera = scenario.moreCameras.emplace_back();
    camera.serialNumber = defaultSerialNumber(section);
    readOwnKeys(lines.cameras[section - 1], cameraKeys(), camera);
  }
  return scenario;
}

VideoScenario parseVideoScenario(std::istream& in, const std::string& origin) {
  const ScenarioLines lines = splitScenarioLines(in, origin);
  checkKnownKeys(lines);
  return readVideoScenario(lines);
}

VideoScenario videoScenarioFromEnvironment() {
  return readVideoScenario(scenarioLinesFromEnvironment());
}

VideoScenario parseCameraSettings(std::istream& in, const std::string& origin) {
  return parseKeptSettings(in, origin).settings;
}

KeptSettings parseKeptSettings(std::istream& in, const std::string& origin) {
  const ScenarioLines lines = splitScenarioLines(in, origin);
  if (!lines.cameras.empty()) {
    throw ScenarioError(origin + ":" + std::to_string(lines.cameras.front().sectionLine) +
                        ": expected key = value");
  }
  KeptSettings kept;
  for (const ScenarioLine& line : lines.lines) {
    if (line.key == PluggingKey) {
      kept.plugging = line.value;
    } else if (cameraSettingKeys().count(line.key) == 0) {
      throw ScenarioError(origin + ":" + std::to_string(line.number) + ": key '" + line.key +
                          "' is no camera setting: a camera settings file holds only xu and "
                          "property_values");
    }
  }
  readOwnKeys(lines, cameraSettingKeys(), kept.settings);
  return kept;
}

}  // namespace sim
