#include "firmware_image.h"

#include <cstdio>
#include <memory>
#include <utility>

#include "flash_reports.h"

namespace {

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};

std::uint32_t roundUpToPages(std::size_t size) {
  return static_cast<std::uint32_t>((size + flash::PageSize - 1) / flash::PageSize *
                                    flash::PageSize);
}

}  // namespace

ImageLoadResult loadFirmwareImage(const std::string& path, FirmwareImage& image) {
  std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "rb"));
  if (!file) {
    return ImageLoadResult::CannotRead;
  }
  // Read until the end of the file, but never more than one byte past the largest image: a
  // huge file is refused without being read in full, and a file whose size the system cannot
  // tell (a pipe) is still read correctly.
  std::vector<std::uint8_t> bytes;
  constexpr std::size_t ChunkSize = 64 * 1024;
  while (bytes.size() <= flash::MaxTransferSize) {
    const std::size_t had = bytes.size();
    bytes.resize(had + ChunkSize);
    const std::size_t got = std::fread(bytes.data() + had, 1, ChunkSize, file.get());
    bytes.resize(had + got);
    if (got < ChunkSize) {
      break;
    }
  }
  if (std::ferror(file.get())) {
    return ImageLoadResult::CannotRead;
  }
  return firmwareImageOf(bytes.data(), bytes.size(), image);
}

ImageLoadResult firmwareImageOf(const std::uint8_t* bytes, std::size_t size, FirmwareImage& image) {
  if (size > flash::MaxTransferSize) {
    return ImageLoadResult::TooLarge;
  }
  if (size == 0 || bytes == nullptr) {
    return ImageLoadResult::Empty;
  }
  image.pages.assign(bytes, bytes + size);
  image.pages.resize(roundUpToPages(size), 0xFF);
  return ImageLoadResult::Loaded;
}
