#include "camera_access.h"

#include <chrono>

namespace {

constexpr std::chrono::milliseconds BusyLookedAtEvery{50};

}  // namespace

std::unique_ptr<Camera> CameraAccess::open(const CameraAddress& address) {
  if (!address.location) {
    return openCamera({address.serial, std::nullopt});
  }
  std::unique_ptr<Camera> camera = openCamera({std::nullopt, address.location});
  const std::optional<std::string> serial = camera->serialNumber();
  if (serial.value_or(UnknownSerial) != address.serial) {
    throw CommandFailure(NoCamera, "the camera at " + *address.location + " is " +
                                       (serial ? "camera " + *serial
                                               : "a camera that gave no "
                                                 "serial number") +
                                       ", not camera " + address.serial);
  }
  return camera;
}

std::timed_mutex& CameraAccess::turnOf(const std::string& location) {
  const std::lock_guard<std::mutex> lock(guard_);
  std::unique_ptr<std::timed_mutex>& turn = turns_[location];
  if (!turn) {
    turn = std::make_unique<std::timed_mutex>();
  }
  return *turn;
}

CameraInUse CameraAccess::use(const CameraAddress& address, const BusyWith& busy) {
  std::unique_ptr<Camera> camera = open(address);
  const std::string location = camera->location();
  std::unique_lock<std::timed_mutex> turn(turnOf(location), std::defer_lock);
  // Looked at again while waiting: an update that took the camera after the first look would
  // otherwise hold the request for minutes.
  do {
    if (const std::optional<std::string> why = busy(location)) {
      throw CameraBusy(*why);
    }
  } while (!turn.try_lock_for(BusyLookedAtEvery));
  return {std::move(turn), std::move(camera)};
}
