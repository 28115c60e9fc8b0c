#include "media_source_linux.h"

#include <linux/usb/video.h>

#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "kernel_errors.h"
#include "media_objects.h"
#include "uvc_topology.h"
#include "v4l2_system.h"
#include "video_node_paths.h"
#include "video_proc_amp_v4l2.h"

namespace media_linux {
namespace {

constexpr ULONG GetRequest = KSPROPERTY_TYPE_GET | KSPROPERTY_TYPE_TOPOLOGY;
constexpr ULONG SetRequest = KSPROPERTY_TYPE_SET | KSPROPERTY_TYPE_TOPOLOGY;

// uvcvideo's control query carries a one-byte selector and a 16-bit length.
constexpr ULONG LargestSelector = 0xFF;
constexpr ULONG LargestLength = 0xFFFF;

constexpr int DecimalBase = 10;
constexpr int HexBase = 16;
constexpr unsigned long LargestDescriptorNumber = 0xFF;

class MediaSource final : public com_objects::CaptureSource<Hooks> {
 public:
  MediaSource(int device, std::vector<TopologyNode> nodes, bool hasAmplifier)
      : device_(device), nodes_(std::move(nodes)), hasAmplifier_(hasAmplifier) {}

  int device() const { return device_; }

  // The extension unit whose code is `set`, for a request that names `node`. The GUID is what
  // identifies a unit: firmware may list another vendor's unit before the camera's, or the
  // camera's two in either order, so a unit's place among the nodes says nothing. The node only
  // has to be one of the topology's. Of two units with one code, the first listed answers.
  const TopologyNode* extensionUnit(DWORD node, const GUID& set) const {
    if (node >= nodes_.size()) {
      return nullptr;
    }
    for (const TopologyNode& unit : nodes_) {
      if (unit.isExtensionUnit() && unit.extensionCode == set) {
        return &unit;
      }
    }
    return nullptr;
  }

  HRESULT STDMETHODCALLTYPE GetRange(LONG property, LONG* min, LONG* max, LONG* steppingDelta,
                                     LONG* defaultValue, LONG* capsFlags) override {
    return amplifierRange(device_, property, min, max, steppingDelta, defaultValue, capsFlags);
  }
  HRESULT STDMETHODCALLTYPE Set(LONG property, LONG value, LONG flags) override {
    return setAmplifierProperty(device_, property, value, flags);
  }
  HRESULT STDMETHODCALLTYPE Get(LONG property, LONG* value, LONG* flags) override {
    return getAmplifierProperty(device_, property, value, flags);
  }

 private:
  ~MediaSource() override { v4l2System().closeDevice(device_); }

  bool hasAmplifier() const override { return hasAmplifier_; }
  std::size_t nodeCount() const override { return nodes_.size(); }
  GUID typeOfNode(DWORD node) const override { return nodes_[node].nodeType(); }
  IUnknown* newNodeControl(DWORD node) override;

  int device_;
  std::vector<TopologyNode> nodes_;
  bool hasAmplifier_;
};

// The object a topology node gives for property requests. As the proxy's does, it passes them to
// the filter, where the node id of each request chooses the unit; and it keeps the source alive.
class NodeControl final : public com_objects::PropertyControl<Hooks> {
 public:
  explicit NodeControl(MediaSource* source) : source_(source) { source_->AddRef(); }

  HRESULT STDMETHODCALLTYPE KsProperty(PKSPROPERTY property, ULONG propertyLength, LPVOID data,
                                       ULONG dataLength, ULONG* bytesReturned) override;

 private:
  ~NodeControl() override { source_->Release(); }

  MediaSource* source_;
};

IUnknown* MediaSource::newNodeControl(DWORD) {
  return new NodeControl(this);
}

// A request reaches a control only when its node is in the topology and an extension unit
// carries its property set; anything else is a set the filter does not have, and nothing is sent. A
// get reads the control's current value into the caller's buffer, a set writes the buffer to it;
// uvcvideo takes only a buffer of exactly the control's length.
HRESULT NodeControl::KsProperty(PKSPROPERTY property, ULONG propertyLength, LPVOID data,
                                ULONG dataLength, ULONG* bytesReturned) {
  if (property == nullptr || (data == nullptr && dataLength > 0)) {
    return E_POINTER;
  }
  if (propertyLength < sizeof(KSP_NODE)) {
    return E_INVALIDARG;
  }
  KSP_NODE request;
  std::memcpy(&request, property, sizeof request);
  const ULONG flags = request.Property.Flags;
  if (flags != GetRequest && flags != SetRequest) {
    return E_INVALIDARG;
  }
  const TopologyNode* unit = source_->extensionUnit(request.NodeId, request.Property.Set);
  if (unit == nullptr) {
    return ErrorSetNotFound;
  }
  if (request.Property.Id > LargestSelector) {
    return ErrorNotFound;
  }
  if (dataLength > LargestLength) {
    return ErrorInsufficientBuffer;
  }
  uvc_xu_control_query query{};
  query.unit = unit->id;
  query.selector = static_cast<__u8>(request.Property.Id);
  query.query = flags == GetRequest ? UVC_GET_CUR : UVC_SET_CUR;
  query.size = static_cast<__u16>(dataLength);
  query.data = static_cast<__u8*>(data);
  const int result = v4l2System().queryExtensionControl(source_->device(), query);
  if (result < 0) {
    return hresultOfErrno(-result);
  }
  if (bytesReturned != nullptr) {
    *bytesReturned = flags == GetRequest ? dataLength : 0;
  }
  return S_OK;
}

// A number in a sysfs attribute of the USB device, if it holds one that fits a descriptor field.
std::optional<std::uint8_t> descriptorNumber(unsigned node, const char* file, int base) {
  const std::optional<std::string> text = v4l2System().readSysfsFile(sysfsPathOf(node, file));
  if (!text) {
    return std::nullopt;
  }
  char* end = nullptr;
  const unsigned long value = std::strtoul(text->c_str(), &end, base);
  if (end == text->c_str() || value > LargestDescriptorNumber) {
    return std::nullopt;
  }
  return static_cast<std::uint8_t>(value);
}

std::vector<TopologyNode> topologyOf(unsigned node) {
  const std::optional<std::string> descriptors =
      v4l2System().readSysfsFile(sysfsPathOf(node, DescriptorsFile));
  if (!descriptors) {
    return {};
  }
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(descriptors->data());
  return topologyNodes({bytes, descriptors->size()},
                       descriptorNumber(node, ConfigurationValueFile, DecimalBase),
                       descriptorNumber(node, InterfaceNumberFile, HexBase));
}

}  // namespace
}  // namespace media_linux

HRESULT activateMediaSource(unsigned node, IMFMediaSource** source) {
  const int device = v4l2System().openDevice(devicePathOf(node));
  if (device < 0) {
    return hresultOfErrno(-device);
  }
  *source = new media_linux::MediaSource(device, media_linux::topologyOf(node),
                                         hasAmplifierControls(device));
  return S_OK;
}
