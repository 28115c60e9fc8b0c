// The flash protocol as the camera sees it: every report's bytes, the virtual time it arrived,
// and how the upgrader reacts to each refusal and failure the camera can give.
#include <algorithm>

#include "flash_reports.h"
#include "upgrader_harness.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

struct Expected {
  std::uint64_t ms;
  bool output;
  std::uint8_t id;
  std::uint32_t length;
  bool ok;
};

// The calls' timing, kind, ID, length and result, without their data.
std::vector<Expected> shapeOf(const std::vector<sim::ReportCall>& calls) {
  std::vector<Expected> shape;
  for (const sim::ReportCall& call : calls) {
    shape.push_back({call.ms, call.output, call.reportId, call.length, call.ok});
  }
  return shape;
}

bool operator==(const Expected& a, const Expected& b) {
  return a.ms == b.ms && a.output == b.output && a.id == b.id && a.length == b.length &&
         a.ok == b.ok;
}

void PrintTo(const Expected& e, std::ostream* os) {
  *os << e.ms << (e.output ? " Set 0x" : " Get 0x") << std::hex << int{e.id} << std::dec << " "
      << e.length << (e.ok ? " ok" : " refused");
}

Bytes pageHeader(std::uint8_t id, unsigned page) {
  return {id, static_cast<std::uint8_t>(page >> 8), static_cast<std::uint8_t>(page), 0x01, 0x00};
}

Bytes writePageReport(const Bytes& image, unsigned page) {
  Bytes report = pageHeader(flash::WritePageId, page);
  for (std::size_t i = 0; i < 256; ++i) {
    const std::size_t at = std::size_t{page} * 256 + i;
    report.push_back(at < image.size() ? image[at] : 0xFF);
  }
  return report;
}

constexpr bool Set = true;
constexpr bool Get = false;

using FlashProtocol = UpgraderHarness;

TEST_F(FlashProtocol, TwoPageDownloadOnTheWire) {
  const Bytes image = patternImage(512);
  const UpgraderRun result = runWithImage(image);
  ASSERT_EQ(result.exitCode, 0);
  const std::vector<Expected> expected = {
      {0, Set, 0x05, 2, true},    // erase sector 0
      {100, Get, 0x06, 2, true},  // busy
      {200, Get, 0x06, 2, true},  // done
      {210, Set, 0x04, 261, true}, {310, Set, 0x02, 5, true}, {310, Get, 0x03, 259, true},
      {320, Set, 0x04, 261, true}, {420, Set, 0x02, 5, true}, {420, Get, 0x03, 259, true},
  };
  EXPECT_EQ(shapeOf(calls()), expected);
  EXPECT_EQ(calls()[0].bytes, (Bytes{0x05, 0x00}));
  EXPECT_EQ(calls()[3].bytes, writePageReport(image, 0));
  EXPECT_EQ(calls()[4].bytes, pageHeader(flash::ReadPageRequestId, 0));
  EXPECT_EQ(calls()[6].bytes, writePageReport(image, 1));
  EXPECT_EQ(calls()[7].bytes, pageHeader(flash::ReadPageRequestId, 1));
}

TEST_F(FlashProtocol, PageNumbersAndSectorsTravelHighByteFirst) {
  const Bytes image = patternImage(300 * 256 + 1);
  ASSERT_EQ(runWithImage(image).exitCode, 0);
  const auto erases = callsWithId(flash::EraseSectorId);
  ASSERT_EQ(erases.size(), 2u);
  EXPECT_EQ(erases[1].bytes, (Bytes{0x05, 0x01}));
  const auto writes = callsWithId(flash::WritePageId);
  ASSERT_EQ(writes.size(), 301u);
  EXPECT_EQ(writes[299].bytes, writePageReport(image, 299));
  EXPECT_EQ(Bytes(writes[300].bytes.begin(), writes[300].bytes.begin() + 5),
            (Bytes{0x04, 0x01, 0x2C, 0x01, 0x00}));
}

// The bytes past the image's end are sent as erased flash, never as stale buffer contents.
TEST_F(FlashProtocol, FinalPageIsPaddedWithErasedBytes) {
  for (std::size_t size : {std::size_t{1}, std::size_t{300}}) {
    sim::resetHidWorld();
    world().keepCallLog = true;
    const Bytes image = patternImage(size);
    ASSERT_EQ(runWithImage(image).exitCode, 0);
    const auto writes = callsWithId(flash::WritePageId);
    EXPECT_EQ(writes.back().bytes, writePageReport(image, static_cast<unsigned>(size / 256)));
  }
}

TEST_F(FlashProtocol, SectorThatNeverFinishesIsPolledFiftyOneTimes) {
  world().camera.faults.eraseBusyReads.reset();
  const UpgraderRun result = runWithImage(patternImage(65536));
  EXPECT_EQ(result.output, foundLine(1) +
                               "Firmware file size = 65536\n"
                               "\rErasing sectors 50% \rErasing sectors 100% \n"
                               "Erase Sectors failed\n");
  EXPECT_EQ(result.exitCode, 3);
  const auto status = callsWithId(flash::EraseStatusId);
  ASSERT_EQ(status.size(), 102u);
  EXPECT_EQ(status[0].ms, 100u);
  EXPECT_EQ(status[50].ms, 5100u);
  const auto erases = callsWithId(flash::EraseSectorId);
  ASSERT_EQ(erases.size(), 2u);
  EXPECT_EQ(erases[1].ms, 5200u);  // one more wait after the 51st busy answer
  EXPECT_TRUE(callsWithId(flash::WritePageId).empty());
}

TEST_F(FlashProtocol, EraseWaitsForEachBusyAnswer) {
  world().camera.faults.eraseBusyReads = 3;
  ASSERT_EQ(runWithImage(patternImage(256)).exitCode, 0);
  const auto status = callsWithId(flash::EraseStatusId);
  ASSERT_EQ(status.size(), 4u);
  EXPECT_EQ(status.back().ms, 400u);
  EXPECT_EQ(callsWithId(flash::WritePageId).front().ms, 410u);
}

TEST_F(FlashProtocol, RefusedEraseOfAnEarlierSectorIsPassedOverSilently) {
  world().camera.faults.refusedEraseSectors = {0};
  const UpgraderRun result = runWithImage(patternImage(65536));
  EXPECT_EQ(result.exitCode, 0);
  const auto shape = shapeOf(calls());
  ASSERT_GE(shape.size(), 2u);
  EXPECT_EQ(shape[0], (Expected{0, Set, 0x05, 2, false}));
  EXPECT_EQ(shape[1], (Expected{0, Set, 0x05, 2, true}));  // no wait, no status read
}

TEST_F(FlashProtocol, RefusedLastEraseSendsNoPage) {
  world().camera.faults.refusedEraseSectors = {0};
  const UpgraderRun result = runWithImage(patternImage(256));
  EXPECT_EQ(result.output, foundLine(1) +
                               "Firmware file size = 256\n"
                               "\rErasing sectors 100% \n"
                               "\nDownload Failed\n");
  EXPECT_EQ(result.exitCode, 4);
  EXPECT_TRUE(callsWithId(flash::WritePageId).empty());
}

// NOR flash only clears bits: a page written over unerased flash cannot verify.
TEST_F(FlashProtocol, WritingOverUnerasedFlashFailsVerification) {
  std::fill_n(world().camera.flash().begin(), 256, 0x00);
  world().camera.faults.refusedEraseSectors = {0};
  const UpgraderRun result = runWithImage(patternImage(65536));
  EXPECT_TRUE(result.output.ends_with("\rDownloading firmware 1% \nDownload Failed\n"));
  EXPECT_EQ(result.exitCode, 4);
  EXPECT_EQ(callsWithId(flash::WritePageId).size(), 1u);
  EXPECT_EQ(callsWithId(flash::ReadPageDataId).size(), 3u);
}

// A status read that fails leaves the camera's answer unknown: polling of that sector ends
// without recording a failure, at the first read as in the middle of polling.
TEST_F(FlashProtocol, FailedEraseStatusReadEndsPollingWithoutFailure) {
  for (unsigned failingRead : {1u, 3u}) {
    sim::resetHidWorld();
    sim::clock().reset(sim::Clock::Mode::Virtual);
    world().keepCallLog = true;
    world().camera.faults.eraseBusyReads = std::nullopt;  // the erase never reports done
    world().camera.faults.failedStatusReads = {{0, failingRead}};
    const UpgraderRun result = runWithImage(patternImage(256));
    EXPECT_EQ(result.output, foundLine(1) + smallImageSuccess(256)) << failingRead;
    std::vector<Expected> expected = {{0, Set, 0x05, 2, true}};
    for (unsigned read = 1; read <= failingRead; ++read) {
      expected.push_back({100u * read, Get, 0x06, 2, read < failingRead});
    }
    const std::uint64_t pageAt = 100u * failingRead + 10;
    expected.push_back({pageAt, Set, 0x04, 261, true});
    expected.push_back({pageAt + 100, Set, 0x02, 5, true});
    expected.push_back({pageAt + 100, Get, 0x03, 259, true});
    EXPECT_EQ(shapeOf(calls()), expected) << failingRead;
  }
}

// A read-back that reports success but delivers only its first packet must not be completed by
// what an earlier page left in the buffer: pages 0 and 1 are equal here.
TEST_F(FlashProtocol, ShortReadBackNeverVerifiesFromAnEarlierPage) {
  world().camera.faults.shortReads = {{1, 3}};
  const UpgraderRun result = runWithImage(Bytes(768, 0x5A));
  EXPECT_EQ(result.output, foundLine(1) +
                               "Firmware file size = 768\n"
                               "\rErasing sectors 100% \n"
                               "\rDownloading firmware 1% "
                               "\nDownload Failed\n");
  EXPECT_EQ(result.exitCode, 4);
  EXPECT_EQ(callsWithId(flash::ReadPageDataId).size(), 4u);
}

TEST_F(FlashProtocol, PageThatNeverVerifiesStopsTheDownload) {
  world().camera.faults.mismatchedReads = {{1, 3}};
  const UpgraderRun result = runWithImage(patternImage(1024));
  EXPECT_EQ(result.output, foundLine(1) +
                               "Firmware file size = 1024\n"
                               "\rErasing sectors 100% \n"
                               "\rDownloading firmware 1% "
                               "\nDownload Failed\n");
  EXPECT_EQ(result.exitCode, 4);
  const auto writes = callsWithId(flash::WritePageId);
  ASSERT_EQ(writes.size(), 2u);
  EXPECT_EQ(callsWithId(flash::ReadPageRequestId).size(), 4u);
}

TEST_F(FlashProtocol, PageVerifiedAtTheThirdAttemptCounts) {
  world().camera.faults.mismatchedReads = {{0, 2}};
  const UpgraderRun result = runWithImage(patternImage(512));
  EXPECT_EQ(result.output, foundLine(1) +
                               "Firmware file size = 512\n"
                               "\rErasing sectors 100% \n"
                               "\rDownloading firmware 1% "
                               "\nLast section of firmware download\n"
                               "\nDownload Complete\n\nDownload Complete\n");
  EXPECT_EQ(result.exitCode, 0);
  const auto requests = callsWithId(flash::ReadPageRequestId);
  ASSERT_EQ(requests.size(), 4u);
  EXPECT_EQ(requests[1].ms - requests[0].ms, 100u);
}

TEST_F(FlashProtocol, RefusedReadRequestsWaitAndRetrySilently) {
  world().camera.faults.refusedReadRequests = {{0, 2}};
  const UpgraderRun result = runWithImage(patternImage(512));
  EXPECT_EQ(result.exitCode, 0);
  EXPECT_EQ(result.output.find("failed"), std::string::npos);
  const auto requests = callsWithId(flash::ReadPageRequestId);
  ASSERT_GE(requests.size(), 3u);
  EXPECT_EQ(requests[0].ms, 310u);
  EXPECT_EQ(requests[1].ms, 510u);  // 100 ms after the refusal, 100 ms before the request
  EXPECT_EQ(requests[2].ms, 710u);
  EXPECT_TRUE(requests[2].ok);
}

TEST_F(FlashProtocol, ThirdRefusedReadRequestEndsTheRunWithTheErrorCode) {
  world().camera.faults.refusedReadRequests = {{1, 3}};
  const UpgraderRun result = runWithImage(patternImage(768));
  EXPECT_EQ(result.output, foundLine(1) +
                               "Firmware file size = 768\n"
                               "\rErasing sectors 100% \n"
                               "\rDownloading firmware 1% "
                               "31The set output report failed");
  EXPECT_EQ(result.exitCode, 4);
  EXPECT_EQ(callsWithId(flash::WritePageId).size(), 2u);
}

TEST_F(FlashProtocol, RefusedPageWriteEndsTheRun) {
  world().camera.faults.refusedWritePages = {1};
  const UpgraderRun result = runWithImage(patternImage(768));
  EXPECT_TRUE(result.output.ends_with("\rDownloading firmware 1% first setoutput report failed"));
  EXPECT_EQ(result.exitCode, 4);
  EXPECT_EQ(calls().back().reportId, flash::WritePageId);
}

TEST_F(FlashProtocol, FailedReadBackIsReportedAndRetried) {
  world().camera.faults.failedReads = {{0, 1}};
  const UpgraderRun ok = runWithImage(patternImage(512));
  EXPECT_NE(ok.output.find("1% Get Input report flash id failed\n\nLast section"),
            std::string::npos);
  EXPECT_EQ(ok.exitCode, 0);

  sim::resetHidWorld();
  world().camera.faults.failedReads = {{0, 3}};
  const UpgraderRun failed = runWithImage(patternImage(512));
  EXPECT_TRUE(
      failed.output.ends_with("Get Input report flash id failed\n"
                              "Get Input report flash id failed\n"
                              "Get Input report flash id failed\n"
                              "\nDownload Failed\n"));
  EXPECT_EQ(failed.exitCode, 4);
}

// A final page that never verifies is a failed download, and says only that.
TEST_F(FlashProtocol, FailedFinalPageIsNotCalledComplete) {
  for (auto fault : {&sim::FlashFaults::mismatchedReads, &sim::FlashFaults::refusedReadRequests,
                     &sim::FlashFaults::failedReads}) {
    sim::resetHidWorld();
    world().camera.faults.*fault = {{2, 3}};
    const UpgraderRun result = runWithImage(patternImage(768));
    EXPECT_TRUE(result.output.ends_with(
        "\rDownloading firmware 1% \nLast section of firmware download\n\nDownload Failed\n"))
        << result.output;
    EXPECT_EQ(result.exitCode, 4);
  }
}

TEST_F(FlashProtocol, RefusedFinalWriteShowsAsFailedVerification) {
  world().camera.faults.refusedWritePages = {2};
  const UpgraderRun result = runWithImage(patternImage(768));
  EXPECT_TRUE(result.output.ends_with("\nLast section of firmware download\n\nDownload Failed\n"));
  EXPECT_EQ(result.exitCode, 4);
  EXPECT_EQ(callsWithId(flash::ReadPageRequestId).size(), 5u);
}

}  // namespace

namespace {

// The flash file is the flash: each erase and page write is in the file the moment the camera
// makes it, so a run ended by any signal, SIGKILL included, leaves the file as the camera would
// be left. Here the run is simply never finished: the file is read while the camera still
// holds it.
TEST_F(FlashProtocol, FlashFileFollowsEveryEraseAndPageWriteAsItHappens) {
  std::vector<std::uint8_t> older(sim::FlashCamera::FlashSize, 0x00);
  writeFile("flash.bin", older);
  sim::HidScenario scenario;
  scenario.flashPath = (scratch_ / "flash.bin").string();
  scenario.clock = sim::Clock::Mode::Virtual;
  sim::applyHidScenario(scenario);
  sim::FlashCamera& camera = world().camera;

  ASSERT_TRUE(camera.receiveOutputReport(Bytes{flash::EraseSectorId, 1}.data(), 2));
  for (int read = 0; read < 10; ++read) {  // the camera puts its busy flag in byte 0
    Bytes status{flash::EraseStatusId, 0};
    ASSERT_TRUE(camera.answerInputReport(status.data(), status.size()));
    if (status[0] == 0) {
      break;
    }
  }
  const Bytes image = patternImage(256);
  const unsigned page = 256;  // the first page of sector 1
  Bytes pageWrite = pageHeader(flash::WritePageId, page);
  pageWrite.insert(pageWrite.end(), image.begin(), image.end());
  ASSERT_TRUE(camera.receiveOutputReport(pageWrite.data(), pageWrite.size()));

  const std::string file = readFile("flash.bin");
  ASSERT_EQ(file.size(), sim::FlashCamera::FlashSize);
  EXPECT_EQ(file.find_first_not_of('\0'), 65536u) << "sector 0 untouched";
  EXPECT_EQ(file.substr(65536, 256), std::string(image.begin(), image.end()));
  EXPECT_EQ(file.find_first_not_of('\xFF', 65536 + 256), 2u * 65536) << "the rest of sector 1";
  EXPECT_EQ(file.find_first_not_of('\0', 2u * 65536), std::string::npos);
}

// A flash file of the wrong size is never taken for the flash, nor cut to size; an empty one is
// a new flash, erased.
TEST_F(FlashProtocol, FlashFileOfAnotherSizeIsRefusedAndAnEmptyOneErased) {
  sim::HidScenario scenario;
  scenario.flashPath = (scratch_ / "flash.bin").string();
  writeFile("flash.bin", Bytes(100, 0x12));
  try {
    sim::applyHidScenario(scenario);
    ADD_FAILURE() << "a flash file of 100 bytes was taken";
  } catch (const sim::ScenarioError& error) {
    EXPECT_EQ(std::string(error.what()),
              "flash file " + scenario.flashPath + " does not hold exactly 16777216 bytes");
  }
  EXPECT_EQ(readFile("flash.bin"), std::string(100, '\x12'));

  writeFile("flash.bin", {});
  sim::applyHidScenario(scenario);
  EXPECT_EQ(readFile("flash.bin"), std::string(sim::FlashCamera::FlashSize, '\xFF'));
}

}  // namespace
