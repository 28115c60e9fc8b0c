// libFuzzer target: any bytes as a report descriptor. For every top-level collection the parser
// yields, the capability calls the upgrader makes (with the counts HidP_GetCaps gives, and with
// buffers one too small), and HidP_MaxUsageListLength for each type on a few pages. A broken
// promise between the calls aborts, which the fuzzer reports like a crash. The seed corpus in
// fuzz/corpus/hid_descriptor_fuzz holds the real descriptors of tests/data/hid-descriptors as raw
// bytes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "hid_preparsed_data.h"
#include "hid_report_descriptor.h"

namespace {

void require(bool promise) {
  if (!promise) {
    std::abort();
  }
}

// The button or value capabilities of a type: all of them, then one fewer than there are.
template <typename Caps, typename Call>
void fetchCaps(Call call, HIDP_REPORT_TYPE type, USHORT count, PHIDP_PREPARSED_DATA preparsed) {
  std::vector<Caps> caps(count);
  USHORT length = count;
  const NTSTATUS all = call(type, caps.data(), &length, preparsed);
  require(all == (count == 0 ? HIDP_STATUS_USAGE_NOT_FOUND : HIDP_STATUS_SUCCESS));
  require(length == count);
  if (count > 0) {
    std::vector<Caps> fewer(count - 1u);
    length = static_cast<USHORT>(count - 1u);
    require(call(type, fewer.data(), &length, preparsed) == HIDP_STATUS_BUFFER_TOO_SMALL);
    require(length == count - 1u);
  }
}

void exercise(const hidreport::TopLevelCollection& collection) {
  _HIDP_PREPARSED_DATA preparsed{collection};
  HIDP_CAPS caps{};
  require(HidP_GetCaps(&preparsed, &caps) == HIDP_STATUS_SUCCESS);
  const USHORT buttons[3] = {caps.NumberInputButtonCaps, caps.NumberOutputButtonCaps,
                             caps.NumberFeatureButtonCaps};
  const USHORT values[3] = {caps.NumberInputValueCaps, caps.NumberOutputValueCaps,
                            caps.NumberFeatureValueCaps};
  for (int t = 0; t < 3; ++t) {
    const auto type = static_cast<HIDP_REPORT_TYPE>(t);
    fetchCaps<HIDP_BUTTON_CAPS>(HidP_GetButtonCaps, type, buttons[t], &preparsed);
    fetchCaps<HIDP_VALUE_CAPS>(HidP_GetValueCaps, type, values[t], &preparsed);
    require(buttons[t] + values[t] == collection.caps[t].size());
    for (const hidreport::Capability& cap : collection.caps[t]) {
      require(cap.nextBytePosition <= collection.reportByteLength[t]);
      require(cap.linkCollection < collection.linkCollections.size());
      require(cap.usageMin <= cap.usageMax && cap.dataIndexMin <= cap.dataIndexMax);
      HidP_MaxUsageListLength(type, cap.usagePage, &preparsed);
    }
    const ULONG all = HidP_MaxUsageListLength(type, 0, &preparsed);
    require(HidP_MaxUsageListLength(type, 0xFFFF, &preparsed) <= all);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const hidreport::ParseResult result = hidreport::parseReportDescriptor({data, size});
  require(result.ok() ? !result.collections.empty() : result.collections.empty());
  for (const hidreport::TopLevelCollection& collection : result.collections) {
    exercise(collection);
  }
  return 0;
}
