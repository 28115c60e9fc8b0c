// Erasing the camera's flash and downloading an image into it, page by page, each page read
// back and compared. The camera takes one report at a time; the download relies on fixed waits
// between reports, and only the erase asks the camera whether it is ready.
#pragma once

#include <cstdint>

#include "console_output.h"
#include "firmware_image.h"
#include "hid_services.h"

// Told after each page the camera wrote and gave back unchanged: the pages verified so far and
// the pages of the image.
using PageVerified = void (*)(void* context, std::uint32_t pagesVerified, std::uint32_t pages);

struct FlashTarget {
  HANDLE camera;
  ConsoleOutput& console;
  PageVerified pageVerified = nullptr;
  void* context = nullptr;
};

struct EraseResult {
  bool succeeded;
  bool lastEraseAccepted;  // the camera took the erase command of the last sector
};

enum class DownloadResult {
  Complete,            // every page written and verified
  Failed,              // a page never verified, or the last erase was refused
  WritePageRefused,    // the camera refused an ordinary page
  ReadRequestRefused,  // the camera refused a page's read-back request three times
};

// Fixed waits, in milliseconds: the camera's timing, not tuning.
namespace flash_timing {
constexpr DWORD AfterEraseCommand = 100;
constexpr DWORD BetweenStatusReads = 100;
constexpr DWORD BeforePage = 10;
constexpr DWORD BeforeReadRequest = 100;
constexpr DWORD AfterRefusedReadRequest = 100;
}  // namespace flash_timing

constexpr unsigned MaxEraseStatusRetries = 50;
constexpr unsigned VerificationAttempts = 3;
constexpr std::uint32_t ProgressEveryPages = 12;

// Erases the sectors that a transfer of `transferSize` bytes reaches, and one more.
EraseResult eraseFlash(const FlashTarget& target, std::uint32_t transferSize);

// Writes and verifies the image's pages in order, stopping at the first page that never
// verifies. Prints progress and the verdict.
DownloadResult downloadImage(const FlashTarget& target, const FirmwareImage& image,
                             bool lastEraseAccepted);
