// Standard streams and console control events on Windows.
#include "../console_streams.h"

#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <atomic>

#ifndef ENABLE_VIRTUAL_TERMINAL_PROCESSING
#define ENABLE_VIRTUAL_TERMINAL_PROCESSING 0x0004
#endif

namespace console {

void openMissingStandardStreams() {
  for (int stream = 0; stream <= 2; ++stream) {
    if (_get_osfhandle(stream) == -1) {
      const int null = _open("NUL", _O_RDWR | _O_BINARY);
      if (null >= 0 && null != stream) {
        _dup2(null, stream);
        _close(null);
      }
    }
  }
}

void writeAll(int descriptor, std::string_view text) {
  while (!text.empty()) {
    const unsigned chunk = text.size() > 65536 ? 65536u : static_cast<unsigned>(text.size());
    const int written = _write(descriptor, text.data(), chunk);
    if (written <= 0) {
      return;
    }
    text.remove_prefix(static_cast<std::size_t>(written));
  }
}

bool isTerminal(int descriptor) {
  return _isatty(descriptor) != 0;
}

// Consoles before Windows 10 do not move the cursor when told to; those from it do once asked.
bool movesCursor(int descriptor) {
  const auto handle = reinterpret_cast<HANDLE>(_get_osfhandle(descriptor));
  DWORD mode = 0;
  if (handle == INVALID_HANDLE_VALUE || !GetConsoleMode(handle, &mode)) {
    return false;
  }
  return (mode & ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0 ||
         SetConsoleMode(handle, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0;
}

namespace {

std::atomic<int> interruptions{0};

void writeLine(std::string_view line) {
  DWORD written = 0;
  WriteFile(GetStdHandle(STD_ERROR_HANDLE), line.data(), static_cast<DWORD>(line.size()), &written,
            nullptr);
}

// Ctrl-C and Ctrl-Break: the first is deferred with its line; at the second the handler lets
// the event through, and the system ends the tool. Closing the console ends the process
// whatever a handler says: nothing to defer there.
BOOL WINAPI deferInterrupt(DWORD event) {
  if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT) {
    return FALSE;
  }
  if (interruptions.fetch_add(1) == 0) {
    writeLine(UpdateContinues);
    return TRUE;
  }
  writeLine(UpdateStopped);
  return FALSE;
}

}  // namespace

UpdateInterruptRule::UpdateInterruptRule() {
  interruptions = 0;
  SetConsoleCtrlHandler(deferInterrupt, TRUE);
}

UpdateInterruptRule::~UpdateInterruptRule() {
  SetConsoleCtrlHandler(deferInterrupt, FALSE);
}

}  // namespace console
