// The camera as the tool's commands reach it: found, its settings read and written, its register,
// password and stored settings, and its firmware updated. The commands go through this interface
// alone; one file behind it carries each call to the camera.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "camera_values.h"
#include "upgrader_progress.h"

// Which camera a command is for. For now the one the camera's library finds first, which is what
// an empty choice means; a serial number or a place where the camera is plugged in will come here.
struct CameraChoice {};

// The camera answers a register read with the register it was last given and that register's
// value.
struct RegisterAnswer {
  // The register last given, as the camera's bytes: one as a rule, none when it did not tell.
  std::vector<int> lastGiven;
  // None when the read failed.
  std::optional<int> value;
};

class Camera {
 public:
  virtual ~Camera() = default;

  // As the camera reports it, without a line end.
  virtual std::string serialNumber() = 0;
  virtual Reading read(const Setting& setting) = 0;
  // A property's one whole number, or a control's values (control 30's scaled number).
  virtual void write(const Setting& setting, const std::vector<double>& values) = 0;

  // False when the camera refused the register.
  virtual bool writeRegister(unsigned char address, unsigned char value) = 0;
  virtual RegisterAnswer readRegister() = 0;
  // False when the camera did not accept the password.
  virtual bool sendPassword(const std::string& password) = 0;
  // 0 when the camera stored its settings, or restored its factory settings; the camera's
  // failure code otherwise.
  virtual int storeSettings() = 0;
  virtual int restoreFactorySettings() = 0;
};

// The chosen camera when it is there; none otherwise. What the camera's library says while it
// looks goes to standard error.
std::unique_ptr<Camera> findCamera(const CameraChoice& choice);

// What a firmware update tells as it goes, on a thread of its own: begin first, then each step,
// then end.
class UpdateWatcher {
 public:
  virtual ~UpdateWatcher() = default;

  // `toolOutput` is where the tool's own standard output is while the update runs.
  virtual void begin(int toolOutput) = 0;
  virtual void progressed(const UpgraderProgress& progress) = 0;
  // A line of the upgrader that says more than its progress does.
  virtual void said(const std::string& line) = 0;
  virtual void end() = 0;
};

struct UpdateOutcome {
  // False when the update could not be begun at all; `failure` says why.
  bool started = false;
  // The upgrader's verdict (OptiqonUpgraderExitCode); none when it ended without one.
  std::optional<int> verdict;
  // The image's pages; 0 when the upgrader did not tell them.
  long pages = 0;
  // What went wrong on the tool's side, if anything.
  std::string failure;
};

// Writes the image at `imagePath` to the chosen camera's flash and verifies every page. The
// upgrader finds the camera itself, and tells of a missing one in its verdict.
UpdateOutcome updateFirmware(const CameraChoice& choice, const std::string& imagePath,
                             UpdateWatcher& watcher);

// The process's exit code once the tool is done with the camera. When the camera's library was
// left busy in a wait of its own, the process ends here, without waiting for it.
int finishWithCamera(int exitCode);
