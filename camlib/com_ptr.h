// Holds one reference on a COM interface for the length of a call and gives it up on every way
// out, so that no path through a multi-step platform exchange leaks an interface.
#pragma once

#include "media_services.h"

template <typename Interface>
class ComPtr {
 public:
  ComPtr() = default;
  ~ComPtr() { reset(); }
  ComPtr(const ComPtr&) = delete;
  ComPtr& operator=(const ComPtr&) = delete;

  Interface* get() const { return pointer_; }
  Interface* operator->() const { return pointer_; }
  explicit operator bool() const { return pointer_ != nullptr; }

  // For calls that hand out a new reference through a `void**` out-parameter.
  void** out() {
    reset();
    return reinterpret_cast<void**>(&pointer_);
  }

  void reset() {
    if (pointer_ != nullptr) {
      pointer_->Release();
      pointer_ = nullptr;
    }
  }

 private:
  Interface* pointer_ = nullptr;
};

// A platform call that hands back an object and returns S_OK without one has failed all the
// same: the library takes E_POINTER for its result, as the call gives when it has nowhere to put
// the object. Any other result stands as it is.
inline HRESULT objectResult(HRESULT result, const void* object) {
  return result == S_OK && object == nullptr ? E_POINTER : result;
}
