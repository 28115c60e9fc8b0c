// The watcher's Windows backends on a real implementation of Windows' services (Wine): its stop
// requests (the session's named event, Ctrl-C), its lock and what the lock file tells, and the
// device events, fed through the window the system notifies (Wine has no configuration manager
// notifications, so the window is what listens here). Prints a line per check and the count.
#include <windows.h>
// After windows.h, which it needs.
#include <dbt.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "device_events.h"
#include "exit_codes.h"
#include "stop_requests.h"
#include "watcher_lock.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

int passed = 0;
int failed = 0;

void check(bool condition, const std::string& what) {
  std::printf("%s: %s\n", condition ? "ok" : "FAILED", what.c_str());
  (condition ? passed : failed)++;
}

milliseconds since(Clock::time_point start) {
  return std::chrono::duration_cast<milliseconds>(Clock::now() - start);
}

// What `optiqon watch --stop` does from another process.
bool setStopEventFromOutside() {
  const HANDLE event = OpenEventW(EVENT_MODIFY_STATE, FALSE, L"Local\\OptiqonWatchStop");
  if (event == nullptr) {
    return false;
  }
  const bool set = SetEvent(event) != 0;
  CloseHandle(event);
  return set;
}

std::string fileText(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

void writeFile(const fs::path& file, const std::string& text) {
  std::ofstream(file, std::ios::binary | std::ios::trunc) << text;
}

std::string described(const std::optional<RunningWatcher>& watcher) {
  return watcher ? std::to_string(watcher->process) + " " + std::to_string(watcher->holdSeconds)
                 : "none";
}

void checkStopRequests() {
  {
    const console::StopRequests stop;
    check(!setStopEventFromOutside(), "a panel's stop event has no name that watch --stop finds");
    check(!stop.requested(), "... and no request");
  }
  {
    const console::StopRequests stop(console::StopFromOutside::watchStop);
    check(!stop.requested(), "a new StopRequests has no request");
    const Clock::time_point start = Clock::now();
    check(!stop.waitFor(milliseconds(200)), "waitFor(200 ms) without a request says none");
    check(since(start) >= milliseconds(190), "waitFor(200 ms) waited the time");
    check(setStopEventFromOutside(), "the stop event is there for another process to set");
    check(stop.requested(), "the event set from outside is a request");
    const Clock::time_point woken = Clock::now();
    check(stop.waitFor(Forever), "waitFor(Forever) returns at a request");
    check(since(woken) < milliseconds(100), "... at once");
    check(WaitForSingleObject(reinterpret_cast<HANDLE>(stop.waitable()), 0) == WAIT_OBJECT_0,
          "waitable() is the event, set");
  }
  check(!setStopEventFromOutside(), "without a StopRequests the stop event is gone");
  {
    // Held open by another process, the name would outlive a watcher with its request set.
    const HANDLE kept = CreateEventW(nullptr, TRUE, TRUE, L"Local\\OptiqonWatchStop");
    const console::StopRequests stop(console::StopFromOutside::watchStop);
    check(!stop.requested(), "a StopRequests resets an event left set");
    CloseHandle(kept);
  }
  {
    const console::StopRequests stop;
    // Ctrl-C goes to the processes of a console: one started without (by ctest) makes its own.
    bool generated = GenerateConsoleCtrlEvent(CTRL_C_EVENT, 0) != 0;
    if (!generated) {
      FreeConsole();
      generated = AllocConsole() != 0 && GenerateConsoleCtrlEvent(CTRL_C_EVENT, 0) != 0;
    }
    check(generated, "Ctrl-C generated in the process's console");
    check(stop.waitFor(milliseconds(2000)), "Ctrl-C is a request");
  }
}

// The text on one line, its line ends shown.
std::string escaped(const std::string& text) {
  std::string shown;
  for (const char c : text) {
    shown += c == '\n' ? "\\n" : c == '\r' ? "\\r" : std::string(1, c);
  }
  return shown;
}

void checkLockText(const fs::path& lockFile, const std::string& text, const std::string& expected) {
  writeFile(lockFile, text);
  check(described(runningWatcher(lockFile)) == expected,
        "lock file \"" + escaped(text) + "\" held: " + expected);
}

void checkWatcherLock(const fs::path& work) {
  const fs::path lockFile = work / "watch.lock";
  check(watcherLockFile(work / "cameras") == lockFile, "watch.lock beside the cameras' folder");
  check(!runningWatcher(lockFile), "no lock file: no watcher");
  check(!askWatcherToStop(RunningWatcher{4242, 0}), "no watcher to ask to stop");
  {
    const console::StopRequests stop(console::StopFromOutside::watchStop);
    // Process 0 is never one that can be opened: nothing to wait for.
    const Clock::time_point start = Clock::now();
    check(askWatcherToStop(RunningWatcher{0, 0}), "a watcher asked to stop");
    check(stop.requested() && since(start) < milliseconds(1000),
          "... is told through its stop event, at once when its process is gone");
  }
  {
    writeFile(lockFile, "a longer text left by an earlier watcher\n");
    const std::unique_ptr<WatcherLock> lock = claimWatcherLock(lockFile, 7);
    check(lock != nullptr, "the lock is taken");
    const std::string own = std::to_string(GetCurrentProcessId());
    check(fileText(lockFile) == own + " 7\n", "the file says the process and its hold, alone");
    check(described(runningWatcher(lockFile)) == own + " 7", "runningWatcher reads them");
    check(claimWatcherLock(lockFile, 0) == nullptr, "a second claim finds the lock taken");
    checkLockText(lockFile, "4242 0\n", "4242 0");
    checkLockText(lockFile, "4294967295 4294967295\n", "4294967295 4294967295");
    for (const std::string& garbage : std::vector<std::string>{
             "", "4242 0", "4242 0\nx", "4242 0\r\n", "4242  0\n", " 4242 0\n", "0 5\n", "-1 0\n",
             "4294967296 0\n", "4242 4294967296\n", "00000000001 0\n", "4242\n", "x 0\n",
             std::string(40, '1') + " 0\n"}) {
      checkLockText(lockFile, garbage, "none");
    }
  }
  check(!runningWatcher(lockFile), "the lock let go: no watcher, whatever the file says");
  {
    const std::unique_ptr<WatcherLock> again = claimWatcherLock(lockFile, 0);
    check(again != nullptr && fileText(lockFile) == std::to_string(GetCurrentProcessId()) + " 0\n",
          "taken again, the file is written anew");
  }

  const fs::path other = work / "other.txt";
  writeFile(other, "a file of the user's");
  const fs::path linked = work / "linked.lock";
  check(CreateHardLinkW(linked.c_str(), other.c_str(), nullptr) != 0, "a hard link made");
  try {
    claimWatcherLock(linked, 0);
    check(false, "a lock file that is a second name of another file is refused");
  } catch (const CommandFailure& failure) {
    check(
        failure.exitCode() == Refused &&
            std::string(failure.what()).find("is a link or not a plain file") != std::string::npos,
        std::string("a hard-linked lock file is refused: ") + failure.what());
  }
  check(fileText(other) == "a file of the user's", "... and the other file is untouched");
  try {
    claimWatcherLock(work / "missing" / "watch.lock", 0);
    check(false, "a lock file in a missing folder is refused");
  } catch (const CommandFailure& failure) {
    check(std::string(failure.what()).find("cannot open the watcher's lock file") == 0,
          std::string("a lock file in a missing folder: ") + failure.what());
  }
}

HWND notificationWindow() {
  return FindWindowExW(HWND_MESSAGE, nullptr, L"OptiqonWatchDeviceEvents", nullptr);
}

// What the system sends the window when a device interface comes or goes.
void sendInterfaceChange(WPARAM change) {
  DEV_BROADCAST_DEVICEINTERFACE_W broadcast{};
  broadcast.dbcc_size = sizeof(broadcast);
  broadcast.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
  SendMessageW(notificationWindow(), WM_DEVICECHANGE, change, reinterpret_cast<LPARAM>(&broadcast));
}

std::string kinds(const std::vector<DeviceEvent>& events) {
  std::string text;
  for (const DeviceEvent& event : events) {
    text += event.kind == DeviceEvent::Kind::Arrived ? "arrived" : "left";
    text += "[" + event.location + "] ";
  }
  return text;
}

void checkDeviceEvents() {
  const console::StopRequests stop(console::StopFromOutside::watchStop);
  {
    const std::unique_ptr<DeviceEvents> events = watchDeviceEvents(stop);
    check(notificationWindow() != nullptr, "the window the system notifies is there");
    Clock::time_point start = Clock::now();
    check(events->wait(milliseconds(300)).empty(), "nothing plugged in: wait(300 ms) says none");
    check(since(start) >= milliseconds(290), "... after the time");
    sendInterfaceChange(DBT_DEVICEARRIVAL);
    check(kinds(events->wait(Forever)) == "arrived[] ", "an interface arriving is told");
    sendInterfaceChange(DBT_DEVICEREMOVECOMPLETE);
    sendInterfaceChange(DBT_DEVICEARRIVAL);
    check(kinds(events->wait(milliseconds(0))) == "left[] arrived[] ",
          "two changes before a wait are told together, in order");
    // Only the interfaces' own arrivals and removals: a volume's broadcast, a query, a change of
    // the tree without data.
    DEV_BROADCAST_HDR volume{};
    volume.dbch_size = sizeof(volume);
    volume.dbch_devicetype = DBT_DEVTYP_VOLUME;
    SendMessageW(notificationWindow(), WM_DEVICECHANGE, DBT_DEVICEARRIVAL,
                 reinterpret_cast<LPARAM>(&volume));
    sendInterfaceChange(DBT_DEVICEQUERYREMOVE);
    SendMessageW(notificationWindow(), WM_DEVICECHANGE, DBT_DEVNODES_CHANGED, 0);
    check(events->wait(milliseconds(200)).empty(), "other device messages are not events");
    check(events->wait(milliseconds(0)).empty(), "the queue is empty after a wait took it");

    sendInterfaceChange(DBT_DEVICEARRIVAL);
    check(setStopEventFromOutside(), "a stop requested");
    start = Clock::now();
    check(events->wait(Forever).empty(), "after a stop, wait says none, even with an event");
    check(since(start) < milliseconds(100), "... at once");
  }
  check(notificationWindow() == nullptr, "the window is gone with the events");
}

}  // namespace

int main() {
  wchar_t temporary[MAX_PATH + 1] = {};
  GetTempPathW(MAX_PATH + 1, temporary);
  const fs::path work =
      fs::path(temporary) / ("optiqon-watcher-check-" + std::to_string(GetCurrentProcessId()));
  fs::remove_all(work);
  fs::create_directories(work);
  try {
    checkStopRequests();
    checkWatcherLock(work);
    checkDeviceEvents();
  } catch (const std::exception& error) {
    check(false, std::string("no exception: ") + error.what());
  }
  std::error_code ignored;
  fs::remove_all(work, ignored);
  std::printf("%d passed, %d failed\n", passed, failed);
  return failed == 0 ? 0 : 1;
}
