// Runs the upgrader in-process against the simulated camera, in a scratch working directory,
// and keeps what it printed and every report the camera saw.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "scratch_directory.h"
#include "sim_clock.h"
#include "sim_hid_world.h"
#include "upgrader_run.h"
#include "upgrader_transcripts.h"

using transcript::foundLine;
using transcript::smallImageSuccess;

class UpgraderHarness : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Runs the program with these arguments (not counting the program name).
  UpgraderRun run(const std::vector<std::string>& arguments);
  UpgraderRun runWithImage(const std::vector<std::uint8_t>& image);

  std::string writeFile(const std::string& name, const std::vector<std::uint8_t>& bytes);
  std::string readFile(const std::string& name) const;
  bool fileExists(const std::string& name) const;

  sim::HidWorld& world() { return sim::hidWorld(); }
  const std::vector<sim::ReportCall>& calls() { return sim::hidWorld().calls; }
  std::vector<sim::ReportCall> callsWithId(std::uint8_t reportId);

  std::filesystem::path scratch_;

 private:
  std::unique_ptr<ScratchDirectory> directory_;
  std::filesystem::path previousDirectory_;
};

// Image bytes that differ from page to page and are never all 0xFF.
std::vector<std::uint8_t> patternImage(std::size_t size);
