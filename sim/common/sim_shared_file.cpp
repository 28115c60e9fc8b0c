#include "sim_shared_file.h"

#include <algorithm>
#include <utility>
#include <vector>

#include "sim_scenario_file.h"

namespace sim {

SharedFile::SharedFile(SharedFile&& other) noexcept
    : path_(std::move(other.path_)),
      what_(std::move(other.what_)),
      handle_(std::exchange(other.handle_, -1)),
      mapping_(std::exchange(other.mapping_, 0)),
      view_(std::exchange(other.view_, {})) {}

SharedFile& SharedFile::operator=(SharedFile&& other) noexcept {
  if (this != &other) {
    close();
    path_ = std::move(other.path_);
    what_ = std::move(other.what_);
    handle_ = std::exchange(other.handle_, -1);
    mapping_ = std::exchange(other.mapping_, 0);
    view_ = std::exchange(other.view_, {});
  }
  return *this;
}

SharedFile::~SharedFile() {
  close();
}

void SharedFile::fill(std::size_t size, std::uint8_t byte) {
  const std::vector<std::uint8_t> chunk(64 * 1024, byte);
  for (std::size_t done = 0; done < size;) {
    const std::size_t length = std::min(chunk.size(), size - done);
    if (!writeAt(done, chunk.data(), length)) {
      truncateToNothing();
      throw ScenarioError(path_ + ": cannot write the " + what_);
    }
    done += length;
  }
}

}  // namespace sim
