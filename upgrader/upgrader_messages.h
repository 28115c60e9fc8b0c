// Every text the upgrader prints. Parents parse these byte for byte: change none of them.
#pragma once

namespace messages {

inline constexpr const char* CameraNotFound = "Did not find Corvantis K3M51-USB camera...\n";
inline constexpr const char* ConnectCamera =
    "Connect Corvantis K3M51-USB camera Device...and try again\n";
inline constexpr const char* CameraFound =
    "Found Corvantis K3M51-USB camera. Device #%d - VID: 0x%04X, PID: 0x%04X\n";
inline constexpr const char* SerialNumberUnreadable =
    "Could not read the serial number of the Corvantis K3M51-USB camera\n";

inline constexpr const char* UsageLines[] = {
    "\n*********************** Usage Example ***********************\n",
    "\t C:>optiqon_fw_upgrader.exe <fw_image.img>\n",
    " For eg: C:>optiqon_fw_upgrader.exe Trevalyn.img \n",
    "*************************************************************\n",
};
inline constexpr const char* OutputReportLength = "\nOutputReportByte %d";
inline constexpr const char* FeatureReportLength = "\nFeatureReportbyte %d";

inline constexpr const char* CannotOpenFile = "Cannot open file.\n";
inline constexpr const char* EmptyFile = "Empty file\n";
inline constexpr const char* FileTooLarge =
    "Firmware file too large: the camera's flash takes at most %u bytes\n";
inline constexpr const char* ImageIsLogFile =
    "The firmware image is the upgrader's log file logfile.txt, which every run empties: copy "
    "the image to another name\n";
inline constexpr const char* ReturnStatus = "Return Status = %d";
inline constexpr const char* FirmwareFileSize = "Firmware file size = %d\n";

inline constexpr const char* EraseProgress = "\rErasing sectors %.0f%% ";
inline constexpr const char* EndOfProgress = "\n";
inline constexpr const char* EraseFailed = "Erase Sectors failed\n";
inline constexpr const char* DownloadProgress = "\rDownloading firmware %.0f%% ";
inline constexpr const char* WritePageRefused = "first setoutput report failed";
inline constexpr const char* LastErrorCode = "%d";
inline constexpr const char* ReadRequestRefused = "The set output report failed";
inline constexpr const char* ReadBackFailed = "Get Input report flash id failed\n";
inline constexpr const char* LastSection = "\nLast section of firmware download\n";
inline constexpr const char* DownloadComplete = "\nDownload Complete\n";
inline constexpr const char* DownloadFailed = "\nDownload Failed\n";

// On standard error, where a person sees it and no parent parses it, at the first interrupt
// while the flash is being erased or written.
inline constexpr const char* DownloadContinues =
    "\nInterrupted: the firmware download goes on, because stopping now would leave the camera "
    "without working firmware. Interrupt again to stop anyway.\n";

// The status numbers that "Return Status" shows for a refused image.
inline constexpr int StatusCannotOpen = 11;
inline constexpr int StatusEmptyFile = 7;

}  // namespace messages
