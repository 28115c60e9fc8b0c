// The COM objects of the Linux media backend: the shared COM plumbing, with every object counted,
// no call failed on purpose, and a refused QueryInterface nulling the caller's pointer, as COM
// asks.
#pragma once

#include <cstddef>
#include <optional>

#include "../com/com_objects.h"

// Objects made and not yet destroyed: 0 once every caller has released what it was given.
std::size_t liveMediaObjects();

namespace media_linux {

struct Hooks {
  static void objectMade();
  static void objectDestroyed();
  static std::optional<HRESULT> failure(com_objects::Call) { return std::nullopt; }
  static constexpr bool RefusalClearsObject = true;
};

}  // namespace media_linux
