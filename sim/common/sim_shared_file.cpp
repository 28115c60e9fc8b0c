#include "sim_shared_file.h"

#include <utility>

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

}  // namespace sim
