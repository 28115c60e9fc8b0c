// Standard output on Windows. The library's DLL shares the C runtime (msvcrt.dll) with the tool
// in the mingw-w64 build, so turning descriptor 1 turns the library's stdout too; the process's
// standard handle is turned with it, for code that writes through the handle.
#include "../console_streams.h"

#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <climits>
#include <cstdio>

namespace console {

namespace {

void setStandardHandle() {
  const auto handle = reinterpret_cast<HANDLE>(_get_osfhandle(StandardOutput));
  if (handle != INVALID_HANDLE_VALUE) {
    SetStdHandle(STD_OUTPUT_HANDLE, handle);
  }
}

}  // namespace

int saveOutput() {
  return _dup(StandardOutput);
}

bool redirectOutput(int descriptor) {
  if (_dup2(descriptor, StandardOutput) != 0) {
    return false;
  }
  setStandardHandle();
  return true;
}

bool makePipe(int ends[2]) {
  return _pipe(ends, 64 * 1024, _O_BINARY | _O_NOINHERIT) == 0;
}

void closeDescriptor(int descriptor) {
  _close(descriptor);
}

long readSome(int descriptor, char* buffer, std::size_t size) {
  const int got = _read(descriptor, buffer, static_cast<unsigned>(size > INT_MAX ? INT_MAX : size));
  // A pipe whose writers are gone ends as an error, not as 0.
  return got < 0 && GetLastError() == ERROR_BROKEN_PIPE ? 0 : got;
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

namespace {

// A handler rather than SetConsoleCtrlHandler(nullptr, TRUE): ignoring Ctrl-C that way is
// inherited by the upgrader, which could then not be stopped at all.
BOOL WINAPI letThroughToUpgrader(DWORD event) {
  return event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT ? TRUE : FALSE;
}

}  // namespace

InterruptsLeftToUpgrader::InterruptsLeftToUpgrader() {
  SetConsoleCtrlHandler(letThroughToUpgrader, TRUE);
}

InterruptsLeftToUpgrader::~InterruptsLeftToUpgrader() {
  SetConsoleCtrlHandler(letThroughToUpgrader, FALSE);
}

}  // namespace console
