// A HID report descriptor turned into what Windows' HID parser makes of it: for each top-level
// collection, the capabilities of its input, output and feature reports, in the order and with
// the fields Windows' preparsed data holds, the report byte lengths and the link collections.
// The Linux backend reads the raw descriptor from hidraw and answers HidP_GetCaps,
// HidP_GetButtonCaps and HidP_GetValueCaps from this, exactly as Windows would.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace hidreport {

// Index of the report types, in the order of HIDP_REPORT_TYPE.
constexpr std::size_t InputReport = 0;
constexpr std::size_t OutputReport = 1;
constexpr std::size_t FeatureReport = 2;
constexpr std::size_t ReportTypeCount = 3;

// One capability as Windows' preparsed data holds it. A single usage is kept as a range of one
// (usageMin == usageMax, and so on for strings, designators and data indices): the public
// NotRange fields and their Reserved neighbours are these same values.
struct Capability {
  std::uint16_t usagePage = 0;
  std::uint8_t reportId = 0;
  std::uint8_t bitPosition = 0;    // first bit of the field within bytePosition
  std::uint16_t bitSize = 0;       // Report Size
  std::uint16_t reportCount = 0;   // fields this capability describes
  std::uint16_t bytePosition = 0;  // counted from the report ID byte, which is always byte 0
  std::uint16_t bitCount = 0;      // bitSize * reportCount
  std::uint32_t bitField = 0;      // the main item's data (Constant, Variable, Relative, ...)
  std::uint16_t nextBytePosition = 0;
  std::uint16_t linkCollection = 0;  // index into TopLevelCollection::linkCollections
  std::uint16_t linkUsagePage = 0;
  std::uint16_t linkUsage = 0;
  bool isMultipleItemsForArray = false;
  bool isButton = false;
  bool isPadding = false;
  bool isAbsolute = false;
  bool isRange = false;
  bool isAlias = false;
  bool isStringRange = false;
  bool isDesignatorRange = false;
  std::uint16_t usageMin = 0, usageMax = 0;
  std::uint16_t stringMin = 0, stringMax = 0;
  std::uint16_t designatorMin = 0, designatorMax = 0;
  std::uint16_t dataIndexMin = 0, dataIndexMax = 0;
  bool hasNull = false;  // values only
  std::int32_t logicalMin = 0, logicalMax = 0;
  std::int32_t physicalMin = 0, physicalMax = 0;  // values only
  std::uint32_t units = 0, unitsExp = 0;
};

// One collection of a top-level collection, as HIDP_LINK_COLLECTION_NODE describes it.
struct LinkCollectionNode {
  std::uint16_t linkUsage = 0;
  std::uint16_t linkUsagePage = 0;
  std::uint16_t parent = 0;
  std::uint16_t numberOfChildren = 0;
  std::uint16_t nextSibling = 0;
  std::uint16_t firstChild = 0;
  std::uint8_t collectionType = 0;
  bool isAlias = false;
};

struct TopLevelCollection {
  std::uint16_t usagePage = 0;
  std::uint16_t usage = 0;
  // Per report type (InputReport, OutputReport, FeatureReport), in Windows' order.
  std::array<std::vector<Capability>, ReportTypeCount> caps;
  // The longest report of the type plus the report ID byte; 0 when the type has no report.
  std::array<std::uint16_t, ReportTypeCount> reportByteLength{};
  // The capability slots Windows reserves: one per usage a main item names, including constant
  // fields named by usage 0, which then get no capability. Never fewer than caps[type].size().
  std::array<std::uint16_t, ReportTypeCount> capabilitySlots{};
  std::vector<LinkCollectionNode> linkCollections;  // [0] is the top-level collection itself
};

struct ParseResult {
  std::vector<TopLevelCollection> collections;  // empty when error is set
  std::string error;
  bool ok() const { return error.empty(); }
};

// Parses a whole report descriptor: one entry per top-level collection, in descriptor order.
// Malformed input gives !ok() with a short error; any input finishes in time linear in its size.
ParseResult parseReportDescriptor(std::span<const std::uint8_t> descriptor);

}  // namespace hidreport
