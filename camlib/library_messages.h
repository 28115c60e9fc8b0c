// Every text the library prints or throws. Hosts and the people who read their consoles know
// these byte for byte: change none of them.
#pragma once

namespace library_messages {

// The one line of every failing platform call: the operation, the step that failed and the
// 32-bit result in hexadecimal.
inline constexpr const char* FailedCall = "info: Function: %s, %s failed, Error code: 0x%.2x \n";

// Opening the camera: the operations and the steps their failure lines name.
inline constexpr const char* DevicesOperation = "UvcExtension::GetVideoDevices";
inline constexpr const char* CreateAttributeStore = "Create attribute store";
inline constexpr const char* SelectVideoCapture = "Video capture device SetGUID";
inline constexpr const char* EnumerateDevices = "Device enumeration";
inline constexpr const char* NamesOperation = "UvcExtension::GetVideoDeviceFriendlyNames";
inline constexpr const char* GetFriendlyName = "Get video device friendly name";
inline constexpr const char* ActivationOperation = "UvcExtension::InitVideoDevice";
inline constexpr const char* ActivateDevice = "Activating video device";
inline constexpr const char* CreateSourceReader = "Creating video source reader";

// No device with the camera's name: this heading, then one line per video device present.
inline constexpr const char* CameraNotFound =
    "\nDid not find \"K3M51-USB\" device (AN75779 firmware)\n\n \t\t\t\tVideo Devices connected : "
    "\n";
inline constexpr const char* DeviceListLine = "%d: %s\n";
// Deinitialize, before its wait.
inline constexpr const char* Exiting = "\nExiting App in 5 sec...";

// The extension-unit transport: its operation and the steps of one property request.
inline constexpr const char* TransportOperation = "UvcExtension::SetGetExtensionUnit";
inline constexpr const char* QueryTopology = "IMFMediaSource::QueryInterface(IKsTopologyInfo)";
inline constexpr const char* GetNodeType = "IKsTopologyInfo->get_NodeType(...)";
inline constexpr const char* CreateNodeInstance = "ks_topology_info->CreateNodeInstance(...)";
inline constexpr const char* QueryControl = "ks_topology_info->QueryInterface(...)";
inline constexpr const char* SendProperty = "ks_control->KsProperty(...)";

// GetRegister, when the register control cannot be read; no newline at its end.
inline constexpr const char* RegisterUnreadable = "\nDid not find \"Optiqon\" device.";
// SetPassword's std::invalid_argument, for a pair of characters with no hexadecimal digit.
inline constexpr const char* PasswordUnreadable = "invalid stoi argument";

// The upgrader's launch: the std::runtime_error when no pipe or process can be made, and the line
// on standard error, as a command interpreter words it, when the upgrader is not there.
inline constexpr const char* StartFailed = "popen() failed!";
inline constexpr const char* ProgramNotFound = "%s: not found\n";
// What is echoed of a piece of the upgrader's output that begins with a full stop.
inline constexpr const char* EchoedFullStop = ".";

}  // namespace library_messages
