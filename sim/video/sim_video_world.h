// The video capture devices a simulated PC shows, the camera behind the one that bears its name,
// the calls a scenario makes fail, and the record of every control request the camera answers.
// The functions and objects of the library's media seam are served from here
// (sim_media_backend.cpp).
#pragma once

#include <cstdint>
#include <cstdio>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "sim_device_tree.h"
#include "sim_plug_file.h"
#include "sim_shared_file.h"
#include "sim_video_camera.h"
#include "sim_video_faults.h"
#include "sim_video_scenario.h"

namespace sim {

using VideoTraceFile = std::unique_ptr<std::FILE, int (*)(std::FILE*)>;

// One camera a scenario describes, as the PC's video side has it plugged in: the camera, the files
// it keeps its values in, its trace and its plug.
struct PluggedCamera {
  std::shared_ptr<VideoCamera> camera;
  std::u16string serialNumber;
  // The settings file, empty when its values last only the run, and both files as this process
  // last read or wrote them: the current values with their plugging, and the saved values.
  std::string settingsPath;
  std::string settingsText;
  std::string settingsPlugging;
  std::string savedText;
  bool turnHeld = false;                        // this process holds the settings file's lock
  bool writeFailed = false;                     // said once on standard error
  bool readFailed = false;                      // likewise
  std::uint64_t changesKept = 0;                // the camera's count of changes when last kept
  VideoTraceFile trace{nullptr, &std::fclose};  // its own trace; none: its lines go to the PC's
  std::string tracePrefix;                      // before its lines in the PC's: "" for the first
  PlugFile plug;
  bool present = true;          // as the last look at its plug file found it
  bool pluggedInAgain = false;  // a look found it plugged in again: it starts from saved values
  std::optional<UsbPorts> usbPorts;              // where its USB device is plugged in, once placed
  std::optional<unsigned> controlsBeforeUnplug;  // counted down by this process's calls
};

struct VideoDevice {
  std::u16string friendlyName;
  std::shared_ptr<VideoCamera> camera;  // none: a capture device other than the camera
  std::u16string symbolicLink;          // the device interface path, one device's alone
  // The scenario's camera behind the device; none for a device set up in-process and for further
  // copies of the first camera in the PC's list, which keep their values for the run only.
  std::shared_ptr<PluggedCamera> plugged;
};

// A capture device as the PC lists it: the camera when it bears the camera's name. `instance`
// tells the devices' interface paths apart, as a PC's instance ids do.
VideoDevice videoDevice(const std::u16string& friendlyName, unsigned instance = 0);

// The instance id of a capture device's USB interface node, USB\VID_1BBD&PID_024C&MI_00\7&...,
// from which its symbolic link is made.
std::u16string captureInstanceIdFor(bool camera, unsigned instance);

enum class VideoCallKind { KsProperty, GetRange, Set, Get };

// One request the camera answered: an extension-unit property request, or a call on the video
// processing amplifier. HRESULTs are kept as the 32 bits the caller received.
struct VideoCall {
  std::uint64_t ms = 0;
  VideoCallKind kind = VideoCallKind::KsProperty;
  std::int32_t result = 0;
  // KsProperty: the request as sent (the KSP_NODE, or what there was of it), the length of the
  // data buffer, and its bytes: as sent for a set, as left by the call for a get.
  std::vector<std::uint8_t> request;
  std::uint32_t dataLength = 0;
  std::vector<std::uint8_t> data;
  // The amplifier: the property, and for Set the value and flags sent, for Get those answered
  // (none when the call failed).
  std::int32_t property = 0;
  std::optional<std::int32_t> value;
  std::optional<std::int32_t> flags;
};

// The call as one line of the video trace, without the line break:
//   <ms> KsProperty <request hex> <data length> <data hex> 0x<HRESULT>
//   <ms> GetRange <property> 0x<HRESULT>
//   <ms> Set|Get <property> <value> <flags> 0x<HRESULT>
// Bytes are lower-case hex digits run together, "-" when there are none; a failed Get shows
// "- -" for the value and flags it did not answer.
std::string traceLineOf(const VideoCall& call);

struct VideoWorld {
  std::vector<VideoDevice> devices;          // in the order the PC enumerates them
  std::map<VideoStep, std::int32_t> faults;  // every call of the step returns the HRESULT
  bool keepCallLog = false;
  std::vector<VideoCall> calls;
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> trace{nullptr, &std::fclose};
  // CoTaskMemAlloc blocks handed out since the last reset. The library frees them with its own
  // CoTaskMemFree, which the simulated PC never sees.
  std::size_t blocksAllocated = 0;
  // The cameras the scenario describes, the first first; each is behind one device of the list,
  // or none when the list does not name the first camera.
  std::vector<std::shared_ptr<PluggedCamera>> cameras;
  std::vector<VideoDevice> listed;  // the devices the last MFEnumDeviceSources found plugged in
};

VideoWorld& videoWorld();

// The video world for one call of the seam at a time: a program may call from several threads
// (the camera API serves different cameras on different threads). Held again by the same thread,
// as a call may reach the scenario's first reading.
std::unique_lock<std::recursive_mutex> holdVideoWorld();

// COM objects the seam has made and not yet destroyed, across resets: 0 once the library has
// released everything it was given.
std::size_t liveVideoObjects();

// The HRESULT a scenario makes this step return, if any.
std::optional<std::int32_t> injectedFault(VideoStep step);

// Writes the call to the video trace, the camera's own or the PC's, and keeps it when the world
// keeps a call log.
void recordVideoCall(VideoCall call, const PluggedCamera* camera = nullptr);

// Looks whether the camera is plugged in, as the PC does when it lists its devices or a call
// reaches the camera, and marks its USB device present or gone. Returns whether it is there.
bool lookAtCamera(PluggedCamera& camera);

// The devices plugged in now, in listing order.
const std::vector<VideoDevice>& pluggedInDevices();

// Appends one line per answered request to the file at `path` from now on.
bool openVideoTrace(const std::string& path);

// The default PC: the camera alone, with the factory password, every control zero, no faults and
// no trace. Counts as the process's scenario, so the seam no longer reads one.
void resetVideoWorld();

// Called after a request the camera answered: when its values or those saved changed and it
// keeps them in a file, the files are rewritten. A file that cannot be written is said once on
// standard error and the camera goes on; the host's request succeeded all the same, as it would
// on a camera whose settings memory has worn out.
void cameraSettingsChanged(PluggedCamera& camera);

// One turn of this process on a camera of the scenario, for the length of one request a host
// makes of it. The camera is looked at first: a camera not plugged in takes no turn. Every process
// that opens a camera that keeps its settings in a file shares it, as programs share a real
// camera: the file's lock is taken (waiting while another process has it), and what other
// processes changed since this one last looked is applied to the camera first. A camera plugged in
// again since its values were kept starts from its saved values, or its factory ones. Nothing for
// a device that is no scenario's camera, nor inside a turn already held.
class CameraSettingsTurn {
 public:
  explicit CameraSettingsTurn(PluggedCamera* camera);
  ~CameraSettingsTurn();
  CameraSettingsTurn(const CameraSettingsTurn&) = delete;
  CameraSettingsTurn& operator=(const CameraSettingsTurn&) = delete;

  // The camera is not plugged in: the request fails as for a device that is gone.
  bool gone() const { return gone_; }

 private:
  PluggedCamera* camera_ = nullptr;
  SharedFile lock_;
  bool gone_ = false;
};

// Builds the video devices, the cameras, their settings, the faults, the traces and the clock of
// a scenario, and places the devices in the device tree. Throws ScenarioError when a trace or
// camera settings file cannot be used, when two cameras name one settings file, or when the
// scenario asks for what a camera does not have or does not take.
void applyVideoScenario(const VideoScenario& scenario, ClockStart start = ClockStart::Anew);

// The first call into the seam of a simulated library applies the scenario that
// OPTIQON_SIM_CAMERA names. When it cannot be used, the process prints why and exits with
// ScenarioUnusable: a host program cannot run against a camera that was not set up.
void ensureVideoScenarioLoaded();

}  // namespace sim
