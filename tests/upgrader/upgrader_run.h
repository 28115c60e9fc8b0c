// One run of the upgrader in this process, as `main` would run it, with what it printed kept:
// the same for the simulated camera and the hidraw fakes.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "run_modes.h"

struct UpgraderRun {
  int exitCode;
  std::string output;
};

// Runs the program with these arguments (not counting the program name).
inline UpgraderRun runUpgraderWith(const std::vector<std::string>& arguments) {
  std::vector<std::string> storage{"optiqon_fw_upgrader"};
  storage.insert(storage.end(), arguments.begin(), arguments.end());
  std::vector<char*> argv;
  for (std::string& argument : storage) {
    argv.push_back(argument.data());
  }
  argv.push_back(nullptr);

  std::FILE* out = std::tmpfile();
  const int exitCode = runUpgrader(static_cast<int>(storage.size()), argv.data(), out);
  std::string output;
  std::rewind(out);
  for (int c; (c = std::fgetc(out)) != EOF;) {
    output += static_cast<char>(c);
  }
  std::fclose(out);
  return {exitCode, output};
}
