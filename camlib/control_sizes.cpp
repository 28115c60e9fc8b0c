#include "control_sizes.h"

namespace {

// Numbers 1 to 31 are the controls of the first extension unit, 32 to 39 those of the second.
// Most carry one byte; the password and a few settings two, numbers 20 and 21 four.
ControlSizeMap initialSizes() {
  ControlSizeMap sizes;
  for (std::int32_t number = 1; number <= 39; ++number) {
    sizes[number] = 1;
  }
  for (std::int32_t number : {6, 23, 24, 25, 36, 39}) {
    sizes[number] = 2;
  }
  sizes[20] = 4;
  sizes[21] = 4;
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
