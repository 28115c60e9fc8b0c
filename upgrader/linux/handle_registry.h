// The objects behind the handles the backend hands out: a handle is the object's address. A
// handle the registry does not hold (never handed out, or already closed) is refused, never
// followed, so a caller's stale or made-up handle fails as on Windows instead of crashing.
#pragma once

#include <map>
#include <memory>

namespace hidraw {

template <typename Object>
class HandleRegistry {
 public:
  Object* add(std::unique_ptr<Object> object) {
    Object* handle = object.get();
    objects_.emplace(handle, std::move(object));
    return handle;
  }

  // The object behind `handle`, or null.
  Object* find(const void* handle) const {
    const auto found = objects_.find(static_cast<const Object*>(handle));
    return found != objects_.end() ? found->second.get() : nullptr;
  }

  // Destroys the object behind `handle`; false when there is none.
  bool remove(const void* handle) {
    return objects_.erase(static_cast<const Object*>(handle)) != 0;
  }

 private:
  std::map<const Object*, std::unique_ptr<Object>> objects_;
};

}  // namespace hidraw
