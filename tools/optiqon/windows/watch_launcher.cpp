// optiqon-watch.exe, what Windows starts at each user's logon (the installer's Run value): it
// starts the watcher, optiqon.exe beside it, as `optiqon watch --log-file
// %LOCALAPPDATA%\Optiqon\watch.log` with no window, and returns. It is a program of the Windows
// subsystem, so that no console window shows even for a moment; it shows nothing at all, and says
// that the watcher could not be started only by its exit code. The watcher itself keeps one for
// each user running (its lock), so a second start ends at once.
#include <windows.h>
// After windows.h, which they need.
#include <knownfolders.h>
#include <shlobj.h>

#include <optional>
#include <string>

namespace {

enum LaunchResult { Started = 0, NotStarted = 1 };

// The folder this program was started from, where the installer put optiqon.exe too.
std::optional<std::wstring> ownFolder() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (length == 0) {
      return std::nullopt;
    }
    if (length < path.size()) {
      path.resize(length);
      break;
    }
    if (path.size() >= 32768) {  // longer than any path Windows takes
      return std::nullopt;
    }
    path.resize(path.size() * 2);
  }
  const std::size_t separator = path.find_last_of(L'\\');
  if (separator == std::wstring::npos) {
    return std::nullopt;
  }
  return path.substr(0, separator);
}

// %LOCALAPPDATA%\Optiqon, made when missing: local, not roaming, since a log belongs to one PC.
std::optional<std::wstring> logFolder() {
  PWSTR localAppData = nullptr;
  if (FAILED(
          SHGetKnownFolderPath(FOLDERID_LocalAppData, KF_FLAG_DEFAULT, nullptr, &localAppData))) {
    return std::nullopt;
  }
  std::wstring folder = std::wstring(localAppData) + L"\\Optiqon";
  CoTaskMemFree(localAppData);
  if (CreateDirectoryW(folder.c_str(), nullptr) == 0 && GetLastError() != ERROR_ALREADY_EXISTS) {
    return std::nullopt;
  }
  return folder;
}

// A path in double quotes: Windows paths hold no quote, and these end in a file's name, so that
// no backslash stands before the closing quote.
std::wstring quoted(const std::wstring& path) {
  return L"\"" + path + L"\"";
}

LaunchResult startWatcher() {
  const std::optional<std::wstring> programs = ownFolder();
  const std::optional<std::wstring> logs = logFolder();
  if (!programs || !logs) {
    return NotStarted;
  }
  const std::wstring tool = *programs + L"\\optiqon.exe";
  std::wstring commandLine = quoted(tool) + L" watch --log-file " + quoted(*logs + L"\\watch.log");
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process{};
  // The watcher works in its log's folder rather than here, so that it holds no folder of the
  // installation open while it runs.
  if (CreateProcessW(tool.c_str(), commandLine.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW,
                     nullptr, logs->c_str(), &startup, &process) == 0) {
    return NotStarted;
  }
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return Started;
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  return startWatcher();
}
