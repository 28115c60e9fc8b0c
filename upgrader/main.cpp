#include <cstdio>

#include "run_modes.h"

int main(int argc, char** argv) {
  return runUpgrader(argc, argv, stdout);
}
