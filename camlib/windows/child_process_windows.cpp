// The child process on Windows: CreateProcess with the whole command line, which the child's
// start-up code splits itself, and an inherited pipe as its standard output, read in text mode
// (CR LF arrives as LF, a lone CR unchanged) as a console program's output is.
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <string>
#include <vector>

#include "child_process.h"

namespace {

HANDLE processOf(long long process) {
  return reinterpret_cast<HANDLE>(process);
}

// CreateProcess names a program that does not exist, or a folder on its way that does not, with
// these two errors.
bool programIsMissing(DWORD error) {
  return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

// The program CreateProcess starts when it is given only a command line: the quoted text at the
// line's start, or else its first word.
std::string programOf(const std::string& commandLine) {
  const std::size_t start = commandLine.find_first_not_of(" \t");
  if (start == std::string::npos) {
    return commandLine;
  }
  if (commandLine[start] == '"') {
    const std::size_t closing = commandLine.find('"', start + 1);
    return commandLine.substr(
        start + 1, closing == std::string::npos ? std::string::npos : closing - start - 1);
  }
  const std::size_t end = commandLine.find_first_of(" \t", start);
  return commandLine.substr(start, end == std::string::npos ? std::string::npos : end - start);
}

}  // namespace

ChildStart ChildProcess::start(const std::string& commandLine) {
  finish();
  program_ = programOf(commandLine);
  SECURITY_ATTRIBUTES inheritable{};
  inheritable.nLength = sizeof inheritable;
  inheritable.bInheritHandle = TRUE;
  HANDLE readEnd = nullptr;
  HANDLE writeEnd = nullptr;
  if (!CreatePipe(&readEnd, &writeEnd, &inheritable, 0)) {
    return ChildStart::Failed;
  }
  // Only the write end goes to the child; the library keeps the read end to itself.
  SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);

  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  startup.hStdOutput = writeEnd;
  startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
  PROCESS_INFORMATION started{};
  std::vector<char> line(commandLine.begin(), commandLine.end());
  line.push_back('\0');
  const BOOL created = CreateProcessA(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr,
                                      nullptr, &startup, &started);
  const DWORD error = created ? ERROR_SUCCESS : GetLastError();
  CloseHandle(writeEnd);
  if (!created) {
    CloseHandle(readEnd);
    return programIsMissing(error) ? ChildStart::ProgramNotFound : ChildStart::Failed;
  }
  CloseHandle(started.hThread);
  process_ = reinterpret_cast<long long>(started.hProcess);

  const int descriptor = _open_osfhandle(reinterpret_cast<intptr_t>(readEnd), _O_RDONLY | _O_TEXT);
  if (descriptor == -1) {
    CloseHandle(readEnd);
    finish();
    return ChildStart::Failed;
  }
  output_ = _fdopen(descriptor, "rt");
  if (output_ == nullptr) {
    _close(descriptor);
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
  if (process_ != -1) {
    WaitForSingleObject(processOf(process_), INFINITE);
    CloseHandle(processOf(process_));
    process_ = -1;
  }
}
