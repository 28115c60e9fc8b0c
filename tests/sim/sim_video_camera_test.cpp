// The simulated camera's video side, driven through the media seam the way the library drives
// it: the PC's capture devices and their names, the camera's media source and topology, the
// bytes its extension-unit controls keep and answer, the register file and the password check,
// the video processing amplifier, every injected fault, the trace, and that everything handed
// out is released again.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <set>
#include <sstream>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "captured_standard_error.h"
#include "environment_variable.h"
#include "media_services.h"
#include "scratch_directory.h"
#include "sim_clock.h"
#include "sim_video_world.h"

namespace {

// Frees a block the seam allocated, as the library does: on Windows with the platform's task
// allocator, elsewhere the simulated PC's blocks come from std::malloc.
void freeTaskMemory(void* block) {
#if defined(_WIN32)
  CoTaskMemFree(block);
#else
  std::free(block);
#endif
}

using Bytes = std::vector<std::uint8_t>;

constexpr HRESULT ErrorSetNotFound = makeHresult(0x80070492);
constexpr HRESULT ErrorNotFound = makeHresult(0x80070490);

// The two vendor extension units' property sets.
constexpr GUID FirstUnit = {
    0xACB6890C, 0xA3B3, 0x4060, {0x8B, 0x9A, 0xDF, 0x34, 0xEE, 0xF3, 0x9A, 0x2E}};
constexpr GUID SecondUnit = {
    0xF4098694, 0x133A, 0xA14E, {0xB4, 0xA0, 0x63, 0xD2, 0x79, 0xBF, 0x30, 0x74}};
constexpr GUID KSNODETYPE_DEV_SPECIFIC = {
    0x941C7AC0, 0xC559, 0x11D0, {0x8A, 0x2B, 0x00, 0xA0, 0xC9, 0x25, 0x5A, 0xC1}};

constexpr ULONG GetRequest = KSPROPERTY_TYPE_GET | KSPROPERTY_TYPE_TOPOLOGY;
constexpr ULONG SetRequest = KSPROPERTY_TYPE_SET | KSPROPERTY_TYPE_TOPOLOGY;

enum : LONG { Brightness = 0, Sharpness = 4, WhiteBalance = 7, Gain = 9 };

void require(bool condition, const char* what) {
  if (!condition) {
    throw std::runtime_error(what);
  }
}

// One reference to a COM object, released when it goes.
template <typename T>
class Ref {
 public:
  Ref() = default;
  explicit Ref(T* object) : object_(object) {}
  Ref(Ref&& other) noexcept : object_(std::exchange(other.object_, nullptr)) {}
  Ref& operator=(Ref&& other) noexcept {
    reset();
    object_ = std::exchange(other.object_, nullptr);
    return *this;
  }
  ~Ref() { reset(); }

  T* get() const { return object_; }
  T* operator->() const { return object_; }
  T** put() {
    reset();
    return &object_;
  }
  void** putVoid() { return reinterpret_cast<void**>(put()); }
  void reset() {
    if (object_ != nullptr) {
      std::exchange(object_, nullptr)->Release();
    }
  }

 private:
  T* object_ = nullptr;
};

template <typename T>
Ref<T> query(IUnknown* object, REFIID iid) {
  Ref<T> face;
  require(object->QueryInterface(iid, face.putVoid()) == S_OK, "QueryInterface failed");
  return face;
}

KSP_NODE request(const GUID& set, ULONG selector, ULONG flags, ULONG node) {
  KSP_NODE request{};
  request.Property.Set = set;
  request.Property.Id = selector;
  request.Property.Flags = flags;
  request.NodeId = node;
  return request;
}

struct Reply {
  HRESULT result;
  Bytes bytes;     // the buffer after the call; it held 0xEE before
  ULONG returned;  // 0xFFFFFFFF when the call left it alone
};

HRESULT setControl(IKsControl* control, const GUID& set, ULONG node, ULONG selector, Bytes bytes,
                   ULONG* returned = nullptr) {
  KSP_NODE property = request(set, selector, SetRequest, node);
  return control->KsProperty(&property.Property, sizeof property, bytes.data(),
                             static_cast<ULONG>(bytes.size()), returned);
}

Reply getControl(IKsControl* control, const GUID& set, ULONG node, ULONG selector,
                 std::size_t length) {
  KSP_NODE property = request(set, selector, GetRequest, node);
  Reply reply{S_OK, Bytes(length, 0xEE), 0xFFFFFFFF};
  reply.result = control->KsProperty(&property.Property, sizeof property, reply.bytes.data(),
                                     static_cast<ULONG>(length), &reply.returned);
  return reply;
}

struct Range {
  LONG min, max, step, defaultValue, caps;
  bool operator==(const Range&) const = default;
};

class MediaSeam : public ::testing::Test {
 protected:
  void SetUp() override {
    sim::resetVideoWorld();
    world().keepCallLog = true;
    sim::clock().reset(sim::Clock::Mode::Virtual);
  }
  void TearDown() override {
    world().trace.reset();
    EXPECT_EQ(sim::liveVideoObjects(), 0u) << "the test left COM objects alive";
  }

  static sim::VideoWorld& world() { return sim::videoWorld(); }
  static sim::VideoCamera& camera() { return *world().devices.at(0).camera; }

  static void useDevices(std::vector<std::string> names) {
    sim::VideoScenario scenario;
    scenario.videoDevices = std::move(names);
    scenario.clock = sim::Clock::Mode::Virtual;
    sim::applyVideoScenario(scenario);
    world().keepCallLog = true;
  }

  static Ref<IMFAttributes> videoCaptureAttributes() {
    Ref<IMFAttributes> attributes;
    require(MFCreateAttributes(attributes.put(), 1) == S_OK, "MFCreateAttributes failed");
    require(attributes->SetGUID(MF_DEVSOURCE_ATTRIBUTE_SOURCE_TYPE,
                                MF_DEVSOURCE_ATTRIBUTE_SOURCE_TYPE_VIDCAP_GUID) == S_OK,
            "SetGUID failed");
    return attributes;
  }

  static std::vector<Ref<IMFActivate>> listDevices() {
    Ref<IMFAttributes> attributes = videoCaptureAttributes();
    IMFActivate** array = nullptr;
    UINT32 count = 0;
    require(MFEnumDeviceSources(attributes.get(), &array, &count) == S_OK,
            "MFEnumDeviceSources failed");
    std::vector<Ref<IMFActivate>> devices;
    for (UINT32 i = 0; i < count; ++i) {
      devices.emplace_back(array[i]);
    }
    freeTaskMemory(array);
    return devices;
  }

  static std::u16string friendlyName(IMFActivate* device) {
    return text(device, MF_DEVSOURCE_ATTRIBUTE_FRIENDLY_NAME);
  }

  static std::u16string text(IMFActivate* device, REFGUID key) {
    LPWSTR name = nullptr;
    UINT32 length = 0;
    require(device->GetAllocatedString(key, &name, &length) == S_OK, "GetAllocatedString failed");
    std::u16string copy(reinterpret_cast<const char16_t*>(name), length);
    require(name[length] == 0, "the name is not terminated");
    freeTaskMemory(name);
    return copy;
  }

  static Ref<IMFMediaSource> activate(IMFActivate* device) {
    Ref<IMFMediaSource> source;
    require(device->ActivateObject(IID_IMFMediaSource, source.putVoid()) == S_OK,
            "ActivateObject failed");
    return source;
  }

  static Ref<IKsControl> nodeControl(IMFMediaSource* source, DWORD node) {
    Ref<IKsTopologyInfo> topology = query<IKsTopologyInfo>(source, IID_IKsTopologyInfo);
    Ref<IUnknown> object;
    require(topology->CreateNodeInstance(node, IID_IUnknown, object.putVoid()) == S_OK,
            "CreateNodeInstance failed");
    return query<IKsControl>(object.get(), IID_IKsControl);
  }

  // What the library holds while the camera is open.
  struct OpenCamera {
    Ref<IMFMediaSource> source;
    Ref<IKsControl> first;   // node 2
    Ref<IKsControl> second;  // node 3
    Ref<IAMVideoProcAmp> amplifier;
  };

  static OpenCamera openCamera() {
    std::vector<Ref<IMFActivate>> devices = listDevices();
    require(!devices.empty(), "no capture device");
    OpenCamera open;
    open.source = activate(devices[0].get());
    open.first = nodeControl(open.source.get(), 2);
    open.second = nodeControl(open.source.get(), 3);
    open.amplifier = query<IAMVideoProcAmp>(open.source.get(), IID_IAMVideoProcAmp);
    return open;
  }

  static Range rangeOf(IAMVideoProcAmp* amplifier, LONG property) {
    Range range{};
    require(amplifier->GetRange(property, &range.min, &range.max, &range.step, &range.defaultValue,
                                &range.caps) == S_OK,
            "GetRange failed");
    return range;
  }

  static std::vector<std::string> traceLines() {
    std::vector<std::string> lines;
    for (const sim::VideoCall& call : world().calls) {
      lines.push_back(sim::traceLineOf(call));
    }
    return lines;
  }
};

// --- The PC's capture devices -------------------------------------------------------------------

TEST_F(MediaSeam, DefaultPcListsTheCameraAlone) {
  std::vector<Ref<IMFActivate>> devices = listDevices();
  ASSERT_EQ(devices.size(), 1u);
  EXPECT_EQ(friendlyName(devices[0].get()), u"Corvantis Optiqon");
#if !defined(_WIN32)  // on Windows the task allocator is the platform's, uncounted
  EXPECT_EQ(world().blocksAllocated, 2u) << "the array and the name";
#endif
}

TEST_F(MediaSeam, DevicesAreListedInScenarioOrderWithUtf16Names) {
  useDevices({"USB2.0 HD UVC WebCam", "Corvantis Optiqon", "Kamera Ünterseite"});
  std::vector<Ref<IMFActivate>> devices = listDevices();
  ASSERT_EQ(devices.size(), 3u);
  EXPECT_EQ(friendlyName(devices[0].get()), u"USB2.0 HD UVC WebCam");
  EXPECT_EQ(friendlyName(devices[1].get()), u"Corvantis Optiqon");
  EXPECT_EQ(friendlyName(devices[2].get()), u"Kamera Ünterseite");
  // Each device's own interface path: the camera's with its vendor and product.
  const GUID& link = MF_DEVSOURCE_ATTRIBUTE_SOURCE_TYPE_VIDCAP_SYMBOLIC_LINK;
  EXPECT_EQ(text(devices[0].get(), link),
            u"\\\\?\\usb#vid_0c45&pid_6366&mi_00#7&00000000&0&0000#"
            u"{e5323777-f976-4f5b-9b55-b94699c46e44}\\global");
  EXPECT_EQ(text(devices[1].get(), link),
            u"\\\\?\\usb#vid_1bbd&pid_024c&mi_00#7&00000001&0&0000#"
            u"{e5323777-f976-4f5b-9b55-b94699c46e44}\\global");
  EXPECT_NE(text(devices[2].get(), link), text(devices[0].get(), link));
}

TEST_F(MediaSeam, PcWithoutDevicesListsNoneInANullArray) {
  useDevices({});
  Ref<IMFAttributes> attributes = videoCaptureAttributes();
  IMFActivate* unset = nullptr;
  IMFActivate** array = &unset;
  UINT32 count = 7;
  EXPECT_EQ(MFEnumDeviceSources(attributes.get(), &array, &count), S_OK);
  EXPECT_EQ(array, nullptr);
  EXPECT_EQ(count, 0u);
  EXPECT_EQ(world().blocksAllocated, 0u);
}

TEST_F(MediaSeam, OnlyVideoCaptureDevicesAreListed) {
  Ref<IMFAttributes> attributes;
  ASSERT_EQ(MFCreateAttributes(attributes.put(), 1), S_OK);
  IMFActivate** array = nullptr;
  UINT32 count = 7;
  EXPECT_EQ(MFEnumDeviceSources(attributes.get(), &array, &count), E_INVALIDARG);

  constexpr GUID AudioCapture = {
      0x14DD9A1C, 0x7CFF, 0x41BE, {0xB1, 0xB9, 0xBA, 0x1A, 0xC6, 0xEC, 0xB5, 0x71}};
  ASSERT_EQ(attributes->SetGUID(MF_DEVSOURCE_ATTRIBUTE_SOURCE_TYPE, AudioCapture), S_OK);
  EXPECT_EQ(MFEnumDeviceSources(attributes.get(), &array, &count), E_INVALIDARG);
  EXPECT_EQ(array, nullptr);
  EXPECT_EQ(count, 7u);
}

TEST_F(MediaSeam, AttributeStoresAnswerOnlyTheStringsTheyHold) {
  Ref<IMFAttributes> attributes = videoCaptureAttributes();
  LPWSTR text = nullptr;
  UINT32 length = 7;
  EXPECT_EQ(attributes->GetAllocatedString(MF_DEVSOURCE_ATTRIBUTE_FRIENDLY_NAME, &text, &length),
            MF_E_ATTRIBUTENOTFOUND);
  EXPECT_EQ(attributes->GetAllocatedString(MF_DEVSOURCE_ATTRIBUTE_SOURCE_TYPE, &text, &length),
            makeHresult(0xC00D36BD))
      << "MF_E_INVALIDTYPE: the value is a GUID";
  std::vector<Ref<IMFActivate>> devices = listDevices();
  EXPECT_EQ(devices[0]->GetAllocatedString(MF_DEVSOURCE_ATTRIBUTE_SOURCE_TYPE, &text, &length),
            MF_E_ATTRIBUTENOTFOUND);
  EXPECT_EQ(devices[0]->GetAllocatedString(MF_DEVSOURCE_ATTRIBUTE_FRIENDLY_NAME, nullptr, &length),
            E_POINTER);
  EXPECT_EQ(text, nullptr);
  EXPECT_EQ(length, 7u);
}

TEST_F(MediaSeam, ObjectsGiveTheirOwnInterfacesOnly) {
  Ref<IMFAttributes> attributes = videoCaptureAttributes();
  std::vector<Ref<IMFActivate>> devices = listDevices();
  void* object = nullptr;
  EXPECT_EQ(attributes->QueryInterface(IID_IMFActivate, &object), E_NOINTERFACE);
  EXPECT_EQ(devices[0]->QueryInterface(IID_IKsControl, &object), E_NOINTERFACE);
  EXPECT_EQ(object, nullptr);
  Ref<IMFAttributes> deviceAttributes = query<IMFAttributes>(devices[0].get(), IID_IMFAttributes);
  Ref<IUnknown> identity = query<IUnknown>(devices[0].get(), IID_IUnknown);
  EXPECT_EQ(identity.get(), static_cast<IUnknown*>(devices[0].get()));
}

// --- Activation and topology ---------------------------------------------------------------------

TEST_F(MediaSeam, CameraActivatesIntoASourceWithTopologyAndAmplifier) {
  std::vector<Ref<IMFActivate>> devices = listDevices();
  void* object = nullptr;
  EXPECT_EQ(devices[0]->ActivateObject(IID_IUnknown, &object), E_NOINTERFACE);
  EXPECT_EQ(devices[0]->ActivateObject(IID_IMFSourceReader, &object), E_NOINTERFACE);
  EXPECT_EQ(object, nullptr);

  Ref<IMFMediaSource> source = activate(devices[0].get());
  Ref<IKsTopologyInfo> topology = query<IKsTopologyInfo>(source.get(), IID_IKsTopologyInfo);
  Ref<IAMVideoProcAmp> amplifier = query<IAMVideoProcAmp>(source.get(), IID_IAMVideoProcAmp);
  Ref<IUnknown> identity = query<IUnknown>(source.get(), IID_IUnknown);
  EXPECT_EQ(identity.get(), static_cast<IUnknown*>(source.get()));
  EXPECT_EQ(source->QueryInterface(IID_IKsControl, &object), E_NOINTERFACE);
}

TEST_F(MediaSeam, CameraTopologyHasTheExtensionUnitsAtNodesTwoAndThree) {
  OpenCamera open = openCamera();
  Ref<IKsTopologyInfo> topology = query<IKsTopologyInfo>(open.source.get(), IID_IKsTopologyInfo);
  DWORD nodes = 0;
  ASSERT_EQ(topology->get_NumNodes(&nodes), S_OK);
  EXPECT_EQ(nodes, 5u);
  std::vector<GUID> types(5);
  for (DWORD node = 0; node < 5; ++node) {
    ASSERT_EQ(topology->get_NodeType(node, &types[node]), S_OK);
  }
  EXPECT_FALSE(types[0] == KSNODETYPE_DEV_SPECIFIC);
  EXPECT_FALSE(types[1] == KSNODETYPE_DEV_SPECIFIC);
  EXPECT_TRUE(types[2] == KSNODETYPE_DEV_SPECIFIC);
  EXPECT_TRUE(types[3] == KSNODETYPE_DEV_SPECIFIC);
  EXPECT_FALSE(types[4] == KSNODETYPE_DEV_SPECIFIC);

  GUID untouched{};
  EXPECT_EQ(topology->get_NodeType(5, &untouched), E_INVALIDARG);
  EXPECT_TRUE(untouched == GUID{});
  void* object = nullptr;
  EXPECT_EQ(topology->CreateNodeInstance(5, IID_IUnknown, &object), E_INVALIDARG);
  EXPECT_EQ(object, nullptr);
  DWORD count = 0;
  EXPECT_EQ(topology->get_NumCategories(&count), E_NOTIMPL);
}

TEST_F(MediaSeam, ExtensionUnitCodesAreStoredAsTheirGuids) {
  const Bytes first = {0x0C, 0x89, 0xB6, 0xAC, 0xB3, 0xA3, 0x60, 0x40,
                       0x8B, 0x9A, 0xDF, 0x34, 0xEE, 0xF3, 0x9A, 0x2E};
  const Bytes second = {0x94, 0x86, 0x09, 0xF4, 0x3A, 0x13, 0x4E, 0xA1,
                        0xB4, 0xA0, 0x63, 0xD2, 0x79, 0xBF, 0x30, 0x74};
  const auto* firstBytes = reinterpret_cast<const std::uint8_t*>(&FirstUnit);
  const auto* secondBytes = reinterpret_cast<const std::uint8_t*>(&SecondUnit);
  EXPECT_EQ(Bytes(firstBytes, firstBytes + 16), first);
  EXPECT_EQ(Bytes(secondBytes, secondBytes + 16), second);
  EXPECT_EQ(Bytes(sim::VideoCamera::FirstUnitCode.begin(), sim::VideoCamera::FirstUnitCode.end()),
            first);
  EXPECT_EQ(Bytes(sim::VideoCamera::SecondUnitCode.begin(), sim::VideoCamera::SecondUnitCode.end()),
            second);
}

TEST_F(MediaSeam, OtherWebcamsHaveNeitherExtensionUnitsNorAmplifier) {
  useDevices({"USB2.0 HD UVC WebCam"});
  std::vector<Ref<IMFActivate>> devices = listDevices();
  Ref<IMFMediaSource> source = activate(devices[0].get());
  void* object = nullptr;
  EXPECT_EQ(source->QueryInterface(IID_IAMVideoProcAmp, &object), E_NOINTERFACE);
  EXPECT_EQ(object, nullptr);

  Ref<IKsTopologyInfo> topology = query<IKsTopologyInfo>(source.get(), IID_IKsTopologyInfo);
  DWORD nodes = 0;
  ASSERT_EQ(topology->get_NumNodes(&nodes), S_OK);
  EXPECT_EQ(nodes, 3u);
  for (DWORD node = 0; node < nodes; ++node) {
    GUID type{};
    ASSERT_EQ(topology->get_NodeType(node, &type), S_OK);
    EXPECT_FALSE(type == KSNODETYPE_DEV_SPECIFIC) << "node " << node;
  }
  Ref<IKsControl> control = nodeControl(source.get(), 2);
  EXPECT_EQ(setControl(control.get(), FirstUnit, 2, 20, {1}), ErrorSetNotFound);
}

TEST_F(MediaSeam, EveryActivationOfTheCameraReachesTheSameCamera) {
  std::vector<Ref<IMFActivate>> devices = listDevices();
  Ref<IKsControl> writer = nodeControl(activate(devices[0].get()).get(), 2);
  Ref<IKsControl> reader = nodeControl(activate(listDevices()[0].get()).get(), 2);
  ASSERT_EQ(setControl(writer.get(), FirstUnit, 2, 9, {0x42}), S_OK);
  EXPECT_EQ(getControl(reader.get(), FirstUnit, 2, 9, 1).bytes, Bytes{0x42});
}

TEST_F(MediaSeam, TwoCamerasKeepTheirOwnControls) {
  useDevices({"Corvantis Optiqon", "Corvantis Optiqon"});
  std::vector<Ref<IMFActivate>> devices = listDevices();
  Ref<IKsControl> first = nodeControl(activate(devices[0].get()).get(), 2);
  Ref<IKsControl> second = nodeControl(activate(devices[1].get()).get(), 2);
  ASSERT_EQ(setControl(first.get(), FirstUnit, 2, 9, {0x42}), S_OK);
  EXPECT_EQ(getControl(second.get(), FirstUnit, 2, 9, 1).bytes, Bytes{0x00});
}

// --- Extension-unit controls --------------------------------------------------------------------

TEST_F(MediaSeam, ControlAnswersWhatWasWrittenCutOrZeroFilledToTheLengthAsked) {
  OpenCamera open = openCamera();
  ULONG returned = 0xFFFFFFFF;
  ASSERT_EQ(setControl(open.first.get(), FirstUnit, 2, 20, {1, 2, 3, 4}, &returned), S_OK);
  EXPECT_EQ(returned, 0u);
  EXPECT_EQ(camera().storedControl(2, 20), (Bytes{1, 2, 3, 4}));

  const Reply exact = getControl(open.first.get(), FirstUnit, 2, 20, 4);
  EXPECT_EQ(exact.result, S_OK);
  EXPECT_EQ(exact.bytes, (Bytes{1, 2, 3, 4}));
  EXPECT_EQ(exact.returned, 4u);
  const Reply longer = getControl(open.first.get(), FirstUnit, 2, 20, 6);
  EXPECT_EQ(longer.bytes, (Bytes{1, 2, 3, 4, 0, 0}));
  EXPECT_EQ(longer.returned, 6u);
  const Reply shorter = getControl(open.first.get(), FirstUnit, 2, 20, 2);
  EXPECT_EQ(shorter.bytes, (Bytes{1, 2}));
  EXPECT_EQ(shorter.returned, 2u);
}

TEST_F(MediaSeam, ControlsStartAtZeroAndAnEmptyWriteClearsThem) {
  OpenCamera open = openCamera();
  EXPECT_EQ(getControl(open.second.get(), SecondUnit, 3, 8, 3).bytes, (Bytes{0, 0, 0}));
  ASSERT_EQ(setControl(open.second.get(), SecondUnit, 3, 8, {9, 9, 9}), S_OK);
  ASSERT_EQ(setControl(open.second.get(), SecondUnit, 3, 8, {}), S_OK);
  EXPECT_EQ(getControl(open.second.get(), SecondUnit, 3, 8, 3).bytes, (Bytes{0, 0, 0}));
}

TEST_F(MediaSeam, SameSelectorOnTheTwoUnitsIsTwoControls) {
  OpenCamera open = openCamera();
  ASSERT_EQ(setControl(open.first.get(), FirstUnit, 2, 5, {0x11}), S_OK);
  ASSERT_EQ(setControl(open.second.get(), SecondUnit, 3, 5, {0x22}), S_OK);
  EXPECT_EQ(getControl(open.first.get(), FirstUnit, 2, 5, 1).bytes, Bytes{0x11});
  EXPECT_EQ(getControl(open.second.get(), SecondUnit, 3, 5, 1).bytes, Bytes{0x22});
}

TEST_F(MediaSeam, RequestsOutsideTheNodesUnitAreASetNotFound) {
  OpenCamera open = openCamera();
  // The other unit's set, another node's id, and a node that is no extension unit.
  EXPECT_EQ(setControl(open.first.get(), SecondUnit, 2, 5, {1}), ErrorSetNotFound);
  EXPECT_EQ(setControl(open.first.get(), SecondUnit, 3, 5, {1}), ErrorSetNotFound);
  EXPECT_EQ(setControl(open.first.get(), FirstUnit, 3, 5, {1}), ErrorSetNotFound);
  Ref<IKsControl> processingUnit = nodeControl(open.source.get(), 1);
  EXPECT_EQ(setControl(processingUnit.get(), FirstUnit, 1, 5, {1}), ErrorSetNotFound);
  EXPECT_EQ(setControl(processingUnit.get(), FirstUnit, 2, 5, {1}), ErrorSetNotFound);
  const Reply refused = getControl(open.second.get(), FirstUnit, 3, 5, 2);
  EXPECT_EQ(refused.result, ErrorSetNotFound);
  EXPECT_EQ(refused.bytes, (Bytes{0xEE, 0xEE}));
  EXPECT_EQ(refused.returned, 0xFFFFFFFFu);
  EXPECT_TRUE(camera().storedControl(2, 5).empty());
  EXPECT_TRUE(camera().storedControl(3, 5).empty());
}

TEST_F(MediaSeam, SelectorsBeyondEachUnitsControlsAreNotFound) {
  OpenCamera open = openCamera();
  EXPECT_EQ(setControl(open.first.get(), FirstUnit, 2, 0, {1}), ErrorNotFound);
  EXPECT_EQ(setControl(open.first.get(), FirstUnit, 2, 31, {1}), S_OK);
  EXPECT_EQ(setControl(open.first.get(), FirstUnit, 2, 32, {1}), ErrorNotFound);
  EXPECT_EQ(setControl(open.second.get(), SecondUnit, 3, 8, {1}), S_OK);
  EXPECT_EQ(setControl(open.second.get(), SecondUnit, 3, 9, {1}), ErrorNotFound);
  const Reply refused = getControl(open.second.get(), SecondUnit, 3, 9, 1);
  EXPECT_EQ(refused.result, ErrorNotFound);
  EXPECT_EQ(refused.bytes, Bytes{0xEE});
  EXPECT_EQ(refused.returned, 0xFFFFFFFFu);
}

TEST_F(MediaSeam, MalformedRequestsAreRefusedBeforeReachingTheUnit) {
  OpenCamera open = openCamera();
  Bytes data = {1, 2};
  ULONG returned = 0xFFFFFFFF;
  KSP_NODE property = request(FirstUnit, 20, SetRequest, 2);
  EXPECT_EQ(
      open.first->KsProperty(&property.Property, sizeof(KSPROPERTY), data.data(), 2, &returned),
      E_INVALIDARG)
      << "a KSPROPERTY without the node";
  EXPECT_EQ(open.first->KsProperty(nullptr, sizeof property, data.data(), 2, &returned), E_POINTER);
  EXPECT_EQ(open.first->KsProperty(&property.Property, sizeof property, nullptr, 2, &returned),
            E_POINTER);
  for (ULONG flags : {ULONG{KSPROPERTY_TYPE_GET}, ULONG{KSPROPERTY_TYPE_SET},
                      ULONG{GetRequest | SetRequest}, ULONG{KSPROPERTY_TYPE_TOPOLOGY}}) {
    property.Property.Flags = flags;
    EXPECT_EQ(
        open.first->KsProperty(&property.Property, sizeof property, data.data(), 2, &returned),
        E_INVALIDARG)
        << std::hex << flags;
  }
  EXPECT_EQ(returned, 0xFFFFFFFFu);
  EXPECT_TRUE(camera().storedControl(2, 20).empty());
}

TEST_F(MediaSeam, RegisterControlWritesAddressAndValueAndReadsBackTheLastAddress) {
  OpenCamera open = openCamera();
  EXPECT_EQ(getControl(open.first.get(), FirstUnit, 2, 3, 2).bytes, (Bytes{0x00, 0x00}));
  ASSERT_EQ(setControl(open.first.get(), FirstUnit, 2, 3, {0x10, 0x7F}), S_OK);
  ASSERT_EQ(setControl(open.first.get(), FirstUnit, 2, 3, {0xFF, 0x01}), S_OK);
  EXPECT_EQ(getControl(open.first.get(), FirstUnit, 2, 3, 2).bytes, (Bytes{0xFF, 0x01}));
  ASSERT_EQ(setControl(open.first.get(), FirstUnit, 2, 3, {0x10, 0x55}), S_OK);
  EXPECT_EQ(getControl(open.first.get(), FirstUnit, 2, 3, 4).bytes, (Bytes{0x10, 0x55, 0, 0}));
  EXPECT_EQ(getControl(open.first.get(), FirstUnit, 2, 3, 1).bytes, Bytes{0x10});
  EXPECT_EQ(camera().registerValue(0xFF), 0x01);

  EXPECT_EQ(setControl(open.first.get(), FirstUnit, 2, 3, {0x20, 0x01, 0x02}), E_INVALIDARG);
  EXPECT_EQ(setControl(open.first.get(), FirstUnit, 2, 3, {0x20}), E_INVALIDARG);
  EXPECT_EQ(getControl(open.first.get(), FirstUnit, 2, 3, 2).bytes, (Bytes{0x10, 0x55}));
}

TEST_F(MediaSeam, PasswordControlReportsTheLastAttempt) {
  OpenCamera open = openCamera();
  EXPECT_EQ(getControl(open.first.get(), FirstUnit, 2, 6, 2).bytes, (Bytes{0, 0}));
  ASSERT_EQ(setControl(open.first.get(), FirstUnit, 2, 6, {0x2B, 0x1A}), S_OK);
  EXPECT_EQ(getControl(open.first.get(), FirstUnit, 2, 6, 2).bytes, (Bytes{2, 0}));
  ASSERT_EQ(setControl(open.first.get(), FirstUnit, 2, 6, {0x1A, 0x2B}), S_OK);
  EXPECT_EQ(getControl(open.first.get(), FirstUnit, 2, 6, 2).bytes, (Bytes{1, 0}));
  EXPECT_EQ(setControl(open.first.get(), FirstUnit, 2, 6, {0x1A, 0x2B, 0x00}), E_INVALIDARG);
  EXPECT_EQ(getControl(open.first.get(), FirstUnit, 2, 6, 2).bytes, (Bytes{1, 0}));
  ASSERT_EQ(setControl(open.first.get(), FirstUnit, 2, 6, {0x00, 0x00}), S_OK);
  EXPECT_EQ(getControl(open.first.get(), FirstUnit, 2, 6, 2).bytes, (Bytes{2, 0}));
}

TEST_F(MediaSeam, ScenarioPasswordAndInitialControlValuesAreTheCamerasFromTheStart) {
  sim::VideoScenario scenario;
  scenario.password = 0x0BAD;
  scenario.controlValues = {
      {{2, 20}, {1, 2, 3, 4}}, {{3, 5}, {0xFF, 0x00}}, {{2, 3}, {0x40, 0x99}}};
  sim::applyVideoScenario(scenario);
  OpenCamera open = openCamera();
  EXPECT_EQ(getControl(open.first.get(), FirstUnit, 2, 20, 4).bytes, (Bytes{1, 2, 3, 4}));
  EXPECT_EQ(getControl(open.second.get(), SecondUnit, 3, 5, 2).bytes, (Bytes{0xFF, 0x00}));
  EXPECT_EQ(getControl(open.first.get(), FirstUnit, 2, 3, 2).bytes, (Bytes{0x40, 0x99}));
  ASSERT_EQ(setControl(open.first.get(), FirstUnit, 2, 6, {0x1A, 0x2B}), S_OK);
  EXPECT_EQ(getControl(open.first.get(), FirstUnit, 2, 6, 1).bytes, Bytes{2});
  ASSERT_EQ(setControl(open.first.get(), FirstUnit, 2, 6, {0x0B, 0xAD}), S_OK);
  EXPECT_EQ(getControl(open.first.get(), FirstUnit, 2, 6, 1).bytes, Bytes{1});
}

// --- The video processing amplifier -------------------------------------------------------------

TEST_F(MediaSeam, AmplifierOffersTenPropertiesWithTheirRanges) {
  OpenCamera open = openCamera();
  EXPECT_EQ(rangeOf(open.amplifier.get(), Brightness), (Range{-64, 64, 1, 0, 2}));
  EXPECT_EQ(rangeOf(open.amplifier.get(), WhiteBalance), (Range{2800, 6500, 10, 4600, 3}));
  for (LONG property = 0; property < 10; ++property) {
    const Range range = rangeOf(open.amplifier.get(), property);
    EXPECT_LT(range.min, range.max) << property;
    EXPECT_GE(range.defaultValue, range.min) << property;
    EXPECT_LE(range.defaultValue, range.max) << property;
    EXPECT_GT(range.step, 0) << property;
    EXPECT_NE(range.caps & VideoProcAmp_Flags_Manual, 0) << property;
  }
}

TEST_F(MediaSeam, PropertiesStartAtTheirDefaultsInAutoWhereTheyHaveIt) {
  OpenCamera open = openCamera();
  for (LONG property = 0; property < 10; ++property) {
    const Range range = rangeOf(open.amplifier.get(), property);
    LONG value = -1;
    LONG flags = -1;
    ASSERT_EQ(open.amplifier->Get(property, &value, &flags), S_OK);
    EXPECT_EQ(value, range.defaultValue) << property;
    EXPECT_EQ(flags, (range.caps & VideoProcAmp_Flags_Auto) != 0 ? VideoProcAmp_Flags_Auto
                                                                 : VideoProcAmp_Flags_Manual)
        << property;
  }
}

TEST_F(MediaSeam, SetKeepsAValueInRangeWithItsFlags) {
  OpenCamera open = openCamera();
  IAMVideoProcAmp* amplifier = open.amplifier.get();
  LONG value = 0;
  LONG flags = 0;
  EXPECT_EQ(amplifier->Set(WhiteBalance, 5000, VideoProcAmp_Flags_Manual), S_OK);
  ASSERT_EQ(amplifier->Get(WhiteBalance, &value, &flags), S_OK);
  EXPECT_EQ(value, 5000);
  EXPECT_EQ(flags, VideoProcAmp_Flags_Manual);
  EXPECT_EQ(amplifier->Set(Brightness, -64, VideoProcAmp_Flags_Manual), S_OK);
  EXPECT_EQ(amplifier->Set(Brightness, 64, VideoProcAmp_Flags_Manual), S_OK);
  ASSERT_EQ(amplifier->Get(Brightness, &value, &flags), S_OK);
  EXPECT_EQ(value, 64);
  EXPECT_EQ(amplifier->Set(WhiteBalance, 6500, VideoProcAmp_Flags_Auto), S_OK);
  ASSERT_EQ(amplifier->Get(WhiteBalance, &value, &flags), S_OK);
  EXPECT_EQ(value, 6500);
  EXPECT_EQ(flags, VideoProcAmp_Flags_Auto);
}

TEST_F(MediaSeam, SetRefusesValuesOutOfRangeAndUnknownFlags) {
  OpenCamera open = openCamera();
  IAMVideoProcAmp* amplifier = open.amplifier.get();
  EXPECT_EQ(amplifier->Set(Brightness, 65, VideoProcAmp_Flags_Manual), E_INVALIDARG);
  EXPECT_EQ(amplifier->Set(Brightness, -65, VideoProcAmp_Flags_Manual), E_INVALIDARG);
  EXPECT_EQ(amplifier->Set(WhiteBalance, 2790, VideoProcAmp_Flags_Manual), E_INVALIDARG);
  for (LONG flags : {0, 3, 4, -1}) {
    EXPECT_EQ(amplifier->Set(Brightness, 10, flags), E_INVALIDARG) << flags;
  }
  LONG value = -1;
  LONG flags = -1;
  ASSERT_EQ(amplifier->Get(Brightness, &value, &flags), S_OK);
  EXPECT_EQ(value, 0);
  EXPECT_EQ(flags, VideoProcAmp_Flags_Manual);
}

TEST_F(MediaSeam, UnsupportedPropertiesFailEveryCallAsNotFound) {
  sim::VideoScenario scenario;
  scenario.unsupportedProperties = {Sharpness, Gain};
  sim::applyVideoScenario(scenario);
  OpenCamera open = openCamera();
  IAMVideoProcAmp* amplifier = open.amplifier.get();
  for (LONG property : {LONG{-1}, LONG{Sharpness}, LONG{Gain}, LONG{10}}) {
    LONG a = -7, b = -7, c = -7, d = -7, e = -7;
    EXPECT_EQ(amplifier->GetRange(property, &a, &b, &c, &d, &e), ErrorNotFound) << property;
    EXPECT_EQ(amplifier->Set(property, 0, VideoProcAmp_Flags_Manual), ErrorNotFound) << property;
    EXPECT_EQ(amplifier->Get(property, &a, &b), ErrorNotFound) << property;
    EXPECT_EQ((std::vector<LONG>{a, b, c, d, e}), (std::vector<LONG>(5, -7))) << property;
  }
  EXPECT_EQ(rangeOf(amplifier, Sharpness - 1).max, 100);
}

// --- Injected faults -----------------------------------------------------------------------------

TEST_F(MediaSeam, EveryNamedStepReturnsItsHresultAndLeavesItsOutputsAlone) {
  Ref<IMFAttributes> attributes = videoCaptureAttributes();
  std::vector<Ref<IMFActivate>> devices = listDevices();
  OpenCamera open = openCamera();
  Ref<IKsTopologyInfo> topology = query<IKsTopologyInfo>(open.source.get(), IID_IKsTopologyInfo);
  Ref<IUnknown> node;
  ASSERT_EQ(topology->CreateNodeInstance(2, IID_IUnknown, node.putVoid()), S_OK);

  using sim::VideoStep;
  // Each call, with its outputs set to what the caller initialised them to before the call.
  const std::vector<std::pair<VideoStep, std::function<HRESULT()>>> calls = {
      {VideoStep::MFCreateAttributes,
       [&] {
         IMFAttributes* out = nullptr;
         const HRESULT result = MFCreateAttributes(&out, 1);
         EXPECT_EQ(out, nullptr);
         return result;
       }},
      {VideoStep::SetGUID,
       [&] {
         return attributes->SetGUID(MF_DEVSOURCE_ATTRIBUTE_SOURCE_TYPE,
                                    MF_DEVSOURCE_ATTRIBUTE_SOURCE_TYPE_VIDCAP_GUID);
       }},
      {VideoStep::MFEnumDeviceSources,
       [&] {
         IMFActivate** array = nullptr;
         UINT32 count = 7;
         const HRESULT result = MFEnumDeviceSources(attributes.get(), &array, &count);
         EXPECT_EQ(array, nullptr);
         EXPECT_EQ(count, 7u);
         return result;
       }},
      {VideoStep::GetAllocatedString,
       [&] {
         LPWSTR name = nullptr;
         UINT32 length = 7;
         const HRESULT result =
             devices[0]->GetAllocatedString(MF_DEVSOURCE_ATTRIBUTE_FRIENDLY_NAME, &name, &length);
         EXPECT_EQ(name, nullptr);
         EXPECT_EQ(length, 7u);
         return result;
       }},
      {VideoStep::ActivateObject,
       [&] {
         void* out = nullptr;
         const HRESULT result = devices[0]->ActivateObject(IID_IMFMediaSource, &out);
         EXPECT_EQ(out, nullptr);
         return result;
       }},
      {VideoStep::MFCreateSourceReaderFromMediaSource,
       [&] {
         IMFSourceReader* out = nullptr;
         const HRESULT result =
             MFCreateSourceReaderFromMediaSource(open.source.get(), attributes.get(), &out);
         EXPECT_EQ(out, nullptr);
         return result;
       }},
      {VideoStep::QueryIKsTopologyInfo,
       [&] {
         void* out = nullptr;
         const HRESULT result = open.source->QueryInterface(IID_IKsTopologyInfo, &out);
         EXPECT_EQ(out, nullptr);
         return result;
       }},
      {VideoStep::get_NodeType,
       [&] {
         GUID type{};
         const HRESULT result = topology->get_NodeType(2, &type);
         EXPECT_TRUE(type == GUID{});
         return result;
       }},
      {VideoStep::CreateNodeInstance,
       [&] {
         void* out = nullptr;
         const HRESULT result = topology->CreateNodeInstance(2, IID_IUnknown, &out);
         EXPECT_EQ(out, nullptr);
         return result;
       }},
      {VideoStep::QueryIKsControl,
       [&] {
         void* out = nullptr;
         const HRESULT result = node->QueryInterface(IID_IKsControl, &out);
         EXPECT_EQ(out, nullptr);
         return result;
       }},
      {VideoStep::KsProperty,
       [&] {
         const Reply reply = getControl(open.first.get(), FirstUnit, 2, 20, 2);
         EXPECT_EQ(reply.bytes, (Bytes{0xEE, 0xEE}));
         EXPECT_EQ(reply.returned, 0xFFFFFFFFu);
         return reply.result;
       }},
      {VideoStep::QueryIAMVideoProcAmp,
       [&] {
         void* out = nullptr;
         const HRESULT result = open.source->QueryInterface(IID_IAMVideoProcAmp, &out);
         EXPECT_EQ(out, nullptr);
         return result;
       }},
      {VideoStep::GetRange,
       [&] {
         LONG a = -7, b = -7, c = -7, d = -7, e = -7;
         const HRESULT result = open.amplifier->GetRange(Brightness, &a, &b, &c, &d, &e);
         EXPECT_EQ((std::vector<LONG>{a, b, c, d, e}), (std::vector<LONG>(5, -7)));
         return result;
       }},
      {VideoStep::Set,
       [&] { return open.amplifier->Set(Brightness, 10, VideoProcAmp_Flags_Manual); }},
      {VideoStep::Get,
       [&] {
         LONG value = -7;
         LONG flags = -7;
         const HRESULT result = open.amplifier->Get(Brightness, &value, &flags);
         EXPECT_EQ(value, -7);
         EXPECT_EQ(flags, -7);
         return result;
       }},
  };
  ASSERT_EQ(calls.size(), sim::VideoStepNames.size());

  const std::size_t blocksBefore = world().blocksAllocated;
  const std::size_t objectsBefore = sim::liveVideoObjects();
  for (HRESULT injected : {E_FAIL, makeHresult(0x80070492), S_FALSE}) {
    for (const auto& [step, call] : calls) {
      SCOPED_TRACE(std::string(sim::nameOf(step)));
      world().faults = {{step, injected}};
      EXPECT_EQ(call(), injected);
    }
  }
  world().faults.clear();
  EXPECT_EQ(world().blocksAllocated, blocksBefore);
  EXPECT_EQ(sim::liveVideoObjects(), objectsBefore);
}

TEST_F(MediaSeam, FaultedCallsChangeNothing) {
  OpenCamera open = openCamera();
  Ref<IMFAttributes> attributes;
  ASSERT_EQ(MFCreateAttributes(attributes.put(), 1), S_OK);
  world().faults = {{sim::VideoStep::SetGUID, S_OK},
                    {sim::VideoStep::KsProperty, S_FALSE},
                    {sim::VideoStep::Set, S_OK}};
  EXPECT_EQ(attributes->SetGUID(MF_DEVSOURCE_ATTRIBUTE_SOURCE_TYPE,
                                MF_DEVSOURCE_ATTRIBUTE_SOURCE_TYPE_VIDCAP_GUID),
            S_OK);
  EXPECT_EQ(setControl(open.first.get(), FirstUnit, 2, 20, {1}), S_FALSE);
  EXPECT_EQ(setControl(open.first.get(), FirstUnit, 2, 6, {0x1A, 0x2B}), S_FALSE);
  EXPECT_EQ(open.amplifier->Set(Brightness, 10, VideoProcAmp_Flags_Manual), S_OK);
  world().faults.clear();

  IMFActivate** array = nullptr;
  UINT32 count = 0;
  EXPECT_EQ(MFEnumDeviceSources(attributes.get(), &array, &count), E_INVALIDARG);
  EXPECT_TRUE(camera().storedControl(2, 20).empty());
  EXPECT_EQ(camera().passwordState(), sim::VideoCamera::PasswordState::NotTried);
  LONG value = -1;
  LONG flags = -1;
  ASSERT_EQ(open.amplifier->Get(Brightness, &value, &flags), S_OK);
  EXPECT_EQ(value, 0);
}

TEST_F(MediaSeam, FaultOnTheControlQueryLeavesTheNodeObjectItself) {
  OpenCamera open = openCamera();
  Ref<IKsTopologyInfo> topology = query<IKsTopologyInfo>(open.source.get(), IID_IKsTopologyInfo);
  world().faults = {{sim::VideoStep::QueryIKsControl, E_FAIL}};
  Ref<IUnknown> node;
  EXPECT_EQ(topology->CreateNodeInstance(3, IID_IUnknown, node.putVoid()), S_OK);
  void* control = nullptr;
  EXPECT_EQ(topology->CreateNodeInstance(3, IID_IKsControl, &control), E_FAIL);
  EXPECT_EQ(control, nullptr);
}

// --- The trace -----------------------------------------------------------------------------------

class VideoTrace : public MediaSeam {
 protected:
  void SetUp() override {
    MediaSeam::SetUp();
    path_ = std::filesystem::temp_directory_path() /
            ("optiqon-video-trace-" + std::to_string(::getpid()) + ".txt");
    std::ofstream(path_) << "an earlier run\n";
  }
  void TearDown() override {
    MediaSeam::TearDown();
    std::filesystem::remove(path_);
  }

  std::vector<std::string> fileLines() const {
    std::ifstream in(path_);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) {
      lines.push_back(line);
    }
    return lines;
  }

  std::filesystem::path path_;
};

TEST_F(VideoTrace, EveryControlRequestAndAmplifierCallIsALine) {
  sim::VideoScenario scenario;
  scenario.clock = sim::Clock::Mode::Virtual;
  scenario.videoTracePath = path_.string();
  sim::applyVideoScenario(scenario);
  world().keepCallLog = true;
  {
    OpenCamera open = openCamera();
    ASSERT_EQ(setControl(open.first.get(), FirstUnit, 2, 20, {1, 2, 3, 4}), S_OK);
    Sleep(40);
    ASSERT_EQ(getControl(open.first.get(), FirstUnit, 2, 20, 6).result, S_OK);
    ASSERT_EQ(getControl(open.first.get(), FirstUnit, 2, 32, 2).result, ErrorNotFound);
    ASSERT_EQ(setControl(open.second.get(), FirstUnit, 3, 1, {}), ErrorSetNotFound);
    Sleep(5);
    rangeOf(open.amplifier.get(), WhiteBalance);
    ASSERT_EQ(open.amplifier->Set(WhiteBalance, 5000, VideoProcAmp_Flags_Manual), S_OK);
    ASSERT_EQ(open.amplifier->Set(WhiteBalance, 9000, VideoProcAmp_Flags_Manual), E_INVALIDARG);
    LONG value = 0;
    LONG flags = 0;
    ASSERT_EQ(open.amplifier->Get(WhiteBalance, &value, &flags), S_OK);
    ASSERT_EQ(open.amplifier->Get(10, &value, &flags), ErrorNotFound);
    world().faults = {{sim::VideoStep::KsProperty, S_FALSE}};
    ASSERT_EQ(setControl(open.second.get(), SecondUnit, 3, 8, {0xAB}), S_FALSE);
  }
  // The request is the KSP_NODE: the unit's set, the selector, the flags, the node, reserved.
  const std::vector<std::string> expected = {
      "an earlier run",
      "0 KsProperty 0c89b6acb3a360408b9adf34eef39a2e140000000200001002000000"
      "00000000 4 01020304 0x00000000",
      "40 KsProperty 0c89b6acb3a360408b9adf34eef39a2e140000000100001002000000"
      "00000000 6 010203040000 0x00000000",
      "40 KsProperty 0c89b6acb3a360408b9adf34eef39a2e200000000100001002000000"
      "00000000 2 eeee 0x80070490",
      "40 KsProperty 0c89b6acb3a360408b9adf34eef39a2e010000000200001003000000"
      "00000000 0 - 0x80070492",
      "45 GetRange 7 0x00000000",
      "45 Set 7 5000 2 0x00000000",
      "45 Set 7 9000 2 0x80070057",
      "45 Get 7 5000 2 0x00000000",
      "45 Get 10 - - 0x80070490",
      "45 KsProperty 948609f43a134ea1b4a063d279bf3074080000000200001003000000"
      "00000000 1 ab 0x00000001",
  };
  std::vector<std::string> fromFile = fileLines();
  EXPECT_EQ(fromFile, expected);
  ASSERT_FALSE(fromFile.empty());
  fromFile.erase(fromFile.begin());
  EXPECT_EQ(traceLines(), fromFile);
}

TEST_F(VideoTrace, ShortOrMissingRequestsShowWhatThereWas) {
  OpenCamera open = openCamera();
  KSP_NODE property = request(FirstUnit, 20, SetRequest, 2);
  Bytes data = {7};
  EXPECT_EQ(open.first->KsProperty(&property.Property, 4, data.data(), 1, nullptr), E_INVALIDARG);
  EXPECT_EQ(open.first->KsProperty(nullptr, 32, nullptr, 3, nullptr), E_POINTER);
  EXPECT_EQ(traceLines(), (std::vector<std::string>{"0 KsProperty 0c89b6ac 1 07 0x80070057",
                                                    "0 KsProperty - 3 - 0x80004003"}));
}

TEST_F(VideoTrace, UnwritableTraceFileIsAScenarioError) {
  sim::VideoScenario scenario;
  scenario.videoTracePath = (path_ / "no-such-directory" / "trace.txt").string();
  try {
    sim::applyVideoScenario(scenario);
    FAIL() << "no error";
  } catch (const sim::ScenarioError& error) {
    EXPECT_EQ(std::string(error.what()),
              scenario.videoTracePath + ": cannot open the video trace file");
  }
}

// --- Applying a scenario -------------------------------------------------------------------------

TEST_F(MediaSeam, ScenarioSetsTheFaultsAndTheClock) {
  sim::clock().sleepMs(500);
  sim::VideoScenario scenario;
  scenario.clock = sim::Clock::Mode::Virtual;
  scenario.videoFaults = {{sim::VideoStep::MFEnumDeviceSources, makeHresult(0x80070005)}};
  sim::applyVideoScenario(scenario);
  EXPECT_EQ(sim::clock().nowMs(), 0u);
  Ref<IMFAttributes> attributes = videoCaptureAttributes();
  IMFActivate** array = nullptr;
  UINT32 count = 0;
  EXPECT_EQ(MFEnumDeviceSources(attributes.get(), &array, &count), makeHresult(0x80070005));
}

// A step that hands back an object gives none when it fails; a success code without the object
// is a PC that does not exist, so a scenario may make such a step fail only with a failure code.
TEST(VideoScenarioFile, StepsThatHandBackAnObjectFailOnlyWithFailureCodes) {
  const auto parse = [](const std::string& text) {
    std::istringstream in(text);
    return sim::parseVideoScenario(in, "scenario.txt");
  };
  const char* objectSteps[] = {"MFCreateAttributes",
                               "MFEnumDeviceSources",
                               "GetAllocatedString",
                               "ActivateObject",
                               "MFCreateSourceReaderFromMediaSource",
                               "QueryIKsTopologyInfo",
                               "CreateNodeInstance",
                               "QueryIKsControl",
                               "QueryIAMVideoProcAmp"};
  for (const std::string step : objectSteps) {
    for (const std::string code : {"0", "1", "0x7FFFFFFF"}) {
      const std::string item = step + "=" + code;
      try {
        parse("fail = KsProperty=1, " + item + "\n");
        ADD_FAILURE() << item << " accepted";
      } catch (const sim::ScenarioError& error) {
        EXPECT_EQ(std::string(error.what()),
                  "scenario.txt:1: bad value 'KsProperty=1, " + item + "' for fail: " + step +
                      " hands back an object: expected a failure, a negative HRESULT");
      }
    }
    EXPECT_EQ(parse("fail = " + step + "=0x80004005\n").videoFaults.size(), 1u);
  }
  EXPECT_EQ(parse("fail = SetGUID=0, get_NodeType=1, KsProperty=0, GetRange=1, Set=0, Get=1\n")
                .videoFaults.size(),
            6u);
}

TEST_F(MediaSeam, SessionLikeTheLibrarysReleasesEverything) {
  EXPECT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE), S_OK);
  EXPECT_EQ(MFStartup(MF_VERSION, MFSTARTUP_FULL), S_OK);
  Ref<IMFAttributes> attributes = videoCaptureAttributes();
  IMFActivate** array = nullptr;
  UINT32 count = 0;
  ASSERT_EQ(MFEnumDeviceSources(attributes.get(), &array, &count), S_OK);
  ASSERT_EQ(count, 1u);
  IMFMediaSource* source = nullptr;
  ASSERT_EQ(array[0]->ActivateObject(IID_IMFMediaSource, reinterpret_cast<void**>(&source)), S_OK);
  IMFSourceReader* reader = nullptr;
  ASSERT_EQ(MFCreateSourceReaderFromMediaSource(source, attributes.get(), &reader), S_OK);
  array[0]->Release();
  freeTaskMemory(array);
  attributes.reset();
  EXPECT_EQ(sim::liveVideoObjects(), 2u) << "the source and its reader";

  // The reader keeps the source alive after the library's own reference goes.
  EXPECT_EQ(source->Release(), 1u);
  EXPECT_EQ(sim::liveVideoObjects(), 2u);
  EXPECT_EQ(reader->Release(), 0u);
  EXPECT_EQ(sim::liveVideoObjects(), 0u);
}

TEST_F(MediaSeam, NodeObjectsKeepTheirSourceAlive) {
  Ref<IKsControl> control;
  {
    OpenCamera open = openCamera();
    control = std::move(open.first);
  }
  EXPECT_EQ(sim::liveVideoObjects(), 2u) << "the node object and its source";
  EXPECT_EQ(setControl(control.get(), FirstUnit, 2, 1, {5}), S_OK);
  EXPECT_EQ(control->AddRef(), 2u);
  EXPECT_EQ(control->Release(), 1u);
}

TEST_F(MediaSeam, CoTaskMemAllocBlocksAreDistinctAndCounted) {
#if defined(_WIN32)
  GTEST_SKIP() << "on Windows the task allocator is the platform's own, whose blocks the "
                  "simulated PC does not count";
#endif
  void* empty = CoTaskMemAlloc(0);
  void* block = CoTaskMemAlloc(16);
  EXPECT_NE(empty, nullptr);
  EXPECT_NE(empty, block);
  EXPECT_EQ(world().blocksAllocated, 2u);
  std::free(empty);
  std::free(block);
}

// --- The camera's settings kept between runs
// ------------------------------------------------------ Each run of a simulated program is a new
// process with a new camera: applying the scenario again is the next run.

class KeptSettings : public MediaSeam {
 protected:
  static constexpr char Header[] =
      "# The simulated Corvantis Optiqon's settings, rewritten by the camera after each change\n";

  std::string settingsPath() const { return (scratch_ / "settings.txt").string(); }

  // A run whose camera keeps its settings in settingsPath(), unless `lines` name another file.
  void startRun(const std::string& lines = "") {
    std::istringstream in("clock = virtual\ncamera_settings = " + settingsPath() + "\n" + lines);
    sim::applyVideoScenario(sim::parseVideoScenario(in, "scenario.txt"));
    world().keepCallLog = true;
  }
  std::string errorOfRun(const std::string& lines) {
    try {
      startRun(lines);
    } catch (const sim::ScenarioError& error) {
      return error.what();
    }
    return "(no error)";
  }

  std::string settingsText() const {
    std::ifstream in(settingsPath(), std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
  }
  void keepSettings(const std::string& text) const {
    std::ofstream(settingsPath(), std::ios::binary) << text;
  }

  static std::pair<LONG, LONG> valueAndFlags(IAMVideoProcAmp* amplifier, LONG property) {
    LONG value = -7;
    LONG flags = -7;
    require(amplifier->Get(property, &value, &flags) == S_OK, "Get failed");
    return {value, flags};
  }

  ScratchDirectory scratch_{"optiqon-settings"};
};

TEST_F(KeptSettings, ChangesMadeInOneRunAreFoundByTheNextOverTheScenarios) {
  const std::string scenario = "xu = 2.20=AA\nproperty_values = 0=5\n";
  startRun(scenario);
  {
    OpenCamera open = openCamera();
    ASSERT_EQ(setControl(open.first.get(), FirstUnit, 2, 20, {1, 2, 3, 4}), S_OK);
    ASSERT_EQ(setControl(open.second.get(), SecondUnit, 3, 5, {0xFF, 0x00}), S_OK);
    ASSERT_EQ(open.amplifier->Set(Brightness, -10, VideoProcAmp_Flags_Manual), S_OK);
    ASSERT_EQ(open.amplifier->Set(WhiteBalance, 5000, VideoProcAmp_Flags_Auto), S_OK);
  }
  startRun(scenario);
  OpenCamera open = openCamera();
  EXPECT_EQ(getControl(open.first.get(), FirstUnit, 2, 20, 4).bytes, (Bytes{1, 2, 3, 4}));
  EXPECT_EQ(getControl(open.second.get(), SecondUnit, 3, 5, 2).bytes, (Bytes{0xFF, 0x00}));
  EXPECT_EQ(valueAndFlags(open.amplifier.get(), Brightness),
            std::make_pair(LONG{-10}, LONG{VideoProcAmp_Flags_Manual}));
  EXPECT_EQ(valueAndFlags(open.amplifier.get(), WhiteBalance),
            std::make_pair(LONG{5000}, LONG{VideoProcAmp_Flags_Manual}))
      << "kept values come back in manual mode";
}

TEST_F(KeptSettings, FileListsWrittenControlsAndPropertiesInOrderAndReadsBackToItself) {
  startRun("xu = 3.1=0a, 2.3=10 7F\nproperty_values = 7=5000\nvpa_unsupported = 9\n");
  EXPECT_FALSE(std::filesystem::exists(settingsPath())) << "applying a scenario changes nothing";
  {
    OpenCamera open = openCamera();
    ASSERT_EQ(setControl(open.second.get(), SecondUnit, 3, 5, {7}), S_OK);
    ASSERT_EQ(setControl(open.second.get(), SecondUnit, 3, 5, {}), S_OK);
    ASSERT_EQ(setControl(open.first.get(), FirstUnit, 2, 20, {1, 2, 3, 4}), S_OK);
    ASSERT_EQ(setControl(open.first.get(), FirstUnit, 2, 9, {0x42}), S_OK);
    ASSERT_EQ(open.amplifier->Set(Brightness, -10, VideoProcAmp_Flags_Manual), S_OK);
  }
  const std::string expected = std::string(Header) +
                               "xu = 2.9=42, 2.20=01020304, 3.1=0A, 3.5=\n"
                               "property_values = 0=-10, 1=32, 2=0, 3=64, 4=2, 5=100, 6=1, "
                               "7=5000, 8=1\n";
  EXPECT_EQ(settingsText(), expected);

  // The next run, over a scenario that would set the emptied control, writes the same value again.
  startRun("xu = 3.5=99\nvpa_unsupported = 9\n");
  OpenCamera open = openCamera();
  EXPECT_EQ(getControl(open.second.get(), SecondUnit, 3, 5, 1).bytes, Bytes{0x00});
  ASSERT_EQ(setControl(open.first.get(), FirstUnit, 2, 9, {0x42}), S_OK);
  EXPECT_EQ(settingsText(), expected);
  std::set<std::string> beside;
  for (const auto& entry : std::filesystem::directory_iterator(scratch_.path())) {
    beside.insert(entry.path().filename().string());
  }
  const std::string name = std::filesystem::path(settingsPath()).filename().string();
  EXPECT_EQ(beside, (std::set<std::string>{name, name + ".lock"}))
      << "nothing left beside the file but the lock that runs take turns on";
}

TEST_F(KeptSettings, RegisterPasswordAndRefusedWritesAreNoSettings) {
  startRun();
  OpenCamera open = openCamera();
  ASSERT_EQ(setControl(open.first.get(), FirstUnit, 2, 3, {0x10, 0x7F}), S_OK);
  ASSERT_EQ(setControl(open.first.get(), FirstUnit, 2, 6, {0x1A, 0x2B}), S_OK);
  ASSERT_EQ(setControl(open.first.get(), FirstUnit, 2, 3, {1, 2, 3}), E_INVALIDARG);
  ASSERT_EQ(setControl(open.first.get(), FirstUnit, 2, 32, {1}), ErrorNotFound);
  ASSERT_EQ(open.amplifier->Set(Brightness, 65, VideoProcAmp_Flags_Manual), E_INVALIDARG);
  ASSERT_EQ(open.amplifier->Set(Gain, 1, 0), E_INVALIDARG);
  world().faults = {{sim::VideoStep::KsProperty, S_OK}, {sim::VideoStep::Set, S_OK}};
  ASSERT_EQ(setControl(open.first.get(), FirstUnit, 2, 1, {1}), S_OK);
  ASSERT_EQ(open.amplifier->Set(Brightness, 1, VideoProcAmp_Flags_Manual), S_OK);
  EXPECT_FALSE(std::filesystem::exists(settingsPath()));

  world().faults.clear();
  ASSERT_EQ(setControl(open.first.get(), FirstUnit, 2, 1, {5}), S_OK);
  EXPECT_EQ(settingsText(), std::string(Header) +
                                "xu = 2.1=05\n"
                                "property_values = 0=0, 1=32, 2=0, 3=64, 4=2, 5=100, 6=1, 7=4600, "
                                "8=1, 9=0\n");
}

TEST_F(KeptSettings, ValuesTheCameraRefusesAreNamed) {
  EXPECT_EQ(errorOfRun("property_values = 1=96\n"),
            "the camera refuses 96 for image property 1, which takes 0 to 95");
  EXPECT_EQ(errorOfRun("property_values = 0=-65\n"),
            "the camera refuses -65 for image property 0, which takes -64 to 64");
  EXPECT_EQ(errorOfRun("vpa_unsupported = 9\nproperty_values = 9=0\n"),
            "the camera has no image property 9");

  keepSettings("property_values = 1=96\n");
  EXPECT_EQ(errorOfRun(""),
            settingsPath() + ": the camera refuses 96 for image property 1, which takes 0 to 95");
  keepSettings("xu = 2.1=01\nproperty_values = 9=0\n");
  EXPECT_EQ(errorOfRun("vpa_unsupported = 9\n"),
            settingsPath() + ": the camera has no image property 9");
}

TEST_F(KeptSettings, UnusableSettingsFilesAreRefusedAtLoad) {
  const std::string nowhere = (scratch_ / "no-such-directory" / "settings.txt").string();
  EXPECT_EQ(errorOfRun("camera_settings = " + nowhere + "\n"),
            nowhere + ": no camera settings file can be written there");

  keepSettings("xu = 2.1=01\nflash = flash.bin\n");
  EXPECT_EQ(errorOfRun(""), settingsPath() +
                                ":2: key 'flash' is no camera setting: a camera settings file "
                                "holds only xu and property_values");
  keepSettings("xu = 2.1=0\n");
  EXPECT_EQ(errorOfRun(""),
            settingsPath() + ":1: bad value '2.1=0' for xu: expected bytes in hexadecimal");
  keepSettings(std::string(1024 * 1024 + 1, '#'));
  EXPECT_EQ(errorOfRun(""),
            settingsPath() + ": a camera settings file holds at most 1048576 bytes");
}

TEST_F(KeptSettings, FailedRewriteIsSaidOnceAndTheCameraGoesOn) {
  const std::filesystem::path folder = scratch_ / "folder";
  const std::string path = (folder / "settings.txt").string();
  std::filesystem::create_directory(folder);
  startRun("camera_settings = " + path + "\n");
  std::filesystem::remove_all(folder);

  OpenCamera open = openCamera();
  CapturedStandardError standardError;
  EXPECT_EQ(setControl(open.first.get(), FirstUnit, 2, 1, {1}), S_OK);
  EXPECT_EQ(open.amplifier->Set(Brightness, 3, VideoProcAmp_Flags_Manual), S_OK);
  EXPECT_EQ(setControl(open.first.get(), FirstUnit, 2, 1, {2}), S_OK);
  EXPECT_EQ(standardError.written(),
            "Brenwick_sim: cannot write the camera settings file " + path + "\n");
  EXPECT_EQ(camera().storedControl(2, 1), Bytes{2});
  EXPECT_EQ(valueAndFlags(open.amplifier.get(), Brightness).first, 3);

  std::filesystem::create_directory(folder);
  ASSERT_EQ(setControl(open.first.get(), FirstUnit, 2, 1, {3}), S_OK);
  EXPECT_TRUE(std::filesystem::exists(path)) << "every later change is tried again";
}

TEST_F(KeptSettings, OnlyTheFirstCameraListedKeepsItsSettings) {
  startRun("video_devices = USB2.0 HD UVC WebCam, Corvantis Optiqon, Corvantis Optiqon\n");
  std::vector<Ref<IMFActivate>> devices = listDevices();
  Ref<IKsControl> first = nodeControl(activate(devices[1].get()).get(), 2);
  Ref<IKsControl> second = nodeControl(activate(devices[2].get()).get(), 2);
  ASSERT_EQ(setControl(second.get(), FirstUnit, 2, 1, {9}), S_OK);
  EXPECT_FALSE(std::filesystem::exists(settingsPath()));
  ASSERT_EQ(setControl(first.get(), FirstUnit, 2, 1, {1}), S_OK);
  EXPECT_NE(settingsText().find("\nxu = 2.1=01\n"), std::string::npos);
}

// --- The scenario of a simulated library's process
// ------------------------------------------------ Both run in a fresh process, since the scenario
// is read only by the first seam call.

TEST(VideoScenarioLoading, FirstSeamCallAppliesTheEnvironmentsScenario) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  const std::string path = "video_scenario_loading.txt";
  std::ofstream(path) << "video_devices = A, Corvantis Optiqon, B\n";
  setEnvironmentVariable("OPTIQON_SIM_CAMERA", path.c_str());
  EXPECT_EXIT(
      {
        MFStartup(MF_VERSION, MFSTARTUP_FULL);
        std::exit(static_cast<int>(sim::videoWorld().devices.size()));
      },
      ::testing::ExitedWithCode(3), "");
  clearEnvironmentVariable("OPTIQON_SIM_CAMERA");
  std::filesystem::remove(path);
}

TEST(VideoScenarioLoading, UnusableScenarioEndsTheProcessWithItsReason) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  setEnvironmentVariable("OPTIQON_SIM_CAMERA", "/nonexistent/optiqon-scenario.txt");
  EXPECT_EXIT(Sleep(1), ::testing::ExitedWithCode(64),
              "Brenwick_sim: /nonexistent/optiqon-scenario.txt: cannot read the scenario file");
  clearEnvironmentVariable("OPTIQON_SIM_CAMERA");
}

TEST(VideoScenarioLoading, ValueTheCameraRefusesEndsTheProcess) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  ScratchDirectory scratch;
  const std::string path = (scratch / "scenario.txt").string();
  std::ofstream(path) << "property_values = 1=96\n";
  setEnvironmentVariable("OPTIQON_SIM_CAMERA", path.c_str());
  EXPECT_EXIT(Sleep(1), ::testing::ExitedWithCode(64),
              "Brenwick_sim: the camera refuses 96 for image property 1, which takes 0 to 95");
  clearEnvironmentVariable("OPTIQON_SIM_CAMERA");
}

}  // namespace
