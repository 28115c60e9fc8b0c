#include "update_jobs.h"

#include <algorithm>
#include <chrono>
#include <exception>
#include <thread>

#include "../output_format.h"
#include "../progress_display.h"

namespace {

using Clock = std::chrono::steady_clock;

// The state goes out at most this often while pages are written: a page takes a few
// milliseconds, and a page in the browser needs a few updates a second, not thousands.
constexpr std::chrono::milliseconds PublishEvery{250};

long wholeSeconds(Clock::duration duration) {
  return static_cast<long>(std::chrono::duration_cast<std::chrono::seconds>(duration).count());
}

}  // namespace

struct UpdateJobs::Job {
  std::optional<std::string> serial;
  std::string location;
  unsigned long order = 0;
  std::thread thread;

  mutable std::mutex guard;
  bool running = true;
  bool begun = false;  // the camera's turn came, and the update began
  unsigned written = 0;
  unsigned pages = 0;
  Clock::time_point start{};
  Clock::duration sinceStart{};
  PagePace pace;
  std::optional<UpdateVerdict> verdict;
  std::optional<Clock::time_point> lastPublished;

  std::string name() const { return serial.value_or(location); }

  // {"serial_number", "location", "stage", "pages_written", "pages", "seconds_elapsed",
  // "seconds_left", "verdict"}: docs/panel-api.md.
  std::string json() const {
    const std::lock_guard<std::mutex> lock(guard);
    Json state;
    state["serial_number"] = serial ? Json(*serial) : Json(nullptr);
    state["location"] = location;
    state["stage"] = verdict        ? "finished"
                     : !begun       ? "waiting"
                     : written == 0 ? "erasing"
                                    : "downloading";
    state["pages_written"] = written;
    state["pages"] = pages;
    state["seconds_elapsed"] = wholeSeconds(sinceStart);
    const std::optional<Clock::duration> left =
        verdict ? std::optional<Clock::duration>() : pace.timeLeft(written, pages, sinceStart);
    state["seconds_left"] = left ? Json(wholeSeconds(*left)) : Json(nullptr);
    if (verdict) {
      state["verdict"] = {
          {"code", verdict->code},
          {"text", verdictLine(*verdict, pages, sinceStart)},
          {"failure", verdict->failure.empty() ? Json(nullptr) : Json(verdict->failure)}};
    } else {
      state["verdict"] = nullptr;
    }
    return state.dump();
  }
};

UpdateJobs::UpdateJobs(PanelEvents& events, CameraAccess& access)
    : events_(events), access_(access) {}

UpdateJobs::~UpdateJobs() {
  for (auto& [location, job] : jobs_) {
    job->thread.join();
  }
}

std::optional<std::string> UpdateJobs::start(std::unique_ptr<Camera> camera,
                                             std::vector<unsigned char> image, unsigned pages) {
  const std::lock_guard<std::mutex> lock(guard_);
  const std::string location = camera->location();
  std::shared_ptr<Job>& slot = jobs_[location];
  if (slot) {
    if (runningAt(*slot)) {
      return std::nullopt;
    }
    slot->thread.join();  // done: its verdict is in
  }
  auto job = std::make_shared<Job>();
  job->serial = camera->serialNumber();
  job->location = location;
  job->order = ++started_;
  job->pages = pages;
  try {
    job->thread = std::thread([this, job, camera = std::move(camera), image = std::move(image)] {
      run(*job, *camera, image);
    });
  } catch (const std::exception&) {
    jobs_.erase(location);  // never started: nothing sent to the camera
    throw;
  }
  slot = job;
  const std::string state = job->json();
  events_.publish({"update", state});
  return state;
}

bool UpdateJobs::runningAt(const Job& job) {
  const std::lock_guard<std::mutex> lock(job.guard);
  return job.running;
}

bool UpdateJobs::runningAt(const std::string& location) const {
  const std::lock_guard<std::mutex> lock(guard_);
  const auto job = jobs_.find(location);
  return job != jobs_.end() && runningAt(*job->second);
}

void UpdateJobs::run(Job& job, Camera& camera, const std::vector<unsigned char>& image) {
  {
    // start() holds this until it has told the update's first state, which comes before all
    // the thread tells.
    const std::lock_guard<std::mutex> lock(guard_);
  }
  const std::lock_guard<std::timed_mutex> turn(access_.turnOf(job.location));
  {
    const std::lock_guard<std::mutex> lock(job.guard);
    job.begun = true;
    job.start = Clock::now();
  }
  UpdateVerdict verdict;
  try {
    verdict = camera.updateFirmware(image, [this, &job](unsigned written, unsigned pages) {
      // Called from the camera API's C code: nothing may be thrown through it.
      try {
        tell(job, written, pages);
      } catch (...) {
      }
    });
  } catch (const std::exception& error) {
    verdict = {OPTIQON_UPGRADER_DOWNLOAD_FAILED, error.what()};
  }
  {
    const std::lock_guard<std::mutex> lock(job.guard);
    job.sinceStart = Clock::now() - job.start;
    job.verdict = verdict;
    job.running = false;
  }
  events_.publish({"update", job.json()});
}

void UpdateJobs::tell(Job& job, unsigned written, unsigned pages) {
  bool due = false;
  {
    const std::lock_guard<std::mutex> lock(job.guard);
    const Clock::time_point now = Clock::now();
    const bool firstPage = written > 0 && job.written == 0;
    job.written = written;
    job.pages = pages;
    job.sinceStart = now - job.start;
    job.pace.note(written, job.sinceStart);
    due =
        written == 0 || firstPage || !job.lastPublished || now - *job.lastPublished >= PublishEvery;
    if (due) {
      job.lastPublished = now;
    }
  }
  if (due) {
    events_.publish({"update", job.json()});
  }
}

std::optional<std::string> UpdateJobs::stateOf(const CameraAddress& address) const {
  const std::lock_guard<std::mutex> lock(guard_);
  const Job* last = nullptr;
  for (const auto& [location, job] : jobs_) {
    const bool named = job->serial.value_or(UnknownSerial) == address.serial &&
                       (!address.location || *address.location == location);
    if (named && (!last || job->order > last->order)) {
      last = job.get();
    }
  }
  if (!last) {
    return std::nullopt;
  }
  return last->json();
}

std::vector<PanelEvent> UpdateJobs::events() const {
  const std::lock_guard<std::mutex> lock(guard_);
  std::vector<const Job*> jobs;
  for (const auto& [location, job] : jobs_) {
    jobs.push_back(job.get());
  }
  std::sort(jobs.begin(), jobs.end(),
            [](const Job* a, const Job* b) { return a->order < b->order; });
  std::vector<PanelEvent> events;
  for (const Job* job : jobs) {
    events.push_back({"update", job->json()});
  }
  return events;
}

std::vector<std::string> UpdateJobs::running() const {
  const std::lock_guard<std::mutex> lock(guard_);
  std::vector<std::string> names;
  for (const auto& [location, job] : jobs_) {
    if (runningAt(*job)) {
      names.push_back(job->name());
    }
  }
  return names;
}
