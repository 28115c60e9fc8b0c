// The child process off Windows: posix_spawn with the command line split as a Windows program's
// start-up code splits it, and a pipe as its standard output.
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <vector>

#include "child_process.h"
#include "command_line.h"

extern char** environ;

namespace {

struct FileActions {
  posix_spawn_file_actions_t actions;
  FileActions() { posix_spawn_file_actions_init(&actions); }
  ~FileActions() { posix_spawn_file_actions_destroy(&actions); }
};

// Whether the error of a failed start means that there is no program at `path`: no such file, a
// path through something that is not a directory, or a directory on the way that may not be
// searched, so that the program cannot even be seen.
bool programIsMissing(int error, const std::string& path) {
  return error == ENOENT || error == ENOTDIR ||
         (error == EACCES && access(path.c_str(), F_OK) != 0);
}

}  // namespace

ChildStart ChildProcess::start(const std::string& commandLine) {
  finish();
  const std::vector<std::string> arguments = splitCommandLine(commandLine);
  program_ = arguments.empty() ? commandLine : arguments.front();
  if (arguments.empty()) {
    return ChildStart::Failed;
  }
  int pipeEnds[2];
  if (pipe2(pipeEnds, O_CLOEXEC) != 0) {
    return ChildStart::Failed;
  }
  FileActions files;
  posix_spawn_file_actions_adddup2(&files.actions, pipeEnds[1], STDOUT_FILENO);

  std::vector<char*> argv;
  for (const std::string& argument : arguments) {
    argv.push_back(const_cast<char*>(argument.c_str()));
  }
  argv.push_back(nullptr);

  pid_t child = -1;
  const int error =
      posix_spawn(&child, arguments.front().c_str(), &files.actions, nullptr, argv.data(), environ);
  close(pipeEnds[1]);
  if (error != 0) {
    close(pipeEnds[0]);
    return programIsMissing(error, arguments.front()) ? ChildStart::ProgramNotFound
                                                      : ChildStart::Failed;
  }
  process_ = child;
  output_ = fdopen(pipeEnds[0], "r");
  if (output_ == nullptr) {
    close(pipeEnds[0]);
    finish();
    return ChildStart::Failed;
  }
  return ChildStart::Started;
}

void ChildProcess::finish() {
  if (output_ != nullptr) {
    std::fclose(output_);
    output_ = nullptr;
  }
  if (process_ >= 0) {
    int status = 0;
    while (waitpid(static_cast<pid_t>(process_), &status, 0) < 0 && errno == EINTR) {
    }
    process_ = -1;
  }
}
