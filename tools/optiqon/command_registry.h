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

// The options every command takes, whichever command it is.
struct GlobalOptions {
  CameraChoice camera;
};

// What a command's action works with.
class CommandContext {
 public:
  explicit CommandContext(const GlobalOptions& options) : options_(options) {}

  const GlobalOptions& options() const { return options_; }

  // The chosen camera when it is there; none otherwise.
  std::unique_ptr<Camera> findCamera() const;
  // The chosen camera; a CommandFailure (no camera) that names it when it is not there.
  std::unique_ptr<Camera> openCamera() const;

 private:
  const GlobalOptions& options_;
};

// Runs a command and returns the process's exit code (an ExitCode, or the upgrader's verdict).
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
