// The library's media seam served by the simulated PC. Media Foundation lists one activation
// object per capture device of the video world; activating the camera's gives a media source
// whose kernel-streaming topology reaches the camera's extension units, and whose video
// processing amplifier reaches its image properties. Every object is reference counted as COM
// counts, and every call a scenario names returns its HRESULT instead of doing its work.
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <span>
#include <string>
#include <variant>
#include <vector>

#include "../camlib/media_services.h"
#include "sim_clock.h"
#include "sim_video_world.h"

namespace sim {
namespace {

static_assert(VideoCamera::AutoFlag == VideoProcAmp_Flags_Auto);
static_assert(VideoCamera::ManualFlag == VideoProcAmp_Flags_Manual);

constexpr HRESULT ErrorSetNotFound = hresultFromWin32(1170);  // ERROR_SET_NOT_FOUND
constexpr HRESULT ErrorNotFound = hresultFromWin32(1168);     // ERROR_NOT_FOUND
constexpr HRESULT MF_E_INVALIDTYPE = makeHresult(0xC00D36BD);

constexpr ULONG GetRequest = KSPROPERTY_TYPE_GET | KSPROPERTY_TYPE_TOPOLOGY;
constexpr ULONG SetRequest = KSPROPERTY_TYPE_SET | KSPROPERTY_TYPE_TOPOLOGY;

// Node types, as the kernel-streaming proxy reports the units and terminals of a UVC function.
constexpr GUID KSNODETYPE_VIDEO_CAMERA_TERMINAL = {
    0xDFF229E6, 0xF70F, 0x11D0, {0xB9, 0x17, 0x00, 0xA0, 0xC9, 0x22, 0x31, 0x96}};
constexpr GUID KSNODETYPE_VIDEO_PROCESSING = {
    0xDFF229E5, 0xF70F, 0x11D0, {0xB9, 0x17, 0x00, 0xA0, 0xC9, 0x22, 0x31, 0x96}};
constexpr GUID KSNODETYPE_VIDEO_STREAMING = {
    0xDFF229E1, 0xF70F, 0x11D0, {0xB9, 0x17, 0x00, 0xA0, 0xC9, 0x22, 0x31, 0x96}};
constexpr GUID KSNODETYPE_DEV_SPECIFIC = {
    0x941C7AC0, 0xC559, 0x11D0, {0x8A, 0x2B, 0x00, 0xA0, 0xC9, 0x25, 0x5A, 0xC1}};

// The camera's video function, node by node. Any other capture device is a plain webcam:
// terminal, processing unit, output, and no extension unit.
const std::vector<GUID>& cameraNodeTypes() {
  static const std::vector<GUID> types = {KSNODETYPE_VIDEO_CAMERA_TERMINAL,
                                          KSNODETYPE_VIDEO_PROCESSING, KSNODETYPE_DEV_SPECIFIC,
                                          KSNODETYPE_DEV_SPECIFIC, KSNODETYPE_VIDEO_STREAMING};
  return types;
}
const std::vector<GUID>& plainNodeTypes() {
  static const std::vector<GUID> types = {KSNODETYPE_VIDEO_CAMERA_TERMINAL,
                                          KSNODETYPE_VIDEO_PROCESSING, KSNODETYPE_VIDEO_STREAMING};
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

std::size_t liveObjects = 0;

// Reference counting for an object that implements `Interfaces`. The one AddRef and Release here
// override those of every interface, so that all of an object's interfaces share one count.
template <typename... Interfaces>
class ComObject : public Interfaces... {
 public:
  ComObject() { ++liveObjects; }
  ComObject(const ComObject&) = delete;
  ComObject& operator=(const ComObject&) = delete;

  ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
  ULONG STDMETHODCALLTYPE Release() override {
    const ULONG left = --references_;
    if (left == 0) {
      delete this;
    }
    return left;
  }

 protected:
  virtual ~ComObject() { --liveObjects; }

  // Hands out one interface of this object, with a reference for the caller.
  template <typename Interface>
  HRESULT give(Interface* face, void** object) {
    face->AddRef();
    *object = face;
    return S_OK;
  }

 private:
  ULONG references_ = 1;
};

// A copy of `text` with its terminator, in memory the caller frees with CoTaskMemFree.
LPWSTR allocatedCopy(const std::u16string& text) {
  const std::size_t bytes = (text.size() + 1) * sizeof(WCHAR);
  auto* copy = static_cast<LPWSTR>(CoTaskMemAlloc(bytes));
  if (copy != nullptr) {
    std::memcpy(copy, text.c_str(), bytes);
  }
  return copy;
}

struct GuidLess {
  bool operator()(const GUID& a, const GUID& b) const { return std::memcmp(&a, &b, sizeof a) < 0; }
};

// The values of an attribute store: GUIDs set by the caller, strings set by the PC.
struct AttributeValues {
  std::map<GUID, std::variant<GUID, std::u16string>, GuidLess> values;
};

template <typename Interface>
class Attributes : public ComObject<Interface>, public AttributeValues {
 public:
  HRESULT STDMETHODCALLTYPE SetGUID(REFGUID key, REFGUID value) override {
    if (auto fault = injectedFault(VideoStep::SetGUID)) {
      return *fault;
    }
    values[key] = value;
    return S_OK;
  }

  HRESULT STDMETHODCALLTYPE GetAllocatedString(REFGUID key, LPWSTR* value,
                                               UINT32* length) override {
    if (auto fault = injectedFault(VideoStep::GetAllocatedString)) {
      return *fault;
    }
    if (value == nullptr || length == nullptr) {
      return E_POINTER;
    }
    auto found = values.find(key);
    if (found == values.end()) {
      return MF_E_ATTRIBUTENOTFOUND;
    }
    const auto* text = std::get_if<std::u16string>(&found->second);
    if (text == nullptr) {
      return MF_E_INVALIDTYPE;
    }
    LPWSTR copy = allocatedCopy(*text);
    if (copy == nullptr) {
      return E_OUTOFMEMORY;
    }
    *value = copy;
    *length = static_cast<UINT32>(text->size());  // characters, not counting the terminator
    return S_OK;
  }
};

class AttributeStore final : public Attributes<IMFAttributes> {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
    if (object == nullptr) {
      return E_POINTER;
    }
    if (riid == IID_IUnknown || riid == IID_IMFAttributes) {
      return give(static_cast<IMFAttributes*>(this), object);
    }
    return E_NOINTERFACE;
  }
};

class MediaSource;

// The object a topology node gives for property requests. Like the proxy's own, it keeps its
// media source alive.
class NodeControl final : public ComObject<IKsControl> {
 public:
  NodeControl(MediaSource* source, unsigned node);

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
    if (object == nullptr) {
      return E_POINTER;
    }
    if (riid == IID_IUnknown) {
      return give(static_cast<IKsControl*>(this), object);
    }
    if (riid == IID_IKsControl) {
      if (auto fault = injectedFault(VideoStep::QueryIKsControl)) {
        return *fault;
      }
      return give(static_cast<IKsControl*>(this), object);
    }
    return E_NOINTERFACE;
  }

  HRESULT STDMETHODCALLTYPE KsProperty(PKSPROPERTY property, ULONG propertyLength, LPVOID data,
                                       ULONG dataLength, ULONG* bytesReturned) override;
  HRESULT STDMETHODCALLTYPE KsMethod(KSMETHOD*, ULONG, LPVOID, ULONG, ULONG*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE KsEvent(KSEVENT*, ULONG, LPVOID, ULONG, ULONG*) override {
    return E_NOTIMPL;
  }

 private:
  ~NodeControl() override;
  HRESULT answer(PKSPROPERTY property, ULONG propertyLength, LPVOID data, ULONG dataLength,
                 ULONG* bytesReturned);

  MediaSource* source_;
  unsigned node_;
};

class MediaSource final : public ComObject<IMFMediaSource, IKsTopologyInfo, IAMVideoProcAmp> {
 public:
  explicit MediaSource(std::shared_ptr<VideoCamera> camera)
      : camera_(std::move(camera)), nodeTypes_(camera_ ? cameraNodeTypes() : plainNodeTypes()) {}

  VideoCamera* camera() const { return camera_.get(); }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
    if (object == nullptr) {
      return E_POINTER;
    }
    if (riid == IID_IUnknown || riid == IID_IMFMediaSource) {
      return give(static_cast<IMFMediaSource*>(this), object);
    }
    if (riid == IID_IKsTopologyInfo) {
      if (auto fault = injectedFault(VideoStep::QueryIKsTopologyInfo)) {
        return *fault;
      }
      return give(static_cast<IKsTopologyInfo*>(this), object);
    }
    if (riid == IID_IAMVideoProcAmp) {
      if (auto fault = injectedFault(VideoStep::QueryIAMVideoProcAmp)) {
        return *fault;
      }
      return camera_ ? give(static_cast<IAMVideoProcAmp*>(this), object) : E_NOINTERFACE;
    }
    return E_NOINTERFACE;
  }

  // The topology: only the nodes and their objects are asked for.
  HRESULT STDMETHODCALLTYPE get_NumCategories(DWORD*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_Category(DWORD, GUID*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_NumConnections(DWORD*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_ConnectionInfo(DWORD, KSTOPOLOGY_CONNECTION*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE get_NodeName(DWORD, WCHAR*, DWORD, DWORD*) override {
    return E_NOTIMPL;
  }

  HRESULT STDMETHODCALLTYPE get_NumNodes(DWORD* count) override {
    if (count == nullptr) {
      return E_POINTER;
    }
    *count = static_cast<DWORD>(nodeTypes_.size());
    return S_OK;
  }

  HRESULT STDMETHODCALLTYPE get_NodeType(DWORD node, GUID* nodeType) override {
    if (auto fault = injectedFault(VideoStep::get_NodeType)) {
      return *fault;
    }
    if (nodeType == nullptr) {
      return E_POINTER;
    }
    if (node >= nodeTypes_.size()) {
      return E_INVALIDARG;
    }
    *nodeType = nodeTypes_[node];
    return S_OK;
  }

  HRESULT STDMETHODCALLTYPE CreateNodeInstance(DWORD node, REFIID riid, void** object) override {
    if (auto fault = injectedFault(VideoStep::CreateNodeInstance)) {
      return *fault;
    }
    if (object == nullptr) {
      return E_POINTER;
    }
    if (node >= nodeTypes_.size()) {
      return E_INVALIDARG;
    }
    auto* control = new NodeControl(this, node);
    const HRESULT result = control->QueryInterface(riid, object);
    control->Release();
    return result;
  }

  // The video processing amplifier, which only the camera's source hands out; each call is
  // recorded with what it answered.
  HRESULT STDMETHODCALLTYPE GetRange(LONG property, LONG* min, LONG* max, LONG* steppingDelta,
                                     LONG* defaultValue, LONG* capsFlags) override {
    VideoCall call = callNow(VideoCallKind::GetRange);
    call.property = property;
    call.result = [&]() -> HRESULT {
      if (auto fault = injectedFault(VideoStep::GetRange)) {
        return *fault;
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
    recordVideoCall(call);
    return call.result;
  }

  HRESULT STDMETHODCALLTYPE Set(LONG property, LONG value, LONG flags) override {
    VideoCall call = callNow(VideoCallKind::Set);
    call.property = property;
    call.value = value;
    call.flags = flags;
    auto fault = injectedFault(VideoStep::Set);
    call.result = fault ? *fault : hresultOf(camera_->setProperty(property, value, flags));
    recordVideoCall(call);
    return call.result;
  }

  HRESULT STDMETHODCALLTYPE Get(LONG property, LONG* value, LONG* flags) override {
    VideoCall call = callNow(VideoCallKind::Get);
    call.property = property;
    call.result = [&]() -> HRESULT {
      if (auto fault = injectedFault(VideoStep::Get)) {
        return *fault;
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
    recordVideoCall(call);
    return call.result;
  }

 private:
  std::shared_ptr<VideoCamera> camera_;  // none: a plain webcam
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
  recordVideoCall(call);
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
    return result;
  }
  const HRESULT result =
      hresultOf(camera->getControl(node_, request.Property.Id, {bytes, dataLength}));
  if (result == S_OK && bytesReturned != nullptr) {
    *bytesReturned = dataLength;
  }
  return result;
}

class Activate final : public Attributes<IMFActivate> {
 public:
  explicit Activate(const VideoDevice& device) : camera_(device.camera) {
    values[MF_DEVSOURCE_ATTRIBUTE_FRIENDLY_NAME] = device.friendlyName;
  }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
    if (object == nullptr) {
      return E_POINTER;
    }
    if (riid == IID_IUnknown || riid == IID_IMFAttributes || riid == IID_IMFActivate) {
      return give(static_cast<IMFActivate*>(this), object);
    }
    return E_NOINTERFACE;
  }

  HRESULT STDMETHODCALLTYPE ActivateObject(REFIID riid, void** object) override {
    if (auto fault = injectedFault(VideoStep::ActivateObject)) {
      return *fault;
    }
    if (object == nullptr) {
      return E_POINTER;
    }
    if (!(riid == IID_IMFMediaSource)) {
      return E_NOINTERFACE;
    }
    *object = static_cast<IMFMediaSource*>(new MediaSource(camera_));
    return S_OK;
  }

 private:
  std::shared_ptr<VideoCamera> camera_;
};

class SourceReader final : public ComObject<IMFSourceReader> {
 public:
  explicit SourceReader(IMFMediaSource* source) : source_(source) { source_->AddRef(); }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
    if (object == nullptr) {
      return E_POINTER;
    }
    if (riid == IID_IUnknown || riid == IID_IMFSourceReader) {
      return give(static_cast<IMFSourceReader*>(this), object);
    }
    return E_NOINTERFACE;
  }

 private:
  ~SourceReader() override { source_->Release(); }

  IMFMediaSource* source_;
};

// Only video capture devices are listed, and the PC has no other kind.
bool asksForVideoCapture(IMFAttributes* attributes) {
  const auto* store = dynamic_cast<const AttributeValues*>(attributes);
  if (store == nullptr) {
    return false;
  }
  auto type = store->values.find(MF_DEVSOURCE_ATTRIBUTE_SOURCE_TYPE);
  return type != store->values.end() && std::holds_alternative<GUID>(type->second) &&
         std::get<GUID>(type->second) == MF_DEVSOURCE_ATTRIBUTE_SOURCE_TYPE_VIDCAP_GUID;
}

}  // namespace

std::size_t liveVideoObjects() {
  return liveObjects;
}

}  // namespace sim

using sim::videoWorld;

extern "C" {

HRESULT CoInitializeEx(LPVOID, DWORD) {
  sim::ensureVideoScenarioLoaded();
  return S_OK;
}

HRESULT MFStartup(ULONG, DWORD) {
  sim::ensureVideoScenarioLoaded();
  return S_OK;
}

// The library frees these blocks with std::free, so they come from std::malloc. As COM's do, a
// block of no bytes is still a distinct block.
LPVOID CoTaskMemAlloc(std::size_t size) {
  sim::ensureVideoScenarioLoaded();
  void* block = std::malloc(size == 0 ? 1 : size);
  if (block != nullptr) {
    ++videoWorld().blocksAllocated;
  }
  return block;
}

HRESULT MFCreateAttributes(IMFAttributes** attributes, UINT32) {
  sim::ensureVideoScenarioLoaded();
  if (auto fault = sim::injectedFault(sim::VideoStep::MFCreateAttributes)) {
    return *fault;
  }
  if (attributes == nullptr) {
    return E_POINTER;
  }
  *attributes = new sim::AttributeStore();
  return S_OK;
}

// One activation object per capture device, each with a reference for the caller, in an array
// the caller frees with CoTaskMemFree. With no device the array is null, as Wine leaves it.
HRESULT MFEnumDeviceSources(IMFAttributes* attributes, IMFActivate*** sources, UINT32* count) {
  sim::ensureVideoScenarioLoaded();
  if (auto fault = sim::injectedFault(sim::VideoStep::MFEnumDeviceSources)) {
    return *fault;
  }
  if (attributes == nullptr || sources == nullptr || count == nullptr) {
    return E_POINTER;
  }
  if (!sim::asksForVideoCapture(attributes)) {
    return E_INVALIDARG;
  }
  const std::vector<sim::VideoDevice>& devices = videoWorld().devices;
  IMFActivate** list = nullptr;
  if (!devices.empty()) {
    list = static_cast<IMFActivate**>(CoTaskMemAlloc(devices.size() * sizeof(IMFActivate*)));
    if (list == nullptr) {
      return E_OUTOFMEMORY;
    }
    for (std::size_t i = 0; i < devices.size(); ++i) {
      list[i] = new sim::Activate(devices[i]);
    }
  }
  *sources = list;
  *count = static_cast<UINT32>(devices.size());
  return S_OK;
}

HRESULT MFCreateSourceReaderFromMediaSource(IMFMediaSource* source, IMFAttributes*,
                                            IMFSourceReader** reader) {
  sim::ensureVideoScenarioLoaded();
  if (auto fault = sim::injectedFault(sim::VideoStep::MFCreateSourceReaderFromMediaSource)) {
    return *fault;
  }
  if (source == nullptr || reader == nullptr) {
    return E_POINTER;
  }
  *reader = new sim::SourceReader(source);
  return S_OK;
}

void Sleep(DWORD milliseconds) {
  sim::ensureVideoScenarioLoaded();
  sim::clock().sleepMs(milliseconds);
}

}  // extern "C"
