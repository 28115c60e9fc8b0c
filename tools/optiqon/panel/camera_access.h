// The camera a request of the panel's interface addresses, opened for that request alone: the
// calls on one camera are made one request after the other (a page's slider and a script may
// send at once, and a value written by one must be the one the other reads back), while
// different cameras are used in parallel.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>

#include "../camera.h"

// A camera as the interface's paths name it: its serial number, and where it is plugged in when
// two cameras give that serial number. A camera that gave no serial number is named "-" with its
// location.
struct CameraAddress {
  std::string serial;
  std::optional<std::string> location;
};

// What a path names a camera that gave no serial number by.
inline constexpr const char* UnknownSerial = "-";

// The camera, open, and the right to use it until this is let go of (the camera closed first).
struct CameraInUse {
  std::unique_lock<std::timed_mutex> turn;
  std::unique_ptr<Camera> camera;
};

// The camera is busy with something that takes minutes (its firmware update): a request is
// refused at once rather than left waiting.
class CameraBusy : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Whether the camera plugged in at a location is busy so; the message saying why, when it is.
using BusyWith = std::function<std::optional<std::string>(const std::string& location)>;

class CameraAccess {
 public:
  // The camera `address` names, opened, once no other request is using it; a CommandFailure
  // when it is not plugged in (NoCamera) or the address fits two cameras (BadUsage), with the
  // camera API's message; CameraBusy as soon as `busy` says so, before or while it waits.
  CameraInUse use(const CameraAddress& address, const BusyWith& busy);

  // The camera `address` names, opened but not yet waited for: for the firmware update, whose
  // thread waits for its turn with turnOf().
  std::unique_ptr<Camera> open(const CameraAddress& address);
  std::timed_mutex& turnOf(const std::string& location);

 private:
  std::mutex guard_;
  // By location: what tells two cameras apart, even two that give one serial number.
  std::map<std::string, std::unique_ptr<std::timed_mutex>> turns_;
};
