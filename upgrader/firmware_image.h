// The firmware image: a raw flash image without header, read in full before the camera's flash
// is touched, so that nothing is erased for an image that cannot be flashed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

enum class ImageLoadResult { Loaded, CannotRead, Empty, TooLarge };

struct FirmwareImage {
  // The image rounded up to whole pages; the bytes past the file's end hold 0xFF, the value of
  // erased flash.
  std::vector<std::uint8_t> pages;

  std::uint32_t transferSize() const { return static_cast<std::uint32_t>(pages.size()); }
};

// Reads the whole file at `path`. Refuses a file that cannot be read to its end, an empty one,
// and one larger than the flash protocol can address.
ImageLoadResult loadFirmwareImage(const std::string& path, FirmwareImage& image);

// The image of bytes already in memory, refused as a file of those bytes would be.
ImageLoadResult firmwareImageOf(const std::uint8_t* bytes, std::size_t size, FirmwareImage& image);
