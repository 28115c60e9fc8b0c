#include "upgrader_harness.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>

void UpgraderHarness::SetUp() {
  previousDirectory_ = std::filesystem::current_path();
  directory_ = std::make_unique<ScratchDirectory>();
  scratch_ = directory_->path();
  std::filesystem::current_path(scratch_);
  sim::resetHidWorld();
  sim::clock().reset(sim::Clock::Mode::Virtual);
  world().keepCallLog = true;
}

void UpgraderHarness::TearDown() {
  std::filesystem::current_path(previousDirectory_);
  directory_.reset();
}

UpgraderRun UpgraderHarness::run(const std::vector<std::string>& arguments) {
  const UpgraderRun result = runUpgraderWith(arguments);
  // Whatever the run opened, it closed.
  EXPECT_TRUE(world().openHandles.empty());
  EXPECT_TRUE(world().preparsedData.empty());
  EXPECT_TRUE(world().deviceInfoSets.empty());
  return result;
}

UpgraderRun UpgraderHarness::runWithImage(const std::vector<std::uint8_t>& image) {
  return run({writeFile("image.img", image)});
}

std::string UpgraderHarness::writeFile(const std::string& name,
                                       const std::vector<std::uint8_t>& bytes) {
  std::ofstream out(scratch_ / name, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
  return name;
}

std::string UpgraderHarness::readFile(const std::string& name) const {
  std::ifstream in(scratch_ / name, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

bool UpgraderHarness::fileExists(const std::string& name) const {
  return std::filesystem::exists(scratch_ / name);
}

std::vector<sim::ReportCall> UpgraderHarness::callsWithId(std::uint8_t reportId) {
  std::vector<sim::ReportCall> matching;
  for (const sim::ReportCall& call : calls()) {
    if (call.reportId == reportId) {
      matching.push_back(call);
    }
  }
  return matching;
}

std::vector<std::uint8_t> patternImage(std::size_t size) {
  std::vector<std::uint8_t> image(size);
  for (std::size_t i = 0; i < size; ++i) {
    image[i] = static_cast<std::uint8_t>((i * 7 + i / 256 * 13 + 1) % 251);
  }
  return image;
}
