#include "flash_download.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "flash_reports.h"
#include "upgrader_messages.h"

namespace {

using ReportBuffer = std::array<std::uint8_t, flash::ReportBufferSize>;

bool sendReport(HANDLE camera, ReportBuffer& buffer, std::size_t length) {
  return HidD_SetOutputReport(camera, buffer.data(), static_cast<ULONG>(length)) != FALSE;
}

bool fetchReport(HANDLE camera, ReportBuffer& buffer, std::uint8_t id, std::size_t length) {
  buffer[0] = id;
  return HidD_GetInputReport(camera, buffer.data(), static_cast<ULONG>(length)) != FALSE;
}

// Polls the erase status of the sector just commanded; false when the camera stayed busy past
// the last retry. A failed status read ends the polling without counting as a failure: the
// camera's answer is then unknown, not negative.
bool waitForSectorErased(HANDLE camera, ReportBuffer& buffer) {
  Sleep(flash_timing::AfterEraseCommand);
  if (!fetchReport(camera, buffer, flash::EraseStatusId, flash::EraseStatusLength)) {
    return true;
  }
  unsigned retries = 0;
  while (buffer[0] != 0) {
    Sleep(flash_timing::BetweenStatusReads);
    buffer[0] = flash::EraseStatusId;
    if (++retries > MaxEraseStatusRetries) {
      return false;
    }
    if (!fetchReport(camera, buffer, flash::EraseStatusId, flash::EraseStatusLength)) {
      return true;
    }
  }
  return true;
}

// One page of the download: the send buffer holds its WritePage report, the receive buffer its
// read-back request and then the camera's reply.
class PageDownloader {
 public:
  PageDownloader(const FlashTarget& target, const FirmwareImage& image)
      : target_(target), image_(image) {}

  DownloadResult run(bool lastEraseAccepted);

 private:
  enum class PageOutcome { Verified, NotVerified, WriteRefused, ReadRequestRefused };

  void showProgress(std::uint32_t page, std::uint32_t remaining);
  void prepareWritePage(std::uint16_t page, std::uint16_t length);
  PageOutcome downloadOrdinaryPage(std::uint16_t page);
  PageOutcome downloadFinalPage(std::uint16_t page, std::uint16_t length);
  enum class ReadBack { Matches, Differs, ReadFailed };
  ReadBack readBack(std::uint16_t length);

  const FlashTarget& target_;
  const FirmwareImage& image_;
  ReportBuffer send_{};
  ReportBuffer receive_{};
  DWORD refusedRequestError_ = 0;
};

void PageDownloader::showProgress(std::uint32_t page, std::uint32_t remaining) {
  if (page % ProgressEveryPages == 0) {
    const double size = image_.transferSize();
    target_.console.print(messages::DownloadProgress, (size - remaining) / size * 100 + 1);
  }
  target_.console.flush();
}

void PageDownloader::prepareWritePage(std::uint16_t page, std::uint16_t length) {
  flash::putPageHeader(send_.data(), flash::WritePageId, page, length);
  std::memcpy(send_.data() + flash::PageHeaderLength,
              image_.pages.data() + std::size_t{page} * flash::PageSize, length);
}

// Fetches the page the camera was just asked for and compares it with the data sent. The reply
// carries the page from byte 0 on, where the report ID stood.
PageDownloader::ReadBack PageDownloader::readBack(std::uint16_t length) {
  // Only the request's header may stay: a reply that reports success without filling the buffer
  // must not be completed by bytes an earlier page left there.
  std::fill(receive_.begin() + flash::PageHeaderLength, receive_.end(), std::uint8_t{0});
  if (!fetchReport(target_.camera, receive_, flash::ReadPageDataId,
                   flash::ReadPageDataLength(length))) {
    return ReadBack::ReadFailed;
  }
  const bool same =
      std::memcmp(receive_.data(), send_.data() + flash::PageHeaderLength, length) == 0;
  return same ? ReadBack::Matches : ReadBack::Differs;
}

PageDownloader::PageOutcome PageDownloader::downloadOrdinaryPage(std::uint16_t page) {
  prepareWritePage(page, flash::PageSize);
  if (!sendReport(target_.camera, send_, flash::WritePageLength(flash::PageSize))) {
    return PageOutcome::WriteRefused;
  }
  for (unsigned attempt = 1; attempt <= VerificationAttempts; ++attempt) {
    flash::putPageHeader(receive_.data(), flash::ReadPageRequestId, page, flash::PageSize);
    Sleep(flash_timing::BeforeReadRequest);
    if (!sendReport(target_.camera, receive_, flash::ReadPageRequestLength)) {
      refusedRequestError_ = GetLastError();
      Sleep(flash_timing::AfterRefusedReadRequest);
      if (attempt == VerificationAttempts) {
        return PageOutcome::ReadRequestRefused;
      }
      continue;
    }
    const ReadBack result = readBack(flash::PageSize);
    if (result == ReadBack::ReadFailed) {
      target_.console.write(messages::ReadBackFailed);
      target_.console.flush();
    } else if (result == ReadBack::Matches) {
      return PageOutcome::Verified;
    }
  }
  return PageOutcome::NotVerified;
}

// The last page differs from the others: a refused write or read-back request shows up only as
// a failed verification, and nothing ends the run early.
PageDownloader::PageOutcome PageDownloader::downloadFinalPage(std::uint16_t page,
                                                              std::uint16_t length) {
  target_.console.write(messages::LastSection);
  target_.console.flush();
  prepareWritePage(page, length);
  sendReport(target_.camera, send_, flash::WritePageLength(length));
  for (unsigned attempt = 1; attempt <= VerificationAttempts; ++attempt) {
    flash::putPageHeader(receive_.data(), flash::ReadPageRequestId, page, length);
    Sleep(flash_timing::BeforeReadRequest);
    if (sendReport(target_.camera, receive_, flash::ReadPageRequestLength) &&
        readBack(length) == ReadBack::Matches) {
      return PageOutcome::Verified;
    }
  }
  return PageOutcome::NotVerified;
}

DownloadResult PageDownloader::run(bool lastEraseAccepted) {
  bool verified = false;
  if (lastEraseAccepted) {
    std::uint32_t remaining = image_.transferSize();
    for (std::uint32_t page = 0; remaining > 0; ++page) {
      Sleep(flash_timing::BeforePage);
      showProgress(page, remaining);
      PageOutcome outcome;
      if (remaining > flash::PageSize) {
        outcome = downloadOrdinaryPage(static_cast<std::uint16_t>(page));
        remaining -= flash::PageSize;
      } else {
        outcome = downloadFinalPage(static_cast<std::uint16_t>(page),
                                    static_cast<std::uint16_t>(remaining));
        // A verified last page is announced as it happens and again by the verdict below;
        // parents that read the output look for either line, so both are printed.
        if (outcome == PageOutcome::Verified) {
          target_.console.write(messages::DownloadComplete);
          target_.console.flush();
        }
        remaining = 0;
      }
      if (outcome == PageOutcome::WriteRefused) {
        target_.console.write(messages::WritePageRefused);
        target_.console.flush();
        return DownloadResult::WritePageRefused;
      }
      if (outcome == PageOutcome::ReadRequestRefused) {
        target_.console.print(messages::LastErrorCode, static_cast<int>(refusedRequestError_));
        target_.console.write(messages::ReadRequestRefused);
        target_.console.flush();
        return DownloadResult::ReadRequestRefused;
      }
      verified = outcome == PageOutcome::Verified;
      if (!verified) {
        break;
      }
      if (target_.pageVerified != nullptr) {
        target_.pageVerified(target_.context, page + 1, image_.transferSize() / flash::PageSize);
      }
    }
  }
  target_.console.write(verified ? messages::DownloadComplete : messages::DownloadFailed);
  target_.console.flush();
  return verified ? DownloadResult::Complete : DownloadResult::Failed;
}

}  // namespace

EraseResult eraseFlash(const FlashTarget& target, std::uint32_t transferSize) {
  // One sector beyond the image is erased too, also when the image ends on a sector boundary.
  const std::uint32_t sectors = transferSize / flash::SectorSize + 1;
  ReportBuffer buffer{};
  bool failed = false;
  bool lastAccepted = false;
  for (std::uint32_t sector = 0; sector < sectors; ++sector) {
    target.console.print(messages::EraseProgress, (sector + 1.0) / sectors * 100);
    target.console.flush();
    buffer[0] = flash::EraseSectorId;
    buffer[1] = static_cast<std::uint8_t>(sector);
    const bool accepted = sendReport(target.camera, buffer, flash::EraseSectorLength);
    if (sector == sectors - 1) {
      lastAccepted = accepted;
    }
    if (accepted && !waitForSectorErased(target.camera, buffer)) {
      failed = true;
    }
  }
  target.console.write(messages::EndOfProgress);
  target.console.flush();
  if (failed) {
    target.console.write(messages::EraseFailed);
    target.console.flush();
    return {false, lastAccepted};
  }
  target.console.flush();
  return {true, lastAccepted};
}

DownloadResult downloadImage(const FlashTarget& target, const FirmwareImage& image,
                             bool lastEraseAccepted) {
  PageDownloader downloader(target, image);
  return downloader.run(lastEraseAccepted);
}
