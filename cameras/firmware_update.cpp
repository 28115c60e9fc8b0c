#include "firmware_update.h"

#include "camera_messages.h"
#include "device_tree.h"
#include "firmware_image.h"
#include "flash_download.h"
#include "flash_reports.h"
#include "formatted.h"
#include "hid_discovery.h"
#include "run_modes.h"

namespace cameras {
namespace {

// The interface the update writes to, open for as long as it runs.
class OpenInterface {
 public:
  explicit OpenInterface(const std::u16string& path) {
    opened_ = openHidInterface(reinterpret_cast<const WCHAR*>(path.c_str()), path.size(), record_);
  }
  ~OpenInterface() {
    if (opened_) {
      releaseHidDeviceRecord(record_);
    }
  }
  OpenInterface(const OpenInterface&) = delete;
  OpenInterface& operator=(const OpenInterface&) = delete;

  bool opened() const { return opened_; }
  HANDLE handle() const { return record_.handle; }

 private:
  HidDeviceRecord record_{};
  bool opened_ = false;
};

struct Progress {
  PageProgress report;
  void* context;
  unsigned pagesVerified = 0;
};

void pageVerified(void* context, std::uint32_t pagesVerified, std::uint32_t pages) {
  auto& progress = *static_cast<Progress*>(context);
  progress.pagesVerified = pagesVerified;
  if (progress.report != nullptr) {
    progress.report(progress.context, pagesVerified, pages);
  }
}

// A camera whose interface no longer leads to a USB device was pulled out: the platform took its
// device away.
bool unplugged(const std::u16string& hidPath) {
  return !usbDeviceOfHidInterface(hidPath).has_value();
}

}  // namespace

std::optional<std::string> imageProblem(const std::uint8_t* image, std::size_t size,
                                        unsigned* pages) {
  FirmwareImage checked;
  switch (firmwareImageOf(image, size, checked)) {
    case ImageLoadResult::Loaded:
      if (pages != nullptr) {
        *pages = checked.transferSize() / flash::PageSize;
      }
      return std::nullopt;
    case ImageLoadResult::TooLarge:
      return formatted(camera_messages::ImageTooLarge, size,
                       static_cast<unsigned>(flash::MaxTransferSize));
    case ImageLoadResult::Empty:
    case ImageLoadResult::CannotRead:
      break;
  }
  return std::string(camera_messages::ImageEmpty);
}

UpdateOutcome updateFirmware(const std::u16string& hidPath, const std::string& serial,
                             const std::uint8_t* image, std::size_t size, PageProgress progress,
                             void* context) {
  FirmwareImage firmware;
  if (firmwareImageOf(image, size, firmware) != ImageLoadResult::Loaded) {
    return {OPTIQON_UPGRADER_IMAGE_REFUSED, *imageProblem(image, size, nullptr)};
  }
  const OpenInterface camera(hidPath);
  if (!camera.opened()) {
    return {OPTIQON_UPGRADER_NO_CAMERA, formatted(camera_messages::HidGone, serial.c_str())};
  }
  const auto pages = firmware.transferSize() / flash::PageSize;
  Progress told{progress, context};
  if (progress != nullptr) {
    progress(context, 0, pages);
  }
  ConsoleOutput silent(nullptr);
  const FlashTarget target{camera.handle(), silent, &pageVerified, &told};
  const EraseResult erase = eraseFlash(target, firmware.transferSize());
  if (!erase.succeeded) {
    return {OPTIQON_UPGRADER_ERASE_FAILED,
            unplugged(hidPath)
                ? formatted(camera_messages::UnpluggedDuringUpdate, serial.c_str(), 0u, pages)
                : formatted(camera_messages::EraseFailed, serial.c_str())};
  }
  const DownloadResult download = downloadImage(target, firmware, erase.lastEraseAccepted);
  if (download == DownloadResult::Complete) {
    return {OPTIQON_UPGRADER_SUCCESS, std::string()};
  }
  const unsigned failedPage = told.pagesVerified + 1;
  if (unplugged(hidPath)) {
    return {OPTIQON_UPGRADER_DOWNLOAD_FAILED, formatted(camera_messages::UnpluggedDuringUpdate,
                                                        serial.c_str(), told.pagesVerified, pages)};
  }
  const char* text = download == DownloadResult::WritePageRefused ? camera_messages::WriteRefused
                                                                  : camera_messages::DownloadFailed;
  return {OPTIQON_UPGRADER_DOWNLOAD_FAILED, formatted(text, serial.c_str(), failedPage, pages)};
}

}  // namespace cameras
