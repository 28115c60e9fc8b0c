// The cameras plugged in, as the panel's page follows them without a reload: the list is made
// again whenever the platform says a camera's device came or went (the tool's device events, on
// a thread of their own), and published as a `cameras` event when it changed.
#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "../camera.h"
#include "../device_events.h"
#include "panel_http.h"

class CameraPresence {
 public:
  // Lists the cameras now and starts following them, on the platform's device events or, where
  // it gives none, by listing them again every two seconds. `events` and `stop` outlive this;
  // `stop` also ends the following.
  CameraPresence(PanelEvents& events, const console::StopRequests& stop);
  ~CameraPresence();
  CameraPresence(const CameraPresence&) = delete;
  CameraPresence& operator=(const CameraPresence&) = delete;

  // Lists the cameras again now, publishing the list when it changed: a request that found a
  // camera gone need not wait for the platform's word.
  std::vector<CameraListing> lookAgain();

  // The `cameras` event of the list as last made.
  PanelEvent event() const;

 private:
  void follow();

  PanelEvents& events_;
  const console::StopRequests& stop_;
  std::unique_ptr<DeviceEvents> deviceEvents_;
  mutable std::mutex guard_;
  std::vector<CameraListing> cameras_;
  std::atomic<bool> ending_{false};
  std::thread follower_;
};

// {"cameras": [...]}, each camera as list --json gives it: the body of GET /api/cameras and the
// data of a `cameras` event.
std::string camerasJson(const std::vector<CameraListing>& cameras);
