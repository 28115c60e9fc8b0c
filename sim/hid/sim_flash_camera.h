// The camera's flash as its HID interface shows it: 16 MiB of NOR flash in 256 sectors of
// 64 KiB, erased to 0xFF, written in pages of 256 bytes. The camera checks every report's ID and
// length and refuses what it does not know; faults are injected by sector and page.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <span>
#include <vector>

namespace sim {

struct FlashFaults {
  // EraseStatus reads that answer busy before a sector's erase finishes; none: never finishes.
  std::optional<unsigned> eraseBusyReads = 1;
  std::set<unsigned> refusedEraseSectors;
  std::set<unsigned> refusedWritePages;
  std::map<unsigned, unsigned> mismatchedReads;      // page: read-backs that differ first
  std::map<unsigned, unsigned> refusedReadRequests;  // page: ReadPageRequests refused first
  std::map<unsigned, unsigned> failedReads;          // page: ReadPageData reads that fail first
  // Page: ReadPageData reads that report success but deliver only the first USB packet of the
  // reply (64 bytes), as a driver that takes a short transfer for a whole one would.
  std::map<unsigned, unsigned> shortReads;
  std::map<unsigned, unsigned> failedStatusReads;  // sector: the EraseStatus read that fails (1..)
};

class FlashCamera {
 public:
  static constexpr std::size_t FlashSize = 16u * 1024 * 1024;
  static constexpr std::size_t SectorSize = 64u * 1024;
  static constexpr std::size_t PageSize = 256;

  // The reports the camera knows, with their lengths counting the ID byte.
  static constexpr std::uint8_t ReadPageRequestId = 0x02;
  static constexpr std::uint8_t ReadPageDataId = 0x03;
  static constexpr std::uint8_t WritePageId = 0x04;
  static constexpr std::uint8_t EraseSectorId = 0x05;
  static constexpr std::uint8_t EraseStatusId = 0x06;
  static constexpr std::size_t ReadPageRequestLength = 5;
  static constexpr std::size_t ReadPageDataLength = 259;
  static constexpr std::size_t WritePageLength = 261;
  static constexpr std::size_t EraseSectorLength = 2;
  static constexpr std::size_t EraseStatusLength = 2;
  static constexpr std::size_t UsbPacketSize = 64;  // full-speed interrupt endpoint

  // Where the cells are when the camera does not keep them in its own memory. Asked each time
  // the cells are reached, never kept: a flash file is mapped only while the process uses the
  // flash (sim_flash_file.h), so a span kept from an earlier call could outlive its mapping.
  class Cells {
   public:
    virtual std::span<std::uint8_t> cells() = 0;

   protected:
    ~Cells() = default;
  };

  FlashCamera() : ownFlash_(FlashSize, 0xFF) {}

  FlashFaults faults;

  // Both return false when the camera refuses the report; byte 0 of `report` is its ID.
  bool receiveOutputReport(const std::uint8_t* report, std::size_t length);
  bool answerInputReport(std::uint8_t* report, std::size_t length);

  // The flash cells: the camera's own memory, or those of the place it was given to use.
  std::span<std::uint8_t> flash() { return external_ ? external_->cells() : std::span(ownFlash_); }
  std::span<const std::uint8_t> flash() const {
    return external_ ? external_->cells() : std::span<const std::uint8_t>(ownFlash_);
  }
  // Makes the cells of `place` (FlashSize bytes, as they are) the flash, for as long as the
  // camera lives or until it is given another: a flash file, so that every erase and page write
  // reaches the file at once. `place` must outlive its use here.
  void useFlash(Cells& place);

  // The camera powered up again after it was unplugged: an erase under way or a page asked for
  // is forgotten, the flash keeps what it holds, as NOR flash does.
  void powerUp();

 private:
  bool eraseSector(const std::uint8_t* report);
  bool writePage(const std::uint8_t* report);
  bool requestPage(const std::uint8_t* report);
  void answerEraseStatus(std::uint8_t* report);
  bool answerPageData(std::uint8_t* report);
  static bool takeFault(std::map<unsigned, unsigned>& counts, unsigned page);

  std::vector<std::uint8_t> ownFlash_;
  Cells* external_ = nullptr;
  std::optional<unsigned> erasingSector_;
  unsigned busyReadsLeft_ = 0;
  unsigned statusReads_ = 0;  // of the sector being erased
  struct PageRequest {
    unsigned page;
    std::size_t length;
  };
  std::optional<PageRequest> requestedPage_;
};

}  // namespace sim
