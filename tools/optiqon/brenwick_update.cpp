// The firmware update over the Brenwick library: UpdateFirmware starts the upgrader and echoes
// what it prints to standard output; the tool turns that into a pipe, reads the echo as it comes
// and tells the watcher where the update stands.
#include <Brenwick.h>

#include <thread>

#include "camera.h"
#include "command_line_quoting.h"
#include "console_streams.h"
#include "library_output_pipe.h"

namespace {

// The upgrader takes an argument that begins with a dash for its switch (-s reads the serial
// number): an image named so is passed as a path in the current directory.
std::string imageArgument(const std::string& path) {
  return path.rfind('-', 0) == 0 ? "./" + path : path;
}

// Reads the library's echo from the pipe until it is given back, and tells the watcher of each
// step of the progress and of every other line of the upgrader.
class EchoReader {
 public:
  EchoReader(LibraryOutputPipe& pipe, UpdateWatcher& watcher) : pipe_(pipe), watcher_(watcher) {}

  void run() {
    const auto tell = [this](const std::string* line) {
      if (line == nullptr) {
        watcher_.progressed(progress_);
      } else {
        watcher_.said(*line);
      }
    };
    char buffer[512];
    for (long got; (got = pipe_.read(buffer, sizeof buffer)) > 0;) {
      progress_.take(std::string_view(buffer, static_cast<std::size_t>(got)), tell);
    }
    progress_.finish(tell);
    watcher_.end();
  }

  const UpgraderProgress& progress() const { return progress_; }

 private:
  LibraryOutputPipe& pipe_;
  UpdateWatcher& watcher_;
  UpgraderProgress progress_;
};

}  // namespace

UpdateOutcome updateFirmware(const CameraChoice&, const std::string& imagePath,
                             UpdateWatcher& watcher) {
  UpdateOutcome outcome;
  LibraryOutputPipe pipe;
  if (!pipe.opened()) {
    outcome.failure = "no pipe for the upgrader's output: the update was not started";
    return outcome;
  }
  outcome.started = true;
  watcher.begin(pipe.toolOutput());
  EchoReader reader(pipe, watcher);
  {
    const console::InterruptsLeftToUpgrader interrupts;
    std::thread reading([&reader] { reader.run(); });
    try {
      UpdateFirmware(quotedArgument(imageArgument(imagePath)));
    } catch (const std::exception& error) {
      outcome.failure = error.what();
    }
    pipe.giveBack();
    reading.join();
  }
  outcome.verdict = reader.progress().verdict();
  outcome.pages = reader.progress().totalPages();
  return outcome;
}
