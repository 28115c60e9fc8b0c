// The upgrader on the simulated camera: the same program, with the PC and the camera scripted
// by the scenario file that OPTIQON_SIM_CAMERA names.
#include <cstdio>

#include "run_modes.h"
#include "sim_hid_scenario.h"
#include "sim_hid_world.h"

int main(int argc, char** argv) {
  try {
    sim::applyHidScenario(sim::hidScenarioFromEnvironment());
  } catch (const sim::ScenarioError& error) {
    std::fprintf(stderr, "optiqon_fw_upgrader_sim: %s\n", error.what());
    return sim::ScenarioUnusable;
  }
  // The flash file follows the flash as the run changes it: nothing is left to write back.
  return runUpgrader(argc, argv, stdout);
}
