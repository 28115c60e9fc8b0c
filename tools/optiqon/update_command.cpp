// The firmware update: the library starts the upgrader and echoes what it prints; the tool reads
// that echo through a pipe as it comes, shows it as progress, and ends with the upgrader's
// verdict as its exit code.
#include <Brenwick.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <thread>

#include "camera_access.h"
#include "camera_values.h"
#include "command_line_quoting.h"
#include "commands.h"
#include "console_streams.h"
#include "library_output_pipe.h"
#include "progress_display.h"
#include "upgrader_progress.h"

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

// The upgrader takes an argument that begins with a dash for its switch (-s reads the serial
// number): an image named so is passed as a path in the current directory.
std::string imageArgument(const std::string& path) {
  return path.rfind('-', 0) == 0 ? "./" + path : path;
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

// Reads the library's echo from the pipe until it is given back, showing progress on the
// tool's own standard output and every other line of the upgrader on standard error.
class EchoReader {
 public:
  EchoReader(LibraryOutputPipe& pipe, Clock::time_point start)
      : pipe_(pipe),
        start_(start),
        display_(console::isTerminal(pipe.toolOutput()),
                 [&pipe](std::string_view text) { console::writeAll(pipe.toolOutput(), text); }) {}

  void run() {
    const auto show = [this](const std::string* line) {
      if (line == nullptr) {
        display_.show(progress_, Clock::now() - start_);
        return;
      }
      display_.clear();
      std::cerr << *line << std::endl;
    };
    char buffer[512];
    for (long got; (got = pipe_.read(buffer, sizeof buffer)) > 0;) {
      progress_.take(std::string_view(buffer, static_cast<std::size_t>(got)), show);
    }
    progress_.finish(show);
    display_.end();
  }

  const UpgraderProgress& progress() const { return progress_; }

 private:
  LibraryOutputPipe& pipe_;
  Clock::time_point start_;
  UpgraderProgress progress_;
  ProgressDisplay display_;
};

}  // namespace

int updateFirmware(const std::string& image) {
  checkImage(image);
  LibraryOutputPipe pipe;
  if (!pipe.opened()) {
    std::cerr << "optiqon: no pipe for the upgrader's output: the update was not started\n";
    return NoVerdict;
  }
  const Clock::time_point start = Clock::now();
  EchoReader reader(pipe, start);
  std::string failure;
  {
    const console::InterruptsLeftToUpgrader interrupts;
    std::thread reading([&reader] { reader.run(); });
    try {
      UpdateFirmware(quotedArgument(imageArgument(image)));
    } catch (const std::exception& error) {
      failure = error.what();
    }
    pipe.giveBack();
    reading.join();
  }
  if (!failure.empty()) {
    std::cerr << "optiqon: " << failure << '\n';
  }
  const UpgraderProgress& progress = reader.progress();
  std::cout << verdictLine(progress.verdict(), progress.totalPages(), Clock::now() - start) << '\n';
  return progress.verdict().value_or(NoVerdict);
}
