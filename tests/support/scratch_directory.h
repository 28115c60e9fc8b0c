// A fresh directory under the system's temporary directory for one test, removed with
// everything in it when the test ends.
#pragma once

#include <filesystem>
#include <random>
#include <stdexcept>
#include <string>

class ScratchDirectory {
 public:
  explicit ScratchDirectory(const std::string& prefix = "optiqon-test") {
    // A name no other test process has taken: made by trying random names until one is new.
    std::random_device seed;
    std::mt19937_64 random(seed());
    const std::filesystem::path base = std::filesystem::temp_directory_path();
    for (int attempt = 0; attempt < 100; ++attempt) {
      const std::filesystem::path candidate =
          base / (prefix + "-" + std::to_string(random() % 1000000000));
      std::error_code error;
      if (std::filesystem::create_directory(candidate, error)) {
        path_ = candidate;
        return;
      }
    }
    throw std::runtime_error("cannot make a scratch directory in " + base.string());
  }
  ~ScratchDirectory() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  ScratchDirectory(const ScratchDirectory&) = delete;
  ScratchDirectory& operator=(const ScratchDirectory&) = delete;

  const std::filesystem::path& path() const { return path_; }
  std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

 private:
  std::filesystem::path path_;
};
