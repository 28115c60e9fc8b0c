// The COM objects a backend of the media seam hands out when the platform's Media Foundation is
// not behind it (the Linux backend, and the simulated camera on every platform), less what is the
// backend's own: one reference count per object, shared by all its interfaces; QueryInterface;
// Media Foundation's attribute store, its activation objects and its source reader; and a media
// source with its kernel-streaming topology and node objects, as far as the library uses them. What
// the backend adds comes from its hooks: it counts the objects it made, and it may answer a call
// before the plumbing does (the simulated camera fails calls by name there).
#pragma once

#include <algorithm>
#include <atomic>
#include <concepts>
#include <cstddef>
#include <cstring>
#include <initializer_list>
#include <map>
#include <optional>
#include <string>
#include <variant>

#include "../media_services.h"
#include "com_interface_rest.h"

namespace com_objects {

// The calls below that a backend may answer in place of the plumbing.
enum class Call {
  SetGUID,
  GetAllocatedString,
  ActivateObject,
  QueryIKsTopologyInfo,  // a media source asked for its topology
  get_NodeType,
  CreateNodeInstance,
  QueryIKsControl,       // a topology node's object asked for its property interface
  QueryIAMVideoProcAmp,  // a media source asked for its video processing amplifier
};

// What a backend gives the plumbing:
// - objectMade() and objectDestroyed(), as each object comes and goes;
// - failure(call): the result `call` returns instead of doing its work, if it is to fail;
// - RefusalClearsObject: whether QueryInterface, refusing an interface, nulls the caller's pointer.
template <typename Hooks>
concept ComHooks = requires(Call call) {
  Hooks::objectMade();
  Hooks::objectDestroyed();
  { Hooks::failure(call) } -> std::same_as<std::optional<HRESULT>>;
  { Hooks::RefusalClearsObject } -> std::convertible_to<bool>;
};

// Reference counting for an object that implements `Interfaces`. The one AddRef and Release here
// override those of every interface, so that all of an object's interfaces share one count; a
// caller's reference is released exactly once, and the object goes with the last one. The count
// is atomic, as COM's is: references may be given up on any thread.
template <ComHooks Hooks, typename... Interfaces>
class ComObject : public Complete<Interfaces>... {
 public:
  ComObject() { Hooks::objectMade(); }
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
  virtual ~ComObject() { Hooks::objectDestroyed(); }

  // Hands out one interface of this object, with a reference for the caller.
  template <typename Interface>
  HRESULT give(Interface* face, void** object) {
    face->AddRef();
    *object = face;
    return S_OK;
  }

  // QueryInterface's answer for an interface this object does not have.
  HRESULT refuse(void** object) {
    if constexpr (Hooks::RefusalClearsObject) {
      *object = nullptr;
    }
    return E_NOINTERFACE;
  }

  // QueryInterface for an object that gives `face` for IUnknown and each of `iids`, and nothing
  // else.
  template <typename Interface>
  HRESULT giveOnly(Interface* face, std::initializer_list<IID> iids, REFIID riid, void** object) {
    if (object == nullptr) {
      return E_POINTER;
    }
    if (riid == IID_IUnknown || std::find(iids.begin(), iids.end(), riid) != iids.end()) {
      return give(face, object);
    }
    return refuse(object);
  }

 private:
  std::atomic<ULONG> references_{1};
};

// A copy of `text` with its terminator, in memory the caller frees with CoTaskMemFree.
inline LPWSTR allocatedCopy(const std::u16string& text) {
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

// The values of an attribute store: GUIDs set by the caller, strings set by the backend.
struct AttributeValues {
  std::map<GUID, std::variant<GUID, std::u16string>, GuidLess> values;
};

template <ComHooks Hooks, typename Interface>
class Attributes : public ComObject<Hooks, Interface>, public AttributeValues {
 public:
  HRESULT STDMETHODCALLTYPE SetGUID(REFGUID key, REFGUID value) override {
    if (auto failure = Hooks::failure(Call::SetGUID)) {
      return *failure;
    }
    values[key] = value;
    return S_OK;
  }

  HRESULT STDMETHODCALLTYPE GetAllocatedString(REFGUID key, LPWSTR* value,
                                               UINT32* length) override {
    if (auto failure = Hooks::failure(Call::GetAllocatedString)) {
      return *failure;
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

// The store MFCreateAttributes makes.
template <ComHooks Hooks>
class AttributeStore final : public Attributes<Hooks, IMFAttributes> {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
    return this->giveOnly(static_cast<IMFAttributes*>(this), {IID_IMFAttributes}, riid, object);
  }
};

// Only video capture devices are listed, and only when the store asks for them.
inline bool asksForVideoCapture(IMFAttributes* attributes) {
  const auto* store = dynamic_cast<const AttributeValues*>(attributes);
  if (store == nullptr) {
    return false;
  }
  auto type = store->values.find(MF_DEVSOURCE_ATTRIBUTE_SOURCE_TYPE);
  return type != store->values.end() && std::holds_alternative<GUID>(type->second) &&
         std::get<GUID>(type->second) == MF_DEVSOURCE_ATTRIBUTE_SOURCE_TYPE_VIDCAP_GUID;
}

// One capture device of Media Foundation's list, named and given its symbolic link when the list
// was made. Activating it gives the device's media source.
template <ComHooks Hooks>
class Activation : public Attributes<Hooks, IMFActivate> {
 public:
  Activation(const std::u16string& friendlyName, const std::u16string& symbolicLink) {
    this->values[MF_DEVSOURCE_ATTRIBUTE_FRIENDLY_NAME] = friendlyName;
    this->values[MF_DEVSOURCE_ATTRIBUTE_SOURCE_TYPE_VIDCAP_SYMBOLIC_LINK] = symbolicLink;
  }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
    return this->giveOnly(static_cast<IMFActivate*>(this), {IID_IMFAttributes, IID_IMFActivate},
                          riid, object);
  }

  HRESULT STDMETHODCALLTYPE ActivateObject(REFIID riid, void** object) override {
    if (auto failure = Hooks::failure(Call::ActivateObject)) {
      return *failure;
    }
    if (object == nullptr) {
      return E_POINTER;
    }
    if (!(riid == IID_IMFMediaSource)) {
      return E_NOINTERFACE;
    }
    return activate(reinterpret_cast<IMFMediaSource**>(object));
  }

 protected:
  // The device's media source, with a reference for the caller.
  virtual HRESULT activate(IMFMediaSource** source) = 0;
};

// MFEnumDeviceSources over the devices `listDevices()` gives: one activation object per device,
// made by `activationOf`, each with a reference for the caller, in an array the caller frees with
// CoTaskMemFree. With no device the array is null, as Wine leaves it.
template <typename ListDevices, typename ActivationOf>
HRESULT enumerateDeviceSources(IMFAttributes* attributes, IMFActivate*** sources, UINT32* count,
                               ListDevices listDevices, ActivationOf activationOf) {
  if (attributes == nullptr || sources == nullptr || count == nullptr) {
    return E_POINTER;
  }
  if (!asksForVideoCapture(attributes)) {
    return E_INVALIDARG;
  }
  const auto& devices = listDevices();
  IMFActivate** list = nullptr;
  if (!devices.empty()) {
    list = static_cast<IMFActivate**>(CoTaskMemAlloc(devices.size() * sizeof(IMFActivate*)));
    if (list == nullptr) {
      return E_OUTOFMEMORY;
    }
    for (std::size_t i = 0; i < devices.size(); ++i) {
      list[i] = activationOf(devices[i]);
    }
  }
  *sources = list;
  *count = static_cast<UINT32>(devices.size());
  return S_OK;
}

// The reader MFCreateSourceReaderFromMediaSource makes: the library only holds it, and it keeps
// its source alive.
template <ComHooks Hooks>
class SourceReader final : public ComObject<Hooks, IMFSourceReader> {
 public:
  explicit SourceReader(IMFMediaSource* source) : source_(source) { source_->AddRef(); }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
    return this->giveOnly(static_cast<IMFSourceReader*>(this), {IID_IMFSourceReader}, riid, object);
  }

 private:
  ~SourceReader() override { source_->Release(); }

  IMFMediaSource* source_;
};

// A capture device's media source as the library uses it: its kernel-streaming topology (how many
// nodes, the type of each, and for a node an object that takes property requests) and, when the
// device has one, its video processing amplifier, which the backend implements. The topology's
// categories, connections and node names are never asked for.
template <ComHooks Hooks>
class CaptureSource : public ComObject<Hooks, IMFMediaSource, IKsTopologyInfo, IAMVideoProcAmp> {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
    if (object == nullptr) {
      return E_POINTER;
    }
    if (riid == IID_IUnknown || riid == IID_IMFMediaSource) {
      return this->give(static_cast<IMFMediaSource*>(this), object);
    }
    if (riid == IID_IKsTopologyInfo) {
      if (auto failure = Hooks::failure(Call::QueryIKsTopologyInfo)) {
        return *failure;
      }
      return this->give(static_cast<IKsTopologyInfo*>(this), object);
    }
    if (riid == IID_IAMVideoProcAmp) {
      if (auto failure = Hooks::failure(Call::QueryIAMVideoProcAmp)) {
        return *failure;
      }
      if (hasAmplifier()) {
        return this->give(static_cast<IAMVideoProcAmp*>(this), object);
      }
    }
    return this->refuse(object);
  }

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
    *count = static_cast<DWORD>(nodeCount());
    return S_OK;
  }

  HRESULT STDMETHODCALLTYPE get_NodeType(DWORD node, GUID* nodeType) override {
    if (auto failure = Hooks::failure(Call::get_NodeType)) {
      return *failure;
    }
    if (nodeType == nullptr) {
      return E_POINTER;
    }
    if (node >= nodeCount()) {
      return E_INVALIDARG;
    }
    *nodeType = typeOfNode(node);
    return S_OK;
  }

  HRESULT STDMETHODCALLTYPE CreateNodeInstance(DWORD node, REFIID riid, void** object) override {
    if (auto failure = Hooks::failure(Call::CreateNodeInstance)) {
      return *failure;
    }
    if (object == nullptr) {
      return E_POINTER;
    }
    if (node >= nodeCount()) {
      return E_INVALIDARG;
    }
    IUnknown* control = newNodeControl(node);
    const HRESULT result = control->QueryInterface(riid, object);
    control->Release();
    return result;
  }

 protected:
  virtual bool hasAmplifier() const = 0;
  virtual std::size_t nodeCount() const = 0;
  // The KSNODETYPE_* GUID of a node below nodeCount().
  virtual GUID typeOfNode(DWORD node) const = 0;
  // The object of a node below nodeCount(), with one reference.
  virtual IUnknown* newNodeControl(DWORD node) = 0;
};

// A topology node's object as the library uses it: for property requests, which the backend
// answers, and nothing else.
template <ComHooks Hooks>
class PropertyControl : public ComObject<Hooks, IKsControl> {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
    if (object == nullptr) {
      return E_POINTER;
    }
    if (riid == IID_IUnknown) {
      return this->give(static_cast<IKsControl*>(this), object);
    }
    if (riid == IID_IKsControl) {
      if (auto failure = Hooks::failure(Call::QueryIKsControl)) {
        return *failure;
      }
      return this->give(static_cast<IKsControl*>(this), object);
    }
    return this->refuse(object);
  }

  HRESULT STDMETHODCALLTYPE KsMethod(KSMETHOD*, ULONG, LPVOID, ULONG, ULONG*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE KsEvent(KSEVENT*, ULONG, LPVOID, ULONG, ULONG*) override {
    return E_NOTIMPL;
  }
};

}  // namespace com_objects
