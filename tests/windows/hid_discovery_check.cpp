// Discovery over the HID interfaces of a real Windows implementation: every interface is listed
// with what the open sequence and the capability read-out made of it.
#include <cstdio>

#include "hid_discovery.h"

int main() {
  HidDeviceRecord* list = nullptr;
  std::uint32_t count = 0;
  const bool completed = enumerateHidDevices(&list, &count);
  std::printf("enumeration %s, %u interfaces\n", completed ? "completed" : "failed", count);
  unsigned open = 0;
  for (std::uint32_t i = 0; i < count; ++i) {
    const HidDeviceRecord& r = list[i];
    const bool isOpen = r.handle != INVALID_HANDLE_VALUE;
    open += isOpen ? 1 : 0;
    std::printf("#%u %s", i, isOpen ? "open" : (r.devicePath != nullptr ? "failed" : "empty"));
    if (isOpen) {
      std::printf(
          " VID 0x%04X PID 0x%04X page 0x%04X usage 0x%04X reports %u/%u/%u entries %lu/%lu/%lu",
          r.attributes.VendorID, r.attributes.ProductID, r.caps.UsagePage, r.caps.Usage,
          r.caps.InputReportByteLength, r.caps.OutputReportByteLength,
          r.caps.FeatureReportByteLength, r.inputEntryCount, r.outputEntryCount,
          r.featureEntryCount);
    }
    std::printf("\n");
  }
  releaseHidDeviceList(list, count);
  std::printf("%u open\n", open);
  return completed && open > 0 ? 0 : 1;
}
