// Running a built program or a tool as a shell command, for the tests that check what users and
// hosts meet outside the test process.
#pragma once

#include <sys/wait.h>

#include <cstdio>
#include <set>
#include <sstream>
#include <string>
#include <utility>

// The command's exit code (-1 when it did not end normally) and its standard output.
inline std::pair<int, std::string> runCommand(const std::string& command) {
  std::string output;
  std::FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) {
    return {-1, output};
  }
  char buffer[4096];
  for (std::size_t got; (got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) {
    output.append(buffer, got);
  }
  const int status = pclose(pipe);
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, output};
}

// The names a shared library exports, as `nm -D` lists its defined dynamic symbols; empty when
// nm fails.
inline std::set<std::string> exportedNames(const std::string& library) {
  const auto [code, symbols] =
      runCommand("nm -D --defined-only '" + library + "' | awk '{print $3}'");
  std::set<std::string> names;
  if (code != 0) {
    return names;
  }
  std::istringstream lines(symbols);
  for (std::string name; std::getline(lines, name);) {
    names.insert(name);
  }
  return names;
}
