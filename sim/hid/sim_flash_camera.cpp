#include "sim_flash_camera.h"

#include <algorithm>
#include <cstring>

namespace sim {

namespace {

unsigned bigEndian16(const std::uint8_t* bytes) {
  return (unsigned{bytes[0]} << 8) | bytes[1];
}

}  // namespace

bool FlashCamera::takeFault(std::map<unsigned, unsigned>& counts, unsigned page) {
  auto found = counts.find(page);
  if (found == counts.end() || found->second == 0) {
    return false;
  }
  --found->second;
  return true;
}

void FlashCamera::useFlash(Cells& place) {
  external_ = &place;
  ownFlash_ = {};
}

void FlashCamera::powerUp() {
  erasingSector_.reset();
  busyReadsLeft_ = 0;
  statusReads_ = 0;
  requestedPage_.reset();
}

bool FlashCamera::receiveOutputReport(const std::uint8_t* report, std::size_t length) {
  if (length == 0) {
    return false;
  }
  switch (report[0]) {
    case EraseSectorId:
      return length == EraseSectorLength && eraseSector(report);
    case WritePageId:
      return length == WritePageLength && writePage(report);
    case ReadPageRequestId:
      return length == ReadPageRequestLength && requestPage(report);
    default:
      return false;
  }
}

bool FlashCamera::answerInputReport(std::uint8_t* report, std::size_t length) {
  if (length == 0) {
    return false;
  }
  switch (report[0]) {
    case EraseStatusId:
      if (length != EraseStatusLength) {
        return false;
      }
      if (erasingSector_ && faults.failedStatusReads.count(*erasingSector_) != 0 &&
          faults.failedStatusReads.at(*erasingSector_) == ++statusReads_) {
        return false;
      }
      answerEraseStatus(report);
      return true;
    case ReadPageDataId:
      return length == ReadPageDataLength && answerPageData(report);
    default:
      return false;
  }
}

// A new erase command abandons one still in progress: that sector is left as it was.
bool FlashCamera::eraseSector(const std::uint8_t* report) {
  const unsigned sector = report[1];
  if (faults.refusedEraseSectors.count(sector) != 0) {
    return false;
  }
  erasingSector_ = sector;
  busyReadsLeft_ = faults.eraseBusyReads.value_or(0);
  statusReads_ = 0;
  return true;
}

void FlashCamera::answerEraseStatus(std::uint8_t* report) {
  report[1] = 0;
  if (!erasingSector_) {
    report[0] = 0;
    return;
  }
  if (!faults.eraseBusyReads || busyReadsLeft_ > 0) {
    if (busyReadsLeft_ > 0) {
      --busyReadsLeft_;
    }
    report[0] = 1;
    return;
  }
  const auto start = flash().begin() + static_cast<std::ptrdiff_t>(*erasingSector_ * SectorSize);
  std::fill(start, start + SectorSize, 0xFF);
  erasingSector_.reset();
  report[0] = 0;
}

// NOR flash: programming can only clear bits, so writing over unerased flash leaves the AND of
// old and new.
bool FlashCamera::writePage(const std::uint8_t* report) {
  const unsigned page = bigEndian16(report + 1);
  const unsigned dataLength = bigEndian16(report + 3);
  if (dataLength > PageSize || faults.refusedWritePages.count(page) != 0) {
    return false;
  }
  std::uint8_t* cell = flash().data() + std::size_t{page} * PageSize;
  for (unsigned i = 0; i < dataLength; ++i) {
    cell[i] &= report[5 + i];
  }
  return true;
}

bool FlashCamera::requestPage(const std::uint8_t* report) {
  const unsigned page = bigEndian16(report + 1);
  const unsigned dataLength = bigEndian16(report + 3);
  if (dataLength > PageSize || takeFault(faults.refusedReadRequests, page)) {
    return false;
  }
  requestedPage_ = PageRequest{page, dataLength};
  return true;
}

// The reply carries the page from byte 0 on, over the report ID; the three bytes after the data
// carry nothing the host should look at.
bool FlashCamera::answerPageData(std::uint8_t* report) {
  if (!requestedPage_ || takeFault(faults.failedReads, requestedPage_->page)) {
    return false;
  }
  const std::size_t length = requestedPage_->length;
  const std::uint8_t* page = flash().data() + std::size_t{requestedPage_->page} * PageSize;
  if (takeFault(faults.shortReads, requestedPage_->page)) {
    std::memcpy(report, page, std::min(length, UsbPacketSize));
    return true;
  }
  std::memcpy(report, page, length);
  std::memset(report + length, 0xA5, ReadPageDataLength - length);
  if (takeFault(faults.mismatchedReads, requestedPage_->page) && length > 0) {
    report[0] ^= 0x01;
  }
  return true;
}

}  // namespace sim
