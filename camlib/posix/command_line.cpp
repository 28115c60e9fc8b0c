#include "command_line.h"

namespace {

bool isBlank(char c) {
  return c == ' ' || c == '\t';
}

}  // namespace

std::vector<std::string> splitCommandLine(const std::string& commandLine) {
  std::vector<std::string> arguments;
  std::string current;
  bool inArgument = false;
  bool quoted = false;
  for (std::size_t i = 0; i < commandLine.size();) {
    const char c = commandLine[i];
    if (isBlank(c) && !quoted) {
      if (inArgument) {
        arguments.push_back(current);
        current.clear();
        inArgument = false;
      }
      ++i;
      continue;
    }
    inArgument = true;
    if (c == '\\') {
      std::size_t backslashes = 0;
      while (i < commandLine.size() && commandLine[i] == '\\') {
        ++backslashes;
        ++i;
      }
      if (i < commandLine.size() && commandLine[i] == '"') {
        current.append(backslashes / 2, '\\');
        if (backslashes % 2 == 1) {
          current += '"';
          ++i;
        }
      } else {
        current.append(backslashes, '\\');
      }
      continue;
    }
    if (c == '"') {
      if (quoted && i + 1 < commandLine.size() && commandLine[i + 1] == '"') {
        current += '"';
        i += 2;
      } else {
        quoted = !quoted;
        ++i;
      }
      continue;
    }
    current += c;
    ++i;
  }
  if (inArgument) {
    arguments.push_back(current);
  }
  return arguments;
}
