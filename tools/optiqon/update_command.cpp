// The firmware update: the image read and checked once, then every chosen camera's flash written
// and every page verified, all cameras at the same time (a thread and a handle each), the
// progress shown as the pages are verified, and each camera's verdict; the exit code is the worst
// verdict. One camera's failure, or its being unplugged, never stops the others.
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <thread>

#include "commands.h"
#include "console_streams.h"
#include "output_format.h"
#include "progress_display.h"

namespace {

using Clock = std::chrono::steady_clock;

// The most the tool reads: more than the camera's flash takes, so that the camera API, which knows
// the flash, tells what is too large.
constexpr std::size_t LargestRead = LargestFirmwareImage + 1u;

std::vector<unsigned char> readImage(const std::string& path) {
  std::error_code error;
  std::ifstream in(path, std::ios::binary);
  if (!std::filesystem::is_regular_file(path, error) || !in) {
    throw UsageError("cannot read the firmware image " + path);
  }
  std::vector<unsigned char> image;
  char byte = 0;
  while (image.size() < LargestRead && in.get(byte)) {
    image.push_back(static_cast<unsigned char>(byte));
  }
  if (in.bad()) {
    throw UsageError("cannot read the firmware image " + path);
  }
  return image;
}

// One camera's update on a thread of its own.
struct CameraUpdate {
  std::unique_ptr<Camera> camera;
  std::string name;
  UpdateVerdict verdict;
  Clock::duration took{};
};

void flash(CameraUpdate& update, std::size_t index, const std::vector<unsigned char>& image,
           ProgressDisplay& display, Clock::time_point start) {
  try {
    update.verdict = update.camera->updateFirmware(
        image, [&display, index, start](unsigned written, unsigned pages) {
          display.show(index, written, pages, Clock::now() - start);
        });
  } catch (const std::exception& error) {
    update.verdict = {OPTIQON_UPGRADER_DOWNLOAD_FAILED, error.what()};
  }
  update.took = Clock::now() - start;
}

ProgressDisplay displayFor(const std::vector<CameraUpdate>& updates) {
  std::vector<std::string> names;
  for (const CameraUpdate& update : updates) {
    names.push_back(update.name);
  }
  const bool terminal = updates.size() == 1 ? console::isTerminal(console::StandardOutput)
                                            : console::movesCursor(console::StandardOutput);
  return ProgressDisplay(
      terminal, [](std::string_view text) { console::writeAll(console::StandardOutput, text); },
      std::move(names));
}

int update(const CommandContext& context, const std::string& path, bool all) {
  const std::vector<unsigned char> image = readImage(path);
  unsigned pages = 0;
  try {
    pages = checkFirmwareImage(image);
  } catch (const UsageError& error) {
    throw UsageError("the firmware image " + path + " cannot be used: " + error.what());
  }
  std::vector<CameraUpdate> updates;
  for (std::unique_ptr<Camera>& camera : context.openCameras(all)) {
    const std::string name = camera->name();
    updates.push_back({std::move(camera), name, {}, {}});
  }
  ProgressDisplay display = displayFor(updates);
  const Clock::time_point start = Clock::now();
  {
    const console::UpdateInterruptRule rule;
    std::vector<std::thread> threads;
    for (std::size_t i = 0; i < updates.size(); ++i) {
      threads.emplace_back(flash, std::ref(updates[i]), i, std::cref(image), std::ref(display),
                           start);
    }
    for (std::thread& thread : threads) {
      thread.join();
    }
  }
  display.end();
  int result = Ok;
  for (const CameraUpdate& update : updates) {
    const std::string prefix = updates.size() > 1 ? update.name + ": " : "";
    if (!update.verdict.failure.empty()) {
      printProblem(update.verdict.failure);
    }
    printLine(prefix + verdictLine(update.verdict, pages, update.took));
    result = worse(result, update.verdict.code);
  }
  return result;
}

struct UpdateOptions {
  std::string image;
  bool all = false;
};

}  // namespace

void addUpdateCommand(CommandRegistry& commands) {
  const auto options = std::make_shared<UpdateOptions>();
  CLI::App& command = commands.add(
      "update",
      "Writes a firmware image to the camera's flash and verifies every page; with several "
      "--serial or --all, to each of those cameras at the same time",
      [options](const CommandContext& context) {
        return update(context, options->image, options->all);
      },
      UpdateExitCodesHelp);
  command.add_option("image", options->image, "The firmware image")->required();
  command.add_flag("--all", options->all, "Every camera on the PC");
}
