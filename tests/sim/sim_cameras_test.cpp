// A simulated PC with several cameras, seen through both seams at once as the camera API sees it:
// the [camera] sections of a scenario file, every camera listed by both sides with its own flash,
// settings, faults and traces, cameras plugged in only while a file exists, the values a camera
// starts from when plugged in again, and the device tree that pairs each camera's two interfaces.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "environment_variable.h"
#include "hid_services.h"
#include "media_services.h"
#include "scratch_directory.h"
#include "sim_device_tree.h"
#include "sim_hid_world.h"
#include "sim_video_world.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

void require(bool condition, const char* what) {
  if (!condition) {
    throw std::runtime_error(what);
  }
}

std::string textOf(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

void freeTaskMemory(void* block) {
#if defined(_WIN32)
  CoTaskMemFree(block);
#else
  std::free(block);
#endif
}

// --- The HID side, as the upgrader and the camera API reach it

std::vector<std::u16string> hidPaths() {
  HDEVINFO set = SetupDiGetClassDevsW(&sim::HidInterfaceClass, nullptr, nullptr,
                                      DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
  require(set != INVALID_HANDLE_VALUE, "SetupDiGetClassDevsW failed");
  std::vector<std::u16string> paths;
  for (DWORD i = 0;; ++i) {
    SP_DEVICE_INTERFACE_DATA data{};
    data.cbSize = sizeof data;
    if (!SetupDiEnumDeviceInterfaces(set, nullptr, &sim::HidInterfaceClass, i, &data)) {
      break;
    }
    DWORD size = 0;
    SetupDiGetDeviceInterfaceDetailW(set, &data, nullptr, 0, &size, nullptr);
    std::vector<std::uint8_t> buffer(size);
    auto* detail = reinterpret_cast<PSP_DEVICE_INTERFACE_DETAIL_DATA_W>(buffer.data());
    detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W);
    require(SetupDiGetDeviceInterfaceDetailW(set, &data, detail, size, nullptr, nullptr) != FALSE,
            "SetupDiGetDeviceInterfaceDetailW failed");
    paths.emplace_back(reinterpret_cast<const char16_t*>(detail->DevicePath));
  }
  SetupDiDestroyDeviceInfoList(set);
  return paths;
}

HANDLE openHid(const std::u16string& path) {
  return CreateFileW(reinterpret_cast<LPCWSTR>(path.c_str()), GENERIC_READ | GENERIC_WRITE,
                     FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
}

std::u16string serialOf(HANDLE device) {
  char16_t serial[64] = {};
  require(HidD_GetSerialNumberString(device, serial, sizeof serial) != FALSE,
          "HidD_GetSerialNumberString failed");
  return serial;
}

// The camera paths listed, with the serial number each answers.
std::vector<std::u16string> listedSerials() {
  std::vector<std::u16string> serials;
  for (const std::u16string& path : hidPaths()) {
    HANDLE device = openHid(path);
    HIDD_ATTRIBUTES attributes{};
    attributes.Size = sizeof attributes;
    if (device != INVALID_HANDLE_VALUE && HidD_GetAttributes(device, &attributes) &&
        attributes.VendorID == 0x1BBD) {
      serials.push_back(serialOf(device));
    }
    CloseHandle(device);
  }
  return serials;
}

bool eraseSector(HANDLE device, std::uint8_t sector) {
  std::uint8_t report[2] = {0x05, sector};
  return HidD_SetOutputReport(device, report, sizeof report) != FALSE;
}

// --- The video side, as the library and the camera API reach it

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

std::vector<Ref<IMFActivate>> captureDevices() {
  Ref<IMFAttributes> attributes;
  require(MFCreateAttributes(attributes.put(), 1) == S_OK, "MFCreateAttributes failed");
  attributes->SetGUID(MF_DEVSOURCE_ATTRIBUTE_SOURCE_TYPE,
                      MF_DEVSOURCE_ATTRIBUTE_SOURCE_TYPE_VIDCAP_GUID);
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

std::u16string symbolicLinkOf(IMFActivate* device) {
  LPWSTR text = nullptr;
  UINT32 length = 0;
  require(device->GetAllocatedString(MF_DEVSOURCE_ATTRIBUTE_SOURCE_TYPE_VIDCAP_SYMBOLIC_LINK, &text,
                                     &length) == S_OK,
          "GetAllocatedString failed");
  std::u16string link(reinterpret_cast<const char16_t*>(text), length);
  freeTaskMemory(text);
  return link;
}

std::vector<std::u16string> symbolicLinks() {
  std::vector<std::u16string> links;
  for (const Ref<IMFActivate>& device : captureDevices()) {
    links.push_back(symbolicLinkOf(device.get()));
  }
  return links;
}

// A camera's video side opened as the library opens it: the first extension unit and the
// amplifier.
struct OpenVideo {
  Ref<IMFMediaSource> source;
  Ref<IKsControl> unit;
  Ref<IAMVideoProcAmp> amplifier;
};

OpenVideo openVideo(IMFActivate* device) {
  OpenVideo open;
  require(device->ActivateObject(IID_IMFMediaSource, open.source.putVoid()) == S_OK,
          "ActivateObject failed");
  Ref<IKsTopologyInfo> topology;
  require(open.source->QueryInterface(IID_IKsTopologyInfo, topology.putVoid()) == S_OK,
          "no topology");
  Ref<IUnknown> node;
  require(topology->CreateNodeInstance(2, IID_IUnknown, node.putVoid()) == S_OK,
          "CreateNodeInstance failed");
  require(node->QueryInterface(IID_IKsControl, open.unit.putVoid()) == S_OK, "no IKsControl");
  require(open.source->QueryInterface(IID_IAMVideoProcAmp, open.amplifier.putVoid()) == S_OK,
          "no amplifier");
  return open;
}

// The first extension unit's property set.
constexpr GUID FirstUnit = {
    0xACB6890C, 0xA3B3, 0x4060, {0x8B, 0x9A, 0xDF, 0x34, 0xEE, 0xF3, 0x9A, 0x2E}};

HRESULT request(IKsControl* unit, ULONG selector, ULONG flags, Bytes& data) {
  KSP_NODE property{};
  property.Property.Set = FirstUnit;
  property.Property.Id = selector;
  property.Property.Flags = flags | KSPROPERTY_TYPE_TOPOLOGY;
  property.NodeId = 2;
  ULONG returned = 0;
  return unit->KsProperty(&property.Property, sizeof property, data.data(),
                          static_cast<ULONG>(data.size()), &returned);
}

HRESULT setControl(IKsControl* unit, ULONG selector, Bytes bytes) {
  return request(unit, selector, KSPROPERTY_TYPE_SET, bytes);
}

Bytes getControl(IKsControl* unit, ULONG selector, std::size_t length) {
  Bytes bytes(length, 0xEE);
  require(request(unit, selector, KSPROPERTY_TYPE_GET, bytes) == S_OK, "read refused");
  return bytes;
}

// The register control's settings commands, as SaveSettings and ResetSettings send them.
HRESULT saveSettings(IKsControl* unit) {
  return setControl(unit, 3, {0xF0, 0x01});
}
HRESULT resetSettings(IKsControl* unit) {
  return setControl(unit, 3, {0xF0, 0x05});
}

constexpr LONG Brightness = 0;

LONG brightnessOf(IAMVideoProcAmp* amplifier) {
  LONG value = 0;
  LONG flags = 0;
  require(amplifier->Get(Brightness, &value, &flags) == S_OK, "Get failed");
  return value;
}

// --- The simulated PC of a scenario, both sides set up as a process that links both has them

class SeveralCameras : public ::testing::Test {
 protected:
  void TearDown() override {
    sim::resetHidWorld();
    sim::resetVideoWorld();
  }

  // A run of a program over `text`: each call is a new process's start.
  void startRun(const std::string& text) {
    std::istringstream hid(text);
    sim::applyHidScenario(sim::parseHidScenario(hid, "pc.scenario"));
    std::istringstream video(text);
    sim::applyVideoScenario(sim::parseVideoScenario(video, "pc.scenario"));
  }

  std::string path(const std::string& name) const { return (scratch_ / name).string(); }

  // Three cameras, each with its flash and settings files, the second and third plugged in only
  // while their plug files exist.
  std::string threeCameras(const std::string& extra = "") const {
    return "clock = virtual\n"
           "serial = K3M51-A001\n"
           "flash = " +
           path("a.flash") + "\ncamera_settings = " + path("a.settings") + "\n" + extra +
           "[camera]\n"
           "serial = K3M51-B002\n"
           "flash = " +
           path("b.flash") + "\ncamera_settings = " + path("b.settings") +
           "\nplugged = " + path("b.plugged") +
           "\nrefuse_erase = 3\n"
           "[camera]\n"
           "serial = K3M51-C003\n"
           "flash = " +
           path("c.flash") + "\ncamera_settings = " + path("c.settings") +
           "\nplugged = " + path("c.plugged") + "\n";
  }

  // Makes the plug file anew, so that its time tells this plugging from the last one.
  void plugIn(const std::string& name) {
    const std::filesystem::path plug = scratch_ / name;
    std::ofstream(plug) << "plugged in\n";
    std::filesystem::last_write_time(
        plug, std::filesystem::last_write_time(plug) + std::chrono::seconds(++pluggings_));
  }
  void unplug(const std::string& name) { std::filesystem::remove(scratch_ / name); }

  ScratchDirectory scratch_{"optiqon-cameras"};
  int pluggings_ = 0;
};

// --- The scenario file's sections

std::string errorOf(const std::string& text) {
  try {
    std::istringstream in(text);
    sim::parseHidScenario(in, "pc.scenario");
  } catch (const sim::ScenarioError& error) {
    return error.what();
  }
  return "(no error)";
}

TEST(CameraSections, EachSectionDescribesTheNextCamera) {
  const std::string text =
      "camera_index = 2\nserial = FIRST\nflash = a.flash\nvideo_trace = a.video\n"
      "  [camera]  \n"
      "flash = b.flash\nrefuse_write = 7\ntrace = b.trace\nxu = 2.9=42\npassword = 0BAD\n"
      "camera_settings = b.settings\nplugged = b.plugged\n"
      "[camera]\n"
      "serial = Ünï-3\ncamera = absent\nvpa_unsupported = 9\n";
  std::istringstream hidText(text);
  const sim::HidScenario hid = sim::parseHidScenario(hidText, "pc.scenario");
  EXPECT_EQ(hid.cameraIndex, 2u);
  EXPECT_EQ(hid.serialNumber, u"FIRST");
  EXPECT_EQ(hid.flashPath, "a.flash");
  ASSERT_EQ(hid.moreCameras.size(), 2u);
  EXPECT_EQ(hid.moreCameras[0].serialNumber, u"K3M51-0002") << "numbered by its place";
  EXPECT_EQ(hid.moreCameras[0].flashPath, "b.flash");
  EXPECT_EQ(hid.moreCameras[0].faults.refusedWritePages, std::set<unsigned>{7});
  EXPECT_EQ(hid.moreCameras[0].tracePath, "b.trace");
  EXPECT_EQ(hid.moreCameras[0].pluggedPath, "b.plugged");
  EXPECT_TRUE(hid.faults.refusedWritePages.empty()) << "a section's faults are its camera's";
  EXPECT_EQ(hid.moreCameras[1].serialNumber, u"Ünï-3");
  EXPECT_FALSE(hid.moreCameras[1].cameraPresent);
  EXPECT_TRUE(hid.moreCameras[1].flashPath.empty());

  std::istringstream videoText(text);
  const sim::VideoScenario video = sim::parseVideoScenario(videoText, "pc.scenario");
  EXPECT_EQ(video.serialNumber, u"FIRST");
  EXPECT_EQ(video.videoTracePath, "a.video");
  ASSERT_EQ(video.moreCameras.size(), 2u);
  EXPECT_EQ(video.moreCameras[0].serialNumber, u"K3M51-0002");
  EXPECT_EQ(video.moreCameras[0].password, 0x0BAD);
  EXPECT_EQ(video.moreCameras[0].controlValues.at({2, 9}), Bytes{0x42});
  EXPECT_EQ(video.moreCameras[0].cameraSettingsPath, "b.settings");
  EXPECT_EQ(video.moreCameras[0].pluggedPath, "b.plugged");
  EXPECT_TRUE(video.moreCameras[0].videoTracePath.empty());
  EXPECT_EQ(video.moreCameras[1].serialNumber, u"Ünï-3");
  EXPECT_EQ(video.moreCameras[1].unsupportedProperties, std::set<unsigned>{9});
  EXPECT_EQ(video.moreCameras[1].password, 0x1A2B);
}

TEST(CameraSections, KeysOfThePcBelongBeforeTheFirstSection) {
  for (const std::string key :
       {"clock = virtual", "camera_index = 1", "camera_copies = 2", "video_devices = A",
        "fail = "
        "Set=1"}) {
    const std::string name = key.substr(0, key.find(' '));
    EXPECT_EQ(errorOf("serial = A\n\n[camera]\nserial = B\n" + key + "\n"),
              "pc.scenario:5: key '" + name + "' belongs before the first [camera]");
  }
  EXPECT_EQ(errorOf("[camera]\ncolour = red\n"), "pc.scenario:2: unknown key 'colour'");
  EXPECT_EQ(errorOf("[camera]\n[cameras]\n"), "pc.scenario:2: expected key = value");
  EXPECT_EQ(errorOf("[camera]\nrefuse_erase = 256\n"),
            "pc.scenario:2: bad value '256' for refuse_erase: expected a number from 0 to 255");
  std::string many;
  for (int i = 0; i < 127; ++i) {
    many += "[camera]\n";
  }
  EXPECT_EQ(errorOf(many), "pc.scenario:127: a PC takes at most 127 cameras");
  EXPECT_EQ(errorOf(many.substr(9)), "(no error)");

  std::istringstream settings("xu = 2.1=01\n[camera]\n");
  EXPECT_THROW(sim::parseCameraSettings(settings, "a.settings"), sim::ScenarioError);
}

// The kit's sample scenarios read as both sides read them.
TEST(CameraSections, TheSampleScenariosAreUsable) {
  for (const char* name : {"camera.scenario", "cameras.scenario"}) {
    const std::string path = std::string(OPTIQON_EXAMPLES_DIR) + "/" + name;
    std::ifstream hidText(path);
    ASSERT_TRUE(hidText) << path;
    const sim::HidScenario hid = sim::parseHidScenario(hidText, path);
    std::ifstream videoText(path);
    const sim::VideoScenario video = sim::parseVideoScenario(videoText, path);
    EXPECT_EQ(hid.moreCameras.size(), video.moreCameras.size());
  }
  std::ifstream three(std::string(OPTIQON_EXAMPLES_DIR) + "/cameras.scenario");
  const sim::HidScenario hid = sim::parseHidScenario(three, "cameras.scenario");
  ASSERT_EQ(hid.moreCameras.size(), 2u);
  EXPECT_EQ(hid.serialNumber, u"K3M51-A001");
  EXPECT_EQ(hid.moreCameras[0].serialNumber, u"K3M51-B002");
  EXPECT_EQ(hid.moreCameras[1].serialNumber, u"K3M51-C003");
}

// --- Both sides list every camera

TEST_F(SeveralCameras, BothSidesListEveryCameraWithItsOwnFlashAndSettings) {
  plugIn("b.plugged");
  plugIn("c.plugged");
  startRun(threeCameras());
  EXPECT_EQ(listedSerials(),
            (std::vector<std::u16string>{u"K3M51-A001", u"K3M51-B002", u"K3M51-C003"}));
  EXPECT_EQ(captureDevices().size(), 3u);

  // Each camera's flash is its own file.
  sim::HidWorld& hid = sim::hidWorld();
  ASSERT_EQ(hid.cameras.size(), 3u);
  hid.cameras[1].flash.flash()[0] = 0x00;
  EXPECT_EQ(static_cast<unsigned char>(textOf(scratch_ / "b.flash")[0]), 0x00);
  EXPECT_EQ(static_cast<unsigned char>(textOf(scratch_ / "a.flash")[0]), 0xFF);
  EXPECT_EQ(std::filesystem::file_size(scratch_ / "c.flash"), sim::FlashCamera::FlashSize);

  // A write to the second camera's control changes its settings file alone.
  const std::string third = textOf(scratch_ / "c.settings");
  std::vector<Ref<IMFActivate>> devices = captureDevices();
  OpenVideo second = openVideo(devices[1].get());
  ASSERT_EQ(setControl(second.unit.get(), 9, {0x42}), S_OK);
  EXPECT_NE(textOf(scratch_ / "b.settings").find("\nxu = 2.9=42\n"), std::string::npos);
  EXPECT_FALSE(std::filesystem::exists(scratch_ / "a.settings"));
  EXPECT_EQ(textOf(scratch_ / "c.settings"), third);
  OpenVideo first = openVideo(devices[0].get());
  EXPECT_EQ(getControl(first.unit.get(), 9, 1), Bytes{0x00});
}

TEST_F(SeveralCameras, FaultsAreEachCamerasOwn) {
  plugIn("b.plugged");
  plugIn("c.plugged");
  startRun(threeCameras());
  const std::vector<std::u16string> paths = hidPaths();
  ASSERT_EQ(paths.size(), 4u) << "a mouse and three cameras";
  HANDLE first = openHid(paths[1]);
  HANDLE second = openHid(paths[2]);
  EXPECT_TRUE(eraseSector(first, 3));
  EXPECT_FALSE(eraseSector(second, 3)) << "the second camera refuses sector 3";
  EXPECT_TRUE(eraseSector(second, 4));
  CloseHandle(first);
  CloseHandle(second);
}

TEST_F(SeveralCameras, TwoCamerasMayHaveOneSerialNumber) {
  startRun("serial = K3M51-SAME\n[camera]\nserial = K3M51-SAME\n");
  EXPECT_EQ(listedSerials(), (std::vector<std::u16string>{u"K3M51-SAME", u"K3M51-SAME"}));
  EXPECT_EQ(symbolicLinks().size(), 2u);
  // Instance ids stay one device's each: the second is named by its place, as Windows names it.
  const sim::DeviceTree& tree = sim::deviceTree();
  const auto& first = tree.nodes[*sim::usbDeviceAt(sim::portsOfCamera(0))];
  const auto& second = tree.nodes[*sim::usbDeviceAt(sim::portsOfCamera(1))];
  EXPECT_EQ(first.instanceId, u"USB\\VID_1BBD&PID_024C\\K3M51-SAME");
  EXPECT_EQ(second.instanceId.substr(0, 24), u"USB\\VID_1BBD&PID_024C\\5&");
  EXPECT_EQ(second.locationPath, u"PCIROOT(0)#PCI(1400)#USBROOT(0)#USB(1)#USB(2)");
}

TEST_F(SeveralCameras, SharedFlashOrSettingsFileIsRefused) {
  try {
    startRun("flash = " + path("x.flash") + "\n[camera]\nflash = " + path("x.flash") + "\n");
    ADD_FAILURE() << "two cameras on one flash file";
  } catch (const sim::ScenarioError& error) {
    EXPECT_EQ(std::string(error.what()), "flash file " + path("x.flash") +
                                             " is named for camera 1 and camera 2: each "
                                             "camera has a flash of its own");
  }
  std::istringstream video("[camera]\ncamera_settings = " + path("x.settings") +
                           "\n[camera]\ncamera_settings = " + path("x.settings") + "\n");
  try {
    sim::applyVideoScenario(sim::parseVideoScenario(video, "pc.scenario"));
    ADD_FAILURE() << "two cameras on one settings file";
  } catch (const sim::ScenarioError& error) {
    EXPECT_EQ(std::string(error.what()), "camera settings file " + path("x.settings") +
                                             " is named for camera 2 and camera 3: each camera "
                                             "keeps its settings in a file of its own");
  }
}

// --- Traces

TEST_F(SeveralCameras, CamerasWithoutTracesOfTheirOwnWriteToThePcsWithTheirSerial) {
  startRun("clock = virtual\ntrace = " + path("pc.trace") + "\nvideo_trace = " + path("pc.video") +
           "\n[camera]\nserial = K3M51-B002\n[camera]\nserial = K3M51-C003\n" +
           "trace = " + path("c.trace") + "\nvideo_trace = " + path("c.video") + "\n");
  const std::vector<std::u16string> paths = hidPaths();
  ASSERT_EQ(paths.size(), 4u);
  for (std::size_t i = 1; i < 4; ++i) {
    HANDLE camera = openHid(paths[i]);
    eraseSector(camera, 0);
    CloseHandle(camera);
  }
  EXPECT_EQ(textOf(scratch_ / "pc.trace"),
            "0 SetOutputReport 0x05 2 ok\n"
            "K3M51-B002 0 SetOutputReport 0x05 2 ok\n");
  EXPECT_EQ(textOf(scratch_ / "c.trace"), "0 SetOutputReport 0x05 2 ok\n");

  std::vector<Ref<IMFActivate>> devices = captureDevices();
  ASSERT_EQ(devices.size(), 3u);
  for (const Ref<IMFActivate>& device : devices) {
    OpenVideo open = openVideo(device.get());
    LONG value = 0;
    LONG flags = 0;
    open.amplifier->Get(Brightness, &value, &flags);
  }
  EXPECT_EQ(textOf(scratch_ / "pc.video"),
            "0 Get 0 0 2 0x00000000\n"
            "K3M51-B002 0 Get 0 0 2 0x00000000\n");
  EXPECT_EQ(textOf(scratch_ / "c.video"), "0 Get 0 0 2 0x00000000\n");
}

// --- Plugged in only while a file exists

TEST_F(SeveralCameras, UnpluggedCameraIsListedByNeitherSideAndItsCallsFail) {
  plugIn("b.plugged");
  plugIn("c.plugged");
  startRun(threeCameras());
  std::vector<Ref<IMFActivate>> devices = captureDevices();
  OpenVideo second = openVideo(devices[1].get());
  const std::u16string secondPath = hidPaths()[2];
  HANDLE hid = openHid(secondPath);
  ASSERT_NE(hid, INVALID_HANDLE_VALUE);

  unplug("b.plugged");
  EXPECT_EQ(listedSerials(), (std::vector<std::u16string>{u"K3M51-A001", u"K3M51-C003"}));
  EXPECT_EQ(captureDevices().size(), 2u);
  EXPECT_FALSE(eraseSector(hid, 0));
  EXPECT_EQ(GetLastError(), ERROR_DEVICE_NOT_CONNECTED);
  char16_t serial[32];
  EXPECT_FALSE(HidD_GetSerialNumberString(hid, serial, sizeof serial));
  EXPECT_EQ(GetLastError(), ERROR_DEVICE_NOT_CONNECTED);
  EXPECT_EQ(openHid(secondPath), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(setControl(second.unit.get(), 9, {1}), ErrorDeviceNotConnected);
  LONG value = 0;
  LONG flags = 0;
  EXPECT_EQ(second.amplifier->Get(Brightness, &value, &flags), ErrorDeviceNotConnected);
  EXPECT_EQ(second.amplifier->Set(Brightness, 1, 2), ErrorDeviceNotConnected);
  Ref<IMFMediaSource> again;
  EXPECT_EQ(devices[1]->ActivateObject(IID_IMFMediaSource, again.putVoid()),
            ErrorDeviceNotConnected);
  const sim::DeviceTree& tree = sim::deviceTree();
  const std::size_t secondDevice = *sim::usbDeviceAt(sim::portsOfCamera(1));
  for (std::size_t i = 0; i < tree.nodes.size(); ++i) {
    std::size_t top = i;
    while (tree.nodes[top].parent) {
      top = *tree.nodes[top].parent;
    }
    EXPECT_EQ(tree.nodes[i].present, top != secondDevice) << "node " << i;
  }

  // Plugged in again: listed, but what was opened before stays dead.
  plugIn("b.plugged");
  EXPECT_EQ(listedSerials().size(), 3u);
  EXPECT_FALSE(eraseSector(hid, 0));
  EXPECT_EQ(GetLastError(), ERROR_DEVICE_NOT_CONNECTED);
  EXPECT_EQ(setControl(second.unit.get(), 9, {1}), ErrorDeviceNotConnected);
  HANDLE fresh = openHid(secondPath);
  EXPECT_TRUE(eraseSector(fresh, 0));
  OpenVideo reopened = openVideo(captureDevices()[1].get());
  EXPECT_EQ(setControl(reopened.unit.get(), 9, {1}), S_OK);
  CloseHandle(fresh);
  CloseHandle(hid);
}

TEST_F(SeveralCameras, CameraUnpluggedWhenTheRunStartsIsListedOncePluggedIn) {
  plugIn("c.plugged");
  startRun(threeCameras());
  EXPECT_EQ(listedSerials(), (std::vector<std::u16string>{u"K3M51-A001", u"K3M51-C003"}));
  EXPECT_EQ(captureDevices().size(), 2u);
  plugIn("b.plugged");
  EXPECT_EQ(listedSerials().size(), 3u);
  EXPECT_EQ(captureDevices().size(), 3u);
}

TEST_F(SeveralCameras, PluggedInAgainTheFlashForgetsAnEraseUnderWayAndKeepsItsCells) {
  plugIn("a.plugged");
  startRun("clock = virtual\nerase_busy_reads = never\nflash = " + path("a.flash") +
           "\nplugged = " + path("a.plugged") + "\n");
  auto eraseStatus = [](HANDLE device) {
    std::uint8_t report[2] = {0x06, 0xEE};
    require(HidD_GetInputReport(device, report, sizeof report) != FALSE, "status unreadable");
    return report[0];
  };
  const std::u16string camera = hidPaths()[1];
  HANDLE before = openHid(camera);
  sim::hidWorld().camera.flash()[5 * sim::FlashCamera::SectorSize] = 0x00;
  ASSERT_TRUE(eraseSector(before, 5));
  EXPECT_EQ(eraseStatus(before), 1) << "busy";
  unplug("a.plugged");
  plugIn("a.plugged");
  HANDLE after = openHid(camera);
  EXPECT_EQ(eraseStatus(after), 0) << "no erase under way after a loss of power";
  EXPECT_EQ(static_cast<unsigned char>(textOf(scratch_ / "a.flash")[5 * 65536]), 0x00);
  CloseHandle(after);
  CloseHandle(before);
}

// --- The values a camera starts from

TEST_F(SeveralCameras, ReplugStartsFromTheSavedValuesOrTheFactorysInTheSameRun) {
  startRun("clock = virtual\nplugged = " + path("a.plugged") +
           "\nproperty_values = 0=7\nxu = 2.1=11\n");
  plugIn("a.plugged");
  OpenVideo open = openVideo(captureDevices()[0].get());
  ASSERT_EQ(open.amplifier->Set(Brightness, -20, 2), S_OK);
  ASSERT_EQ(setControl(open.unit.get(), 9, {0x42}), S_OK);
  unplug("a.plugged");
  plugIn("a.plugged");
  open = openVideo(captureDevices()[0].get());
  EXPECT_EQ(brightnessOf(open.amplifier.get()), 7) << "nothing saved: the scenario's values";
  EXPECT_EQ(getControl(open.unit.get(), 9, 1), Bytes{0x00});
  EXPECT_EQ(getControl(open.unit.get(), 1, 1), Bytes{0x11});

  ASSERT_EQ(open.amplifier->Set(Brightness, -20, 2), S_OK);
  ASSERT_EQ(saveSettings(open.unit.get()), S_OK);
  ASSERT_EQ(open.amplifier->Set(Brightness, 30, 2), S_OK);
  unplug("a.plugged");
  plugIn("a.plugged");
  open = openVideo(captureDevices()[0].get());
  EXPECT_EQ(brightnessOf(open.amplifier.get()), -20) << "the saved value";

  ASSERT_EQ(open.amplifier->Set(Brightness, 30, 2), S_OK);
  ASSERT_EQ(resetSettings(open.unit.get()), S_OK);
  EXPECT_EQ(brightnessOf(open.amplifier.get()), 7) << "reset: the factory's";
  EXPECT_EQ(getControl(open.unit.get(), 9, 1), Bytes{0x00});
  unplug("a.plugged");
  plugIn("a.plugged");
  open = openVideo(captureDevices()[0].get());
  EXPECT_EQ(brightnessOf(open.amplifier.get()), 7) << "reset forgets what was saved";
}

TEST_F(SeveralCameras, CurrentValuesLastAcrossRunsWhileTheCameraStaysPluggedIn) {
  plugIn("b.plugged");
  plugIn("c.plugged");
  startRun(threeCameras());
  {
    OpenVideo open = openVideo(captureDevices()[1].get());
    ASSERT_EQ(open.amplifier->Set(Brightness, 12, 2), S_OK);
    ASSERT_EQ(saveSettings(open.unit.get()), S_OK);
    ASSERT_EQ(open.amplifier->Set(Brightness, 13, 2), S_OK);
  }
  EXPECT_EQ(textOf(scratch_ / "b.settings.saved"),
            "# The simulated Corvantis Optiqon's saved settings, which it starts from when "
            "plugged in\n"
            "property_values = 0=12, 1=32, 2=0, 3=64, 4=2, 5=100, 6=1, 7=4600, 8=1, 9=0\n");

  startRun(threeCameras());
  {
    OpenVideo open = openVideo(captureDevices()[1].get());
    EXPECT_EQ(brightnessOf(open.amplifier.get()), 13) << "still plugged in: its current value";
  }

  // Pulled out and plugged in again while no program ran: the next run finds the saved value.
  unplug("b.plugged");
  plugIn("b.plugged");
  startRun(threeCameras());
  {
    OpenVideo open = openVideo(captureDevices()[1].get());
    EXPECT_EQ(brightnessOf(open.amplifier.get()), 12);
  }
  // ResetSettings forgets what was saved, file and all.
  {
    OpenVideo open = openVideo(captureDevices()[1].get());
    ASSERT_EQ(resetSettings(open.unit.get()), S_OK);
    EXPECT_FALSE(std::filesystem::exists(scratch_ / "b.settings.saved"));
    EXPECT_EQ(brightnessOf(open.amplifier.get()), 0);
  }
  // And a camera that never saved anything, its factory values.
  {
    OpenVideo open = openVideo(captureDevices()[2].get());
    ASSERT_EQ(open.amplifier->Set(Brightness, 40, 2), S_OK);
  }
  unplug("c.plugged");
  plugIn("c.plugged");
  startRun(threeCameras());
  OpenVideo open = openVideo(captureDevices()[2].get());
  EXPECT_EQ(brightnessOf(open.amplifier.get()), 0);
}

// --- The device tree

TEST_F(SeveralCameras, DeviceTreeHoldsEachCamerasInterfacesWithThePathsTheSeamsHandOut) {
  plugIn("b.plugged");
  plugIn("c.plugged");
  startRun(threeCameras("video_devices = USB Camera, Corvantis Optiqon\n"));
  const sim::DeviceTree& tree = sim::deviceTree();
  auto usbDeviceOf = [&](const std::u16string& path) -> const sim::DeviceNode* {
    for (const sim::DeviceInterface& shown : tree.interfaces) {
      if (shown.path == path) {
        std::size_t node = shown.node;
        while (tree.nodes[node].parent) {
          node = *tree.nodes[node].parent;
        }
        return &tree.nodes[node];
      }
    }
    return nullptr;
  };
  const std::vector<std::u16string> hid = hidPaths();
  const std::vector<std::u16string> video = symbolicLinks();
  ASSERT_EQ(hid.size(), 4u);
  ASSERT_EQ(video.size(), 4u);
  EXPECT_EQ(hid[1],
            u"\\\\?\\hid#vid_1bbd&pid_024c#7&00000001&0&0000#"
            u"{4d1e55b2-f16f-11cf-88cb-001111000030}");
  EXPECT_EQ(video[1],
            u"\\\\?\\usb#vid_1bbd&pid_024c&mi_00#7&00000001&0&0000#"
            u"{e5323777-f976-4f5b-9b55-b94699c46e44}\\global");
  const std::vector<std::u16string> serials = {u"K3M51-A001", u"K3M51-B002", u"K3M51-C003"};
  for (std::size_t k = 0; k < 3; ++k) {
    const sim::DeviceNode* hidDevice = usbDeviceOf(hid[k + 1]);
    const sim::DeviceNode* videoDevice = usbDeviceOf(video[k + 1]);
    ASSERT_NE(hidDevice, nullptr);
    EXPECT_EQ(hidDevice, videoDevice) << "one USB device holds both of a camera's interfaces";
    EXPECT_EQ(hidDevice->instanceId, u"USB\\VID_1BBD&PID_024C\\" + serials[k]);
    EXPECT_EQ(hidDevice->locationPath, u"PCIROOT(0)#PCI(1400)#USBROOT(0)#USB(1)#USB(" +
                                           std::u16string(1, static_cast<char16_t>(u'1' + k)) +
                                           u")");
  }
  // The mouse and the other webcam have devices of their own.
  EXPECT_NE(usbDeviceOf(hid[0]), nullptr);
  EXPECT_NE(usbDeviceOf(video[0]), nullptr);
  EXPECT_NE(usbDeviceOf(hid[0]), usbDeviceOf(video[0]));
  // Each path is the interface's node's instance id by Windows' rule.
  for (const sim::DeviceInterface& shown : tree.interfaces) {
    EXPECT_EQ(shown.path,
              sim::interfacePathOf(
                  tree.nodes[shown.node].instanceId, shown.interfaceClass,
                  shown.interfaceClass == sim::CaptureInterfaceClassText ? u"\\global" : u""));
  }

  // Setting one side up again leaves the other's interfaces and devices.
  sim::resetHidWorld();
  EXPECT_EQ(usbDeviceOf(hid[2]), nullptr);
  EXPECT_NE(usbDeviceOf(video[2]), nullptr);
  EXPECT_EQ(usbDeviceOf(video[2])->instanceId, u"USB\\VID_1BBD&PID_024C\\K3M51-B002");
}

// --- Several threads, each with its own camera, as the camera API may serve them

TEST_F(SeveralCameras, ThreadsUseTheirOwnCamerasAtOnce) {
  plugIn("b.plugged");
  plugIn("c.plugged");
  startRun(threeCameras());
  const std::vector<std::u16string> paths = hidPaths();
  std::vector<Ref<IMFActivate>> devices = captureDevices();
  ASSERT_EQ(devices.size(), 3u);
  std::vector<int> failures(3, 0);
  std::vector<std::thread> threads;
  for (std::size_t k = 0; k < 3; ++k) {
    threads.emplace_back([&, k] {
      HANDLE hid = openHid(paths[k + 1]);
      OpenVideo video = openVideo(devices[k].get());
      for (int round = 0; round < 200; ++round) {
        // The second camera refuses sector 3, and its thread alone sees why.
        const bool erased = eraseSector(hid, 3);
        if (erased != (k != 1) || (!erased && GetLastError() != ERROR_GEN_FAILURE)) {
          ++failures[k];
        }
        const auto value = static_cast<std::uint8_t>(round + k);
        if (setControl(video.unit.get(), 9, {value}) != S_OK ||
            getControl(video.unit.get(), 9, 1) != Bytes{value}) {
          ++failures[k];
        }
      }
      CloseHandle(hid);
    });
  }
  for (std::thread& thread : threads) {
    thread.join();
  }
  EXPECT_EQ(failures, (std::vector<int>{0, 0, 0}));
  EXPECT_NE(textOf(scratch_ / "c.settings").find("\nxu = 2.9=C9\n"), std::string::npos)
      << "the third camera's last value, 199 + 2";
}

// --- A library that links the HID side reads the scenario at its first HID call
// ------------------------------------------------- Each runs in a fresh process, as the scenario
// is read only once.

TEST(HidScenarioLoading, FirstHidCallOfALibraryAppliesTheEnvironmentsScenario) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  ScratchDirectory scratch;
  const std::string path = (scratch / "pc.scenario").string();
  std::ofstream(path) << "camera_index = 0\n[camera]\n[camera]\ncamera = absent\n";
  setEnvironmentVariable("OPTIQON_SIM_CAMERA", path.c_str());
  EXPECT_EXIT(std::exit(static_cast<int>(listedSerials().size())), ::testing::ExitedWithCode(2),
              "");
  clearEnvironmentVariable("OPTIQON_SIM_CAMERA");
}

TEST(HidScenarioLoading, UnusableScenarioEndsTheProcessWithItsReason) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  const std::string path = "hid_scenario_loading.txt";  // the same name in the child process
  std::ofstream(path) << "[camera]\nclock = virtual\n";
  setEnvironmentVariable("OPTIQON_SIM_CAMERA", path.c_str());
  EXPECT_EXIT(hidPaths(), ::testing::ExitedWithCode(64),
              "simulated camera: hid_scenario_loading.txt:2: key 'clock' belongs before the first "
              "\\[camera\\]");
  clearEnvironmentVariable("OPTIQON_SIM_CAMERA");
  std::filesystem::remove(path);
}

TEST(HidScenarioLoading, BothSidesOfAProcessKeepOneClock) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  const std::string path = "both_sides_clock.txt";  // the same name in the child process
  std::ofstream(path) << "clock = virtual\n";
  setEnvironmentVariable("OPTIQON_SIM_CAMERA", path.c_str());
  EXPECT_EXIT(
      {
        Sleep(3000);  // the video side reads the scenario first
        hidPaths();   // and the HID side finds the clock running
        std::exit(static_cast<int>(sim::clock().nowMs() / 1000));
      },
      ::testing::ExitedWithCode(3), "");
  clearEnvironmentVariable("OPTIQON_SIM_CAMERA");
  std::filesystem::remove(path);
}

}  // namespace
