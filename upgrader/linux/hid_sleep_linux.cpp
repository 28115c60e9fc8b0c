// The HID seam's Sleep, in a file of its own: a program that links both Linux backends (the
// camera API) takes the one of whichever backend comes first, and both sleep alike.
#include "../hid_services.h"
#include "hidraw_system.h"

extern "C" void Sleep(DWORD milliseconds) {
  hidrawSystem().sleepMilliseconds(milliseconds);
}
