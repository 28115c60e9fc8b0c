// Reference counting as COM counts, for the objects the Linux media backend hands out: every
// interface of an object shares one count, a caller's reference is released exactly once, and the
// object goes when the last one is.
#pragma once

#include <cstddef>

#include "media_services.h"

// Objects made and not yet destroyed: 0 once every caller has released what it was given.
std::size_t liveMediaObjects();

namespace media_linux {

void countObjectMade();
void countObjectDestroyed();

template <typename... Interfaces>
class ComObject : public Interfaces... {
 public:
  ComObject() { countObjectMade(); }
  ComObject(const ComObject&) = delete;
  ComObject& operator=(const ComObject&) = delete;

  ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
  ULONG STDMETHODCALLTYPE Release() override {
    const ULONG left = --references_;
    if (left == 0) {
      delete this;
    }
    return left;
  }

 protected:
  virtual ~ComObject() { countObjectDestroyed(); }

  // Hands out one interface of this object, with a reference for the caller.
  template <typename Interface>
  HRESULT give(Interface* face, void** object) {
    face->AddRef();
    *object = face;
    return S_OK;
  }

 private:
  ULONG references_ = 1;
};

}  // namespace media_linux
