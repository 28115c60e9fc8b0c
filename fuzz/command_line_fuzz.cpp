// libFuzzer target: the splitting of a command line into arguments as a Windows program's
// start-up code does it. The input is split as it stands, which must simply end; then it is read
// as a list of arguments separated by NUL bytes (which no argument can hold), each argument is
// quoted by the command-line tool's own quoting, the one it hands the upgrader its image path
// with, and the command line so made must split back into exactly that list. The seed corpus in
// fuzz/corpus/command_line_fuzz holds command lines the library builds and lists of arguments with
// blanks, quotes and backslashes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "command_line.h"
#include "command_line_quoting.h"

namespace {

void require(bool promise) {
  if (!promise) {
    std::abort();
  }
}

std::vector<std::string> argumentsOf(std::string_view input) {
  std::vector<std::string> arguments;
  if (input.empty()) {
    return arguments;
  }
  std::size_t start = 0;
  for (std::size_t end = input.find('\0'); end != std::string_view::npos;
       end = input.find('\0', start)) {
    arguments.emplace_back(input.substr(start, end - start));
    start = end + 1;
  }
  arguments.emplace_back(input.substr(start));
  return arguments;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const std::vector<std::string> split = splitCommandLine(std::string(input));
  // An argument is never longer than the line it came from.
  std::size_t characters = 0;
  for (const std::string& argument : split) {
    characters += argument.size();
  }
  require(characters <= size);

  const std::vector<std::string> arguments = argumentsOf(input);
  std::string commandLine;
  for (const std::string& argument : arguments) {
    commandLine += (commandLine.empty() ? "" : " ") + quotedArgument(argument);
  }
  require(splitCommandLine(commandLine) == arguments);
  return 0;
}
