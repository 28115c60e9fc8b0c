// The video capture devices a simulated PC shows, the camera behind the one that bears its name,
// the calls a scenario makes fail, and the record of every control request the camera answers.
// The functions and objects of the library's media seam are served from here
// (sim_media_backend.cpp).
#pragma once

#include <cstdint>
#include <cstdio>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "sim_shared_file.h"
#include "sim_video_camera.h"
#include "sim_video_faults.h"
#include "sim_video_scenario.h"

namespace sim {

struct VideoDevice {
  std::u16string friendlyName;
  std::shared_ptr<VideoCamera> camera;  // none: a capture device other than the camera
  std::u16string symbolicLink;          // the device interface path, one device's alone
};

// A capture device as the PC lists it: the camera when it bears the camera's name. `instance`
// tells the devices' interface paths apart, as a PC's instance ids do.
VideoDevice videoDevice(const std::u16string& friendlyName, unsigned instance = 0);

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
  // The camera that keeps its settings in the scenario's camera_settings file, and that file:
  // the first camera listed, as a PC with one camera has it. Further copies of the camera keep
  // theirs only for the run, rather than overwrite one another's in a shared file.
  std::shared_ptr<const VideoCamera> settingsCamera;
  std::string settingsPath;
  std::string settingsText;          // the file as this process last read or wrote it
  bool settingsTurnHeld = false;     // this process holds the file's lock
  bool settingsWriteFailed = false;  // said once on standard error
  bool settingsReadFailed = false;   // likewise
};

VideoWorld& videoWorld();

// COM objects the seam has made and not yet destroyed, across resets: 0 once the library has
// released everything it was given.
std::size_t liveVideoObjects();

// The HRESULT a scenario makes this step return, if any.
std::optional<std::int32_t> injectedFault(VideoStep step);

// Writes the call to the video trace, and keeps it when the world keeps a call log.
void recordVideoCall(VideoCall call);

// Appends one line per answered request to the file at `path` from now on.
bool openVideoTrace(const std::string& path);

// The default PC: the camera alone, with the factory password, every control zero, no faults and
// no trace. Counts as the process's scenario, so the seam no longer reads one.
void resetVideoWorld();

// Called after the camera accepted a change to one of its settings: when it is the camera that
// keeps them in a file, the file is rewritten. A file that cannot be written is said once on
// standard error and the camera goes on; the host's request succeeded all the same, as it would
// on a camera whose settings memory has worn out.
void cameraSettingsChanged(const VideoCamera& camera);

// One turn of this process on the settings of the camera that keeps them in a file, for the
// length of one request a host makes of it. Every process that opens the camera shares it, as
// programs share a real camera: the file's lock is taken (waiting while another process has it),
// and what other processes changed since this one last looked is applied to the camera first.
// Nothing for any other camera, nor inside a turn already held.
class CameraSettingsTurn {
 public:
  explicit CameraSettingsTurn(VideoCamera* camera);
  ~CameraSettingsTurn();
  CameraSettingsTurn(const CameraSettingsTurn&) = delete;
  CameraSettingsTurn& operator=(const CameraSettingsTurn&) = delete;

 private:
  SharedFile lock_;
};

// Builds the video devices, the camera, its settings, the faults, the trace and the clock of a
// scenario. Throws ScenarioError when the trace or camera settings file cannot be used or the
// scenario asks for what the camera does not have or does not take.
void applyVideoScenario(const VideoScenario& scenario);

// The first call into the seam of a simulated library applies the scenario that
// OPTIQON_SIM_CAMERA names. When it cannot be used, the process prints why and exits with
// ScenarioUnusable: a host program cannot run against a camera that was not set up.
void ensureVideoScenarioLoaded();

}  // namespace sim
