#include "sim_sleep.h"

#include "sim_clock.h"
#include "sim_import_slots.h"

// Sleep as the seams declare it: the platform's own declaration on Windows, the seams' elsewhere,
// repeated here since this layer includes neither seam.
#if defined(_WIN32)
#include <windows.h>
#else
#include "windows_base_types.h"
extern "C" void Sleep(DWORD milliseconds);
#endif

namespace sim {
namespace {

void (*beforeSleep)() = nullptr;

}  // namespace

void runBeforeSleep(void (*action)()) {
  beforeSleep = action;
}

}  // namespace sim

extern "C" {

void SIM_SERVED(Sleep)(DWORD milliseconds) {
  if (sim::beforeSleep != nullptr) {
    sim::beforeSleep();
  }
  sim::clock().sleepMs(milliseconds);
}

SIM_IMPORT_SLOT(Sleep);

}  // extern "C"
