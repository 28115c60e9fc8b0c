#include "camera_presence.h"

#include <algorithm>
#include <chrono>
#include <exception>

#include "../output_format.h"

namespace {

// How often the following thread looks whether the panel is ending, between the platform's
// events.
constexpr std::chrono::milliseconds EndingLookedAtEvery{250};
// Where the platform gives no device events, the cameras are listed again every so many of
// those looks (two seconds).
constexpr unsigned ListedWithoutEventsEvery = 8;

bool sameListing(const CameraListing& a, const CameraListing& b) {
  return a.serialNumber == b.serialNumber && a.location == b.location &&
         a.videoSide == b.videoSide && a.hidSide == b.hidSide;
}

bool sameList(const std::vector<CameraListing>& a, const std::vector<CameraListing>& b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), sameListing);
}

}  // namespace

std::string camerasJson(const std::vector<CameraListing>& cameras) {
  Json list = Json::array();
  for (const CameraListing& camera : cameras) {
    list.push_back(listingJson(camera));
  }
  return Json{{"cameras", list}}.dump();
}

CameraPresence::CameraPresence(PanelEvents& events, const console::StopRequests& stop)
    : events_(events), stop_(stop) {
  try {
    deviceEvents_ = watchDeviceEvents(stop);
  } catch (const CommandFailure&) {
    // No device events here (a container without udev's socket, say): the cameras are listed
    // again every few seconds instead, and at each request for the list.
  }
  try {
    cameras_ = listCameras();
  } catch (const std::exception&) {
    // No list yet: the first event, or the first request, makes it.
  }
  follower_ = std::thread([this] { follow(); });
}

CameraPresence::~CameraPresence() {
  ending_ = true;
  follower_.join();
}

std::vector<CameraListing> CameraPresence::lookAgain() {
  std::vector<CameraListing> cameras = listCameras();
  const std::lock_guard<std::mutex> lock(guard_);
  if (!sameList(cameras, cameras_)) {
    cameras_ = cameras;
    // Published under the lock, so that two lists made at once reach the streams in the order
    // they are kept.
    events_.publish({"cameras", camerasJson(cameras_)});
  }
  return cameras;
}

PanelEvent CameraPresence::event() const {
  const std::lock_guard<std::mutex> lock(guard_);
  return {"cameras", camerasJson(cameras_)};
}

void CameraPresence::follow() {
  unsigned quietLooks = 0;
  while (!ending_ && !stop_.requested()) {
    try {
      if (deviceEvents_ ? !deviceEvents_->wait(EndingLookedAtEvery).empty()
                        : !stop_.waitFor(EndingLookedAtEvery) &&
                              ++quietLooks % ListedWithoutEventsEvery == 0) {
        lookAgain();
      }
    } catch (const std::exception&) {
      // A list that cannot be made now is made at the next event.
      stop_.waitFor(EndingLookedAtEvery);
    }
  }
}
