// The camera's flash reports. Byte 0 of every report is its ID and counts in its length;
// numbers of two bytes travel high byte first.
//
//   ID    name             kind    length   layout
//   0x05  EraseSector      output  2        sector
//   0x06  EraseStatus      input   2        reply byte 0: 0 when the erase has finished
//   0x04  WritePage        output  5 + n    page, n, n data bytes
//   0x02  ReadPageRequest  output  5        page, n
//   0x03  ReadPageData     input   n + 3    reply bytes 0 to n - 1: the page as read back
#pragma once

#include <cstddef>
#include <cstdint>

namespace flash {

constexpr std::uint32_t PageSize = 256;
constexpr std::uint32_t SectorSize = 65536;
// Sector numbers travel in one byte and page numbers in two: 65,535 pages is the most an image
// can take without a number wrapping onto an earlier page.
constexpr std::uint32_t MaxTransferSize = 65535 * PageSize;

constexpr std::uint8_t ReadPageRequestId = 0x02;
constexpr std::uint8_t ReadPageDataId = 0x03;
constexpr std::uint8_t WritePageId = 0x04;
constexpr std::uint8_t EraseSectorId = 0x05;
constexpr std::uint8_t EraseStatusId = 0x06;

constexpr std::size_t EraseSectorLength = 2;
constexpr std::size_t EraseStatusLength = 2;
constexpr std::size_t PageHeaderLength = 5;  // ID, page number, data length
constexpr std::size_t ReadPageRequestLength = PageHeaderLength;
constexpr std::size_t ReadPageTrailerLength = 3;  // bytes after the data that carry nothing

constexpr std::size_t WritePageLength(std::size_t dataLength) {
  return PageHeaderLength + dataLength;
}
constexpr std::size_t ReadPageDataLength(std::size_t dataLength) {
  return dataLength + ReadPageTrailerLength;
}

// Both report buffers are this large; the longest report is a whole WritePage of 261 bytes.
constexpr std::size_t ReportBufferSize = 512;
static_assert(WritePageLength(PageSize) <= ReportBufferSize);

// The header shared by WritePage and ReadPageRequest: ID, page number, data length.
inline void putPageHeader(std::uint8_t* report, std::uint8_t id, std::uint16_t page,
                          std::uint16_t length) {
  report[0] = id;
  report[1] = static_cast<std::uint8_t>(page >> 8);
  report[2] = static_cast<std::uint8_t>(page & 0xFF);
  report[3] = static_cast<std::uint8_t>(length >> 8);
  report[4] = static_cast<std::uint8_t>(length & 0xFF);
}

}  // namespace flash
