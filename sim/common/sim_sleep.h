// Sleep, which both seams declare and both sides of the simulated PC serve on the scenario's
// clock: one function, here below both sides, so that a program that links both (the camera API)
// has one. A side that must act before any call it serves, as the video side reads its scenario
// at the first call, says so here.
#pragma once

namespace sim {

// `action` runs before each Sleep from now on.
void runBeforeSleep(void (*action)());

}  // namespace sim
