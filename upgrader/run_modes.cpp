#include "run_modes.h"

#include <array>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>

#include "console_output.h"
#include "firmware_image.h"
#include "flash_download.h"
#include "flash_reports.h"
#include "interrupt_guard.h"
#include "upgrader_messages.h"

namespace {

constexpr ULONG SerialNumberBufferSize = 36;
constexpr const char* LogFileName = "logfile.txt";
constexpr const char* SerialNumberSwitch = "-s";

// Discovery's list for one run; everything in it stays open until the run ends.
class DeviceList {
 public:
  DeviceList() { enumerateHidDevices(&records_, &count_); }
  ~DeviceList() { releaseHidDeviceList(records_, count_); }
  DeviceList(const DeviceList&) = delete;
  DeviceList& operator=(const DeviceList&) = delete;

  std::optional<std::uint32_t> findCamera() const { return ::findCamera(records_, count_); }
  const HidDeviceRecord& operator[](std::uint32_t index) const { return records_[index]; }

 private:
  HidDeviceRecord* records_ = nullptr;
  std::uint32_t count_ = 0;
};

// Every upgrade run leaves an empty "logfile.txt" in the current directory; parents look for it.
class LogFile {
 public:
  LogFile() : file_(std::fopen(LogFileName, "w")) {}
  ~LogFile() {
    if (file_ != nullptr) {
      std::fclose(file_);
    }
  }
  LogFile(const LogFile&) = delete;
  LogFile& operator=(const LogFile&) = delete;

 private:
  std::FILE* file_;
};

// Whether `path` is the log file itself, under its own name or through any link. Such an image
// would be emptied by the run that is to flash it.
bool isLogFile(const char* path) {
  std::error_code unknown;
  return std::filesystem::equivalent(path, LogFileName, unknown);
}

// The serial number arrives as UTF-16LE. The line shows the buffer's bytes as narrow text with
// every zero byte turned into the digit 0, so "ABC" prints as A0B0C000 followed by the 0 digits
// of the cleared rest of the buffer; the last byte only when it is not zero.
std::string serialNumberLine(std::array<std::uint8_t, SerialNumberBufferSize> buffer) {
  std::string line;
  for (std::size_t i = 0; i + 1 < buffer.size(); ++i) {
    line += buffer[i] == 0 ? '0' : static_cast<char>(buffer[i]);
  }
  if (buffer.back() != 0) {
    line += static_cast<char>(buffer.back());
  }
  line += '\n';
  return line;
}

int printSerialNumber(ConsoleOutput& console) {
  DeviceList devices;
  const std::optional<std::uint32_t> camera = devices.findCamera();
  if (!camera) {
    console.write(messages::CameraNotFound);
    console.flush();
    return ExitNoCamera;
  }
  std::array<std::uint8_t, SerialNumberBufferSize> buffer{};
  if (!HidD_GetSerialNumberString(devices[*camera].handle, buffer.data(), SerialNumberBufferSize)) {
    console.write(messages::SerialNumberUnreadable);
    console.flush();
    return ExitSerialUnreadable;
  }
  console.write(serialNumberLine(buffer).c_str());
  console.flush();
  return ExitSuccess;
}

void printUsage(ConsoleOutput& console, const HIDP_CAPS& caps) {
  for (const char* line : messages::UsageLines) {
    console.write(line);
  }
  console.print(messages::OutputReportLength, caps.OutputReportByteLength);
  console.print(messages::FeatureReportLength, caps.FeatureReportByteLength);
  console.flush();
}

// Prints why the image was refused; false when it was.
bool reportImageLoad(ConsoleOutput& console, ImageLoadResult result) {
  switch (result) {
    case ImageLoadResult::Loaded:
      return true;
    case ImageLoadResult::CannotRead:
      console.write(messages::CannotOpenFile);
      console.print(messages::ReturnStatus, messages::StatusCannotOpen);
      break;
    case ImageLoadResult::Empty:
      console.write(messages::EmptyFile);
      console.print(messages::ReturnStatus, messages::StatusEmptyFile);
      break;
    case ImageLoadResult::TooLarge:
      console.print(messages::FileTooLarge, static_cast<unsigned>(flash::MaxTransferSize));
      break;
  }
  console.flush();
  return false;
}

int flashImage(ConsoleOutput& console, HANDLE camera, const FirmwareImage& image) {
  console.print(messages::FirmwareFileSize, static_cast<int>(image.transferSize()));
  console.flush();
  const FlashTarget target{camera, console};
  const InterruptGuard uninterrupted;
  const EraseResult erase = eraseFlash(target, image.transferSize());
  if (!erase.succeeded) {
    return ExitEraseFailed;
  }
  const DownloadResult download = downloadImage(target, image, erase.lastEraseAccepted);
  return download == DownloadResult::Complete ? ExitSuccess : ExitDownloadFailed;
}

int upgradeFirmware(int argc, char** argv, ConsoleOutput& console) {
  if (argc >= 2 && isLogFile(argv[1])) {
    console.write(messages::ImageIsLogFile);
    console.flush();
    return ExitImageRefused;
  }
  LogFile log;
  DeviceList devices;
  const std::optional<std::uint32_t> camera = devices.findCamera();
  if (!camera) {
    console.write(messages::CameraNotFound);
    console.write(messages::ConnectCamera);
    console.flush();
    return ExitNoCamera;
  }
  const HidDeviceRecord& record = devices[*camera];
  console.print(messages::CameraFound, static_cast<int>(*camera),
                static_cast<unsigned>(record.attributes.VendorID),
                static_cast<unsigned>(record.attributes.ProductID));
  console.flush();
  if (argc < 2) {
    printUsage(console, record.caps);
    return ExitSuccess;
  }
  FirmwareImage image;
  if (!reportImageLoad(console, loadFirmwareImage(argv[1], image))) {
    return ExitImageRefused;
  }
  return flashImage(console, record.handle, image);
}

}  // namespace

std::optional<std::uint32_t> findCamera(const HidDeviceRecord* list, std::uint32_t count) {
  for (std::uint32_t i = 0; i < count; ++i) {
    const HidDeviceRecord& record = list[i];
    if (record.handle != INVALID_HANDLE_VALUE && record.attributes.VendorID == CameraVendorId &&
        record.attributes.ProductID == CameraProductId) {
      return i;
    }
  }
  return std::nullopt;
}

int runUpgrader(int argc, char** argv, std::FILE* out) {
  ConsoleOutput console(out);
  if (argc >= 2 && std::strcmp(argv[1], SerialNumberSwitch) == 0) {
    return printSerialNumber(console);
  }
  return upgradeFirmware(argc, argv, console);
}
