// Windows' preparsed data, off Windows: one top-level collection as the report-descriptor parser
// made it. HidD_GetPreparsedData hands out a new one per open device and HidD_FreePreparsedData
// deletes it; HidP_GetCaps, HidP_GetButtonCaps, HidP_GetValueCaps and HidP_MaxUsageListLength
// (declared in hid_services.h) answer from it as Windows does.
#pragma once

#include "hid_report_descriptor.h"
#include "hid_services.h"

struct _HIDP_PREPARSED_DATA {
  hidreport::TopLevelCollection collection;
};
