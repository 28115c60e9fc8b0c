// The media seam's Sleep, in a file of its own: a program that links both Linux backends (the
// camera API) takes the one of whichever backend comes first, and both sleep alike.
#include "media_services.h"
#include "v4l2_system.h"

extern "C" void Sleep(DWORD milliseconds) {
  v4l2System().sleepMilliseconds(milliseconds);
}
