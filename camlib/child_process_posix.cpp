#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

#include "child_process.h"
#include "command_line.h"

extern char** environ;

namespace {

struct FileActions {
  posix_spawn_file_actions_t actions;
  FileActions() { posix_spawn_file_actions_init(&actions); }
  ~FileActions() { posix_spawn_file_actions_destroy(&actions); }
};

}  // namespace

bool ChildProcess::start(const std::string& commandLine) {
  finish();
  const std::vector<std::string> arguments = splitCommandLine(commandLine);
  if (arguments.empty()) {
    return false;
  }
  int pipeEnds[2];
  if (pipe2(pipeEnds, O_CLOEXEC) != 0) {
    return false;
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
    return false;
  }
  process_ = child;
  output_ = fdopen(pipeEnds[0], "r");
  if (output_ == nullptr) {
    close(pipeEnds[0]);
    finish();
    return false;
  }
  return true;
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
