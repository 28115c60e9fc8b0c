#include "sim_flash_file.h"

#include <utility>

#include "sim_scenario_file.h"

namespace sim {

namespace {

constexpr const char* What = "flash file";

ScenarioError wrongSize(const std::string& path) {
  return ScenarioError(std::string(What) + " " + path + " does not hold exactly " +
                       std::to_string(FlashCamera::FlashSize) + " bytes");
}

// Makes an empty file erased and refuses one of another size. Called with the file's turn
// taken, so that the process that finds the file empty is the one that erases it.
void makeReady(SharedFile& file, const std::string& path) {
  if (file.size() == 0) {
    file.fill(FlashCamera::FlashSize, 0xFF);
  }
  if (file.size() != FlashCamera::FlashSize) {
    throw wrongSize(path);
  }
}

SharedFile openWithoutTurn(const std::string& path) {
  return SharedFile(path, What, SharedFile::Links::Follow, SharedFile::Lock::Leave);
}

}  // namespace

FlashFile::FlashFile(std::string path) : path_(std::move(path)) {
  // A file that holds the flash's size needs nothing made, so the check does not wait for a
  // process that is using the flash. Any other size is looked at again under the turn: it may be
  // a file another process is erasing right now.
  if (openWithoutTurn(path_).size() == FlashCamera::FlashSize) {
    return;
  }
  SharedFile file(path_, What);
  makeReady(file, path_);
}

void FlashFile::take() {
  if (held()) {
    return;
  }
  SharedFile file(path_, What);
  makeReady(file, path_);
  file.map();
  turn_ = std::move(file);
}

void FlashFile::giveBack() {
  turn_ = SharedFile();
}

std::span<std::uint8_t> FlashFile::cells() {
  if (held()) {
    return turn_.map();
  }
  // Between turns only something in this process looks at the cells (a test, a debugger), never
  // the camera, which reaches them within a report call and so within the turn. Such a look
  // maps the file without taking its turn: it neither waits for another process using the flash
  // nor keeps one waiting, as a hex viewer on the file would not. The mapping is the file's
  // pages, shared with every process that maps them, so the look always sees the cells as they
  // are now (a copy read from the file would go stale, and a change made to it would never reach
  // the file), and it stays mapped until the scenario is set up anew, so that a span handed out
  // here never outlives its mapping.
  if (!look_.isOpen()) {
    SharedFile file = openWithoutTurn(path_);
    if (file.size() != FlashCamera::FlashSize) {
      throw wrongSize(path_);
    }
    file.map();
    look_ = std::move(file);
  }
  return look_.map();
}

}  // namespace sim
