// The cameras as the tool's commands reach them: listed, one opened by its serial number or its
// location, its settings read and written, its register, password and stored settings, and its
// firmware updated. The commands go through this interface alone; one file behind it carries
// each call to the camera API.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "camera_values.h"

// One camera as the PC lists it now.
struct CameraListing {
  // As the camera gives it over its HID interface, in UTF-8; none when it gave none or its HID
  // side was not found.
  std::optional<std::string> serialNumber;
  std::string location;
  bool videoSide = false;
  bool hidSide = false;
};

// The cameras plugged in now, in the order of their locations.
std::vector<CameraListing> listCameras();

// The camera API's diagnostics (its "info:" lines, one for each platform call that failed) go to
// `taker` instead of standard error: the watcher puts them into its log.
using DiagnosticLines = std::function<void(const std::string& line)>;
void sendDiagnosticsTo(DiagnosticLines taker);

// The camera answers a register read with the register it was last given and that register's
// value.
struct RegisterAnswer {
  // The register last given, as the camera's bytes: one as a rule, none when it did not tell.
  std::vector<int> lastGiven;
  // None when the read failed.
  std::optional<int> value;
};

// Called after each page of the image is written and read back, and once with 0 before the
// erase; on the thread that runs the update.
using PageProgress = std::function<void(unsigned pagesWritten, unsigned pages)>;

// What the camera gives for an image property: the values it takes (every `step` from `minimum`
// to `maximum`), its factory value, and whether it can set the property itself.
struct PropertyRange {
  long minimum = 0;
  long maximum = 0;
  long step = 0;
  long defaultValue = 0;
  bool canBeAutomatic = false;
  bool canBeManual = false;
};

// An image property as the camera holds it: its value, and whether the camera sets it itself.
struct PropertyState {
  long value = 0;
  bool automatic = false;
};

// The update's verdict (OptiqonUpgraderExitCode's numbers) and, when it failed, why.
struct UpdateVerdict {
  int code = 0;
  std::string failure;
};

// One camera, opened. A call that finds the camera unplugged ends with CameraGone, and one that
// needs a side of the camera that was not found (its video device for the settings) with a
// CommandFailure (NoCamera) that says so.
class Camera {
 public:
  virtual ~Camera() = default;

  virtual std::optional<std::string> serialNumber() = 0;
  virtual std::string location() = 0;
  // The serial number, or where the camera is plugged in when it gave none: how the tool's
  // lines name it.
  std::string name();

  virtual Reading read(const Setting& setting) = 0;
  // A property's one whole number (in manual mode), or a control's values (control 30's scaled
  // number). False when the camera refused it; lastFailure() says why.
  virtual bool write(const Setting& setting, const std::vector<double>& values) = 0;

  // Image properties by the amplifier's number, with what the camera gives beyond a value: the
  // range, and the automatic mode. None, or false, when the camera did not answer or refused;
  // lastFailure() says why.
  virtual std::optional<PropertyRange> propertyRange(int property) = 0;
  virtual std::optional<PropertyState> readProperty(int property) = 0;
  // The value in manual mode or, `automatic`, the property handed to the camera (the value must
  // still be one the range holds).
  virtual bool writeProperty(int property, long value, bool automatic) = 0;

  // False when the camera refused the register.
  virtual bool writeRegister(unsigned char address, unsigned char value) = 0;
  virtual RegisterAnswer readRegister() = 0;
  // False when the camera did not accept the password.
  virtual bool sendPassword(const std::string& password) = 0;
  // False when the camera did not store its settings, or restore its factory settings;
  // lastFailure() says why.
  virtual bool storeSettings() = 0;
  virtual bool restoreFactorySettings() = 0;
  // Why the last call that failed did, in the camera API's words.
  virtual std::string lastFailure() = 0;

  // Erases the flash, writes the image page by page and reads each page back. Runs to its
  // verdict whatever happens meanwhile; the camera going away is a verdict too.
  virtual UpdateVerdict updateFirmware(const std::vector<unsigned char>& image,
                                       const PageProgress& progress) = 0;
};

// How a camera is asked for: by its serial number, by its location, or (neither) as the only one.
struct CameraWanted {
  std::optional<std::string> serial;
  std::optional<std::string> location;
};

// The camera asked for; a CommandFailure when it is not there (NoCamera) or the request fits
// several (BadUsage), its message naming the cameras present.
std::unique_ptr<Camera> openCamera(const CameraWanted& wanted);

// Whether an image can be flashed, and the pages it takes; a UsageError with the reason when not.
unsigned checkFirmwareImage(const std::vector<unsigned char>& image);

// The largest image the camera's flash takes: 65535 pages of 256 bytes, as the camera API's check
// counts them. Reading an image stops one byte past it, so that the check still says what is too
// large without the tool holding an image of any size.
inline constexpr std::size_t LargestFirmwareImage = 65535u * 256u;
