#include "sim_hid_scenario.h"

namespace sim {

namespace {

using namespace scenario_values;

constexpr unsigned MaxInterfaces = 100000;
constexpr unsigned Sectors = FlashCamera::FlashSize / FlashCamera::SectorSize;
constexpr unsigned Pages = FlashCamera::FlashSize / FlashCamera::PageSize;

// `WHERE:N` pairs, comma-separated: a page or a sector, with a count of calls.
std::map<unsigned, unsigned> countsAt(std::string_view text, std::string_view where,
                                      unsigned lastPlace, unsigned firstCount) {
  std::map<unsigned, unsigned> counts;
  for (std::string_view item : splitList(text, ',')) {
    const auto colon = item.find(':');
    if (colon == std::string_view::npos) {
      throw ScenarioError("expected " + std::string(where) + ":N");
    }
    counts[number(trim(item.substr(0, colon)), lastPlace)] =
        number(trim(item.substr(colon + 1)), 1000000, firstCount);
  }
  return counts;
}

// `PAGE:N` pairs: the first N calls for the page.
std::map<unsigned, unsigned> pageCounts(std::string_view text) {
  return countsAt(text, "PAGE", Pages - 1, 0);
}

// `SECTOR:N` pairs: the Nth status read of the sector's erase.
std::map<unsigned, unsigned> sectorReads(std::string_view text) {
  return countsAt(text, "SECTOR", Sectors - 1, 1);
}

FailStep failStep(std::string_view text) {
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

using V = std::string_view;

// The keys of one camera.
const KeyReaders<HidCameraScenario>& cameraKeys() {
  using S = HidCameraScenario;
  static const KeyReaders<HidCameraScenario> readers = {
      {"camera", [](S& s, V v) { s.cameraPresent = choose(v, "present", true, "absent", false); }},
      {"camera_fail", [](S& s, V v) { s.cameraFailStep = failStep(v); }},
      {"serial", [](S& s, V v) { readSerialNumber(s.serialNumber, v); }},
      {"plugged", [](S& s, V v) { s.pluggedPath = fileName(v); }},
      {"flash", [](S& s, V v) { s.flashPath = fileName(v); }},
      {"erase_busy_reads",
       [](S& s, V v) {
         s.faults.eraseBusyReads =
             v == "never" ? std::nullopt : std::optional<unsigned>(number(v, 1000000));
       }},
      {"refuse_erase", [](S& s, V v) { s.faults.refusedEraseSectors = numberSet(v, Sectors - 1); }},
      {"refuse_write", [](S& s, V v) { s.faults.refusedWritePages = numberSet(v, Pages - 1); }},
      {"mismatch", [](S& s, V v) { s.faults.mismatchedReads = pageCounts(v); }},
      {"refuse_read_request", [](S& s, V v) { s.faults.refusedReadRequests = pageCounts(v); }},
      {"fail_read", [](S& s, V v) { s.faults.failedReads = pageCounts(v); }},
      {"short_read", [](S& s, V v) { s.faults.shortReads = pageCounts(v); }},
      {"fail_status_read", [](S& s, V v) { s.faults.failedStatusReads = sectorReads(v); }},
      {"unplug_after_reports", [](S& s, V v) { s.unplugAfterReports = number(v, 100000000); }},
      {"trace", [](S& s, V v) { s.tracePath = fileName(v); }},
  };
  return readers;
}

// The keys before the first [camera] line: the PC's, and its first camera's.
const KeyReaders<HidScenario>& hidKeys() {
  using S = HidScenario;
  static const KeyReaders<HidScenario> readers = [] {
    KeyReaders<HidScenario> keys = readersOfPart<HidScenario>(cameraKeys());
    keys.insert({
        {"camera_index", [](S& s, V v) { s.cameraIndex = number(v, MaxInterfaces); }},
        {"camera_copies", [](S& s, V v) { s.cameraCopies = number(v, 16, 1); }},
        {"clock", [](S& s, V v) { readClock(s.clock, v); }},
    });
    return keys;
  }();
  return readers;
}

}  // namespace

HidScenario readHidScenario(const ScenarioLines& lines) {
  HidScenario scenario;
  readOwnKeys(lines, hidKeys(), scenario);
  for (std::size_t section = 1; section <= lines.cameras.size(); ++section) {
    HidCameraScenario& camera = scenario.moreCameras.emplace_back();
    camera.serialNumber = defaultSerialNumber(section);
    readOwnKeys(lines.cameras[section - 1], cameraKeys(), camera);
  }
  return scenario;
}

HidScenario parseHidScenario(std::istream& in, const std::string& origin) {
  const ScenarioLines lines = splitScenarioLines(in, origin);
  checkKnownKeys(lines);
  return readHidScenario(lines);
}

HidScenario hidScenarioFromEnvironment() {
  return readHidScenario(scenarioLinesFromEnvironment());
}

}  // namespace sim
