// Stop requests on Windows. One manual-reset event stands for every request: the console control
// handler sets it for Ctrl-C, Ctrl-Break and the console closing, a hidden window sets it when the
// session ends (logoff, shutdown). The watcher's event is named in the session's namespace so that
// `optiqon watch --stop` sets it from another process; any other command's has no name, so that
// stopping the watcher never stops a panel. The waits take it beside their own handles.
//
// The system ends the process as soon as the handler of a closing console, or the window told
// that the session ends, returns. Both hold on for up to a second: until the command is done (this
// object is destroyed) and its thread has left, so that the watcher's last line is written, its
// lock let go and its exit code its own.
#include "../stop_requests.h"

#include <windows.h>

#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>

#include "wait_milliseconds.h"
#include "watch_stop_event.h"

namespace console {

namespace {

constexpr DWORD EndingGraceMilliseconds = 1000;
constexpr const wchar_t* SessionWindowClass = L"OptiqonWatchSessionEnd";

// Shared with the handlers, which run on threads of their own: the lock keeps a handler from
// setting an event the destructor is closing. A handler takes its own copy of the command's
// thread, so that it never waits on a handle that is closed under it.
SRWLOCK requestsLock = SRWLOCK_INIT;
HANDLE stopEvent = nullptr;      // the living StopRequests' event; none between two
HANDLE commandThread = nullptr;  // the thread that made it
// Set while no StopRequests lives; made once and kept for the process, as the handlers are.
HANDLE finishedEvent = nullptr;
std::once_flag handlersInstalled;

bool isEnding(DWORD controlEvent) {
  return controlEvent == CTRL_CLOSE_EVENT || controlEvent == CTRL_LOGOFF_EVENT ||
         controlEvent == CTRL_SHUTDOWN_EVENT;
}

// Sets the stop event; when the process ends after the caller returns, waits for the command to be
// done first. Whether a StopRequests was there to take the request.
bool requestStop(bool processEnds) {
  bool taken = false;
  HANDLE thread = nullptr;
  AcquireSRWLockShared(&requestsLock);
  if (stopEvent != nullptr) {
    taken = SetEvent(stopEvent) != 0;
    if (processEnds && commandThread != nullptr) {
      DuplicateHandle(GetCurrentProcess(), commandThread, GetCurrentProcess(), &thread, SYNCHRONIZE,
                      FALSE, 0);
    }
  }
  ReleaseSRWLockShared(&requestsLock);
  if (taken && processEnds) {
    const ULONGLONG start = GetTickCount64();
    WaitForSingleObject(finishedEvent, EndingGraceMilliseconds);
    const ULONGLONG spent = GetTickCount64() - start;
    // The command's thread returning from main ends the process with the command's exit code,
    // and this thread with it.
    if (thread != nullptr && spent < EndingGraceMilliseconds) {
      WaitForSingleObject(thread, static_cast<DWORD>(EndingGraceMilliseconds - spent));
    }
  }
  if (thread != nullptr) {
    CloseHandle(thread);
  }
  return taken;
}

// Without a StopRequests the events get the default handling (Ctrl-C ends the process).
BOOL WINAPI onConsoleControl(DWORD controlEvent) {
  return requestStop(isEnding(controlEvent)) ? TRUE : FALSE;
}

// A process that has loaded user32 (this one has: the camera API's COM loads it) is told of a
// logoff or shutdown through its top-level windows, not through the console handler.
LRESULT CALLBACK onSessionMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_QUERYENDSESSION:
      return TRUE;
    case WM_ENDSESSION:
      if (wParam != FALSE) {
        requestStop(true);
      }
      return 0;
    default:
      return DefWindowProcW(window, message, wParam, lParam);
  }
}

// The hidden window, never shown, on a thread that serves its messages for as long as the process
// lives: the system keeps the process waiting for its answer, so the thread must be free.
void serveSessionWindow() {
  const HINSTANCE instance = GetModuleHandleW(nullptr);
  WNDCLASSEXW windowClass{};
  windowClass.cbSize = sizeof(windowClass);
  windowClass.lpfnWndProc = onSessionMessage;
  windowClass.hInstance = instance;
  windowClass.lpszClassName = SessionWindowClass;
  if (RegisterClassExW(&windowClass) == 0) {
    return;
  }
  // A top-level window, not a message-only one: those hear no session's end.
  if (CreateWindowExW(0, SessionWindowClass, L"", WS_OVERLAPPED, 0, 0, 0, 0, nullptr, nullptr,
                      instance, nullptr) == nullptr) {
    return;  // no desktop (a service's session): the console handler is all there is
  }
  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    DispatchMessageW(&message);
  }
}

void installHandlers() {
  finishedEvent = CreateEventW(nullptr, TRUE, TRUE, nullptr);
  if (finishedEvent == nullptr) {
    throw std::runtime_error("cannot make the event that a stop request waits on");
  }
  SetConsoleCtrlHandler(onConsoleControl, TRUE);
  std::thread(serveSessionWindow).detach();
}

}  // namespace

StopRequests::StopRequests(StopFromOutside outside) {
  std::call_once(handlersInstalled, installHandlers);
  const wchar_t* name = outside == StopFromOutside::watchStop ? WatchStopEventName : nullptr;
  HANDLE event = CreateEventW(nullptr, TRUE, FALSE, name);
  if (event == nullptr) {
    throw std::runtime_error("cannot make the event that stop requests set (" +
                             std::to_string(GetLastError()) + ")");
  }
  // The name may be held open still by a process that set it for a watcher before this one.
  ResetEvent(event);
  HANDLE thread = nullptr;
  DuplicateHandle(GetCurrentProcess(), GetCurrentThread(), GetCurrentProcess(), &thread,
                  SYNCHRONIZE, FALSE, 0);
  ResetEvent(finishedEvent);
  AcquireSRWLockExclusive(&requestsLock);
  stopEvent = event;
  commandThread = thread;
  ReleaseSRWLockExclusive(&requestsLock);
}

StopRequests::~StopRequests() {
  AcquireSRWLockExclusive(&requestsLock);
  HANDLE event = stopEvent;
  HANDLE thread = commandThread;
  stopEvent = nullptr;
  commandThread = nullptr;
  ReleaseSRWLockExclusive(&requestsLock);
  SetEvent(finishedEvent);
  CloseHandle(event);
  if (thread != nullptr) {
    CloseHandle(thread);
  }
}

bool StopRequests::requested() const {
  return WaitForSingleObject(stopEvent, 0) == WAIT_OBJECT_0;
}

bool StopRequests::waitFor(std::chrono::milliseconds timeout) const {
  return WaitForSingleObject(stopEvent, waitMilliseconds(timeout)) == WAIT_OBJECT_0;
}

std::intptr_t StopRequests::waitable() const {
  return reinterpret_cast<std::intptr_t>(stopEvent);
}

}  // namespace console
