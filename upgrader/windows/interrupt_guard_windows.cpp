// Console control events: the first Ctrl-C or Ctrl-Break prints one line and is taken; the next
// one goes on to the default handler, which ends the process. Output to a closed pipe already
// fails quietly on Windows, so nothing else is needed.
#include <windows.h>

#include <atomic>
#include <cstring>

#include "../interrupt_guard.h"
#include "../upgrader_messages.h"

namespace {

std::atomic<bool> interrupted{false};

// Runs on a thread the system starts for the event.
BOOL WINAPI deferInterrupt(DWORD event) {
  if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT) {
    return FALSE;
  }
  if (interrupted.exchange(true)) {
    return FALSE;
  }
  const char* line = messages::DownloadContinues;
  DWORD written = 0;
  WriteFile(GetStdHandle(STD_ERROR_HANDLE), line, static_cast<DWORD>(std::strlen(line)), &written,
            nullptr);
  return TRUE;
}

}  // namespace

InterruptGuard::InterruptGuard() {
  interrupted = false;
  SetConsoleCtrlHandler(deferInterrupt, TRUE);
}

InterruptGuard::~InterruptGuard() {
  SetConsoleCtrlHandler(deferInterrupt, FALSE);
}
