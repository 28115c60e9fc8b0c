// The tool's commands as its command line offers them. Each command file adds its own commands to
// the registry, each with its options and the action that runs when the command line chooses it;
// the action is given the options every command shares and the camera they choose.
#pragma once

#include <CLI/CLI.hpp>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "camera.h"
#include "exit_codes.h"
#include "output_format.h"

// The options every command takes, whichever command it is: which camera it acts on.
struct GlobalOptions {
  // --serial, as often as given; only update takes more than one.
  std::vector<std::string> serials;
  // --location: where the camera is plugged in, as list shows it.
  std::string location;
};

// How a command that acts on each camera in turn tells one camera's block from the next.
enum class Blocks { One, EachHeaded };

// What a command's action works with.
class CommandContext {
 public:
  explicit CommandContext(const GlobalOptions& options) : options_(options) {}

  const GlobalOptions& options() const { return options_; }

  // The one camera the options choose, or the only one on the PC; a CommandFailure that names
  // the cameras present when it is not there (NoCamera) or when the choice fits several
  // (BadUsage): nothing is sent then.
  std::unique_ptr<Camera> openCamera() const;

  // Runs `action` on the camera the options choose or, when they choose none and several are
  // plugged in, on each camera in turn, each block of output headed by the camera. A failure
  // ends the action for its camera only; the result is the worst of the exit codes.
  int forEachCamera(const std::function<int(Camera&, Blocks)>& action) const;

  // The cameras an update flashes: the options' serial numbers (or location), or all of them.
  std::vector<std::unique_ptr<Camera>> openCameras(bool all) const;

 private:
  CameraWanted wanted() const;
  const GlobalOptions& options_;
};

// The line that heads a camera's block of output, and its JSON object's first entries.
void printCameraHeading(Camera& camera);
Json cameraHeading(Camera& camera);

// The worse of two exit codes: the higher.
int worse(int first, int second);

// Runs a command and returns the process's exit code (an ExitCode, or the update's verdict).
using CommandAction = std::function<int(const CommandContext&)>;

class CommandRegistry {
 public:
  explicit CommandRegistry(CLI::App& app) : app_(app) {}

  // A command and its help, which ends with the exit codes it can give.
  CLI::App& add(const std::string& name, const std::string& description, CommandAction action,
                const char* exitCodesHelp = ExitCodesHelp);

  // Runs the action of the command the parsed command line chose.
  int runChosen(const CommandContext& context) const;

 private:
  CLI::App& app_;
  std::vector<std::pair<const CLI::App*, CommandAction>> commands_;
};

// The --json flag of the commands that read the camera.
void addJsonFlag(CLI::App& command, bool& json);

// The options every camera command takes: --serial and --location.
void addCameraOptions(CLI::App& app, GlobalOptions& options);
