// Device events on Windows: the arrival and removal of device interfaces of the classes a
// camera's two sides appear in. The configuration manager's notifications
// (CM_Register_Notification, Windows 8 and later) call back on threads of the system's; where
// cfgmgr32.dll lacks them (Wine), a message-only window on a thread of its own is told instead
// (RegisterDeviceNotification). Either way a notification only queues an event and wakes the
// wait: the cameras are looked at on the command's thread, never in the system's callback.
//
// Windows does not say which USB device an interface that left belonged to (its node is gone by
// then), so the events carry no location: the watcher looks at the cameras again.
#include <windows.h>
// After windows.h, which it needs.
#include <cfgmgr32.h>
#include <dbt.h>

#include <array>
#include <future>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "../device_events.h"
#include "../exit_codes.h"
#include "wait_milliseconds.h"

namespace {

// The HID interface class, the camera class under which Windows 10 and later list capture devices
// (the class of the paths the camera list is given), and the capture class under which earlier
// versions list them. The capture class holds microphones too: one plugged in only makes the
// watcher look at the cameras once more.
constexpr GUID HidInterfaceClass = {
    0x4D1E55B2, 0xF16F, 0x11CF, {0x88, 0xCB, 0x00, 0x11, 0x11, 0x00, 0x00, 0x30}};
constexpr GUID CameraInterfaceClass = {
    0xE5323777, 0xF976, 0x4F5B, {0x9B, 0x55, 0xB9, 0x46, 0x99, 0xC4, 0x6E, 0x44}};
constexpr GUID CaptureInterfaceClass = {
    0x65E8773D, 0x8F56, 0x11D0, {0xA3, 0xB9, 0x00, 0xA0, 0xC9, 0x22, 0x31, 0x96}};
constexpr std::array<GUID, 3> WatchedClasses = {HidInterfaceClass, CameraInterfaceClass,
                                                CaptureInterfaceClass};

constexpr const wchar_t* NotificationWindowClass = L"OptiqonWatchDeviceEvents";

CommandFailure cannotListen(const std::string& how, unsigned long code) {
  return CommandFailure(Refused, "cannot ask Windows to tell of cameras plugged in and out (" +
                                     how + " failed with " + std::to_string(code) + ")");
}

// The events heard and not yet taken, filled on the notifying threads.
class EventQueue {
 public:
  EventQueue() : ready_(CreateEventW(nullptr, FALSE, FALSE, nullptr)) {
    if (ready_ == nullptr) {
      throw cannotListen("CreateEvent", GetLastError());
    }
  }
  ~EventQueue() { CloseHandle(ready_); }
  EventQueue(const EventQueue&) = delete;
  EventQueue& operator=(const EventQueue&) = delete;

  void push(DeviceEvent::Kind kind) {
    {
      const std::lock_guard<std::mutex> hold(mutex_);
      events_.push_back({kind, std::string()});
    }
    SetEvent(ready_);
  }

  std::vector<DeviceEvent> take() {
    const std::lock_guard<std::mutex> hold(mutex_);
    std::vector<DeviceEvent> taken;
    taken.swap(events_);
    return taken;
  }

  // Set (and reset by the wait it wakes) at each event pushed.
  HANDLE ready() const { return ready_; }

 private:
  HANDLE ready_;
  std::mutex mutex_;
  std::vector<DeviceEvent> events_;
};

// A registration with the system; its destructor ends it, after which nothing is pushed.
class Notifications {
 public:
  virtual ~Notifications() = default;
};

using RegisterNotification = CONFIGRET(WINAPI*)(PCM_NOTIFY_FILTER, PVOID, PCM_NOTIFY_CALLBACK,
                                                PHCMNOTIFICATION);
using UnregisterNotification = CONFIGRET(WINAPI*)(HCMNOTIFICATION);

template <typename Function>
Function resolve(HMODULE module, const char* name) {
  return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

class ConfigManagerNotifications : public Notifications {
 public:
  // None when cfgmgr32.dll has no such notifications.
  static std::unique_ptr<Notifications> open(EventQueue& queue) {
    const HMODULE module = LoadLibraryExW(L"cfgmgr32.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    if (module == nullptr) {
      return nullptr;
    }
    const auto registerNotification =
        resolve<RegisterNotification>(module, "CM_Register_Notification");
    const auto unregisterNotification =
        resolve<UnregisterNotification>(module, "CM_Unregister_Notification");
    if (registerNotification == nullptr || unregisterNotification == nullptr) {
      FreeLibrary(module);
      return nullptr;
    }
    return std::unique_ptr<Notifications>(new ConfigManagerNotifications(
        queue, module, registerNotification, unregisterNotification));
  }

  ~ConfigManagerNotifications() override { release(); }

 private:
  ConfigManagerNotifications(EventQueue& queue, HMODULE module, RegisterNotification registerTo,
                             UnregisterNotification unregister)
      : module_(module), unregister_(unregister) {
    for (const GUID& interfaceClass : WatchedClasses) {
      CM_NOTIFY_FILTER filter{};
      filter.cbSize = sizeof(filter);
      filter.FilterType = CM_NOTIFY_FILTER_TYPE_DEVICEINTERFACE;
      filter.u.DeviceInterface.ClassGuid = interfaceClass;
      HCMNOTIFICATION registration = nullptr;
      const CONFIGRET result = registerTo(&filter, &queue, onNotification, &registration);
      if (result != CR_SUCCESS) {
        release();
        throw cannotListen("CM_Register_Notification", result);
      }
      registrations_.push_back(registration);
    }
  }

  // Unregistering waits for the callbacks under way: the queue outlives them.
  void release() {
    for (const HCMNOTIFICATION registration : registrations_) {
      unregister_(registration);
    }
    registrations_.clear();
    FreeLibrary(module_);
  }

  static DWORD CALLBACK onNotification(HCMNOTIFICATION, PVOID context, CM_NOTIFY_ACTION action,
                                       PCM_NOTIFY_EVENT_DATA, DWORD) {
    auto& queue = *static_cast<EventQueue*>(context);
    if (action == CM_NOTIFY_ACTION_DEVICEINTERFACEARRIVAL) {
      queue.push(DeviceEvent::Kind::Arrived);
    } else if (action == CM_NOTIFY_ACTION_DEVICEINTERFACEREMOVAL) {
      queue.push(DeviceEvent::Kind::Left);
    }
    return ERROR_SUCCESS;
  }

  HMODULE module_;
  UnregisterNotification unregister_;
  std::vector<HCMNOTIFICATION> registrations_;
};

class WindowNotifications : public Notifications {
 public:
  explicit WindowNotifications(EventQueue& queue) : queue_(queue) {
    std::promise<std::string> started;  // empty when listening, else why not
    std::future<std::string> outcome = started.get_future();
    thread_ = std::thread(&WindowNotifications::serve, this, std::move(started));
    const std::string failure = outcome.get();
    if (!failure.empty()) {
      thread_.join();
      throw CommandFailure(Refused, failure);
    }
  }

  ~WindowNotifications() override {
    PostMessageW(window_, WM_CLOSE, 0, 0);
    thread_.join();
  }

 private:
  // The window's thread: makes the window, registers it, tells the constructor, then serves the
  // window's messages until it is closed.
  void serve(std::promise<std::string> started) {
    const HINSTANCE instance = GetModuleHandleW(nullptr);
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.lpfnWndProc = onMessage;
    windowClass.hInstance = instance;
    windowClass.lpszClassName = NotificationWindowClass;
    // Made once for the process: a second watch of events finds it there.
    if (RegisterClassExW(&windowClass) == 0 && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) {
      started.set_value(cannotListen("RegisterClassEx", GetLastError()).what());
      return;
    }
    window_ = CreateWindowExW(0, NotificationWindowClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                              instance, nullptr);
    if (window_ == nullptr) {
      started.set_value(cannotListen("CreateWindowEx", GetLastError()).what());
      return;
    }
    SetWindowLongPtrW(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    for (const GUID& interfaceClass : WatchedClasses) {
      DEV_BROADCAST_DEVICEINTERFACE_W filter{};
      filter.dbcc_size = sizeof(filter);
      filter.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
      filter.dbcc_classguid = interfaceClass;
      const HDEVNOTIFY registration =
          RegisterDeviceNotificationW(window_, &filter, DEVICE_NOTIFY_WINDOW_HANDLE);
      if (registration == nullptr) {
        const DWORD error = GetLastError();
        close();
        started.set_value(cannotListen("RegisterDeviceNotification", error).what());
        return;
      }
      registrations_.push_back(registration);
    }
    started.set_value(std::string());
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
      DispatchMessageW(&message);
    }
  }

  void close() {
    for (const HDEVNOTIFY registration : registrations_) {
      UnregisterDeviceNotification(registration);
    }
    registrations_.clear();
    DestroyWindow(window_);
  }

  static LRESULT CALLBACK onMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* self = reinterpret_cast<WindowNotifications*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (self == nullptr) {
      return DefWindowProcW(window, message, wParam, lParam);
    }
    switch (message) {
      case WM_DEVICECHANGE:
        self->heard(wParam, lParam);
        return TRUE;
      case WM_CLOSE:
        self->close();
        return 0;
      case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
      default:
        return DefWindowProcW(window, message, wParam, lParam);
    }
  }

  void heard(WPARAM change, LPARAM data) {
    const auto* header = reinterpret_cast<const DEV_BROADCAST_HDR*>(data);
    if (header == nullptr || header->dbch_devicetype != DBT_DEVTYP_DEVICEINTERFACE) {
      return;
    }
    if (change == DBT_DEVICEARRIVAL) {
      queue_.push(DeviceEvent::Kind::Arrived);
    } else if (change == DBT_DEVICEREMOVECOMPLETE) {
      queue_.push(DeviceEvent::Kind::Left);
    }
  }

  EventQueue& queue_;
  HWND window_ = nullptr;
  std::vector<HDEVNOTIFY> registrations_;  // the window's thread's alone
  std::thread thread_;
};

class WindowsDeviceEvents : public DeviceEvents {
 public:
  explicit WindowsDeviceEvents(const console::StopRequests& stop)
      : stop_(reinterpret_cast<HANDLE>(stop.waitable())) {
    notifications_ = ConfigManagerNotifications::open(queue_);
    if (notifications_ == nullptr) {
      notifications_ = std::make_unique<WindowNotifications>(queue_);
    }
  }

  std::vector<DeviceEvent> wait(std::chrono::milliseconds timeout) override {
    using Clock = std::chrono::steady_clock;
    const DWORD longest = console::waitMilliseconds(timeout);
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(longest);
    // The queue may hold events whose wake-up an earlier wait took: each wake-up is checked
    // against the queue, and the wait goes on for the time left when it was empty.
    std::vector<DeviceEvent> events = queue_.take();
    while (events.empty()) {
      DWORD left = longest;
      if (longest != INFINITE) {
        const auto remaining =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        left = console::waitMilliseconds(remaining);
      }
      const std::array<HANDLE, 2> handles = {queue_.ready(), stop_};
      if (WaitForMultipleObjects(static_cast<DWORD>(handles.size()), handles.data(), FALSE, left) !=
          WAIT_OBJECT_0) {
        return {};  // the time passed, a stop was requested, or the wait failed
      }
      events = queue_.take();
    }
    if (WaitForSingleObject(stop_, 0) == WAIT_OBJECT_0) {
      return {};
    }
    return events;
  }

 private:
  HANDLE stop_;
  EventQueue queue_;
  // Ended before the queue it fills.
  std::unique_ptr<Notifications> notifications_;
};

}  // namespace

std::unique_ptr<DeviceEvents> watchDeviceEvents(const console::StopRequests& stop) {
  return std::make_unique<WindowsDeviceEvents>(stop);
}
