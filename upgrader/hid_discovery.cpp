#include "hid_discovery.h"

#include <cstddef>
#include <cstdlib>
#include <cstring>

namespace {

// The five fields a record holds for one report type, with the counts the capabilities give.
struct ReportTypeFields {
  BYTE*& report;
  HidDataEntry*& entries;
  ULONG& entryCount;
  HIDP_BUTTON_CAPS*& buttonCaps;
  HIDP_VALUE_CAPS*& valueCaps;
  USHORT reportLength;
  USHORT buttonCapCount;
  USHORT valueCapCount;
};

ReportTypeFields fieldsOf(HidDeviceRecord& r, HIDP_REPORT_TYPE type) {
  const HIDP_CAPS& c = r.caps;
  switch (type) {
    case HidP_Input:
      return {r.inputReport,           r.inputEntries,        r.inputEntryCount,
              r.inputButtonCaps,       r.inputValueCaps,      c.InputReportByteLength,
              c.NumberInputButtonCaps, c.NumberInputValueCaps};
    case HidP_Output:
      return {r.outputReport,           r.outputEntries,        r.outputEntryCount,
              r.outputButtonCaps,       r.outputValueCaps,      c.OutputReportByteLength,
              c.NumberOutputButtonCaps, c.NumberOutputValueCaps};
    case HidP_Feature:
    default:
      return {r.featureReport,           r.featureEntries,        r.featureEntryCount,
              r.featureButtonCaps,       r.featureValueCaps,      c.FeatureReportByteLength,
              c.NumberFeatureButtonCaps, c.NumberFeatureValueCaps};
  }
}

template <typename T>
T* allocateZeroed(std::size_t count) {
  return static_cast<T*>(std::calloc(count == 0 ? 1 : count, sizeof(T)));
}

// Counts the usages the value capabilities stand for, in 32-bit arithmetic as the HID parser's
// callers do. An inverted range (UsageMin above UsageMax) is a broken descriptor: the input pass
// refuses it; the output and feature passes count it modulo 2^32 and make no entries for it.
bool countValueUsages(HIDP_REPORT_TYPE type, const HIDP_VALUE_CAPS* caps, USHORT capCount,
                      std::uint32_t& usages) {
  usages = 0;
  for (USHORT i = 0; i < capCount; ++i) {
    const HIDP_VALUE_CAPS& cap = caps[i];
    if (!cap.IsRange) {
      usages += 1;
      continue;
    }
    if (type == HidP_Input && cap.Range.UsageMin > cap.Range.UsageMax) {
      return false;
    }
    usages += static_cast<std::uint32_t>(cap.Range.UsageMax) - cap.Range.UsageMin + 1u;
  }
  return true;
}

// A count beyond what the capabilities can ever fill comes only from inverted ranges counted
// modulo 2^32; allocating it would ask for gigabytes, so it fails the pass as a failed
// allocation would.
bool entryCountIsPlausible(std::uint64_t entryCount, USHORT buttonCapCount, USHORT valueCapCount) {
  return entryCount <= buttonCapCount + std::uint64_t{valueCapCount} * 0x10000u;
}

// The output pass refuses a device whose first output value capability is a range ending
// exactly B usages below its start (B the number of output button capabilities). A device with
// no output value capability has no such element, and the check does not apply. The rule reads
// like a slip but is kept on purpose: every release of the upgrader has refused such a device,
// so a PC with one lists the same camera at the same device number as before.
bool outputGuardRefuses(const ReportTypeFields& f) {
  if (f.valueCapCount == 0) {
    return false;
  }
  const HIDP_VALUE_CAPS& first = f.valueCaps[0];
  return std::uint32_t{first.Range.UsageMin} ==
         std::uint32_t{first.Range.UsageMax} + f.buttonCapCount;
}

bool fillButtonEntries(HIDP_REPORT_TYPE type, const ReportTypeFields& f,
                       PHIDP_PREPARSED_DATA preparsedData, std::uint32_t& next) {
  for (USHORT i = 0; i < f.buttonCapCount; ++i) {
    if (next >= f.entryCount) {
      return false;
    }
    if (type == HidP_Output && outputGuardRefuses(f)) {
      return false;
    }
    const HIDP_BUTTON_CAPS& cap = f.buttonCaps[i];
    HidDataEntry& entry = f.entries[next++];
    entry.isButton = 1;
    entry.status = static_cast<ULONG>(HIDP_STATUS_SUCCESS);
    entry.usagePage = cap.UsagePage;
    entry.button.usageMin = cap.Range.UsageMin;
    entry.button.usageMax = cap.IsRange ? cap.Range.UsageMax : cap.Range.UsageMin;
    entry.button.maxUsageLength = HidP_MaxUsageListLength(type, cap.UsagePage, preparsedData);
    entry.button.usages = static_cast<USAGE*>(std::calloc(
        entry.button.maxUsageLength == 0 ? 1 : entry.button.maxUsageLength, sizeof(USAGE)));
    entry.reportId = cap.ReportID;
  }
  return true;
}

bool addValueEntry(const ReportTypeFields& f, const HIDP_VALUE_CAPS& cap, USAGE usage,
                   std::uint32_t& next) {
  if (next >= f.entryCount) {
    return false;
  }
  HidDataEntry& entry = f.entries[next++];
  entry.isButton = 0;
  entry.status = static_cast<ULONG>(HIDP_STATUS_SUCCESS);
  entry.usagePage = cap.UsagePage;
  entry.reportId = cap.ReportID;
  entry.value.usage = usage;
  return true;
}

bool fillValueEntries(const ReportTypeFields& f, std::uint32_t& next) {
  for (USHORT i = 0; i < f.valueCapCount; ++i) {
    const HIDP_VALUE_CAPS& cap = f.valueCaps[i];
    if (!cap.IsRange) {
      if (!addValueEntry(f, cap, cap.NotRange.Usage, next)) {
        return false;
      }
      continue;
    }
    for (std::uint32_t usage = cap.Range.UsageMin; usage <= cap.Range.UsageMax; ++usage) {
      if (!addValueEntry(f, cap, static_cast<USAGE>(usage), next)) {
        return false;
      }
    }
  }
  return true;
}

bool readReportType(HidDeviceRecord& record, HIDP_REPORT_TYPE type) {
  ReportTypeFields f = fieldsOf(record, type);
  f.report = static_cast<BYTE*>(std::calloc(f.reportLength == 0 ? 1 : f.reportLength, 1));
  if (f.buttonCapCount != 0) {
    f.buttonCaps = allocateZeroed<HIDP_BUTTON_CAPS>(f.buttonCapCount);
    if (f.buttonCaps == nullptr) {
      return false;
    }
  }
  if (f.valueCapCount != 0) {
    f.valueCaps = allocateZeroed<HIDP_VALUE_CAPS>(f.valueCapCount);
    if (f.valueCaps == nullptr) {
      return false;
    }
  }
  if (f.buttonCapCount != 0) {
    USHORT length = f.buttonCapCount;
    if (HidP_GetButtonCaps(type, f.buttonCaps, &length, record.preparsedData) !=
        HIDP_STATUS_SUCCESS) {
      return false;
    }
  }
  if (f.valueCapCount != 0) {
    USHORT length = f.valueCapCount;
    if (HidP_GetValueCaps(type, f.valueCaps, &length, record.preparsedData) !=
        HIDP_STATUS_SUCCESS) {
      return false;
    }
  }

  std::uint32_t valueUsages = 0;
  if (!countValueUsages(type, f.valueCaps, f.valueCapCount, valueUsages)) {
    return false;
  }
  const std::uint32_t entryCount = f.buttonCapCount + valueUsages;
  if (type == HidP_Feature && entryCount < f.buttonCapCount) {
    return false;
  }
  if (!entryCountIsPlausible(entryCount, f.buttonCapCount, f.valueCapCount)) {
    return false;
  }
  f.entries = allocateZeroed<HidDataEntry>(entryCount);
  if (f.entries == nullptr) {
    return false;
  }
  f.entryCount = entryCount;

  std::uint32_t next = 0;
  return fillButtonEntries(type, f, record.preparsedData, next) && fillValueEntries(f, next);
}

void freeEntries(HidDataEntry*& entries, ULONG entryCount) {
  if (entries == nullptr) {
    return;
  }
  for (ULONG i = 0; i < entryCount; ++i) {
    if (entries[i].isButton) {
      std::free(entries[i].button.usages);
    }
  }
  std::free(entries);
  entries = nullptr;
}

template <typename T>
void freeAndClear(T*& pointer) {
  std::free(pointer);
  pointer = nullptr;
}

// The path the device-setup service wrote, copied with its terminator. The copy never reads past
// the detail buffer, even if the service left the path unterminated.
WCHAR* copyDevicePath(const SP_DEVICE_INTERFACE_DETAIL_DATA_W* detail, DWORD detailSize) {
  const std::size_t room =
      (detailSize - offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_W, DevicePath)) / sizeof(WCHAR);
  std::size_t length = 0;
  while (length < room && detail->DevicePath[length] != 0) {
    ++length;
  }
  auto* copy = static_cast<WCHAR*>(std::malloc((length + 1) * sizeof(WCHAR)));
  if (copy != nullptr) {
    std::memcpy(copy, detail->DevicePath, length * sizeof(WCHAR));
    copy[length] = 0;
  }
  return copy;
}

void resetRecord(HidDeviceRecord& record) {
  std::memset(&record, 0, sizeof record);
  record.handle = INVALID_HANDLE_VALUE;
}

// Opens the interface and reads its identity and report layout; true when every step succeeds.
bool openDevice(HidDeviceRecord& record) {
  record.handle =
      CreateFileW(record.devicePath, GENERIC_READ | GENERIC_WRITE,
                  FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
  if (record.handle == INVALID_HANDLE_VALUE) {
    return false;
  }
  record.readAccess = TRUE;
  record.writeAccess = TRUE;
  record.overlappedIo = FALSE;
  record.exclusiveAccess = FALSE;
  return HidD_GetPreparsedData(record.handle, &record.preparsedData) &&
         HidD_GetAttributes(record.handle, &record.attributes) &&
         HidP_GetCaps(record.preparsedData, &record.caps) == HIDP_STATUS_SUCCESS &&
         readHidCapabilities(record);
}

enum class InterfaceOutcome { Read, NotRead, EnumerationError, EndOfList, OutOfMemory };

struct Enumeration {
  HDEVINFO set;
  GUID hidGuid;
  SP_DEVICE_INTERFACE_DATA interfaceData;
  DWORD requiredSize;  // carried over from one interface to the next, as the service leaves it
};

InterfaceOutcome readInterface(Enumeration& e, DWORD index, HidDeviceRecord& record) {
  resetRecord(record);
  if (!SetupDiEnumDeviceInterfaces(e.set, nullptr, &e.hidGuid, index, &e.interfaceData)) {
    return GetLastError() == ERROR_NO_MORE_ITEMS ? InterfaceOutcome::EndOfList
                                                 : InterfaceOutcome::EnumerationError;
  }
  SetupDiGetDeviceInterfaceDetailW(e.set, &e.interfaceData, nullptr, 0, &e.requiredSize, nullptr);
  // Too small to hold the fixed part and a terminator: there is no path to read.
  if (e.requiredSize < sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W)) {
    return InterfaceOutcome::NotRead;
  }
  const DWORD detailSize = e.requiredSize;
  auto* detail = static_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_W*>(std::malloc(detailSize));
  if (detail == nullptr) {
    return InterfaceOutcome::OutOfMemory;
  }
  detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W);
  detail->DevicePath[0] = 0;
  if (!SetupDiGetDeviceInterfaceDetailW(e.set, &e.interfaceData, detail, detailSize,
                                        &e.requiredSize, nullptr)) {
    std::free(detail);
    return InterfaceOutcome::NotRead;
  }
  resetRecord(record);
  record.devicePath = copyDevicePath(detail, detailSize);
  if (record.devicePath == nullptr || !openDevice(record)) {
    releaseHidDeviceRecord(record);
    record.devicePath = copyDevicePath(detail, detailSize);
  }
  std::free(detail);
  return InterfaceOutcome::Read;
}

// Doubles the list's capacity; the records already made are kept.
bool growList(HidDeviceRecord*& list, std::uint32_t& capacity, std::uint32_t made) {
  const std::uint32_t newCapacity = capacity * 2;
  if (newCapacity < capacity) {
    return false;
  }
  if (list == nullptr) {
    list = allocateZeroed<HidDeviceRecord>(newCapacity);
  } else {
    void* grown = std::realloc(list, std::size_t{newCapacity} * sizeof(HidDeviceRecord));
    if (grown == nullptr) {
      releaseHidDeviceList(list, made);
      list = nullptr;
      return false;
    }
    list = static_cast<HidDeviceRecord*>(grown);
  }
  capacity = newCapacity;
  return list != nullptr;
}

}  // namespace

bool openHidInterface(const WCHAR* path, std::size_t length, HidDeviceRecord& record) {
  resetRecord(record);
  record.devicePath = static_cast<WCHAR*>(std::malloc((length + 1) * sizeof(WCHAR)));
  if (record.devicePath == nullptr) {
    return false;
  }
  std::memcpy(record.devicePath, path, length * sizeof(WCHAR));
  record.devicePath[length] = 0;
  if (!openDevice(record)) {
    releaseHidDeviceRecord(record);
    return false;
  }
  return true;
}

bool readHidCapabilities(HidDeviceRecord& record) {
  return readReportType(record, HidP_Input) && readReportType(record, HidP_Output) &&
         readReportType(record, HidP_Feature);
}

void releaseHidDeviceRecord(HidDeviceRecord& record) {
  freeAndClear(record.devicePath);
  if (record.handle != INVALID_HANDLE_VALUE) {
    CloseHandle(record.handle);
    record.handle = INVALID_HANDLE_VALUE;
  }
  if (record.preparsedData != nullptr) {
    HidD_FreePreparsedData(record.preparsedData);
    record.preparsedData = nullptr;
  }
  freeAndClear(record.inputReport);
  freeEntries(record.inputEntries, record.inputEntryCount);
  freeAndClear(record.inputButtonCaps);
  freeAndClear(record.inputValueCaps);
  freeAndClear(record.outputReport);
  freeEntries(record.outputEntries, record.outputEntryCount);
  freeAndClear(record.outputButtonCaps);
  freeAndClear(record.outputValueCaps);
  freeAndClear(record.featureReport);
  freeEntries(record.featureEntries, record.featureEntryCount);
  freeAndClear(record.featureButtonCaps);
  freeAndClear(record.featureValueCaps);
}

void releaseHidDeviceList(HidDeviceRecord* list, std::uint32_t count) {
  if (list == nullptr) {
    return;
  }
  for (std::uint32_t i = 0; i < count; ++i) {
    releaseHidDeviceRecord(list[i]);
  }
  std::free(list);
}

bool enumerateHidDevices(HidDeviceRecord** list, std::uint32_t* count) {
  Enumeration e{};
  HidD_GetHidGuid(&e.hidGuid);
  *list = nullptr;
  *count = 0;
  e.set = SetupDiGetClassDevsW(&e.hidGuid, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
  if (e.set == INVALID_HANDLE_VALUE) {
    return false;
  }
  e.interfaceData.cbSize = sizeof(SP_DEVICE_INTERFACE_DATA);

  HidDeviceRecord* records = nullptr;
  std::uint32_t capacity = 4;
  std::uint32_t index = 0;
  std::uint32_t errorRun = 0;
  bool completed = false;
  bool finished = false;
  while (!finished) {
    if (!growList(records, capacity, index)) {
      break;
    }
    for (; index < capacity && !finished; ++index) {
      switch (readInterface(e, index, records[index])) {
        case InterfaceOutcome::EndOfList:
          *count = index;
          completed = finished = true;
          break;
        case InterfaceOutcome::EnumerationError:
          if (++errorRun == MaxConsecutiveEnumerationErrors) {
            *count = index + 1 - MaxConsecutiveEnumerationErrors;
            completed = finished = true;
          }
          break;
        case InterfaceOutcome::OutOfMemory:
          releaseHidDeviceList(records, index);
          records = nullptr;
          finished = true;
          break;
        case InterfaceOutcome::Read:
        case InterfaceOutcome::NotRead:
          errorRun = 0;
          break;
      }
    }
  }
  SetupDiDestroyDeviceInfoList(e.set);
  if (!completed) {
    *count = 0;
    return false;
  }
  *list = records;
  return true;
}
