// The library's exports in-process over the simulated camera: what the host gets back, what the
// library prints, and every request the camera receives, byte for byte.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <limits>
#include <stdexcept>
#include <thread>

#include "Brenwick.h"
#include "camera_connection.h"
#include "control_sizes.h"
#include "library_console.h"
#include "library_test_support.h"
#include "sim_clock.h"
#include "sim_video_world.h"
#include "upgrader_transcripts.h"
#include "uvc_extension.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

const Bytes Node2Guid = {0x0C, 0x89, 0xB6, 0xAC, 0xB3, 0xA3, 0x60, 0x40,
                         0x8B, 0x9A, 0xDF, 0x34, 0xEE, 0xF3, 0x9A, 0x2E};
const Bytes Node3Guid = {0x94, 0x86, 0x09, 0xF4, 0x3A, 0x13, 0x4E, 0xA1,
                         0xB4, 0xA0, 0x63, 0xD2, 0x79, 0xBF, 0x30, 0x74};

void appendLittleEndian(Bytes& bytes, std::uint32_t value) {
  for (int shift = 0; shift < 32; shift += 8) {
    bytes.push_back(static_cast<std::uint8_t>(value >> shift));
  }
}

// The 32 bytes of a property request for one extension-unit control.
Bytes request(const Bytes& unit, std::uint32_t selector, std::uint32_t flags, std::uint32_t node) {
  Bytes bytes = unit;
  appendLittleEndian(bytes, selector);
  appendLittleEndian(bytes, flags);
  appendLittleEndian(bytes, node);
  appendLittleEndian(bytes, 0);
  return bytes;
}

constexpr std::uint32_t Read = 0x10000001;
constexpr std::uint32_t Write = 0x10000002;

class CameraLibrary : public ::testing::Test {
 protected:
  void SetUp() override {
    sim::resetVideoWorld();
    sim::clock().reset(sim::Clock::Mode::Virtual);
    world().keepCallLog = true;
  }

  void TearDown() override {
    releaseCameraConnection(cameraConnection());
    EXPECT_EQ(sim::liveVideoObjects(), 0u) << "the library kept a platform object";
  }

  sim::VideoWorld& world() { return sim::videoWorld(); }

  void useDevices(const std::vector<std::u16string>& names) {
    world().devices.clear();
    for (const std::u16string& name : names) {
      world().devices.push_back(sim::videoDevice(name));
    }
  }

  void fail(sim::VideoStep step, std::int32_t result) { world().faults[step] = result; }

  std::string printed() { return console_.printed(); }

  void connect() {
    ASSERT_TRUE(Initialize());
    ASSERT_EQ(printed(), "");
    world().calls.clear();
  }

  std::vector<sim::VideoCall> callsOf(sim::VideoCallKind kind) {
    std::vector<sim::VideoCall> matching;
    for (const sim::VideoCall& call : world().calls) {
      if (call.kind == kind) {
        matching.push_back(call);
      }
    }
    return matching;
  }
  std::vector<sim::VideoCall> extensionRequests() {
    return callsOf(sim::VideoCallKind::KsProperty);
  }

  CapturedConsole console_;
};

// --- Opening the camera -------------------------------------------------------------------

using Connection = CameraLibrary;

TEST_F(Connection, NoDeviceListsNothingWaitsAndFails) {
  useDevices({});
  EXPECT_FALSE(Initialize());
  EXPECT_EQ(printed(), std::string(NotFound) + Exiting);
  EXPECT_EQ(sim::clock().nowMs(), 5000u);
  EXPECT_EQ(cameraConnection().mediaSource, nullptr);
}

TEST_F(Connection, CameraAmongOtherDevicesOpensSilently) {
  useDevices({u"Integrated Webcam", u"Corvantis Optiqon", u"Capture Card"});
  EXPECT_TRUE(Initialize());
  EXPECT_EQ(printed(), "");
  EXPECT_NE(cameraConnection().mediaSource, nullptr);
  EXPECT_NE(cameraConnection().sourceReader, nullptr);
  EXPECT_EQ(sim::clock().nowMs(), 0u);
}

TEST_F(Connection, LastDeviceWithTheCamerasNameIsTaken) {
  useDevices({u"Corvantis Optiqon", u"Corvantis Optiqon"});
  world().devices[1].camera->setControl(2, 9, Bytes{0x42});
  connect();
  EXPECT_EQ(takeValues(GetPropertyExtended(9)), std::vector<double>{0x42});
}

TEST_F(Connection, NamesThatOnlyResembleTheCamerasAreListed) {
  useDevices({u"corvantis optiqon", u"Corvantis Optiqon ", u"A"});
  EXPECT_FALSE(Initialize());
  EXPECT_EQ(printed(), std::string(NotFound) +
                           "0: corvantis optiqon\n"
                           "1: Corvantis Optiqon \n"
                           "2: A\n" +
                           Exiting);
}

TEST_F(Connection, EveryDeviceIsListedHoweverManyAndWhateverTheirNames) {
  std::vector<std::u16string> names;
  for (int i = 0; i < 25; ++i) {
    names.push_back(u"Camera " + std::u16string(1, static_cast<char16_t>(u'A' + i)));
  }
  names.push_back(u"Cam\u00e9ra \u4e2d");      // not all writable in the "C" locale
  names.push_back(std::u16string(300, u'x'));  // longer than a name slot
  useDevices(names);
  EXPECT_FALSE(Initialize());
  const std::string out = printed();
  // The C locale writes ASCII; Windows' C runtime also writes the code points below 256 as
  // their byte.
#if defined(_WIN32)
  const std::string accented = "Cam\xE9ra ?";
#else
  const std::string accented = "Cam?ra ?";
#endif
  EXPECT_NE(out.find("\n24: Camera Y\n25: " + accented + "\n26: " + std::string(259, 'x') + "\n"),
            std::string::npos)
      << out;
}

TEST_F(Connection, FailedStepsPrintTheirLinesAndGoOn) {
  fail(sim::VideoStep::ActivateObject, static_cast<std::int32_t>(0x80004005));
  EXPECT_TRUE(Initialize());
  EXPECT_EQ(printed(),
            failureLine("UvcExtension::InitVideoDevice", "Activating video device", "80004005"));
  EXPECT_EQ(cameraConnection().mediaSource, nullptr);
  // Found but not active: commands find no camera.
  EXPECT_EQ(SaveSettings(), static_cast<int>(0x80004005));
  EXPECT_EQ(printed(), "");
}

TEST_F(Connection, AnyNonZeroResultIsAFailure) {
  fail(sim::VideoStep::MFCreateSourceReaderFromMediaSource, 1);
  EXPECT_TRUE(Initialize());
  EXPECT_EQ(printed(),
            failureLine("UvcExtension::InitVideoDevice", "Creating video source reader", "01"));
}

TEST_F(Connection, EnumerationFailuresEndInTheNotFoundListing) {
  const std::pair<sim::VideoStep, const char*> steps[] = {
      {sim::VideoStep::MFCreateAttributes, "Create attribute store"},
      {sim::VideoStep::SetGUID, "Video capture device SetGUID"},
      {sim::VideoStep::MFEnumDeviceSources, "Device enumeration"},
  };
  for (const auto& [step, text] : steps) {
    world().faults.clear();
    fail(step, static_cast<std::int32_t>(0x80070005));
    EXPECT_FALSE(Initialize());
    EXPECT_EQ(printed(),
              failureLine("UvcExtension::GetVideoDevices", text, "80070005") + NotFound + Exiting);
  }
}

// A step that says it succeeded but hands back no object has failed all the same: its line shows
// E_POINTER, and the library goes on as after any failure of that step.
TEST_F(Connection, StepsThatHandBackNothingHaveFailed) {
  const std::string noObject = "80004003";
  fail(sim::VideoStep::MFCreateAttributes, S_OK);
  EXPECT_FALSE(Initialize());
  EXPECT_EQ(printed(),
            failureLine("UvcExtension::GetVideoDevices", "Create attribute store", noObject) +
                NotFound + Exiting);

  world().faults = {{sim::VideoStep::GetAllocatedString, S_OK}};
  EXPECT_FALSE(Initialize());
  EXPECT_EQ(printed(), failureLine("UvcExtension::GetVideoDeviceFriendlyNames",
                                   "Get video device friendly name", noObject) +
                           NotFound + "0: \n" + Exiting);

  world().faults = {{sim::VideoStep::ActivateObject, S_OK}};
  EXPECT_TRUE(Initialize());
  EXPECT_EQ(printed(),
            failureLine("UvcExtension::InitVideoDevice", "Activating video device", noObject));
  EXPECT_EQ(cameraConnection().mediaSource, nullptr);

  world().faults = {{sim::VideoStep::MFCreateSourceReaderFromMediaSource, S_OK}};
  EXPECT_TRUE(Initialize());
  EXPECT_EQ(printed(),
            failureLine("UvcExtension::InitVideoDevice", "Creating video source reader", noObject));
  EXPECT_NE(cameraConnection().mediaSource, nullptr);
}

// An enumeration that counts devices without a list of them has not listed any.
TEST_F(Connection, DeviceCountWithoutAListIsAFailedEnumeration) {
  fail(sim::VideoStep::MFEnumDeviceSources, S_OK);  // succeeds, touching neither output
  cameraConnection().deviceCount = 3;
  UvcExtension::GetVideoDevices();
  EXPECT_EQ(printed(),
            failureLine("UvcExtension::GetVideoDevices", "Device enumeration", "80004003"));
  EXPECT_EQ(cameraConnection().deviceCount, 0u);
  EXPECT_EQ(cameraConnection().devices, nullptr);
}

TEST_F(Connection, UnreadableNamesAreReportedAndListedEmpty) {
  useDevices({u"A", u"Corvantis Optiqon"});
  fail(sim::VideoStep::GetAllocatedString, static_cast<std::int32_t>(0x80004005));
  EXPECT_FALSE(Initialize());
  const std::string line = failureLine("UvcExtension::GetVideoDeviceFriendlyNames",
                                       "Get video device friendly name", "80004005");
  EXPECT_EQ(printed(), line + line + NotFound + "0: \n1: \n" + Exiting);
}

TEST_F(Connection, DeinitializeReleasesEverythingThenWaits) {
  connect();
  Deinitialize();
  EXPECT_EQ(printed(), Exiting);
  EXPECT_EQ(sim::clock().nowMs(), 5000u);
  EXPECT_EQ(sim::liveVideoObjects(), 0u);
  EXPECT_EQ(cameraConnection().mediaSource, nullptr);
  Deinitialize();  // on an empty record: nothing to release, the same line and wait
  EXPECT_EQ(printed(), Exiting);
  EXPECT_EQ(sim::clock().nowMs(), 10000u);
}

TEST_F(Connection, SecondInitializeLetsGoOfTheFirstCamera) {
  connect();
  const std::size_t objects = sim::liveVideoObjects();
  connect();
  EXPECT_EQ(sim::liveVideoObjects(), objects);
}

// --- The extension-unit transport ---------------------------------------------------------

using Transport = CameraLibrary;

TEST_F(Transport, WithoutCameraNothingIsSentOrPrinted) {
  ULONG returned = 0;
  EXPECT_EQ(
      UvcExtension::SetGetExtensionUnit(ExtensionUnitGuidNode2, 2, 20, Read, nullptr, 0, &returned),
      static_cast<HRESULT>(0x80004005));
  EXPECT_EQ(UvcExtension::GetExtensionUnit(ExtensionUnitGuidNode2, 2, 20, 4), Bytes(4, 0));
  EXPECT_EQ(printed(), "");
  EXPECT_TRUE(world().calls.empty());
}

TEST_F(Transport, ReadOfNumberTwentySendsOneRequestForFourBytes) {
  world().devices[0].camera->setControl(2, 20, Bytes{9, 8, 7, 6});
  connect();
  EXPECT_EQ(takeValues(GetPropertyExtended(20)), (std::vector<double>{9, 8, 7, 6}));
  const auto requests = extensionRequests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].request, request(Node2Guid, 20, Read, 2));
  EXPECT_EQ(requests[0].dataLength, 4u);
  EXPECT_EQ(printed(), "");
}

TEST_F(Transport, MissingNodeStopsBeforeAnyRequest) {
  connect();
  ULONG returned = 0;
  std::uint8_t data[2] = {};
  EXPECT_EQ(
      UvcExtension::SetGetExtensionUnit(ExtensionUnitGuidNode2, 7, 1, Read, data, 2, &returned),
      E_INVALIDARG);
  EXPECT_EQ(printed(), failureLine("UvcExtension::SetGetExtensionUnit",
                                   "IKsTopologyInfo->get_NodeType(...)", "80070057"));
  EXPECT_TRUE(extensionRequests().empty());
}

TEST_F(Transport, ReadOfLengthZeroStillSendsTheRequest) {
  connect();
  EXPECT_TRUE(UvcExtension::GetExtensionUnit(ExtensionUnitGuidNode2, 2, 5, 0).empty());
  const auto requests = extensionRequests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].dataLength, 0u);
  EXPECT_EQ(requests[0].result, 0);
}

TEST_F(Transport, EachFailingStepPrintsItsLineAndReturnsItsResult) {
  const std::pair<sim::VideoStep, const char*> steps[] = {
      {sim::VideoStep::QueryIKsTopologyInfo, "IMFMediaSource::QueryInterface(IKsTopologyInfo)"},
      {sim::VideoStep::get_NodeType, "IKsTopologyInfo->get_NodeType(...)"},
      {sim::VideoStep::CreateNodeInstance, "ks_topology_info->CreateNodeInstance(...)"},
      {sim::VideoStep::QueryIKsControl, "ks_topology_info->QueryInterface(...)"},
      {sim::VideoStep::KsProperty, "ks_control->KsProperty(...)"},
  };
  connect();
  world().devices[0].camera->setControl(2, 20, Bytes{1, 2, 3, 4});
  for (const auto& [step, text] : steps) {
    world().faults = {{step, static_cast<std::int32_t>(0x80070490)}};
    EXPECT_EQ(UvcExtension::GetExtensionUnit(ExtensionUnitGuidNode2, 2, 20, 4), Bytes(4, 0));
    EXPECT_EQ(printed(), failureLine("UvcExtension::SetGetExtensionUnit", text, "80070490"));
  }
  world().faults.clear();
  EXPECT_EQ(UvcExtension::GetExtensionUnit(ExtensionUnitGuidNode2, 2, 20, 4), (Bytes{1, 2, 3, 4}));
}

TEST_F(Transport, StepsThatHandBackNothingHaveFailed) {
  const std::pair<sim::VideoStep, const char*> steps[] = {
      {sim::VideoStep::QueryIKsTopologyInfo, "IMFMediaSource::QueryInterface(IKsTopologyInfo)"},
      {sim::VideoStep::CreateNodeInstance, "ks_topology_info->CreateNodeInstance(...)"},
      {sim::VideoStep::QueryIKsControl, "ks_topology_info->QueryInterface(...)"},
  };
  connect();
  world().devices[0].camera->setControl(2, 20, Bytes{1, 2, 3, 4});
  for (const auto& [step, text] : steps) {
    world().faults = {{step, S_OK}};
    EXPECT_EQ(takeValues(GetPropertyExtended(20)), std::vector<double>(4, 0.0));
    EXPECT_EQ(printed(), failureLine("UvcExtension::SetGetExtensionUnit", text, "80004003"));
    EXPECT_FALSE(SetRegister(0x10, 0x80));
    EXPECT_EQ(printed(), failureLine("UvcExtension::SetGetExtensionUnit", text, "80004003"));
  }
  EXPECT_TRUE(extensionRequests().empty());
}

// --- Image properties ---------------------------------------------------------------------

using Properties = CameraLibrary;

TEST_F(Properties, SetTruncatesTowardZeroAndSetsManually) {
  connect();
  SetProperty(0, 2.9);
  SetProperty(0, -2.9);
  const auto sets = callsOf(sim::VideoCallKind::Set);
  ASSERT_EQ(sets.size(), 2u);
  EXPECT_EQ(sets[0].value, 2);
  EXPECT_EQ(sets[0].flags, 2);
  EXPECT_EQ(sets[1].value, -2);
  EXPECT_EQ(GetProperty(0), -2.0);
}

TEST_F(Properties, PropertyWithoutRangeIsSkipped) {
  world().devices[0].camera->withdrawProperty(6);
  connect();
  SetProperty(6, 1);
  SetProperty(42, 1);
  EXPECT_TRUE(callsOf(sim::VideoCallKind::Set).empty());
  EXPECT_EQ(callsOf(sim::VideoCallKind::GetRange).size(), 2u);
}

TEST_F(Properties, GetReturnsFailuresAsTheirNegativeResult) {
  EXPECT_EQ(GetProperty(0), -2147467259.0);  // no camera: E_FAIL
  connect();
  EXPECT_EQ(GetProperty(42), static_cast<double>(static_cast<std::int32_t>(0x80070490)));
  fail(sim::VideoStep::QueryIAMVideoProcAmp, static_cast<std::int32_t>(0x80004002));
  EXPECT_EQ(GetProperty(0), -2147467262.0);
  SetProperty(0, 5);
  EXPECT_TRUE(callsOf(sim::VideoCallKind::GetRange).empty());
}

// A success code without the interface is no interface: the failure the host sees is E_POINTER.
TEST_F(Properties, AmplifierThatIsNotHandedBackIsAFailure) {
  connect();
  for (std::int32_t success : {0, 1}) {
    fail(sim::VideoStep::QueryIAMVideoProcAmp, success);
    EXPECT_EQ(GetProperty(0), -2147467261.0);
    SetProperty(0, 5);
  }
  EXPECT_TRUE(world().calls.empty());
  EXPECT_EQ(printed(), "");
}

// --- Extended properties ------------------------------------------------------------------

using ExtendedProperties = CameraLibrary;

TEST_F(ExtendedProperties, WritesAsManyBytesAsTheHostGives) {
  connect();
  SetPropertyExtended(5, HostArray({1.0, 2.0}).array);
  SetPropertyExtended(33, HostArray({7.0}).array);
  SetPropertyExtended(31, HostArray({300.7}).array);
  SetPropertyExtended(32, HostArray({-1.0}).array);
  SetPropertyExtended(12, HostArray({}).array);
  const auto requests = extensionRequests();
  ASSERT_EQ(requests.size(), 5u);
  EXPECT_EQ(requests[0].request, request(Node2Guid, 5, Write, 2));
  EXPECT_EQ(requests[0].data, (Bytes{0x01, 0x02}));
  EXPECT_EQ(requests[1].request, request(Node3Guid, 2, Write, 3));
  EXPECT_EQ(requests[1].data, Bytes{0x07});
  EXPECT_EQ(requests[2].request, request(Node2Guid, 31, Write, 2));
  EXPECT_EQ(requests[2].data, Bytes{0x2C});
  EXPECT_EQ(requests[3].request, request(Node3Guid, 1, Write, 3));
  EXPECT_EQ(requests[3].data, Bytes{0xFF});
  EXPECT_EQ(requests[4].dataLength, 0u);
  EXPECT_EQ(printed(), "");
}

TEST_F(ExtendedProperties, NumberThirtyScalesItsFirstValueOnly) {
  connect();
  SetPropertyExtended(30, HostArray({1.0, 1.0}).array);
  SetPropertyExtended(30, HostArray({0.0}).array);
  const auto requests = extensionRequests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(requests[0].data, (Bytes{0x0B, 0x01}));
  EXPECT_EQ(requests[1].data, Bytes{0xF7});
  world().devices[0].camera->setControl(2, 30, Bytes{0x12});
  const std::vector<double> read = takeValues(GetPropertyExtended(30));
  ASSERT_EQ(read.size(), 1u);
  EXPECT_DOUBLE_EQ(read[0], 0.45);
}

TEST_F(ExtendedProperties, ArraysTheLibraryCannotReadSendNothing) {
  connect();
  SetPropertyExtended(20, nullptr);
  HostArray integers({1.0});
  integers.array->cbElements = 4;  // as an array of 4-byte integers describes itself
  SetPropertyExtended(20, integers.array);
  integers.array->cbElements = 8;
  integers.array->cDims = 2;
  SetPropertyExtended(20, integers.array);
  integers.array->cDims = 1;
  EXPECT_TRUE(extensionRequests().empty());
}

// Eight-byte elements are not enough: an array that records its element type is written only
// when that type is VT_R8; one that records none (a descriptor the host filled in) when its
// elements are 8 bytes of no announced kind.
TEST_F(ExtendedProperties, OnlyArraysOfDoublesAreWritten) {
  connect();
  for (VARTYPE type : {VT_I8, VT_UI8, VT_CY, VT_DATE}) {
    SAFEARRAY* array = SafeArrayCreateVector(type, 0, 1);
    ASSERT_NE(array, nullptr);
    ASSERT_EQ(array->cbElements, 8u);
    SetPropertyExtended(20, array);
    SafeArrayDestroy(array);
  }
  double values[2] = {3.0, 4.0};
  SAFEARRAY own{1, FADF_STATIC | FADF_FIXEDSIZE, sizeof(double), 0, values, {{2, 0}}};
  own.fFeatures |= FADF_BSTR;
  SetPropertyExtended(20, &own);
  EXPECT_TRUE(extensionRequests().empty());

  own.fFeatures &= static_cast<USHORT>(~FADF_BSTR);
  SetPropertyExtended(20, &own);
  SetPropertyExtended(20, HostArray({1.0}).array);
  const auto requests = extensionRequests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(requests[0].data, (Bytes{0x03, 0x04}));
  EXPECT_EQ(requests[1].data, Bytes{0x01});
}

TEST_F(ExtendedProperties, ReadsTheTablesLengthForTheNumber) {
  world().devices[0].camera->setControl(3, 5, Bytes{0xAB, 0xCD, 0xEF});
  connect();
  EXPECT_EQ(takeValues(GetPropertyExtended(36)), (std::vector<double>{0xAB, 0xCD}));
  EXPECT_EQ(extensionRequests().back().request, request(Node3Guid, 5, Read, 3));
  EXPECT_EQ(takeValues(GetPropertyExtended(40)), std::vector<double>{});
  EXPECT_EQ(extensionRequests().back().dataLength, 0u);
}

TEST_F(ExtendedProperties, WithoutCameraReadsGiveZeros) {
  EXPECT_EQ(takeValues(GetPropertyExtended(20)), std::vector<double>(4, 0.0));
  EXPECT_EQ(takeValues(GetPropertyExtended(30)), std::vector<double>{-0.45});
  EXPECT_EQ(takeValues(GetPropertyExtended(0)), std::vector<double>{});
  SetPropertyExtended(20, HostArray({1.0}).array);
  EXPECT_EQ(printed(), "");
}

// --- Registers, settings and the password -------------------------------------------------

using Maintenance = CameraLibrary;

TEST_F(Maintenance, RegisterWritesAndSettingsCommands) {
  connect();
  EXPECT_TRUE(SetRegister(0x10, 0x80));
  EXPECT_EQ(GetRegister(), 0x80);
  EXPECT_EQ(SaveSettings(), 0);
  EXPECT_EQ(ResetSettings(), 0);
  const auto requests = extensionRequests();
  ASSERT_EQ(requests.size(), 4u);
  EXPECT_EQ(requests[0].request, request(Node2Guid, 3, Write, 2));
  EXPECT_EQ(requests[0].data, (Bytes{0x10, 0x80}));
  EXPECT_EQ(requests[1].request, request(Node2Guid, 3, Read, 2));
  EXPECT_EQ(requests[2].data, (Bytes{0xF0, 0x01}));
  EXPECT_EQ(requests[3].data, (Bytes{0xF0, 0x05}));
}

TEST_F(Maintenance, WithoutCameraEachCommandReportsInItsOwnWay) {
  EXPECT_FALSE(SetRegister(1, 2));
  EXPECT_EQ(SaveSettings(), -2147467259);
  EXPECT_EQ(ResetSettings(), -2147467259);
  EXPECT_EQ(printed(), "");
  EXPECT_EQ(GetRegister(), -1);
  EXPECT_EQ(printed(), "\nDid not find \"Optiqon\" device.");
  EXPECT_FALSE(SetPassword("1A2B"));
}

TEST_F(Maintenance, FailedRegisterReadPrintsBothLines) {
  connect();
  fail(sim::VideoStep::KsProperty, static_cast<std::int32_t>(0x8007001F));
  EXPECT_EQ(GetRegister(), -1);
  EXPECT_EQ(printed(), failureLine("UvcExtension::SetGetExtensionUnit",
                                   "ks_control->KsProperty(...)", "8007001f") +
                           "\nDid not find \"Optiqon\" device.");
}

TEST_F(Maintenance, PasswordIsWrittenThenReadBack) {
  connect();
  EXPECT_TRUE(SetPassword("1a2bXYZ"));
  const auto requests = extensionRequests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(requests[0].request, request(Node2Guid, 6, Write, 2));
  EXPECT_EQ(requests[0].data, (Bytes{0x1A, 0x2B}));
  EXPECT_EQ(requests[1].request, request(Node2Guid, 6, Read, 2));
  EXPECT_EQ(requests[1].dataLength, 2u);
  EXPECT_FALSE(SetPassword("1A2C"));
}

TEST_F(Maintenance, UnreadablePasswordSendsNothing) {
  connect();
  try {
    SetPassword("zz");
    ADD_FAILURE() << "accepted";
  } catch (const std::invalid_argument& error) {
    EXPECT_STREQ(error.what(), "invalid stoi argument");
  }
  EXPECT_FALSE(SetPassword(nullptr));
  EXPECT_TRUE(extensionRequests().empty());
}

// --- A host that calls from several threads -------------------------------------------------

// The library is made for one calling thread; a host that calls from several at once still gets
// every call whole, one after the other, and memory stays intact.
TEST_F(CameraLibrary, CallsFromSeveralThreadsAtOnceEachRunWhole) {
  world().devices[0].camera->setControl(2, 20, Bytes{9, 8, 7, 6});
  connect();
  constexpr int Threads = 4;
  constexpr int Rounds = 300;
  std::vector<int> wrong(Threads, 0);
  std::vector<std::thread> threads;
  for (int t = 0; t < Threads; ++t) {
    threads.emplace_back([t, &wrong] {
      for (int i = 0; i < Rounds; ++i) {
        if (takeValues(GetPropertyExtended(20)) != std::vector<double>{9, 8, 7, 6}) {
          ++wrong[t];
        }
        // A number outside the table adds an entry to it.
        if (!takeValues(GetPropertyExtended(1000 + t * Rounds + i)).empty()) {
          ++wrong[t];
        }
        SetPropertyExtended(7 + t, HostArray({static_cast<double>(i)}).array);
        if (!SetRegister(static_cast<unsigned char>(t), static_cast<unsigned char>(i)) ||
            GetProperty(0) != 0.0) {
          ++wrong[t];
        }
      }
    });
  }
  for (std::thread& thread : threads) {
    thread.join();
  }
  EXPECT_EQ(wrong, std::vector<int>(Threads, 0));
  // The camera has no control behind a number outside the table: one whole line for each.
  std::string refusals;
  for (int i = 0; i < Threads * Rounds; ++i) {
    refusals +=
        failureLine("UvcExtension::SetGetExtensionUnit", "ks_control->KsProperty(...)", "80070490");
  }
  EXPECT_TRUE(printed() == refusals);
  EXPECT_EQ(extensionRequests().size(), std::size_t{Threads * Rounds * 4});
  for (int number = 1000; number < 1000 + Threads * Rounds; ++number) {
    ASSERT_EQ(ControlSizeTable().count(number), 1u) << number;
  }
  for (int t = 0; t < Threads; ++t) {
    EXPECT_EQ(world().devices[0].camera->storedControl(2, 7 + t),
              Bytes{static_cast<std::uint8_t>(Rounds - 1)});
  }
}

// --- The upgrader, through the library ----------------------------------------------------

class UpgraderThroughLibrary : public CameraLibrary {
 protected:
  void SetUp() override {
    CameraLibrary::SetUp();
    upgrader_.enter();
  }
  void TearDown() override {
    upgrader_.leave();
    CameraLibrary::TearDown();
  }

  UpgraderScenario upgrader_{"optiqon-lib"};
  const std::filesystem::path& dir_ = upgrader_.dir();
  const std::string& scenario_ = upgrader_.file();
};

TEST_F(UpgraderThroughLibrary, SerialNumberIsTheUpgradersFirstLine) {
  EXPECT_STREQ(GetSerialNumber(), "K030M05010-000000010000000000000000\n");
  std::ofstream(scenario_) << "camera = absent\nclock = virtual\n";
  EXPECT_STREQ(GetSerialNumber(), "Did not find Corvantis K3M51-USB camera...\n");
  EXPECT_EQ(printed(), "");
}

TEST_F(UpgraderThroughLibrary, UpdateEchoesTheWholeRun) {
  std::ofstream(dir_ / "fw.img", std::ios::binary) << std::string(600, 'F');
  connect();
  UpdateFirmware("fw.img");
  EXPECT_EQ(printed(), transcript::successfulRun(768));
  EXPECT_TRUE(extensionRequests().empty());  // the request for control 4 carries nothing
}

TEST_F(UpgraderThroughLibrary, PathsWithBlanksNeedTheirOwnQuotes) {
  std::ofstream(dir_ / "my fw.img", std::ios::binary) << std::string(10, 'F');
  UpdateFirmware("\"my fw.img\"");
  EXPECT_NE(printed().find("Firmware file size = 256\n"), std::string::npos);
  UpdateFirmware("my fw.img");
  EXPECT_NE(printed().find("Cannot open file.\nReturn Status = 11"), std::string::npos);
}

TEST_F(UpgraderThroughLibrary, ArgumentTextRunsNothing) {
  UpdateFirmware("fw.img;touch pwned $(touch pwned) `touch pwned`");
  EXPECT_NE(printed().find("Cannot open file."), std::string::npos);
  EXPECT_FALSE(std::filesystem::exists(dir_ / "pwned"));
}

}  // namespace
