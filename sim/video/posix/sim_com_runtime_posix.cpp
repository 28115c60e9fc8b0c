// COM's start and its task allocator off Windows, where the simulated PC is the whole system the
// library sees. On Windows they are the platform's own, which the library frees its blocks with.
#include <cstdlib>

#include "../../../camlib/media_services.h"
#include "../sim_video_world.h"

extern "C" {

// Declared by the media seam, served under their own names, as every platform function is off
// Windows.
HRESULT CoInitializeEx(LPVOID, DWORD) {
  sim::ensureVideoScenarioLoaded();
  return S_OK;
}

// The library frees these blocks with std::free, so they come from std::malloc. As COM's do, a
// block of no bytes is still a distinct block.
LPVOID CoTaskMemAlloc(std::size_t size) {
  sim::ensureVideoScenarioLoaded();
  void* block = std::malloc(size == 0 ? 1 : size);
  if (block != nullptr) {
    const auto held = sim::holdVideoWorld();
    ++sim::videoWorld().blocksAllocated;
  }
  return block;
}

}  // extern "C"
