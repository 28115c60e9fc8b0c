// The camera library on Linux, in-process through its V4L2 backend against made-up video nodes
// and sysfs: the devices Media Foundation would list and their names, the topology read from the
// camera's USB descriptors, every control request as uvcvideo receives it, the image properties
// as V4L2 controls, and a camera that goes away.
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "Brenwick.h"
#include "camera_connection.h"
#include "com_ptr.h"
#include "fake_v4l2_system.h"
#include "library_console.h"
#include "library_test_support.h"
#include "media_objects.h"
#include "upgrader_transcripts.h"
#include "uvc_extension.h"
#include "uvc_topology.h"

namespace {

constexpr const char* RegisterUnreadable = "\nDid not find \"Optiqon\" device.";

constexpr HRESULT SetNotFound = static_cast<HRESULT>(0x80070492);
constexpr HRESULT NotFoundResult = static_cast<HRESULT>(0x80070490);
constexpr HRESULT DeviceNotConnected = static_cast<HRESULT>(0x8007048F);
constexpr HRESULT AccessDenied = static_cast<HRESULT>(0x80070005);

constexpr ULONG Read = KSPROPERTY_TYPE_GET | KSPROPERTY_TYPE_TOPOLOGY;
constexpr ULONG Write = KSPROPERTY_TYPE_SET | KSPROPERTY_TYPE_TOPOLOGY;

// Node types, as ksmedia.h names them.
constexpr GUID CameraTerminalType = {
    0xDFF229E6, 0xF70F, 0x11D0, {0xB9, 0x17, 0x00, 0xA0, 0xC9, 0x22, 0x31, 0x96}};
constexpr GUID ProcessingType = {
    0xDFF229E5, 0xF70F, 0x11D0, {0xB9, 0x17, 0x00, 0xA0, 0xC9, 0x22, 0x31, 0x96}};
constexpr GUID SelectorType = {
    0xDFF229E4, 0xF70F, 0x11D0, {0xB9, 0x17, 0x00, 0xA0, 0xC9, 0x22, 0x31, 0x96}};
constexpr GUID OutputTerminalType = {
    0xDFF229E3, 0xF70F, 0x11D0, {0xB9, 0x17, 0x00, 0xA0, 0xC9, 0x22, 0x31, 0x96}};
constexpr GUID DeviceSpecificType = {
    0x941C7AC0, 0xC559, 0x11D0, {0x8A, 0x2B, 0x00, 0xA0, 0xC9, 0x25, 0x5A, 0xC1}};

// Another vendor's extension unit, as some sensor modules add to a camera's function.
const Bytes ForeignUnitCode = {0x6A, 0xD1, 0x49, 0x2C, 0xB8, 0x32, 0x85, 0x44,
                               0x3E, 0xA8, 0x64, 0x3A, 0x15, 0x23, 0x62, 0xF2};
constexpr GUID ForeignUnitGuid = {
    0x2C49D16A, 0x32B8, 0x4485, {0x3E, 0xA8, 0x64, 0x3A, 0x15, 0x23, 0x62, 0xF2}};

std::string requestFailure(const std::string& code) {
  return failureLine("UvcExtension::SetGetExtensionUnit", "ks_control->KsProperty(...)", code);
}

std::string hex(const Bytes& bytes) {
  std::string text;
  char pair[3];
  for (std::uint8_t byte : bytes) {
    std::snprintf(pair, sizeof pair, "%02x", byte);
    text += pair;
  }
  return text.empty() ? "-" : text;
}

// A control query as one line: unit, selector, request code, size, data, result.
std::string describe(const FakeExtensionQuery& query) {
  char head[32];
  std::snprintf(head, sizeof head, "%u %u %02x %u ", query.unit, query.selector, query.query,
                query.size);
  return head + hex(query.data) + " " + std::to_string(query.result);
}

// The video capture devices, listed through the seam as the library lists them.
class DeviceList {
 public:
  DeviceList() {
    MFCreateAttributes(&store_, 1);
    store_->SetGUID(MF_DEVSOURCE_ATTRIBUTE_SOURCE_TYPE,
                    MF_DEVSOURCE_ATTRIBUTE_SOURCE_TYPE_VIDCAP_GUID);
    result = MFEnumDeviceSources(store_, &devices, &count);
  }
  ~DeviceList() {
    for (UINT32 i = 0; i < count; ++i) {
      devices[i]->Release();
    }
    CoTaskMemFree(devices);
    store_->Release();
  }
  DeviceList(const DeviceList&) = delete;
  DeviceList& operator=(const DeviceList&) = delete;

  std::u16string name(UINT32 device, UINT32* length = nullptr) {
    return text(device, MF_DEVSOURCE_ATTRIBUTE_FRIENDLY_NAME, length);
  }

  std::u16string text(UINT32 device, REFGUID key, UINT32* length = nullptr) {
    WCHAR* text = nullptr;
    UINT32 characters = 0;
    EXPECT_EQ(devices[device]->GetAllocatedString(key, &text, &characters), S_OK);
    const std::u16string copy = text == nullptr ? u"" : text;
    CoTaskMemFree(text);
    if (length != nullptr) {
      *length = characters;
    }
    return copy;
  }

  std::vector<std::u16string> names() {
    std::vector<std::u16string> all;
    for (UINT32 i = 0; i < count; ++i) {
      all.push_back(name(i));
    }
    return all;
  }

  HRESULT result = E_FAIL;
  IMFActivate** devices = nullptr;
  UINT32 count = 0;

 private:
  IMFAttributes* store_ = nullptr;
};

class V4l2Backend : public ::testing::Test {
 protected:
  void SetUp() override { useV4l2System(&system_); }

  void TearDown() override {
    releaseCameraConnection(cameraConnection());
    useV4l2System(nullptr);
    EXPECT_EQ(liveMediaObjects(), 0u) << "the library kept a platform object";
    EXPECT_TRUE(system_.openDevices.empty()) << "a video node was left open";
  }

  std::string printed() { return console_.printed(); }

  void connect() {
    ASSERT_TRUE(Initialize());
    ASSERT_EQ(printed(), "");
    system_.extensionQueries.clear();
    system_.controlCalls.clear();
  }

  std::vector<std::string> queries() const {
    std::vector<std::string> lines;
    for (const FakeExtensionQuery& query : system_.extensionQueries) {
      lines.push_back(describe(query));
    }
    return lines;
  }

  // The controls written with VIDIOC_S_CTRL, with the values sent.
  std::vector<std::pair<std::uint32_t, std::int32_t>> controlsSet() const {
    std::vector<std::pair<std::uint32_t, std::int32_t>> sets;
    for (const FakeControlCall& call : system_.controlCallsOf(FakeV4l2Call::SetControl)) {
      sets.emplace_back(call.id, call.value);
    }
    return sets;
  }

  std::vector<unsigned> openNodes() const {
    std::vector<unsigned> nodes;
    for (const auto& [device, node] : system_.openDevices) {
      nodes.push_back(node);
    }
    return nodes;
  }

  sim::VideoCamera& camera(unsigned node) { return *system_.nodes[node].camera; }

  FakeV4l2System system_;
  CapturedConsole console_;
};

// The media source of the listed device `device`, and its interfaces.
class Source {
 public:
  Source(DeviceList& list, UINT32 device) {
    result = list.devices[device]->ActivateObject(IID_IMFMediaSource, source.out());
    if (result == S_OK) {
      source->QueryInterface(IID_IKsTopologyInfo, topology.out());
    }
  }

  // A property request for one control through the object of topology node `node`.
  HRESULT request(DWORD node, const GUID& set, ULONG selector, ULONG flags, Bytes& data,
                  ULONG* returned = nullptr, ULONG requestLength = sizeof(KSP_NODE)) {
    return requestNamingNode(node, node, set, selector, flags, data, returned, requestLength);
  }

  // The same through the object of node `instanceNode`, the request naming node `node`.
  HRESULT requestNamingNode(DWORD instanceNode, DWORD node, const GUID& set, ULONG selector,
                            ULONG flags, Bytes& data, ULONG* returned = nullptr,
                            ULONG requestLength = sizeof(KSP_NODE)) {
    ComPtr<IUnknown> instance;
    HRESULT made = topology->CreateNodeInstance(instanceNode, IID_IUnknown, instance.out());
    if (made != S_OK) {
      return made;
    }
    ComPtr<IKsControl> control;
    instance->QueryInterface(IID_IKsControl, control.out());
    KSP_NODE property{{set, selector, flags}, node, 0};
    ULONG ignored = 0;
    return control->KsProperty(reinterpret_cast<PKSPROPERTY>(&property), requestLength,
                               data.empty() ? nullptr : data.data(),
                               static_cast<ULONG>(data.size()),
                               returned != nullptr ? returned : &ignored);
  }

  HRESULT result;
  ComPtr<IMFMediaSource> source;
  ComPtr<IKsTopologyInfo> topology;
};

// --- Listing the video devices ------------------------------------------------------------

using V4l2Listing = V4l2Backend;

TEST_F(V4l2Listing, CaptureNodesInNumericOrderWithoutTheirMetadataNodes) {
  system_.nodes[10] = fakeWebcam("USB Capture HD");
  system_.nodes[11] = metadataNodeOf(system_.nodes[10]);
  system_.nodes[0] = fakeWebcam("Integrated Webcam");
  system_.nodes[1] = metadataNodeOf(system_.nodes[0]);
  system_.nodes[2] = fakeCamera();
  system_.nodes[3] = metadataNodeOf(system_.nodes[2]);
  DeviceList list;
  EXPECT_EQ(list.result, S_OK);
  EXPECT_EQ(list.names(), (std::vector<std::u16string>{u"Integrated Webcam", u"Corvantis Optiqon",
                                                       u"USB Capture HD"}));
  // Each device's own node, by which it is told apart from another of the same name.
  ASSERT_EQ(list.count, 3u);
  EXPECT_EQ(list.text(0, MF_DEVSOURCE_ATTRIBUTE_SOURCE_TYPE_VIDCAP_SYMBOLIC_LINK), u"/dev/video0");
  EXPECT_EQ(list.text(1, MF_DEVSOURCE_ATTRIBUTE_SOURCE_TYPE_VIDCAP_SYMBOLIC_LINK), u"/dev/video2");
  EXPECT_EQ(list.text(2, MF_DEVSOURCE_ATTRIBUTE_SOURCE_TYPE_VIDCAP_SYMBOLIC_LINK), u"/dev/video10");
  EXPECT_TRUE(system_.openDevices.empty()) << "listing leaves no node open";
}

TEST_F(V4l2Listing, CameraAmongOtherDevicesOpensItsCaptureNode) {
  system_.nodes[0] = fakeWebcam("Integrated Webcam");
  system_.nodes[1] = metadataNodeOf(system_.nodes[0]);
  system_.nodes[2] = fakeCamera();
  system_.nodes[3] = metadataNodeOf(system_.nodes[2]);
  EXPECT_TRUE(Initialize());
  EXPECT_EQ(printed(), "");
  EXPECT_EQ(openNodes(), std::vector<unsigned>{2});
  EXPECT_EQ(system_.sleptMs, 0u);
}

TEST_F(V4l2Listing, WithoutTheCameraTheCaptureDevicesAreListed) {
  system_.nodes[10] = fakeWebcam("USB Capture HD");
  system_.nodes[11] = metadataNodeOf(system_.nodes[10]);
  system_.nodes[0] = fakeWebcam("Integrated Webcam");
  system_.nodes[1] = metadataNodeOf(system_.nodes[0]);
  EXPECT_FALSE(Initialize());
  EXPECT_EQ(printed(),
            std::string(NotFound) + "0: Integrated Webcam\n1: USB Capture HD\n" + Exiting);
  EXPECT_EQ(system_.sleptMs, 5000u);
}

TEST_F(V4l2Listing, NoVideoNodesAtAll) {
  DeviceList list;
  EXPECT_EQ(list.result, S_OK);
  EXPECT_EQ(list.count, 0u);
  EXPECT_EQ(list.devices, nullptr);
  EXPECT_FALSE(Initialize());
  EXPECT_EQ(printed(), std::string(NotFound) + Exiting);
  EXPECT_EQ(system_.sleptMs, 5000u);
}

TEST_F(V4l2Listing, NamesThatOnlyResembleTheCamerasAreListed) {
  system_.nodes[0] = fakeCamera("corvantis optiqon");
  system_.nodes[2] = fakeCamera("Corvantis Optiqon ");
  EXPECT_FALSE(Initialize());
  EXPECT_EQ(printed(),
            std::string(NotFound) + "0: corvantis optiqon\n1: Corvantis Optiqon \n" + Exiting);
  EXPECT_TRUE(system_.extensionQueries.empty());
}

// uvcvideo's card name is the product string cut to 31 bytes.
TEST_F(V4l2Listing, ProductStringLongerThanTheCardNamesTheDevice) {
  system_.nodes[0] = fakeWebcam("Integrated HD Webcam With Infrared Sensor");
  system_.nodes[1] = fakeCamera();
  system_.nodes[1].card = "Something Else Entirely";
  DeviceList list;
  EXPECT_EQ(list.names(), (std::vector<std::u16string>{u"Integrated HD Webcam With Infrared Sensor",
                                                       u"Corvantis Optiqon"}));
}

TEST_F(V4l2Listing, WithoutAProductStringTheCardNamesTheDevice) {
  system_.nodes[0] = fakeWebcam("ignored");
  system_.nodes[0].product.reset();
  system_.nodes[0].card = "Virtual Capture Device";
  system_.nodes[1] = fakeCamera();
  system_.nodes[1].product = "\n";
  DeviceList list;
  EXPECT_EQ(list.names(),
            (std::vector<std::u16string>{u"Virtual Capture Device", u"Corvantis Optiqon"}));
  EXPECT_TRUE(Initialize());
  EXPECT_EQ(openNodes(), std::vector<unsigned>{1});
}

TEST_F(V4l2Listing, NamesAreDecodedFromUtf8AndCountedInUtf16Units) {
  system_.nodes[0] = fakeWebcam("Kamera \xC3\x9C \xF0\x9F\x93\xB7 \xFF");
  DeviceList list;
  UINT32 length = 0;
  EXPECT_EQ(list.name(0, &length), u"Kamera \u00DC \U0001F4F7 \uFFFD");
  EXPECT_EQ(length, 13u);
  EXPECT_FALSE(Initialize());
  EXPECT_EQ(printed(), std::string(NotFound) + "0: Kamera ? ? ?\n" + Exiting);
}

TEST_F(V4l2Listing, NodesThatCannotBeOpenedOrQueriedAreLeftOut) {
  system_.nodes[0] = fakeWebcam("Integrated Webcam");
  system_.nodes[0].openError = EACCES;
  system_.nodes[1] = fakeCamera();
  DeviceList first;
  EXPECT_EQ(first.names(), std::vector<std::u16string>{u"Corvantis Optiqon"});
  system_.faults[FakeV4l2Call::QueryCapability] = EIO;
  DeviceList second;
  EXPECT_EQ(second.result, S_OK);
  EXPECT_EQ(second.count, 0u);
}

TEST_F(V4l2Listing, KernelWithoutNodeCapabilitiesIsAskedForTheDevices) {
  system_.nodes[0] = fakeCamera();
  system_.nodes[0].reportsDeviceCaps = false;
  DeviceList list;
  EXPECT_EQ(list.names(), std::vector<std::u16string>{u"Corvantis Optiqon"});
}

TEST_F(V4l2Listing, OnlyAStoreThatAsksForVideoCaptureGetsAList) {
  system_.nodes[0] = fakeCamera();
  IMFAttributes* store = nullptr;
  ASSERT_EQ(MFCreateAttributes(&store, 1), S_OK);
  IMFActivate** devices = nullptr;
  UINT32 count = 0;
  EXPECT_EQ(MFEnumDeviceSources(store, &devices, &count), E_INVALIDARG);
  const GUID audioCapture = {
      0x14DD9A1C, 0x7CFF, 0x41BE, {0xB1, 0xB9, 0xBA, 0x1A, 0xC6, 0xEC, 0xB5, 0x71}};
  store->SetGUID(MF_DEVSOURCE_ATTRIBUTE_SOURCE_TYPE, audioCapture);
  EXPECT_EQ(MFEnumDeviceSources(store, &devices, &count), E_INVALIDARG);
  WCHAR* text = nullptr;
  UINT32 length = 0;
  EXPECT_EQ(store->GetAllocatedString(MF_DEVSOURCE_ATTRIBUTE_SOURCE_TYPE, &text, &length),
            static_cast<HRESULT>(0xC00D36BD));  // MF_E_INVALIDTYPE: a GUID, not a string
  EXPECT_EQ(store->GetAllocatedString(MF_DEVSOURCE_ATTRIBUTE_FRIENDLY_NAME, &text, &length),
            MF_E_ATTRIBUTENOTFOUND);
  EXPECT_EQ(devices, nullptr);
  store->Release();
}

// --- The topology read from the camera's descriptors --------------------------------------

using V4l2Topology = V4l2Backend;

// The streaming interface's formats and frames share their subtype numbers with units; they are
// not nodes.
TEST_F(V4l2Topology, CameraTerminalProcessingUnitAndTheTwoExtensionUnits) {
  system_.nodes[0] = fakeCamera();
  DeviceList list;
  Source camera(list, 0);
  ASSERT_EQ(camera.result, S_OK);
  DWORD nodes = 0;
  EXPECT_EQ(camera.topology->get_NumNodes(&nodes), S_OK);
  EXPECT_EQ(nodes, 4u);
  const GUID expected[] = {CameraTerminalType, ProcessingType, DeviceSpecificType,
                           DeviceSpecificType};
  for (DWORD node = 0; node < 4; ++node) {
    GUID type{};
    EXPECT_EQ(camera.topology->get_NodeType(node, &type), S_OK);
    EXPECT_TRUE(type == expected[node]) << "node " << node;
  }
  GUID type{};
  EXPECT_EQ(camera.topology->get_NodeType(4, &type), E_INVALIDARG);
  ComPtr<IUnknown> instance;
  EXPECT_EQ(camera.topology->CreateNodeInstance(4, IID_IUnknown, instance.out()), E_INVALIDARG);
}

TEST_F(V4l2Topology, OtherTerminalsAndUnitsAreNodesTooTheStreamingTerminalNowhere) {
  system_.nodes[0] = fakeCamera();
  system_.nodes[0].descriptors =
      usbDescriptors({outputTerminal(5, StreamingTerminal, 3), cameraTerminal(1),
                      selectorUnit(6, 1, 1), outputTerminal(7, DisplayTerminal, 6)});
  DeviceList list;
  Source camera(list, 0);
  DWORD nodes = 0;
  camera.topology->get_NumNodes(&nodes);
  ASSERT_EQ(nodes, 3u);
  GUID types[3] = {};
  for (DWORD node = 0; node < 3; ++node) {
    camera.topology->get_NodeType(node, &types[node]);
  }
  EXPECT_TRUE(types[0] == CameraTerminalType);
  EXPECT_TRUE(types[1] == SelectorType);
  EXPECT_TRUE(types[2] == OutputTerminalType);
}

TEST_F(V4l2Topology, NodeOffUsbHasNone) {
  system_.nodes[0] = fakeWebcam("Virtual Capture Device");
  system_.nodes[0].product.reset();
  system_.nodes[0].descriptors.reset();
  DeviceList list;
  Source device(list, 0);
  ASSERT_EQ(device.result, S_OK);
  DWORD nodes = 7;
  EXPECT_EQ(device.topology->get_NumNodes(&nodes), S_OK);
  EXPECT_EQ(nodes, 0u);
}

// The first configuration carries a plain webcam's function, the second (the active one) the
// camera's.
TEST_F(V4l2Topology, OnlyTheActiveConfigurationIsRead) {
  system_.nodes[0] = fakeCamera();
  Bytes descriptors = usbDescriptors(
      {cameraTerminal(1), processingUnit(2, 1), outputTerminal(3, StreamingTerminal, 2)});
  Bytes second = usbDescriptors(cameraEntities());
  constexpr std::size_t DeviceDescriptorLength = 18;
  second.erase(second.begin(), second.begin() + DeviceDescriptorLength);
  second[5] = 2;  // bConfigurationValue
  descriptors.insert(descriptors.end(), second.begin(), second.end());
  system_.nodes[0].descriptors = descriptors;
  system_.nodes[0].configurationValue = "2\n";
  connect();
  camera(0).setControl(sim::VideoCamera::FirstUnitNode, 9, Bytes{0x42});
  EXPECT_EQ(takeValues(GetPropertyExtended(9)), std::vector<double>{0x42});
  system_.nodes[0].configurationValue = "1\n";
  connect();
  EXPECT_EQ(takeValues(GetPropertyExtended(9)), std::vector<double>{0});
  EXPECT_EQ(printed(), failureLine("UvcExtension::SetGetExtensionUnit",
                                   "IKsTopologyInfo->get_NodeType(...)", "80070057"));
}

// Without sysfs the camera is still found by its card name, but it has no units to reach.
TEST_F(V4l2Topology, UnreadableSysfsLeavesTheCardAndNoNodes) {
  system_.nodes[0] = fakeCamera();
  system_.faults[FakeV4l2Call::ReadSysfsFile] = EIO;
  connect();
  EXPECT_EQ(takeValues(GetPropertyExtended(20)), std::vector<double>(4, 0));
  EXPECT_EQ(printed(), failureLine("UvcExtension::SetGetExtensionUnit",
                                   "IKsTopologyInfo->get_NodeType(...)", "80070057"));
  EXPECT_EQ(GetProperty(0), 0.0);
}

// A device with several video functions has a node for each; the node's own VideoControl
// interface is the one read. sysfs writes its number in hex.
TEST_F(V4l2Topology, EachNodeReadsItsOwnVideoFunction) {
  const std::vector<Bytes> plain = {cameraTerminal(1), processingUnit(2, 1),
                                    outputTerminal(3, StreamingTerminal, 2)};
  system_.nodes[0] = fakeCamera();
  system_.nodes[0].descriptors = usbDescriptors(
      std::vector<std::vector<Bytes>>{plain, plain, plain, plain, plain, cameraEntities()});
  system_.nodes[0].interfaceNumber = "0a\n";
  connect();
  EXPECT_TRUE(SetRegister(1, 2));
  system_.nodes[0].interfaceNumber = "00\n";
  connect();
  EXPECT_FALSE(SetRegister(1, 2));
  EXPECT_EQ(printed(), failureLine("UvcExtension::SetGetExtensionUnit",
                                   "IKsTopologyInfo->get_NodeType(...)", "80070057"));
}

// The device writes its own descriptors: bytes that do not hold together end the reading, or
// leave out the one descriptor that is too short, and never make up a node.
std::string nodesOf(const Bytes& descriptors) {
  std::string text;
  for (const TopologyNode& node : topologyNodes(descriptors, 1, 0)) {
    char one[16];
    std::snprintf(one, sizeof one, "%s%02x/%u", text.empty() ? "" : " ", node.subtype, node.id);
    text += one;
  }
  return text;
}

TEST(UvcTopologyOfBrokenDescriptors, LengthThatCannotBeEndsTheReading) {
  for (std::uint8_t length : {0, 1}) {
    EXPECT_EQ(nodesOf(usbDescriptors({cameraTerminal(1), processingUnit(2, 1),
                                      Bytes{length, 0x24, 0x06, 0x04}, firstExtensionUnit(2)})),
              "02/1 05/2")
        << unsigned{length};
  }
  EXPECT_EQ(nodesOf({}), "");
  EXPECT_EQ(nodesOf({0x09}), "");
}

TEST(UvcTopologyOfBrokenDescriptors, DescriptorTooShortForItsFieldsIsNoNode) {
  Bytes cutCode = firstExtensionUnit(2);
  cutCode.resize(12);
  cutCode[0] = 12;
  const Bytes cutTerminal = {5, 0x24, 0x02, 0x01, 0x01};
  const Bytes noId = {3, 0x24, 0x05};
  EXPECT_EQ(nodesOf(usbDescriptors(
                {cutTerminal, noId, processingUnit(2, 1), cutCode, secondExtensionUnit(2)})),
            "05/2 06/3");
}

// A file cut inside the second unit: its last descriptor claims more bytes than are left.
TEST(UvcTopologyOfBrokenDescriptors, FileCutShortKeepsWhatCameBefore) {
  const Bytes whole = usbDescriptors(cameraEntities());
  const auto second =
      std::search(whole.begin(), whole.end(), SecondUnitCode.begin(), SecondUnitCode.end());
  ASSERT_NE(second, whole.end());
  for (std::ptrdiff_t into : {-4, 0, 7, 16}) {
    EXPECT_EQ(nodesOf(Bytes(whole.begin(), second + into)), "02/1 05/2 06/4") << into;
  }
}

// --- Extension-unit controls --------------------------------------------------------------

using V4l2ExtensionControls = V4l2Backend;

// The first unit has UVC id 4 and the second id 3: each request goes to the unit whose GUID it
// names, whatever its id.
TEST_F(V4l2ExtensionControls, RequestsReachTheUnitOfTheirGuid) {
  system_.nodes[0] = fakeCamera();
  camera(0).setControl(sim::VideoCamera::FirstUnitNode, 20, Bytes{9, 8, 7, 6});
  camera(0).setControl(sim::VideoCamera::SecondUnitNode, 5, Bytes{0xAB, 0xCD});
  connect();
  EXPECT_EQ(takeValues(GetPropertyExtended(20)), (std::vector<double>{9, 8, 7, 6}));
  EXPECT_EQ(takeValues(GetPropertyExtended(36)), (std::vector<double>{0xAB, 0xCD}));
  SetPropertyExtended(33, HostArray({7.0}).array);
  SetPropertyExtended(31, HostArray({300.7}).array);
  EXPECT_EQ(queries(), (std::vector<std::string>{"4 20 81 4 09080706 0", "3 5 81 2 abcd 0",
                                                 "3 2 01 1 07 0", "4 31 01 1 2c 0"}));
  EXPECT_EQ(camera(0).storedControl(sim::VideoCamera::SecondUnitNode, 2), Bytes{7});
  EXPECT_EQ(printed(), "");
}

TEST_F(V4l2ExtensionControls, SeamAnswersWithTheLengthReadAndNothingForAWrite) {
  system_.nodes[0] = fakeCamera();
  DeviceList list;
  Source camera(list, 0);
  Bytes four(4, 0xEE);
  ULONG returned = 99;
  EXPECT_EQ(camera.request(2, ExtensionUnitGuidNode2, 20, Read, four, &returned), S_OK);
  EXPECT_EQ(returned, 4u);
  EXPECT_EQ(four, Bytes(4, 0));
  Bytes one = {5};
  EXPECT_EQ(camera.request(3, ExtensionUnitGuidNode3, 1, Write, one, &returned), S_OK);
  EXPECT_EQ(returned, 0u);
}

// A request whose property set no extension unit carries, a node the topology does not have, or a
// request the filter does not know is refused before anything reaches uvcvideo.
TEST_F(V4l2ExtensionControls, RequestsTheFilterCannotSendSendNothing) {
  system_.nodes[0] = fakeCamera();
  DeviceList list;
  Source camera(list, 0);
  Bytes data(1, 0);
  EXPECT_EQ(camera.request(2, ForeignUnitGuid, 1, Read, data), SetNotFound);
  EXPECT_EQ(camera.request(1, ProcessingType, 1, Read, data), SetNotFound);
  EXPECT_EQ(camera.requestNamingNode(2, 4, ExtensionUnitGuidNode2, 1, Read, data), SetNotFound);
  EXPECT_EQ(camera.request(2, ExtensionUnitGuidNode2, 0x101, Read, data), NotFoundResult);
  EXPECT_EQ(camera.request(2, ExtensionUnitGuidNode2, 1, KSPROPERTY_TYPE_GET, data), E_INVALIDARG);
  EXPECT_EQ(camera.request(2, ExtensionUnitGuidNode2, 1, Read, data, nullptr, sizeof(KSPROPERTY)),
            E_INVALIDARG);
  EXPECT_TRUE(system_.extensionQueries.empty());
}

// The library writes as many bytes as the host gives and reads the length of its table; uvcvideo
// takes neither when it is not the control's length. Control 3, the register, is two bytes long
// where the table says one.
TEST_F(V4l2ExtensionControls, LengthThatIsNotTheControlsIsRefused) {
  system_.nodes[0] = fakeCamera();
  connect();
  SetPropertyExtended(5, HostArray({1.0, 2.0}).array);
  EXPECT_EQ(printed(), requestFailure("8007007a"));
  EXPECT_TRUE(camera(0).storedControl(sim::VideoCamera::FirstUnitNode, 5).empty());
  EXPECT_EQ(takeValues(GetPropertyExtended(3)), std::vector<double>{0});
  EXPECT_EQ(printed(), requestFailure("8007007a"));
  EXPECT_EQ(queries(), (std::vector<std::string>{"4 5 01 2 0102 " + std::to_string(-ENOBUFS),
                                                 "4 3 81 1 00 " + std::to_string(-ENOBUFS)}));
}

TEST_F(V4l2ExtensionControls, ControlTheUnitDoesNotHaveIsNotFound) {
  system_.nodes[0] = fakeCamera();
  connect();
  EXPECT_EQ(takeValues(GetPropertyExtended(40)), std::vector<double>{});
  EXPECT_EQ(printed(), requestFailure("80070490"));
  EXPECT_EQ(queries(), std::vector<std::string>{"3 9 81 0 - " + std::to_string(-ENOENT)});
}

TEST_F(V4l2ExtensionControls, KernelErrorsBecomeTheResultsWindowsGives) {
  const std::pair<int, const char*> errors[] = {
      {ENOENT, "80070490"},    {ENOBUFS, "8007007a"}, {ENODEV, "8007048f"}, {ENXIO, "8007048f"},
      {ESHUTDOWN, "8007048f"}, {EACCES, "80070005"},  {EPERM, "80070005"},  {EIO, "8007001f"},
      {EPIPE, "8007001f"},     {EPROTO, "8007001f"},  {EINVAL, "80070057"}, {ETIMEDOUT, "8007001f"},
      {EOVERFLOW, "8007001f"},
  };
  system_.nodes[0] = fakeCamera();
  connect();
  for (const auto& [error, code] : errors) {
    system_.faults[FakeV4l2Call::QueryExtensionControl] = error;
    EXPECT_EQ(SaveSettings(), static_cast<int>(std::stoul(code, nullptr, 16))) << error;
    EXPECT_EQ(printed(), requestFailure(code)) << error;
  }
}

// --- Extension units found by their GUID ----------------------------------------------------

// Firmware may list the camera's units in another order, or another vendor's unit before them:
// the GUID of a request names its unit, wherever the descriptors list it and whatever its id.
using V4l2UnitsByGuid = V4l2Backend;

TEST_F(V4l2UnitsByGuid, ForeignUnitListedFirst) {
  system_.nodes[0] = fakeCamera();
  system_.nodes[0].descriptors = usbDescriptors(
      {cameraTerminal(1), processingUnit(2, 1), extensionUnit(7, ForeignUnitCode, 2, 2),
       firstExtensionUnit(7), secondExtensionUnit(4), outputTerminal(5, StreamingTerminal, 3)});
  camera(0).setControl(sim::VideoCamera::FirstUnitNode, 20, Bytes{9, 8, 7, 6});
  camera(0).setControl(sim::VideoCamera::SecondUnitNode, 5, Bytes{0xAB, 0xCD});
  connect();
  EXPECT_EQ(takeValues(GetPropertyExtended(20)), (std::vector<double>{9, 8, 7, 6}));
  EXPECT_EQ(takeValues(GetPropertyExtended(36)), (std::vector<double>{0xAB, 0xCD}));
  EXPECT_TRUE(SetRegister(1, 2));
  EXPECT_EQ(SaveSettings(), 0);
  EXPECT_EQ(printed(), "");
  EXPECT_EQ(queries(), (std::vector<std::string>{"4 20 81 4 09080706 0", "3 5 81 2 abcd 0",
                                                 "4 3 01 2 0102 0", "4 3 01 2 f001 0"}));
}

TEST_F(V4l2UnitsByGuid, CameraUnitsInTheOtherOrder) {
  system_.nodes[0] = fakeCamera();
  system_.nodes[0].descriptors =
      usbDescriptors({cameraTerminal(1), processingUnit(2, 1), secondExtensionUnit(2),
                      firstExtensionUnit(3), outputTerminal(5, StreamingTerminal, 4)});
  connect();
  EXPECT_EQ(takeValues(GetPropertyExtended(20)), std::vector<double>(4, 0));
  SetPropertyExtended(33, HostArray({7.0}).array);
  EXPECT_TRUE(SetPassword("1A2B"));
  EXPECT_EQ(printed(), "");
  EXPECT_EQ(queries(), (std::vector<std::string>{"4 20 81 4 00000000 0", "3 2 01 1 07 0",
                                                 "4 6 01 2 1a2b 0", "4 6 81 2 0100 0"}));
  EXPECT_EQ(camera(0).storedControl(sim::VideoCamera::SecondUnitNode, 2), Bytes{7});

  // A selector unit between them, and the streaming terminal first: neither moves a request.
  system_.nodes[0].descriptors = usbDescriptors(
      {outputTerminal(5, StreamingTerminal, 3), cameraTerminal(1), processingUnit(2, 1),
       selectorUnit(6, 2, 2), secondExtensionUnit(6), firstExtensionUnit(3)});
  connect();
  EXPECT_TRUE(SetRegister(1, 2));
  EXPECT_EQ(takeValues(GetPropertyExtended(33)), std::vector<double>{7});
  EXPECT_EQ(queries(), (std::vector<std::string>{"4 3 01 2 0102 0", "3 2 81 1 07 0"}));
}

// Two units that carry one GUID: the first in descriptor order answers for it.
TEST_F(V4l2UnitsByGuid, DuplicateGuidGoesToTheFirstUnitListed) {
  system_.nodes[0] = fakeCamera();
  system_.nodes[0].descriptors = usbDescriptors(
      {cameraTerminal(1), processingUnit(2, 1), extensionUnit(9, FirstUnitCode, 2, 31),
       firstExtensionUnit(9), secondExtensionUnit(4), extensionUnit(8, SecondUnitCode, 3, 8),
       outputTerminal(5, StreamingTerminal, 8)});
  connect();
  EXPECT_EQ(takeValues(GetPropertyExtended(20)), std::vector<double>(4, 0));
  EXPECT_EQ(printed(), requestFailure("80070490"));  // the fake knows no controls on unit 9
  EXPECT_EQ(SaveSettings(), static_cast<int>(NotFoundResult));
  EXPECT_EQ(printed(), requestFailure("80070490"));
  SetPropertyExtended(33, HostArray({7.0}).array);
  EXPECT_EQ(printed(), "");
  EXPECT_EQ(queries(), (std::vector<std::string>{"9 20 81 4 00000000 " + std::to_string(-ENOENT),
                                                 "9 3 01 2 f001 " + std::to_string(-ENOENT),
                                                 "3 2 01 1 07 0"}));
}

// The node of a request only has to be one the topology has: the proxy hands it to the filter,
// and the GUID chooses the unit.
TEST_F(V4l2UnitsByGuid, AnyNodeOfTheTopologyCarriesTheRequest) {
  system_.nodes[0] = fakeCamera();
  DeviceList list;
  Source camera(list, 0);
  Bytes four(4, 0xEE);
  EXPECT_EQ(camera.request(0, ExtensionUnitGuidNode2, 20, Read, four), S_OK);
  Bytes one = {5};
  EXPECT_EQ(camera.request(2, ExtensionUnitGuidNode3, 1, Write, one), S_OK);
  EXPECT_EQ(camera.requestNamingNode(3, 1, ExtensionUnitGuidNode2, 9, Write, one), S_OK);
  EXPECT_EQ(queries(),
            (std::vector<std::string>{"4 20 81 4 00000000 0", "3 1 01 1 05 0", "4 9 01 1 05 0"}));
  ComPtr<IUnknown> instance;
  EXPECT_EQ(camera.topology->CreateNodeInstance(4, IID_IUnknown, instance.out()), E_INVALIDARG);
}

TEST_F(V4l2ExtensionControls, MissingSecondUnitFailsOnlyItsControls) {
  system_.nodes[0] = fakeCamera();
  system_.nodes[0].descriptors =
      usbDescriptors({cameraTerminal(1), processingUnit(2, 1), firstExtensionUnit(2),
                      outputTerminal(5, StreamingTerminal, 4)});
  connect();
  EXPECT_EQ(takeValues(GetPropertyExtended(33)), std::vector<double>{0});
  EXPECT_EQ(printed(), failureLine("UvcExtension::SetGetExtensionUnit",
                                   "IKsTopologyInfo->get_NodeType(...)", "80070057"));
  EXPECT_EQ(SaveSettings(), 0);
  EXPECT_EQ(queries(), std::vector<std::string>{"4 3 01 2 f001 0"});
}

// --- Image properties ---------------------------------------------------------------------

using V4l2ImageProperties = V4l2Backend;

struct Range {
  HRESULT result;
  LONG min, max, step, standard, caps;
  bool operator==(const Range&) const = default;
};

Range rangeOf(IAMVideoProcAmp* amplifier, LONG property) {
  Range range{};
  range.result = amplifier->GetRange(property, &range.min, &range.max, &range.step, &range.standard,
                                     &range.caps);
  return range;
}

ComPtr<IAMVideoProcAmp>& amplifierOf(Source& source, ComPtr<IAMVideoProcAmp>& amplifier) {
  EXPECT_EQ(source.source->QueryInterface(IID_IAMVideoProcAmp, amplifier.out()), S_OK);
  return amplifier;
}

// White balance is in automatic mode, as the camera powers up; its temperature control is then
// inactive, which takes nothing from its range.
TEST_F(V4l2ImageProperties, RangesAreThoseOfTheV4l2Controls) {
  system_.nodes[0] = fakeCamera();
  DeviceList list;
  Source camera(list, 0);
  ComPtr<IAMVideoProcAmp> amplifier;
  amplifierOf(camera, amplifier);
  constexpr LONG Manual = VideoProcAmp_Flags_Manual;
  const Range missing = {NotFoundResult, 0, 0, 0, 0, 0};
  const Range expected[] = {
      {S_OK, -64, 64, 1, 0, Manual},
      {S_OK, 0, 95, 1, 32, Manual},
      {S_OK, -180, 180, 1, 0, Manual},
      {S_OK, 0, 100, 1, 64, Manual},
      {S_OK, 0, 7, 1, 2, Manual},
      {S_OK, 72, 500, 1, 100, Manual},
      missing,
      {S_OK, 2800, 6500, 10, 4600, Manual | 1},
      {S_OK, 0, 2, 1, 1, Manual},
      {S_OK, 0, 63, 1, 16, Manual},
  };
  for (LONG property = 0; property < 10; ++property) {
    EXPECT_EQ(rangeOf(amplifier.get(), property), expected[property]) << property;
  }
  EXPECT_EQ(rangeOf(amplifier.get(), 10), missing);
  EXPECT_EQ(rangeOf(amplifier.get(), -1), missing);
}

TEST_F(V4l2ImageProperties, EachPropertySetsItsOwnControl) {
  system_.nodes[0] = fakeCamera();
  connect();
  for (int property = 0; property < 10; ++property) {
    SetProperty(property, 2);
  }
  const std::vector<std::pair<std::uint32_t, std::int32_t>> expected = {
      {0x00980900, 2}, {0x00980901, 2}, {0x00980903, 2}, {0x00980902, 2}, {0x0098091B, 2},
      {0x00980910, 2}, {0x0098090C, 0}, {0x0098091A, 2}, {0x0098091C, 2}, {0x00980913, 2},
  };
  EXPECT_EQ(controlsSet(), expected);
  EXPECT_EQ(GetProperty(3), 2.0);
  EXPECT_EQ(GetProperty(7), 2800.0);  // clamped by the driver
}

TEST_F(V4l2ImageProperties, WhiteBalanceBetweenAutomaticAndManual) {
  system_.nodes[0] = fakeCamera();
  DeviceList list;
  Source camera(list, 0);
  ComPtr<IAMVideoProcAmp> amplifier;
  amplifierOf(camera, amplifier);
  LONG value = 0, flags = 0;
  EXPECT_EQ(amplifier->Get(7, &value, &flags), S_OK);
  EXPECT_EQ(value, 4600);
  EXPECT_EQ(flags, VideoProcAmp_Flags_Auto);

  EXPECT_EQ(amplifier->Set(7, 5123, VideoProcAmp_Flags_Manual), S_OK);
  EXPECT_EQ(controlsSet(), (std::vector<std::pair<std::uint32_t, std::int32_t>>{
                               {0x0098090C, 0}, {0x0098091A, 5123}}));
  EXPECT_EQ(amplifier->Get(7, &value, &flags), S_OK);
  EXPECT_EQ(value, 5120);
  EXPECT_EQ(flags, VideoProcAmp_Flags_Manual);

  system_.controlCalls.clear();
  EXPECT_EQ(amplifier->Set(7, 0, VideoProcAmp_Flags_Auto), S_OK);
  EXPECT_EQ(controlsSet(), (std::vector<std::pair<std::uint32_t, std::int32_t>>{{0x0098090C, 1}}));
  EXPECT_EQ(amplifier->Get(7, &value, &flags), S_OK);
  EXPECT_EQ(flags, VideoProcAmp_Flags_Auto);

  system_.controlCalls.clear();
  EXPECT_EQ(amplifier->Set(0, 5, VideoProcAmp_Flags_Auto), E_INVALIDARG);
  EXPECT_EQ(amplifier->Set(0, 5, 0), E_INVALIDARG);
  EXPECT_EQ(amplifier->Set(6, 1, VideoProcAmp_Flags_Manual), NotFoundResult);
  EXPECT_TRUE(controlsSet().empty());
  EXPECT_EQ(amplifier->Get(0, &value, &flags), S_OK);
  EXPECT_EQ(flags, VideoProcAmp_Flags_Manual);
}

TEST_F(V4l2ImageProperties, DisabledOrMissingControlIsNotFound) {
  system_.nodes[0] = fakeCamera();
  system_.nodes[0].controls[V4L2_CID_BRIGHTNESS].flags = V4L2_CTRL_FLAG_DISABLED;
  system_.nodes[0].controls.erase(V4L2_CID_GAMMA);
  connect();
  SetProperty(0, 5);
  SetProperty(5, 5);
  EXPECT_TRUE(controlsSet().empty());
  EXPECT_EQ(GetProperty(5), static_cast<double>(NotFoundResult));
  EXPECT_EQ(printed(), "");
}

TEST_F(V4l2ImageProperties, NodeWithoutAnyOfTheControlsOffersNoAmplifier) {
  system_.nodes[0] = fakeCamera();
  system_.nodes[0].controls.clear();
  connect();
  EXPECT_EQ(GetProperty(0), static_cast<double>(E_NOINTERFACE));
  SetProperty(0, 5);
  EXPECT_TRUE(system_.controlCallsOf(FakeV4l2Call::QueryControl).empty());
}

// --- A camera that goes away --------------------------------------------------------------

using V4l2Unplugged = V4l2Backend;

TEST_F(V4l2Unplugged, AfterInitializeEveryExportFailsCleanly) {
  system_.nodes[0] = fakeWebcam("Integrated Webcam");
  system_.nodes[2] = fakeCamera();
  connect();
  system_.nodes[2].unplugged = true;
  const std::string gone = requestFailure("8007048f");

  SetProperty(0, 5);
  EXPECT_EQ(GetProperty(0), static_cast<double>(DeviceNotConnected));
  EXPECT_EQ(printed(), "");
  SetPropertyExtended(20, HostArray({1, 2, 3, 4}).array);
  EXPECT_EQ(printed(), gone);
  EXPECT_EQ(takeValues(GetPropertyExtended(20)), std::vector<double>(4, 0));
  EXPECT_EQ(printed(), gone);
  EXPECT_FALSE(SetRegister(1, 2));
  EXPECT_EQ(printed(), gone);
  EXPECT_EQ(GetRegister(), -1);
  EXPECT_EQ(printed(), gone + RegisterUnreadable);
  EXPECT_EQ(SaveSettings(), DeviceNotConnected);
  EXPECT_EQ(ResetSettings(), DeviceNotConnected);
  EXPECT_EQ(printed(), gone + gone);
  EXPECT_FALSE(SetPassword("1A2B"));
  EXPECT_EQ(printed(), gone + gone);
  EXPECT_TRUE(controlsSet().empty());
  for (const FakeExtensionQuery& query : system_.extensionQueries) {
    EXPECT_EQ(query.result, -ENODEV);
  }

  Deinitialize();
  EXPECT_EQ(printed(), Exiting);
  EXPECT_EQ(system_.sleptMs, 5000u);
  EXPECT_TRUE(system_.openDevices.empty());
  EXPECT_FALSE(Initialize());
  EXPECT_EQ(printed(), std::string(NotFound) + "0: Integrated Webcam\n" + Exiting);
}

TEST_F(V4l2Unplugged, BetweenListingAndActivationTheSourceFails) {
  system_.nodes[0] = fakeCamera();
  DeviceList list;
  system_.nodes[0].openError = EACCES;
  IMFMediaSource* source = nullptr;
  EXPECT_EQ(list.devices[0]->ActivateObject(IID_IMFMediaSource, reinterpret_cast<void**>(&source)),
            AccessDenied);
  system_.nodes[0].unplugged = true;
  EXPECT_EQ(list.devices[0]->ActivateObject(IID_IMFMediaSource, reinterpret_cast<void**>(&source)),
            DeviceNotConnected);
  EXPECT_EQ(source, nullptr);
}

// --- Every export, end to end -------------------------------------------------------------

// The upgrader is the simulated one of this build tree, with its camera from a scenario file.
class V4l2EndToEnd : public V4l2Backend {
 protected:
  void SetUp() override {
    V4l2Backend::SetUp();
    upgrader_.enter();
  }
  void TearDown() override {
    upgrader_.leave();
    V4l2Backend::TearDown();
  }

  UpgraderScenario upgrader_{"optiqon-v4l2"};
  const std::filesystem::path& dir_ = upgrader_.dir();
};

TEST_F(V4l2EndToEnd, EveryExportThroughTheV4l2Backend) {
  system_.nodes[0] = fakeWebcam("Integrated Webcam");
  system_.nodes[1] = metadataNodeOf(system_.nodes[0]);
  system_.nodes[2] = fakeCamera();
  system_.nodes[3] = metadataNodeOf(system_.nodes[2]);
  std::ofstream(dir_ / "fw.img", std::ios::binary) << std::string(600, 'F');

  EXPECT_TRUE(Initialize());
  SetProperty(0, 12.9);
  EXPECT_EQ(GetProperty(0), 12.0);
  EXPECT_EQ(takeValues(GetPropertyExtended(20)), std::vector<double>(4, 0));
  EXPECT_EQ(takeValues(GetPropertyExtended(30)), std::vector<double>{-0.45});
  SetPropertyExtended(20, HostArray({1, 2, 3, 4}).array);
  EXPECT_EQ(takeValues(GetPropertyExtended(20)), (std::vector<double>{1, 2, 3, 4}));
  EXPECT_TRUE(SetPassword("1A2B"));
  EXPECT_FALSE(SetPassword("1A2C"));
  EXPECT_TRUE(SetRegister(0x10, 0x80));
  EXPECT_EQ(GetRegister(), 0x80);
  EXPECT_EQ(SaveSettings(), 0);
  EXPECT_EQ(ResetSettings(), 0);
  EXPECT_EQ(printed(), "");
  EXPECT_STREQ(GetSerialNumber(), "K030M05010-000000010000000000000000\n");
  UpdateFirmware("fw.img");
  EXPECT_EQ(printed(), transcript::successfulRun(768));
  Deinitialize();
  EXPECT_EQ(printed(), Exiting);
  EXPECT_EQ(system_.sleptMs, 5000u);

  EXPECT_EQ(queries(), (std::vector<std::string>{
                           "4 20 81 4 00000000 0",
                           "4 30 81 1 00 0",
                           "4 20 01 4 01020304 0",
                           "4 20 81 4 01020304 0",
                           "4 6 01 2 1a2b 0",
                           "4 6 81 2 0100 0",
                           "4 6 01 2 1a2c 0",
                           "4 6 81 2 0200 0",
                           "4 3 01 2 1080 0",
                           "4 3 81 2 1080 0",
                           "4 3 01 2 f001 0",
                           "4 3 01 2 f005 0",
                       }));
  EXPECT_EQ(controlsSet(), (std::vector<std::pair<std::uint32_t, std::int32_t>>{{0x00980900, 12}}));
}

// --- The real system ----------------------------------------------------------------------

TEST(RealV4l2System, SleepWaitsOnTheMonotonicClock) {
  const auto start = std::chrono::steady_clock::now();
  Sleep(30);
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(30));
}

}  // namespace
