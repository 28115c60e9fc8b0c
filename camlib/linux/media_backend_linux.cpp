// The library's media seam on Linux, over V4L2 and uvcvideo.
//
// COM and Media Foundation have nothing to start. Media Foundation's list of video capture devices
// is a snapshot of the video4linux nodes that capture video, in numeric order of the nodes:
// uvcvideo gives each camera a capture node and a metadata node, and only the first is listed.
// Each device is named as Windows names it, by the product string the USB device reports, and
// activating it opens its node as a media source (media_source_linux.cpp). Every object is
// reference counted as COM counts.
#include <linux/videodev2.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "media_objects.h"
#include "media_services.h"
#include "media_source_linux.h"
#include "text_encoding.h"
#include "v4l2_system.h"
#include "video_node_paths.h"

namespace media_linux {

namespace {

// Counted from every thread that makes or lets go of an object.
std::atomic<std::size_t> liveObjects = 0;

// The video node's path, which is the capture device's symbolic link on Linux.
std::u16string videoNodePath(unsigned node) {
  return kit::utf16FromUtf8Lossy("/dev/video" + std::to_string(node));
}

// One capture device of the list: its node, named when the list was made.
class Activate final : public com_objects::Activation<Hooks> {
 public:
  Activate(unsigned node, const std::u16string& friendlyName)
      : Activation(friendlyName, videoNodePath(node)), node_(node) {}

 private:
  HRESULT activate(IMFMediaSource** source) override { return activateMediaSource(node_, source); }

  unsigned node_;
};

// Drivers fill in device_caps, the capabilities of this node alone, since Linux 3.3; before, only
// the capabilities of the whole device were known.
bool capturesVideo(const v4l2_capability& capability) {
  const std::uint32_t caps = (capability.capabilities & V4L2_CAP_DEVICE_CAPS) != 0
                                 ? capability.device_caps
                                 : capability.capabilities;
  return (caps & V4L2_CAP_VIDEO_CAPTURE) != 0;
}

// The name Windows shows: the USB device's product string. uvcvideo copies it into the card name
// too, but cut to 31 bytes, so the card only names a node whose USB device has no product string
// (or one that is not on USB).
std::u16string friendlyNameOf(unsigned node, const v4l2_capability& capability) {
  std::optional<std::string> product = v4l2System().readSysfsFile(sysfsPathOf(node, ProductFile));
  if (product && !product->empty() && product->back() == '\n') {
    product->pop_back();  // sysfs ends the string with a line break
  }
  if (product && !product->empty()) {
    return kit::utf16FromUtf8Lossy(*product);
  }
  const auto* card = reinterpret_cast<const char*>(capability.card);
  return kit::utf16FromUtf8Lossy(std::string_view(card, strnlen(card, sizeof capability.card)));
}

struct CaptureDevice {
  unsigned node;
  std::u16string friendlyName;
};

// A node that cannot be opened or does not answer VIDIOC_QUERYCAP cannot be told from a metadata
// node and is not listed.
std::vector<CaptureDevice> captureDevices() {
  std::vector<unsigned> nodes = v4l2System().videoNodes();
  std::sort(nodes.begin(), nodes.end());
  nodes.erase(std::unique(nodes.begin(), nodes.end()), nodes.end());
  std::vector<CaptureDevice> devices;
  for (unsigned node : nodes) {
    const int device = v4l2System().openDevice(devicePathOf(node));
    if (device < 0) {
      continue;
    }
    v4l2_capability capability{};
    const int result = v4l2System().queryCapability(device, capability);
    v4l2System().closeDevice(device);
    if (result >= 0 && capturesVideo(capability)) {
      devices.push_back({node, friendlyNameOf(node, capability)});
    }
  }
  return devices;
}

}  // namespace

void Hooks::objectMade() {
  ++liveObjects;
}

void Hooks::objectDestroyed() {
  --liveObjects;
}

}  // namespace media_linux

std::size_t liveMediaObjects() {
  return media_linux::liveObjects;
}

extern "C" {

HRESULT CoInitializeEx(LPVOID, DWORD) {
  return S_OK;
}

HRESULT MFStartup(ULONG, DWORD) {
  return S_OK;
}

// The library frees these blocks with std::free, so they come from std::malloc. As COM's do, a
// block of no bytes is still a distinct block.
LPVOID CoTaskMemAlloc(std::size_t size) {
  return std::malloc(size == 0 ? 1 : size);
}

HRESULT MFCreateAttributes(IMFAttributes** attributes, UINT32) {
  if (attributes == nullptr) {
    return E_POINTER;
  }
  *attributes = new com_objects::AttributeStore<media_linux::Hooks>();
  return S_OK;
}

HRESULT MFEnumDeviceSources(IMFAttributes* attributes, IMFActivate*** sources, UINT32* count) {
  return com_objects::enumerateDeviceSources(
      attributes, sources, count, media_linux::captureDevices,
      [](const media_linux::CaptureDevice& device) -> IMFActivate* {
        return new media_linux::Activate(device.node, device.friendlyName);
      });
}

HRESULT MFCreateSourceReaderFromMediaSource(IMFMediaSource* source, IMFAttributes*,
                                            IMFSourceReader** reader) {
  if (source == nullptr || reader == nullptr) {
    return E_POINTER;
  }
  *reader = new com_objects::SourceReader<media_linux::Hooks>(source);
  return S_OK;
}

}  // extern "C"
