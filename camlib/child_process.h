// A child process whose standard output the library reads through a pipe. The child is started
// directly, never through a command interpreter, so its argument text is only ever text.
#pragma once

#include <cstdio>
#include <string>

// How a start ended. A program that does not exist is told apart from a failure of the pipe or
// the process itself: a command interpreter would have said so in one line and run nothing.
enum class ChildStart { Started, ProgramNotFound, Failed };

class ChildProcess {
 public:
  // Starts the program that a command line names, with the rest of the line as its arguments,
  // split as a Windows program's start-up code splits them.
  ChildStart start(const std::string& commandLine);

  // The program that the last start named, as the platform finds it in the command line: the
  // one a start that ended in ProgramNotFound could not find.
  const std::string& program() const { return program_; }

  // The child's standard output, read as the platform's text mode reads it.
  std::FILE* output() const { return output_; }

  // Closes the pipe and waits for the child to end. A child still writing then finds its
  // output closed and ends.
  void finish();

  ChildProcess() = default;
  ~ChildProcess() { finish(); }
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

 private:
  std::string program_;
  std::FILE* output_ = nullptr;
  long long process_ = -1;
};
