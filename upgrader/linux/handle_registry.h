// The objects behind the handles the backend hands out: a handle is the object's address. A
// handle the registry does not hold (never handed out, or already closed) is refused, never
// followed, so a caller's stale or made-up handle fails as on Windows instead of crashing.
// Threads may open, use and close handles at once (the camera API flashes several cameras from
// threads of one process), so the registry is guarded; an object in use is the caller's own.
#pragma once

#include <map>
#include <memory>
#include <mutex>

namespace hidraw {

template <typename Object>
class HandleRegistry {
 public:
  Object* add(std::unique_ptr<Object> object) {
    const std::lock_guard<std::mutex> lock(mutex_);
    Object* handle = object.get();
    objects_.emplace(handle, std::move(object));
    return handle;
  }

  // The object behind `handle`, or null.
  Object* find(const void* handle) const {
    const std::lock_guard<std::mutex> lock(mutex_);
    const auto found = objects_.find(static_cast<const Object*>(handle));
    return found != objects_.end() ? found->second.get() : nullptr;
  }

  // Destroys the object behind `handle`, outside the lock; false when there is none.
  bool remove(const void* handle) {
    std::unique_ptr<Object> removed;
    const std::lock_guard<std::mutex> lock(mutex_);
    const auto found = objects_.find(static_cast<const Object*>(handle));
    if (found == objects_.end()) {
      return false;
    }
    removed = std::move(found->second);
    objects_.erase(found);
    return true;
  }

 private:
  mutable std::mutex mutex_;
  std::map<const Object*, std::unique_ptr<Object>> objects_;
};

}  // namespace hidraw
