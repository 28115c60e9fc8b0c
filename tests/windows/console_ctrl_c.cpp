// Presses Ctrl-C in a program's console window, as its user does, for checks under Wine: runs the
// program in a console that it shares with this one, its standard streams this one's, and once a
// file of the given name exists, sends Ctrl-C to the console. Says on standard error how long the
// program took to end after it, and ends with the program's exit code.
//   console_ctrl_c <file> <program> [argument...]
// 124: the program still ran 10 s after Ctrl-C (it is then ended); 125: it ended before the file
// appeared; 126: the console or the program could not be made, or Ctrl-C not sent.
#include <windows.h>

#include <cstdio>
#include <string>

#include "command_line_quoting.h"

namespace {

constexpr DWORD EndingLimitMilliseconds = 10000;
constexpr DWORD FileLookMilliseconds = 50;
constexpr int StillRunning = 124;
constexpr int EndedEarly = 125;
constexpr int CannotRun = 126;

int said(int code, const std::string& text) {
  std::fprintf(stderr, "console_ctrl_c: %s\n", text.c_str());
  return code;
}

// This helper shares the console: the Ctrl-C it sends is the program's to answer, not its own.
BOOL WINAPI keepRunning(DWORD controlEvent) {
  return controlEvent == CTRL_C_EVENT ? TRUE : FALSE;
}

// The standard handle as the program inherits it; none when this process has none.
HANDLE inheritableCopy(DWORD which) {
  HANDLE copy = nullptr;
  if (!DuplicateHandle(GetCurrentProcess(), GetStdHandle(which), GetCurrentProcess(), &copy, 0,
                       TRUE, DUPLICATE_SAME_ACCESS)) {
    return nullptr;
  }
  return copy;
}

std::string commandLine(int argc, char** argv) {
  std::string line = quotedArgument(argv[2]);
  for (int i = 3; i < argc; ++i) {
    line += ' ' + quotedArgument(argv[i]);
  }
  return line;
}

bool fileExists(const char* name) {
  return GetFileAttributesA(name) != INVALID_FILE_ATTRIBUTES;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    return said(CannotRun, "usage: console_ctrl_c <file> <program> [argument...]");
  }
  STARTUPINFOA startup{};
  startup.cb = sizeof(startup);
  startup.dwFlags = STARTF_USESTDHANDLES;
  // Taken before the console is made, which puts its own handles in their place.
  startup.hStdInput = inheritableCopy(STD_INPUT_HANDLE);
  startup.hStdOutput = inheritableCopy(STD_OUTPUT_HANDLE);
  startup.hStdError = inheritableCopy(STD_ERROR_HANDLE);
  // A console of its own, with this helper and the program alone in it, whether or not this
  // process was started in one (from a terminal or from a test run).
  FreeConsole();
  if (!AllocConsole()) {
    return said(CannotRun, "cannot make a console (" + std::to_string(GetLastError()) + ")");
  }
  SetConsoleCtrlHandler(keepRunning, TRUE);

  std::string line = commandLine(argc, argv);
  PROCESS_INFORMATION program{};
  if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                      &program)) {
    return said(CannotRun, "cannot start " + line + " (" + std::to_string(GetLastError()) + ")");
  }
  DWORD code = 0;
  while (!fileExists(argv[1])) {
    if (WaitForSingleObject(program.hProcess, FileLookMilliseconds) == WAIT_OBJECT_0) {
      GetExitCodeProcess(program.hProcess, &code);
      return said(EndedEarly,
                  "the program ended before Ctrl-C, with exit code " + std::to_string(code));
    }
  }
  if (!GenerateConsoleCtrlEvent(CTRL_C_EVENT, 0)) {
    TerminateProcess(program.hProcess, CannotRun);
    return said(CannotRun, "cannot send Ctrl-C (" + std::to_string(GetLastError()) + ")");
  }
  const ULONGLONG sent = GetTickCount64();
  if (WaitForSingleObject(program.hProcess, EndingLimitMilliseconds) != WAIT_OBJECT_0) {
    TerminateProcess(program.hProcess, StillRunning);
    return said(StillRunning, "the program still ran 10 s after Ctrl-C: ended");
  }
  GetExitCodeProcess(program.hProcess, &code);
  said(0, "the program ended " + std::to_string(GetTickCount64() - sent) +
              " ms after Ctrl-C, with exit code " + std::to_string(code));
  return static_cast<int>(code);
}
