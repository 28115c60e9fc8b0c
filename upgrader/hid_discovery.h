// Discovery of every present HID interface: each one is opened for reading and writing, its
// identity and the layout of its input, output and feature reports are read, and all of them are
// handed back as one contiguous list in enumeration order. Discovery does not know the camera:
// the run modes pick it out of the list by vendor and product number.
#pragma once

#include <cstddef>
#include <cstdint>

#include "hid_services.h"

// One usage slot of a report: a button capability, or one usage of a value capability.
struct HidDataEntry {
  BOOLEAN isButton;
  USHORT usagePage;
  ULONG status;
  ULONG reportId;
  union {
    struct {
      ULONG usageMin;
      ULONG usageMax;
      ULONG maxUsageLength;
      USAGE* usages;  // maxUsageLength zero-filled slots, owned by the entry
    } button;
    struct {
      USAGE usage;
    } value;
  };
};

struct HidDeviceRecord {
  WCHAR* devicePath;
  HANDLE handle;
  BOOL readAccess;
  BOOL writeAccess;
  BOOL overlappedIo;
  BOOL exclusiveAccess;
  PHIDP_PREPARSED_DATA preparsedData;
  HIDP_CAPS caps;
  HIDD_ATTRIBUTES attributes;

  BYTE* inputReport;
  HidDataEntry* inputEntries;
  ULONG inputEntryCount;
  HIDP_BUTTON_CAPS* inputButtonCaps;
  HIDP_VALUE_CAPS* inputValueCaps;

  BYTE* outputReport;
  HidDataEntry* outputEntries;
  ULONG outputEntryCount;
  HIDP_BUTTON_CAPS* outputButtonCaps;
  HIDP_VALUE_CAPS* outputValueCaps;

  BYTE* featureReport;
  HidDataEntry* featureEntries;
  ULONG featureEntryCount;
  HIDP_BUTTON_CAPS* featureButtonCaps;
  HIDP_VALUE_CAPS* featureValueCaps;
};

// A run of this many enumeration errors in a row means the device-setup service will never
// report the end of the list; discovery then stops where the run began.
constexpr std::uint32_t MaxConsecutiveEnumerationErrors = 1024;

// Fills `list` and `count` with one record per present HID interface. True when the enumeration
// ran to its end; false with a null list and a count of 0 when it could not run. Prints nothing.
bool enumerateHidDevices(HidDeviceRecord** list, std::uint32_t* count);

// Opens the one interface at `path` (`length` characters, no terminator needed) as discovery
// opens each it lists, filling `record`. False, with the record released, when it cannot be
// opened or read: gone, or not a HID interface.
bool openHidInterface(const WCHAR* path, std::size_t length, HidDeviceRecord& record);

// Reads the input, output and feature report layouts of an open record from its preparsed data.
bool readHidCapabilities(HidDeviceRecord& record);

// Releases everything the record owns and leaves it not open.
void releaseHidDeviceRecord(HidDeviceRecord& record);

// Releases every record of a list that discovery made, then the list itself.
void releaseHidDeviceList(HidDeviceRecord* list, std::uint32_t count);
