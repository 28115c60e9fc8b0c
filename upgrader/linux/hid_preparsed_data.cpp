#include "hid_preparsed_data.h"

#include <algorithm>
#include <vector>

namespace {

using hidreport::Capability;
using hidreport::TopLevelCollection;

bool validReportType(HIDP_REPORT_TYPE type) {
  return type == HidP_Input || type == HidP_Output || type == HidP_Feature;
}

const std::vector<Capability>& capsOf(const TopLevelCollection& collection, HIDP_REPORT_TYPE type) {
  return collection.caps[static_cast<std::size_t>(type)];
}

USHORT countCaps(const std::vector<Capability>& caps, bool buttons) {
  return static_cast<USHORT>(
      std::count_if(caps.begin(), caps.end(),
                    [buttons](const Capability& cap) { return cap.isButton == buttons; }));
}

// Data indices run from 0 without gaps in each report type, so their number is one past the
// highest.
USHORT countDataIndices(const std::vector<Capability>& caps) {
  unsigned count = 0;
  for (const Capability& cap : caps) {
    count = std::max(count, cap.dataIndexMax + 1u);
  }
  return static_cast<USHORT>(count);
}

// The usage, string, designator and data index ranges. Windows keeps a single usage as a range
// of one and hands out the same bytes, so NotRange.Reserved1..4 repeat Usage, StringIndex,
// DesignatorIndex and DataIndex.
HIDP_CAPS_RANGE rangeOf(const Capability& cap) {
  return HIDP_CAPS_RANGE{cap.usageMin,      cap.usageMax,      cap.stringMin,    cap.stringMax,
                         cap.designatorMin, cap.designatorMax, cap.dataIndexMin, cap.dataIndexMax};
}

// The fields button and value capabilities share, ahead of their differing middle parts.
template <typename PublicCaps>
void fillCommon(PublicCaps& out, const Capability& cap) {
  out.UsagePage = cap.usagePage;
  out.ReportID = cap.reportId;
  out.IsAlias = cap.isAlias;
  out.BitField = static_cast<USHORT>(cap.bitField);
  out.LinkCollection = cap.linkCollection;
  out.LinkUsage = cap.linkUsage;
  out.LinkUsagePage = cap.linkUsagePage;
  out.IsRange = cap.isRange;
  out.IsStringRange = cap.isStringRange;
  out.IsDesignatorRange = cap.isDesignatorRange;
  out.IsAbsolute = cap.isAbsolute;
  out.ReportCount = cap.reportCount;
  out.Range = rangeOf(cap);
}

HIDP_BUTTON_CAPS buttonCapsOf(const Capability& cap) {
  HIDP_BUTTON_CAPS out{};
  fillCommon(out, cap);
  return out;
}

HIDP_VALUE_CAPS valueCapsOf(const Capability& cap) {
  HIDP_VALUE_CAPS out{};
  fillCommon(out, cap);
  out.HasNull = cap.hasNull;
  out.BitSize = cap.bitSize;
  out.UnitsExp = cap.unitsExp;
  out.Units = cap.units;
  out.LogicalMin = cap.logicalMin;
  out.LogicalMax = cap.logicalMax;
  out.PhysicalMin = cap.physicalMin;
  out.PhysicalMax = cap.physicalMax;
  return out;
}

// The button or value capabilities of one report type, in the order of the preparsed data.
// As many as the caller has room for are copied and the length says how many; a buffer too
// small for all of them is reported as such, and a type with none as a usage not found (what
// HidP_GetSpecificButtonCaps/ValueCaps, of which these calls are the unfiltered form, return).
template <typename PublicCaps>
NTSTATUS copyCaps(HIDP_REPORT_TYPE type, bool buttons, PublicCaps (*convert)(const Capability&),
                  PublicCaps* out, PUSHORT length, PHIDP_PREPARSED_DATA preparsedData) {
  if (preparsedData == nullptr) {
    return HIDP_STATUS_INVALID_PREPARSED_DATA;
  }
  if (!validReportType(type)) {
    return HIDP_STATUS_INVALID_REPORT_TYPE;
  }
  if (length == nullptr || (out == nullptr && *length != 0)) {
    return HIDP_STATUS_NULL;
  }
  const USHORT room = *length;
  USHORT found = 0;
  for (const Capability& cap : capsOf(preparsedData->collection, type)) {
    if (cap.isButton != buttons) {
      continue;
    }
    if (found < room) {
      out[found] = convert(cap);
    }
    ++found;
  }
  *length = std::min(found, room);
  if (found == 0) {
    return HIDP_STATUS_USAGE_NOT_FOUND;
  }
  return found > room ? HIDP_STATUS_BUFFER_TOO_SMALL : HIDP_STATUS_SUCCESS;
}

}  // namespace

extern "C" {

NTSTATUS HidP_GetCaps(PHIDP_PREPARSED_DATA preparsedData, PHIDP_CAPS capabilities) {
  if (preparsedData == nullptr) {
    return HIDP_STATUS_INVALID_PREPARSED_DATA;
  }
  if (capabilities == nullptr) {
    return HIDP_STATUS_NULL;
  }
  const TopLevelCollection& collection = preparsedData->collection;
  HIDP_CAPS caps{};
  caps.Usage = collection.usage;
  caps.UsagePage = collection.usagePage;
  caps.InputReportByteLength = collection.reportByteLength[HidP_Input];
  caps.OutputReportByteLength = collection.reportByteLength[HidP_Output];
  caps.FeatureReportByteLength = collection.reportByteLength[HidP_Feature];
  caps.NumberLinkCollectionNodes = static_cast<USHORT>(collection.linkCollections.size());
  const auto& input = collection.caps[HidP_Input];
  const auto& output = collection.caps[HidP_Output];
  const auto& feature = collection.caps[HidP_Feature];
  caps.NumberInputButtonCaps = countCaps(input, true);
  caps.NumberInputValueCaps = countCaps(input, false);
  caps.NumberInputDataIndices = countDataIndices(input);
  caps.NumberOutputButtonCaps = countCaps(output, true);
  caps.NumberOutputValueCaps = countCaps(output, false);
  caps.NumberOutputDataIndices = countDataIndices(output);
  caps.NumberFeatureButtonCaps = countCaps(feature, true);
  caps.NumberFeatureValueCaps = countCaps(feature, false);
  caps.NumberFeatureDataIndices = countDataIndices(feature);
  *capabilities = caps;
  return HIDP_STATUS_SUCCESS;
}

NTSTATUS HidP_GetButtonCaps(HIDP_REPORT_TYPE reportType, PHIDP_BUTTON_CAPS buttonCaps,
                            PUSHORT buttonCapsLength, PHIDP_PREPARSED_DATA preparsedData) {
  return copyCaps(reportType, true, buttonCapsOf, buttonCaps, buttonCapsLength, preparsedData);
}

NTSTATUS HidP_GetValueCaps(HIDP_REPORT_TYPE reportType, PHIDP_VALUE_CAPS valueCaps,
                           PUSHORT valueCapsLength, PHIDP_PREPARSED_DATA preparsedData) {
  return copyCaps(reportType, false, valueCapsOf, valueCaps, valueCapsLength, preparsedData);
}

// The sum of the report counts of the button capabilities of that type on that usage page
// (page 0: every page). A range counts its report count, not the size of its usage range.
ULONG HidP_MaxUsageListLength(HIDP_REPORT_TYPE reportType, USAGE usagePage,
                              PHIDP_PREPARSED_DATA preparsedData) {
  if (preparsedData == nullptr || !validReportType(reportType)) {
    return 0;
  }
  ULONG length = 0;
  for (const Capability& cap : capsOf(preparsedData->collection, reportType)) {
    if (cap.isButton && (usagePage == 0 || cap.usagePage == usagePage)) {
      length += cap.reportCount;
    }
  }
  return length;
}

}  // extern "C"
