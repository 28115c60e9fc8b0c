// The firmware update: the camera's flash written with an image and every page verified, its
// progress shown as it comes, and the upgrader's verdict as the exit code.
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>

#include "commands.h"
#include "console_streams.h"
#include "output_format.h"
#include "progress_display.h"

namespace {

using Clock = std::chrono::steady_clock;

// The most the camera's flash takes: 65535 pages of 256 bytes.
constexpr std::uintmax_t LargestImage = 65535u * 256u;

void checkImage(const std::string& path) {
  std::error_code error;
  if (!std::filesystem::is_regular_file(path, error) || !std::ifstream(path, std::ios::binary)) {
    throw UsageError("cannot read the firmware image " + path);
  }
  const std::uintmax_t size = std::filesystem::file_size(path, error);
  if (error) {
    throw UsageError("cannot read the firmware image " + path);
  }
  if (size == 0) {
    throw UsageError("the firmware image " + path + " is empty");
  }
  if (size > LargestImage) {
    throw UsageError("the firmware image " + path + " has " + std::to_string(size) +
                     " bytes; the camera's flash takes at most " + std::to_string(LargestImage));
  }
}

std::string verdictLine(std::optional<int> verdict, long pages, Clock::duration took) {
  if (!verdict) {
    return "firmware update failed: the upgrader ended without a verdict";
  }
  switch (*verdict) {
    case OPTIQON_UPGRADER_SUCCESS:
      return "firmware updated: " + std::to_string(pages) + " pages written and verified in " +
             formatDuration(took);
    case OPTIQON_UPGRADER_NO_CAMERA:
      return "firmware not updated: no camera";
    case OPTIQON_UPGRADER_IMAGE_REFUSED:
      return "firmware not updated: the upgrader cannot use the image";
    case OPTIQON_UPGRADER_ERASE_FAILED:
      return "firmware update failed: the flash could not be erased; the camera has no working "
             "firmware until an update succeeds";
    default:
      return "firmware update failed: a page was refused or did not verify; the camera has no "
             "working firmware until an update succeeds";
  }
}

// The progress on the tool's own standard output, and every other line of the upgrader on
// standard error.
class ProgressShown : public UpdateWatcher {
 public:
  explicit ProgressShown(Clock::time_point start) : start_(start) {}

  void begin(int toolOutput) override {
    display_.emplace(console::isTerminal(toolOutput),
                     [toolOutput](std::string_view text) { console::writeAll(toolOutput, text); });
  }

  void progressed(const UpgraderProgress& progress) override {
    display_->show(progress, Clock::now() - start_);
  }

  void said(const std::string& line) override {
    display_->clear();
    std::cerr << line << std::endl;
  }

  void end() override { display_->end(); }

 private:
  Clock::time_point start_;
  std::optional<ProgressDisplay> display_;
};

int update(const CommandContext& context, const std::string& image) {
  checkImage(image);
  const Clock::time_point start = Clock::now();
  ProgressShown shown(start);
  const UpdateOutcome outcome = updateFirmware(context.options().camera, image, shown);
  if (!outcome.started) {
    printProblem(outcome.failure);
    return NoVerdict;
  }
  if (!outcome.failure.empty()) {
    printProblem(outcome.failure);
  }
  printLine(verdictLine(outcome.verdict, outcome.pages, Clock::now() - start));
  return outcome.verdict.value_or(NoVerdict);
}

}  // namespace

void addUpdateCommand(CommandRegistry& commands) {
  const auto image = std::make_shared<std::string>();
  CLI::App& command = commands.add(
      "update", "Writes a firmware image to the camera's flash, and verifies every page",
      [image](const CommandContext& context) { return update(context, *image); },
      UpdateExitCodesHelp);
  command.add_option("image", *image, "The firmware image")->required();
}
