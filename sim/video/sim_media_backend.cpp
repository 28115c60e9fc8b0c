// The library's media seam served by the simulated PC. Media Foundation lists one activation
// object per capture device of the video world; activating the camera's gives a media source
// whose kernel-streaming topology reaches the camera's extension units, and whose video
// processing amplifier reaches its image properties. Every object is reference counted as COM
// counts, and every call a scenario names returns its HRESULT instead of doing its work.
#include <algorithm>
#include <atomic>
#include <cstring>
#include <memory>
#include <optional>
#include <span>
#include <vector>

#include "../../camlib/com/com_objects.h"
#include "../../camlib/media_services.h"
#include "sim_clock.h"
#include "sim_import_slots.h"
#include "sim_sleep.h"
#include "sim_video_world.h"

namespace sim {
namespace {

static_assert(VideoCamera::AutoFlag == VideoProcAmp_Flags_Auto);
static_assert(VideoCamera::ManualFlag == VideoProcAmp_Flags_Manual);

constexpr ULONG GetRequest = KSPROPERTY_TYPE_GET | KSPROPERTY_TYPE_TOPOLOGY;
constexpr ULONG SetRequest = KSPROPERTY_TYPE_SET | KSPROPERTY_TYPE_TOPOLOGY;

// The node types the topology reports, KSNODETYPE_VIDEO_CAMERA_TERMINAL and the others. The
// Windows headers declare them without any library defining them, so their values are spelled
// here.
constexpr GUID videoNodeType(std::uint32_t first) {
  return {first, 0xF70F, 0x11D0, {0xB9, 0x17, 0x00, 0xA0, 0xC9, 0x22, 0x31, 0x96}};
}
constexpr GUID CameraTerminalNode = videoNodeType(0xDFF229E6);
constexpr GUID ProcessingNode = videoNodeType(0xDFF229E5);
constexpr GUID StreamingNode = videoNodeType(0xDFF229E1);
constexpr GUID ExtensionUnitNode = {
    0x941C7AC0, 0xC559, 0x11D0, {0x8A, 0x2B, 0x00, 0xA0, 0xC9, 0x25, 0x5A, 0xC1}};

// The camera's video function, node by node. Any other capture device is a plain webcam:
// terminal, processing unit, output, and no extension unit.
const std::vector<GUID>& cameraNodeTypes() {
  static const std::vector<GUID> types = {CameraTerminalNode, ProcessingNode, ExtensionUnitNode,
                                          ExtensionUnitNode, StreamingNode};
  return types;
}
const std::vector<GUID>& plainNodeTypes() {
  static const std::vector<GUID> types = {CameraTerminalNode, ProcessingNode, StreamingNode};
  return types;
}

// The property set an extension unit answers to is the code of its descriptor.
bool isPropertySetOf(unsigned node, const GUID& set) {
  static_assert(sizeof(GUID) == sizeof(VideoCamera::UnitCode));
  const VideoCamera::UnitCode& code =
      node == VideoCamera::FirstUnitNode ? VideoCamera::FirstUnitCode : VideoCamera::SecondUnitCode;
  return std::memcmp(&set, code.data(), code.size()) == 0;
}

HRESULT hresultOf(VideoCamera::Result result) {
  switch (result) {
    case VideoCamera::Result::Done:
      return S_OK;
    case VideoCamera::Result::NotFound:
      return ErrorNotFound;
    case VideoCamera::Result::Invalid:
      break;
  }
  return E_INVALIDARG;
}

// A record of a call made now, its outcome and arguments yet to fill in.
VideoCall callNow(VideoCallKind kind) {
  VideoCall call;
  call.ms = clock().nowMs();
  call.kind = kind;
  return call;
}

std::atomic<std::size_t> liveObjects = 0;

// The scenario's step for a call of the COM plumbing.
VideoStep stepOf(com_objects::Call call) {
  switch (call) {
    case com_objects::Call::SetGUID:
      return VideoStep::SetGUID;
    case com_objects::Call::GetAllocatedString:
      return VideoStep::GetAllocatedString;
    case com_objects::Call::ActivateObject:
      return VideoStep::ActivateObject;
    case com_objects::Call::QueryIKsTopologyInfo:
      return VideoStep::QueryIKsTopologyInfo;
    case com_objects::Call::get_NodeType:
      return VideoStep::get_NodeType;
    case com_objects::Call::CreateNodeInstance:
      return VideoStep::CreateNodeInstance;
    case com_objects::Call::QueryIKsControl:
      return VideoStep::QueryIKsControl;
    case com_objects::Call::QueryIAMVideoProcAmp:
      break;
  }
  return VideoStep::QueryIAMVideoProcAmp;
}

// The PC counts its objects for liveVideoObjects() and fails the calls a scenario names. A refused
// QueryInterface leaves the caller's pointer as it was.
struct Hooks {
  static void objectMade() { ++liveObjects; }
  static void objectDestroyed() { --liveObjects; }
  static std::optional<HRESULT> failure(com_objects::Call call) {
    return injectedFault(stepOf(call));
  }
  static constexpr bool RefusalClearsObject = false;
};

class MediaSource;

// The object a topology node gives for property requests. Like the proxy's own, it keeps its
// media source alive.
class NodeControl final : public com_objects::PropertyControl<Hooks> {
 public:
  NodeControl(MediaSource* source, unsigned node);

  HRESULT STDMETHODCALLTYPE KsProperty(PKSPROPERTY property, ULONG propertyLength, LPVOID data,
                                       ULONG dataLength, ULONG* bytesReturned) override;

 private:
  ~NodeControl() override;
  HRESULT answer(PKSPROPERTY property, ULONG propertyLength, LPVOID data, ULONG dataLength,
                 ULONG* bytesReturned);

  MediaSource* source_;
  unsigned node_;
};

class MediaSource final : public com_objects::CaptureSource<Hooks> {
 public:
  MediaSource(std::shared_ptr<VideoCamera> camera, std::shared_ptr<PluggedCamera> plugged)
      : camera_(std::move(camera)),
        plugged_(std::move(plugged)),
        plugging_(plugged_ ? plugged_->plug.pluggingsSeen() : 0),
        nodeTypes_(camera_ ? cameraNodeTypes() : plainNodeTypes()) {}

  VideoCamera* camera() const { return camera_.get(); }
  PluggedCamera* plugged() const { return plugged_.get(); }

  // The camera went away under the source: it is not plugged in, or was plugged in again since
  // the source was made, which leaves the source dead as a pulled-out device's is.
  bool gone(const CameraSettingsTurn& turn) const {
    return turn.gone() || (plugged_ && plugged_->plug.pluggingsSeen() != plugging_);
  }

  // The video processing amplifier, which only the camera's source hands out; each call is
  // recorded with what it answered.
  HRESULT STDMETHODCALLTYPE GetRange(LONG property, LONG* min, LONG* max, LONG* steppingDelta,
                                     LONG* defaultValue, LONG* capsFlags) override {
    const auto held = holdVideoWorld();
    const CameraSettingsTurn turn(plugged_.get());
    VideoCall call = callNow(VideoCallKind::GetRange);
    call.property = property;
    call.result = [&]() -> HRESULT {
      if (auto fault = injectedFault(VideoStep::GetRange)) {
        return *fault;
      }
      if (gone(turn)) {
        return ErrorDeviceNotConnected;
      }
      if (min == nullptr || max == nullptr || steppingDelta == nullptr || defaultValue == nullptr ||
          capsFlags == nullptr) {
        return E_POINTER;
      }
      VideoCamera::PropertyRange range{};
      const HRESULT result = hresultOf(camera_->propertyRange(property, range));
      if (result == S_OK) {
        *min = range.min;
        *max = range.max;
        *steppingDelta = range.step;
        *defaultValue = range.defaultValue;
        *capsFlags = range.caps;
      }
      return result;
    }();
    recordVideoCall(call, plugged_.get());
    return call.result;
  }

  HRESULT STDMETHODCALLTYPE Set(LONG property, LONG value, LONG flags) override {
    const auto held = holdVideoWorld();
    const CameraSettingsTurn turn(plugged_.get());
    VideoCall call = callNow(VideoCallKind::Set);
    call.property = property;
    call.value = value;
    call.flags = flags;
    auto fault = injectedFault(VideoStep::Set);
    call.result = fault        ? *fault
                  : gone(turn) ? ErrorDeviceNotConnected
                               : hresultOf(camera_->setProperty(property, value, flags));
    if (plugged_ && !fault && call.result == S_OK) {
      cameraSettingsChanged(*plugged_);
    }
    recordVideoCall(call, plugged_.get());
    return call.result;
  }

  HRESULT STDMETHODCALLTYPE Get(LONG property, LONG* value, LONG* flags) override {
    const auto held = holdVideoWorld();
    const CameraSettingsTurn turn(plugged_.get());
    VideoCall call = callNow(VideoCallKind::Get);
    call.property = property;
    call.result = [&]() -> HRESULT {
      if (auto fault = injectedFault(VideoStep::Get)) {
        return *fault;
      }
      if (gone(turn)) {
        return ErrorDeviceNotConnected;
      }
      if (value == nullptr || flags == nullptr) {
        return E_POINTER;
      }
      std::int32_t answeredValue = 0;
      std::int32_t answeredFlags = 0;
      const HRESULT result =
          hresultOf(camera_->getProperty(property, answeredValue, answeredFlags));
      if (result == S_OK) {
        *value = call.value.emplace(answeredValue);
        *flags = call.flags.emplace(answeredFlags);
      }
      return result;
    }();
    recordVideoCall(call, plugged_.get());
    return call.result;
  }

 private:
  bool hasAmplifier() const override { return camera_ != nullptr; }
  std::size_t nodeCount() const override { return nodeTypes_.size(); }
  GUID typeOfNode(DWORD node) const override { return nodeTypes_[node]; }
  IUnknown* newNodeControl(DWORD node) override { return new NodeControl(this, node); }

  std::shared_ptr<VideoCamera> camera_;     // none: a plain webcam
  std::shared_ptr<PluggedCamera> plugged_;  // none: no scenario's camera, always there
  std::uint64_t plugging_;                  // the plugging the source was made in
  const std::vector<GUID>& nodeTypes_;
};

NodeControl::NodeControl(MediaSource* source, unsigned node) : source_(source), node_(node) {
  source_->AddRef();
}

NodeControl::~NodeControl() {
  source_->Release();
}

HRESULT NodeControl::KsProperty(PKSPROPERTY property, ULONG propertyLength, LPVOID data,
                                ULONG dataLength, ULONG* bytesReturned) {
  const auto held = holdVideoWorld();
  VideoCall call = callNow(VideoCallKind::KsProperty);
  call.dataLength = dataLength;
  if (property != nullptr) {
    const auto* request = reinterpret_cast<const std::uint8_t*>(property);
    call.request.assign(request, request + std::min<std::size_t>(propertyLength, sizeof(KSP_NODE)));
  }
  call.result = answer(property, propertyLength, data, dataLength, bytesReturned);
  if (data != nullptr) {
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    call.data.assign(bytes, bytes + dataLength);
  }
  recordVideoCall(call, source_->plugged());
  return call.result;
}

// A request reaches a control only through the node it was created for, when that node is an
// extension unit and the request names the unit's property set; the proxy refuses anything else
// as a set it does not have.
HRESULT NodeControl::answer(PKSPROPERTY property, ULONG propertyLength, LPVOID data,
                            ULONG dataLength, ULONG* bytesReturned) {
  if (auto fault = injectedFault(VideoStep::KsProperty)) {
    return *fault;
  }
  if (propertyLength < sizeof(KSP_NODE)) {
    return E_INVALIDARG;
  }
  if (property == nullptr || (data == nullptr && dataLength > 0)) {
    return E_POINTER;
  }
  KSP_NODE request;
  std::memcpy(&request, property, sizeof request);
  const ULONG flags = request.Property.Flags;
  if (flags != GetRequest && flags != SetRequest) {
    return E_INVALIDARG;
  }
  VideoCamera* camera = source_->camera();
  const CameraSettingsTurn turn(source_->plugged());
  if (source_->gone(turn)) {
    return ErrorDeviceNotConnected;
  }
  if (camera == nullptr || request.NodeId != node_ || !VideoCamera::isExtensionUnit(node_) ||
      !isPropertySetOf(node_, request.Property.Set)) {
    return ErrorSetNotFound;
  }
  auto* bytes = static_cast<std::uint8_t*>(data);
  if (flags == SetRequest) {
    const HRESULT result =
        hresultOf(camera->setControl(node_, request.Property.Id, {bytes, dataLength}));
    if (result == S_OK && bytesReturned != nullptr) {
      *bytesReturned = 0;
    }
    if (result == S_OK && source_->plugged() != nullptr) {
      cameraSettingsChanged(*source_->plugged());
    }
    return result;
  }
  const HRESULT result =
      hresultOf(camera->getControl(node_, request.Property.Id, {bytes, dataLength}));
  if (result == S_OK && bytesReturned != nullptr) {
    *bytesReturned = dataLength;
  }
  return result;
}

class Activate final : public com_objects::Activation<Hooks> {
 public:
  explicit Activate(const VideoDevice& device)
      : Activation(device.friendlyName, device.symbolicLink),
        camera_(device.camera),
        plugged_(device.plugged) {}

 private:
  // A camera no longer plugged in cannot be activated, as a device that is gone cannot.
  HRESULT activate(IMFMediaSource** source) override {
    const auto held = holdVideoWorld();
    if (plugged_ && !lookAtCamera(*plugged_)) {
      return ErrorDeviceNotConnected;
    }
    *source = new MediaSource(camera_, plugged_);
    return S_OK;
  }

  std::shared_ptr<VideoCamera> camera_;
  std::shared_ptr<PluggedCamera> plugged_;
};

}  // namespace

// Sleep is served below both sides (sim_sleep.h); the video side reads its scenario before it, as
// before every call it serves.
[[maybe_unused]] const bool scenarioReadBeforeSleep =
    (runBeforeSleep(&ensureVideoScenarioLoaded), true);

std::size_t liveVideoObjects() {
  return liveObjects;
}

}  // namespace sim

using sim::videoWorld;

extern "C" {

// The simulated PC serves Media Foundation; Sleep for both sides in sim_sleep. COM itself and its
// task allocator are the platform's on Windows, and the simulated PC's elsewhere
// (posix/sim_com_runtime_posix.cpp).
HRESULT SIM_SERVED(MFStartup)(ULONG, DWORD) {
  const auto held = sim::holdVideoWorld();
  sim::ensureVideoScenarioLoaded();
  return S_OK;
}

HRESULT SIM_SERVED(MFCreateAttributes)(IMFAttributes** attributes, UINT32) {
  const auto held = sim::holdVideoWorld();
  sim::ensureVideoScenarioLoaded();
  if (auto fault = sim::injectedFault(sim::VideoStep::MFCreateAttributes)) {
    return *fault;
  }
  if (attributes == nullptr) {
    return E_POINTER;
  }
  *attributes = new com_objects::AttributeStore<sim::Hooks>();
  return S_OK;
}

HRESULT SIM_SERVED(MFEnumDeviceSources)(IMFAttributes* attributes, IMFActivate*** sources,
                                        UINT32* count) {
  const auto held = sim::holdVideoWorld();
  sim::ensureVideoScenarioLoaded();
  if (auto fault = sim::injectedFault(sim::VideoStep::MFEnumDeviceSources)) {
    return *fault;
  }
  return com_objects::enumerateDeviceSources(
      attributes, sources, count, []() -> const auto& { return sim::pluggedInDevices(); },
      [](const sim::VideoDevice& device) -> IMFActivate* { return new sim::Activate(device); });
}

HRESULT SIM_SERVED(MFCreateSourceReaderFromMediaSource)(IMFMediaSource* source, IMFAttributes*,
                                                        IMFSourceReader** reader) {
  const auto held = sim::holdVideoWorld();
  sim::ensureVideoScenarioLoaded();
  if (auto fault = sim::injectedFault(sim::VideoStep::MFCreateSourceReaderFromMediaSource)) {
    return *fault;
  }
  if (source == nullptr || reader == nullptr) {
    return E_POINTER;
  }
  *reader = new com_objects::SourceReader<sim::Hooks>(source);
  return S_OK;
}

// The slots the library's calls go through on Windows.
SIM_IMPORT_SLOT(MFStartup);
SIM_IMPORT_SLOT(MFCreateAttributes);
SIM_IMPORT_SLOT(MFEnumDeviceSources);
SIM_IMPORT_SLOT(MFCreateSourceReaderFromMediaSource);

}  // extern "C"
