// The firmware updates the panel runs: each on a thread of its own, one at a time for a camera,
// and never stopped by the page that started it going away or its connection dropping (from the
// erase to the verdict the camera holds no working firmware). Each update's state, as the pages
// are verified, goes out as `update` events and stays to be asked for, so that a page opened
// again shows it.
#pragma once

#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "camera_access.h"
#include "panel_http.h"

class UpdateJobs {
 public:
  // `events` and `access` outlive this.
  UpdateJobs(PanelEvents& events, CameraAccess& access);
  // Waits for every update still running to reach its verdict.
  ~UpdateJobs();
  UpdateJobs(const UpdateJobs&) = delete;
  UpdateJobs& operator=(const UpdateJobs&) = delete;

  // Starts flashing `camera` with `image`, checked already and of `pages` pages, once no request
  // is using the camera; the update's state as JSON. None, and nothing started, when an update of
  // that camera is running.
  std::optional<std::string> start(std::unique_ptr<Camera> camera, std::vector<unsigned char> image,
                                   unsigned pages);

  // Whether an update of the camera plugged in at `location` is running.
  bool runningAt(const std::string& location) const;

  // The state as JSON of the last update of the camera `address` names since the panel started
  // (by its serial number, the one started last when two cameras give it, unless the address
  // names the location); none when there was none.
  std::optional<std::string> stateOf(const CameraAddress& address) const;

  // An `update` event of each update's state, in the order they were started.
  std::vector<PanelEvent> events() const;

  // The cameras whose update is running, by serial number (their location when they gave none).
  std::vector<std::string> running() const;

 private:
  struct Job;
  void run(Job& job, Camera& camera, const std::vector<unsigned char>& image);
  // The camera API's word that `written` of `pages` pages are verified.
  void tell(Job& job, unsigned written, unsigned pages);
  static bool runningAt(const Job& job);

  PanelEvents& events_;
  CameraAccess& access_;
  mutable std::mutex guard_;
  // The last update of each camera, by location; a finished one is replaced by the next.
  std::map<std::string, std::shared_ptr<Job>> jobs_;
  unsigned long started_ = 0;
};
