// xdg-open, started with the address as its one argument (no shell), its output on the null
// device so that nothing the browser says lands in the panel's own output; waited for on a thread
// of its own, which says so when it could not open a browser.
#include "../open_browser.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

#include <cstring>
#include <thread>

#include "../../output_format.h"

extern char** environ;

namespace {

void sayNotOpened(const std::string& why) {
  printProblem("cannot open a browser (" + why + "): open the address above in one");
}

}  // namespace

void openInBrowser(const std::string& url) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  char program[] = "xdg-open";
  std::string address = url;
  char* arguments[] = {program, address.data(), nullptr};
  pid_t child = 0;
  const int error = posix_spawnp(&child, program, &actions, nullptr, arguments, environ);
  posix_spawn_file_actions_destroy(&actions);
  if (error != 0) {
    sayNotOpened(std::string("xdg-open: ") + std::strerror(error));
    return;
  }
  std::thread([child] {
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
      sayNotOpened("xdg-open failed");
    }
  }).detach();
}
