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
#include <cstdlib>
#include <cstring>
#include <map>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "media_objects.h"
#include "media_services.h"
#include "media_source_linux.h"
#include "v4l2_system.h"
#include "video_node_paths.h"

namespace media_linux {

namespace {

constexpr HRESULT MF_E_INVALIDTYPE = makeHresult(0xC00D36BD);

std::size_t liveObjects = 0;

struct GuidLess {
  bool operator()(const GUID& a, const GUID& b) const { return std::memcmp(&a, &b, sizeof a) < 0; }
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

// The values of an attribute store: GUIDs set by the caller, strings set by the backend.
struct AttributeValues {
  std::map<GUID, std::variant<GUID, std::u16string>, GuidLess> values;
};

template <typename Interface>
class Attributes : public ComObject<Interface>, public AttributeValues {
 public:
  HRESULT STDMETHODCALLTYPE SetGUID(REFGUID key, REFGUID value) override {
    values[key] = value;
    return S_OK;
  }

  HRESULT STDMETHODCALLTYPE GetAllocatedString(REFGUID key, LPWSTR* value,
                                               UINT32* length) override {
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
    *object = nullptr;
    return E_NOINTERFACE;
  }
};

// One capture device of the list: its node, named when the list was made.
class Activate final : public Attributes<IMFActivate> {
 public:
  Activate(unsigned node, const std::u16string& friendlyName) : node_(node) {
    values[MF_DEVSOURCE_ATTRIBUTE_FRIENDLY_NAME] = friendlyName;
  }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
    if (object == nullptr) {
      return E_POINTER;
    }
    if (riid == IID_IUnknown || riid == IID_IMFAttributes || riid == IID_IMFActivate) {
      return give(static_cast<IMFActivate*>(this), object);
    }
    *object = nullptr;
    return E_NOINTERFACE;
  }

  HRESULT STDMETHODCALLTYPE ActivateObject(REFIID riid, void** object) override {
    if (object == nullptr) {
      return E_POINTER;
    }
    if (!(riid == IID_IMFMediaSource)) {
      return E_NOINTERFACE;
    }
    return activateMediaSource(node_, reinterpret_cast<IMFMediaSource**>(object));
  }

 private:
  unsigned node_;
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
    *object = nullptr;
    return E_NOINTERFACE;
  }

 private:
  ~SourceReader() override { source_->Release(); }

  IMFMediaSource* source_;
};

// UTF-8 to UTF-16; a byte that does not start or continue a character becomes U+FFFD.
std::u16string utf16FromUtf8(const std::string& text) {
  std::u16string out;
  for (std::size_t i = 0; i < text.size();) {
    const auto lead = static_cast<unsigned char>(text[i]);
    const std::size_t length = lead < 0x80           ? 1
                               : (lead >> 5) == 0x6  ? 2
                               : (lead >> 4) == 0xE  ? 3
                               : (lead >> 3) == 0x1E ? 4
                                                     : 0;
    char32_t code = length == 1 ? lead : lead & (0x7F >> length);
    bool valid = length != 0 && i + length <= text.size();
    for (std::size_t k = 1; valid && k < length; ++k) {
      const auto next = static_cast<unsigned char>(text[i + k]);
      valid = (next & 0xC0) == 0x80;
      code = (code << 6) | (next & 0x3F);
    }
    if (!valid) {
      out += u'\uFFFD';
      ++i;
      continue;
    }
    if (code >= 0x10000) {
      code -= 0x10000;
      out += static_cast<char16_t>(0xD800 + (code >> 10));
      out += static_cast<char16_t>(0xDC00 + (code & 0x3FF));
    } else {
      out += static_cast<char16_t>(code);
    }
    i += length;
  }
  return out;
}

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
    return utf16FromUtf8(*product);
  }
  const auto* card = reinterpret_cast<const char*>(capability.card);
  return utf16FromUtf8(std::string(card, strnlen(card, sizeof capability.card)));
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

// Only video capture devices are listed, and only when the store asks for them.
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

void countObjectMade() {
  ++liveObjects;
}

void countObjectDestroyed() {
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
  *attributes = new media_linux::AttributeStore();
  return S_OK;
}

// One activation object per capture device, each with a reference for the caller, in an array
// the caller frees with CoTaskMemFree. With no device the array is null.
HRESULT MFEnumDeviceSources(IMFAttributes* attributes, IMFActivate*** sources, UINT32* count) {
  if (attributes == nullptr || sources == nullptr || count == nullptr) {
    return E_POINTER;
  }
  if (!media_linux::asksForVideoCapture(attributes)) {
    return E_INVALIDARG;
  }
  const std::vector<media_linux::CaptureDevice> devices = media_linux::captureDevices();
  IMFActivate** list = nullptr;
  if (!devices.empty()) {
    list = static_cast<IMFActivate**>(CoTaskMemAlloc(devices.size() * sizeof(IMFActivate*)));
    if (list == nullptr) {
      return E_OUTOFMEMORY;
    }
    for (std::size_t i = 0; i < devices.size(); ++i) {
      list[i] = new media_linux::Activate(devices[i].node, devices[i].friendlyName);
    }
  }
  *sources = list;
  *count = static_cast<UINT32>(devices.size());
  return S_OK;
}

HRESULT MFCreateSourceReaderFromMediaSource(IMFMediaSource* source, IMFAttributes*,
                                            IMFSourceReader** reader) {
  if (source == nullptr || reader == nullptr) {
    return E_POINTER;
  }
  *reader = new media_linux::SourceReader(source);
  return S_OK;
}

void Sleep(DWORD milliseconds) {
  v4l2System().sleepMilliseconds(milliseconds);
}

}  // extern "C"
