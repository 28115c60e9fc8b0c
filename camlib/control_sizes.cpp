#include "control_sizes.h"

#include "OptiqonCamera.h"

namespace {

// Every control the camera has, with the bytes it carries.
ControlSizeMap initialSizes() {
  ControlSizeMap sizes;
  for (std::int32_t number = OPTIQON_FIRST_CONTROL; number <= OPTIQON_LAST_CONTROL; ++number) {
    sizes[number] = OptiqonControlLength(number);
  }
  return sizes;
}

// Filled while the library is loaded, before any export can run.
ControlSizeMap table = initialSizes();

}  // namespace

ControlSizeMap& ControlSizeTable() {
  return table;
}

std::int32_t& LookupControlSize(std::int32_t number) {
  return table[number];
}
