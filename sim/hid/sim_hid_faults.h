// How a simulated HID interface can fail on its way from enumeration to an open device.
#pragma once

namespace sim {

// Where an interface stops on its way from enumeration to an open, fully read device.
enum class FailStep {
  None,
  Enumerate,          // SetupDiEnumDeviceInterfaces fails with an error other than the end
  SizeQueryTooSmall,  // the detail size query reports less than the detail structure
  Detail,             // the detail query fails
  Open,               // CreateFileW fails (access denied)
  PreparsedData,      // HidD_GetPreparsedData fails
  Attributes,         // HidD_GetAttributes fails
  Caps,               // HidP_GetCaps fails
  ButtonCaps,         // HidP_GetButtonCaps fails
  ValueCaps,          // HidP_GetValueCaps fails
};

}  // namespace sim
