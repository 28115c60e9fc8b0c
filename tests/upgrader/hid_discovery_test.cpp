// Discovery over simulated PCs: every interface in enumeration order, each failure at the step
// where it happens, and the report layouts read from the HID parser.
#include "hid_discovery.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "run_modes.h"
#include "scratch_directory.h"
#include "sim_hid_world.h"

namespace {

std::u16string pathOf(const HidDeviceRecord& record) {
  return record.devicePath == nullptr
             ? u""
             : std::u16string(reinterpret_cast<const char16_t*>(record.devicePath));
}

bool isOpen(const HidDeviceRecord& record) {
  return record.handle != INVALID_HANDLE_VALUE;
}

HIDP_VALUE_CAPS valueRange(USAGE first, USAGE last) {
  HIDP_VALUE_CAPS cap{};
  cap.UsagePage = 0xFF00;
  cap.ReportID = 7;
  cap.IsRange = 1;
  cap.BitSize = 8;
  cap.ReportCount = 1;
  cap.Range.UsageMin = first;
  cap.Range.UsageMax = last;
  return cap;
}

HIDP_BUTTON_CAPS buttons(USAGE page, USHORT reportCount) {
  HIDP_BUTTON_CAPS cap{};
  cap.UsagePage = page;
  cap.ReportID = 2;
  cap.NotRange.Usage = 1;
  sim::setButtonReportCount(cap, reportCount);
  return cap;
}

class Discovery : public ::testing::Test {
 protected:
  void SetUp() override { sim::resetHidWorld(); }
  void TearDown() override {
    releaseHidDeviceList(list_, count_);
    EXPECT_TRUE(world().openHandles.empty());
    EXPECT_TRUE(world().preparsedData.empty());
  }

  sim::HidWorld& world() { return sim::hidWorld(); }

  void usePc(unsigned interfaces) {
    sim::resetHidWorld(0);
    world().interfaces.clear();
    for (unsigned i = 0; i < interfaces; ++i) {
      world().interfaces.push_back(sim::unrelatedInterface(i));
    }
  }

  bool discover() {
    const bool completed = enumerateHidDevices(&list_, &count_);
    EXPECT_TRUE(world().deviceInfoSets.empty());
    return completed;
  }

  HidDeviceRecord* list_ = nullptr;
  std::uint32_t count_ = 0;
};

TEST_F(Discovery, ListsEveryInterfaceInOrderAcrossListGrowth) {
  for (unsigned interfaces : {0u, 1u, 7u, 8u, 9u, 17u}) {
    usePc(interfaces);
    ASSERT_TRUE(discover()) << interfaces;
    ASSERT_EQ(count_, interfaces);
    if (interfaces == 0) {
      EXPECT_NE(list_, nullptr);
    }
    for (unsigned i = 0; i < interfaces; ++i) {
      EXPECT_TRUE(isOpen(list_[i]));
      EXPECT_EQ(pathOf(list_[i]), world().interfaces[i].path);
      EXPECT_EQ(list_[i].attributes.VendorID, world().interfaces[i].vendorId);
    }
    EXPECT_EQ(world().openHandles.size(), interfaces);
    releaseHidDeviceList(list_, count_);
    list_ = nullptr;
    count_ = 0;
  }
}

TEST_F(Discovery, NoDeviceSetMeansNoList) {
  world().classDevicesFail = true;
  EXPECT_FALSE(discover());
  EXPECT_EQ(list_, nullptr);
  EXPECT_EQ(count_, 0u);
}

// A device that fails after it has a path keeps its place and its path, closed.
TEST_F(Discovery, DeviceFailingAnOpenStepStaysInItsPlaceClosed) {
  const sim::FailStep steps[] = {sim::FailStep::Open, sim::FailStep::PreparsedData,
                                 sim::FailStep::Attributes, sim::FailStep::Caps,
                                 sim::FailStep::ValueCaps};
  for (sim::FailStep step : steps) {
    sim::resetHidWorld(1);
    world().interfaces[1].failStep = step;
    world().interfaces.push_back(sim::mouseInterface(2));
    ASSERT_TRUE(discover());
    ASSERT_EQ(count_, 3u);
    EXPECT_FALSE(isOpen(list_[1])) << static_cast<int>(step);
    EXPECT_EQ(list_[1].preparsedData, nullptr);
    EXPECT_EQ(list_[1].inputEntries, nullptr);
    EXPECT_EQ(pathOf(list_[1]), world().interfaces[1].path);
    EXPECT_TRUE(isOpen(list_[0]));
    EXPECT_TRUE(isOpen(list_[2]));
    EXPECT_EQ(world().openHandles.size(), 2u);
    EXPECT_EQ(world().preparsedData.size(), 2u);
    EXPECT_FALSE(findCamera(list_, count_).has_value());
    releaseHidDeviceList(list_, count_);
    list_ = nullptr;
  }
}

TEST_F(Discovery, ButtonCapabilityFailureClosesTheDevice) {
  usePc(2);  // a mouse, then a keyboard: both have buttons
  world().interfaces[1].failStep = sim::FailStep::ButtonCaps;
  ASSERT_TRUE(discover());
  EXPECT_TRUE(isOpen(list_[0]));
  EXPECT_FALSE(isOpen(list_[1]));
}

// An interface whose path was never read leaves an empty record; the rest keep their indexes.
TEST_F(Discovery, InterfaceWithoutPathLeavesAnEmptyRecord) {
  for (sim::FailStep step :
       {sim::FailStep::Enumerate, sim::FailStep::Detail, sim::FailStep::SizeQueryTooSmall}) {
    usePc(3);
    world().interfaces[1].failStep = step;
    ASSERT_TRUE(discover());
    ASSERT_EQ(count_, 3u);
    EXPECT_EQ(list_[1].devicePath, nullptr) << static_cast<int>(step);
    EXPECT_FALSE(isOpen(list_[1]));
    EXPECT_EQ(pathOf(list_[2]), world().interfaces[2].path);
    EXPECT_TRUE(isOpen(list_[2]));
    releaseHidDeviceList(list_, count_);
    list_ = nullptr;
  }
}

TEST_F(Discovery, EndlessEnumerationErrorsEndTheEnumeration) {
  usePc(5);
  world().endlessEnumerationErrors = true;
  EXPECT_TRUE(discover());
  EXPECT_EQ(count_, 5u);
}

TEST_F(Discovery, CameraListedTwiceIsTakenAtTheLowerIndex) {
  world().interfaces.push_back(sim::cameraInterface(2, u"K3M51-0001"));
  ASSERT_TRUE(discover());
  ASSERT_EQ(count_, 3u);
  EXPECT_TRUE(isOpen(list_[1]));
  EXPECT_TRUE(isOpen(list_[2]));
  EXPECT_EQ(findCamera(list_, count_), 1u);
}

TEST_F(Discovery, CameraReportLayoutIsRead) {
  ASSERT_TRUE(discover());
  const HidDeviceRecord& camera = list_[1];
  EXPECT_EQ(camera.caps.OutputReportByteLength, 261);
  EXPECT_EQ(camera.caps.InputReportByteLength, 259);
  EXPECT_EQ(camera.caps.FeatureReportByteLength, 0);
  ASSERT_EQ(camera.outputEntryCount, 3u);
  EXPECT_EQ(camera.outputEntries[1].value.usage, 0x04);
  EXPECT_EQ(camera.outputEntries[1].reportId, 0x04u);
  EXPECT_FALSE(camera.outputEntries[1].isButton);
  EXPECT_EQ(camera.featureEntryCount, 0u);
  EXPECT_EQ(camera.readAccess, TRUE);
  EXPECT_EQ(camera.writeAccess, TRUE);
  EXPECT_EQ(camera.overlappedIo, FALSE);
}

TEST_F(Discovery, ButtonEntriesComeFirstWithRoomForTheirPagesUsages) {
  usePc(2);
  ASSERT_TRUE(discover());
  const HidDeviceRecord& keyboard = list_[1];
  ASSERT_EQ(keyboard.inputEntryCount, 2u);
  const HidDataEntry& modifiers = keyboard.inputEntries[0];
  EXPECT_TRUE(modifiers.isButton);
  EXPECT_EQ(modifiers.usagePage, 0x07);
  EXPECT_EQ(modifiers.button.usageMin, 0xE0u);
  EXPECT_EQ(modifiers.button.usageMax, 0xE7u);
  EXPECT_EQ(modifiers.button.maxUsageLength, 14u);  // 8 modifier bits and 6 key slots
  EXPECT_NE(modifiers.button.usages, nullptr);
  const HidDeviceRecord& mouse = list_[0];
  ASSERT_EQ(mouse.inputEntryCount, 4u);
  EXPECT_TRUE(mouse.inputEntries[0].isButton);
  EXPECT_EQ(mouse.inputEntries[1].value.usage, 0x38);
  EXPECT_EQ(mouse.inputEntries[3].value.usage, 0x30);
}

class ValueRanges : public Discovery {
 protected:
  // One device with the camera's identity and the given layout of one report type.
  void useLayout(HIDP_REPORT_TYPE type, std::vector<HIDP_BUTTON_CAPS> buttonCaps,
                 std::vector<HIDP_VALUE_CAPS> valueCaps) {
    sim::resetHidWorld(0);
    sim::HidInterface& device = world().interfaces[0];
    device.reports = {};
    device.reports[type] = {8, std::move(buttonCaps), std::move(valueCaps)};
  }
};

TEST_F(ValueRanges, RangeGivesOneEntryPerUsageInOrder) {
  useLayout(HidP_Input, {}, {valueRange(5, 9)});
  ASSERT_TRUE(discover());
  ASSERT_TRUE(isOpen(list_[0]));
  ASSERT_EQ(list_[0].inputEntryCount, 5u);
  for (unsigned i = 0; i < 5; ++i) {
    EXPECT_EQ(list_[0].inputEntries[i].value.usage, 5 + i);
    EXPECT_EQ(list_[0].inputEntries[i].reportId, 7u);
  }
}

TEST_F(ValueRanges, InvertedInputRangeFailsTheDevice) {
  useLayout(HidP_Input, {}, {valueRange(6, 5)});
  ASSERT_TRUE(discover());
  EXPECT_FALSE(isOpen(list_[0]));
}

TEST_F(ValueRanges, InvertedFeatureRangeCountsNothing) {
  useLayout(HidP_Feature, {}, {valueRange(6, 5)});
  ASSERT_TRUE(discover());
  ASSERT_TRUE(isOpen(list_[0]));
  EXPECT_EQ(list_[0].featureEntryCount, 0u);
}

// Counted modulo 2^32, a range inverted by more than one would ask for billions of entries.
TEST_F(ValueRanges, WidelyInvertedRangeFailsWithoutAHugeAllocation) {
  for (HIDP_REPORT_TYPE type : {HidP_Output, HidP_Feature}) {
    useLayout(type, {}, {valueRange(9, 5)});
    ASSERT_TRUE(discover());
    EXPECT_FALSE(isOpen(list_[0])) << type;
    releaseHidDeviceList(list_, count_);
    list_ = nullptr;
  }
}

TEST_F(ValueRanges, OutputButtonsWithoutOutputValuesPass) {
  useLayout(HidP_Output, {buttons(0x08, 5)}, {});
  ASSERT_TRUE(discover());
  ASSERT_TRUE(isOpen(list_[0]));
  ASSERT_EQ(list_[0].outputEntryCount, 1u);
  EXPECT_EQ(list_[0].outputEntries[0].button.maxUsageLength, 5u);
}

TEST_F(ValueRanges, OutputGuardRefusesARangeEndingButtonCountBelowItsStart) {
  useLayout(HidP_Output, {buttons(0x08, 1)}, {valueRange(6, 5)});
  ASSERT_TRUE(discover());
  EXPECT_FALSE(isOpen(list_[0]));
  // The same inverted range is harmless as a feature: it counts nothing.
  releaseHidDeviceList(list_, count_);
  list_ = nullptr;
  useLayout(HidP_Feature, {buttons(0x08, 1)}, {valueRange(6, 5)});
  ASSERT_TRUE(discover());
  EXPECT_TRUE(isOpen(list_[0]));
  EXPECT_EQ(list_[0].featureEntryCount, 1u);
}

// The simulated PC answers for its own interfaces and leaves every other path and handle to the
// platform, which off Windows has none: either way the upgrader reads what Windows says of a
// missing file or a handle it never had, and the simulated PC's own refusals through the same
// GetLastError.
TEST(SimulatedPc, PathsAndHandlesNotItsOwnAreThePlatforms) {
  sim::resetHidWorld();
  const auto openPath = [](const std::u16string& path) {
    return CreateFileW(reinterpret_cast<LPCWSTR>(path.c_str()), GENERIC_READ | GENERIC_WRITE,
                       FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
  };
  EXPECT_EQ(openPath(u"no-such-interface"), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  EXPECT_FALSE(CloseHandle(nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));

  sim::hidWorld().interfaces[0].failStep = sim::FailStep::Open;
  EXPECT_EQ(openPath(sim::hidWorld().interfaces[0].path), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  EXPECT_TRUE(sim::hidWorld().openHandles.empty());
}

// Whatever a program asks of a path not the simulated PC's own reaches the platform, so that a
// program linking the simulated HID side still makes its own files (on Windows, the standard
// output a test hands a program it starts); an interface is only ever opened.
TEST(SimulatedPc, FilesNotItsOwnAreMadeByThePlatform) {
  sim::resetHidWorld();
  constexpr DWORD CreateAlways = 2;  // CREATE_ALWAYS, which the seam off Windows does not name
  const auto make = [](const std::u16string& path) {
    return CreateFileW(reinterpret_cast<LPCWSTR>(path.c_str()), GENERIC_WRITE, 0, nullptr,
                       CreateAlways, 0, nullptr);
  };
#if defined(_WIN32)
  ScratchDirectory scratch;
  HANDLE made = make((scratch / "made.txt").u16string());
  ASSERT_NE(made, INVALID_HANDLE_VALUE);
  EXPECT_TRUE(CloseHandle(made));
  EXPECT_TRUE(std::filesystem::exists(scratch / "made.txt"));
#else
  EXPECT_EQ(make(u"made.txt"), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND)) << "the platform's answer";
#endif
  EXPECT_EQ(make(sim::hidWorld().interfaces[0].path), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  EXPECT_TRUE(sim::hidWorld().openHandles.empty());
}

}  // namespace
