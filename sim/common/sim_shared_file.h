// A file of the simulated camera that every process opening the same camera shares, as programs
// share one device: each takes the file's lock before using what it holds, and a process that
// finds the lock taken waits for it, as a host waits for a device that another program is busy
// with.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace sim {

class SharedFile {
 public:
  enum class Links { Follow, Refuse };
  // Lock::Leave opens the file without taking its turn: for a look at what it holds that neither
  // waits for the process whose turn it is nor keeps another waiting.
  enum class Lock { Take, Leave };

  SharedFile() = default;
  // Opens the file at `path` for reading and writing, making it empty when there is none, and
  // takes its lock unless told to leave it. `what` names the file in errors ("flash file"); a
  // link at `path` is opened only with Links::Follow. Throws ScenarioError.
  SharedFile(const std::string& path, std::string_view what, Links links = Links::Follow,
             Lock lock = Lock::Take);
  SharedFile(SharedFile&& other) noexcept;
  SharedFile& operator=(SharedFile&& other) noexcept;
  SharedFile(const SharedFile&) = delete;
  SharedFile& operator=(const SharedFile&) = delete;
  ~SharedFile();  // unmaps the file and gives its lock back, when it took it

  bool isOpen() const { return handle_ >= 0; }
  std::uint64_t size() const;

  // Writes `size` bytes of `byte` over the whole file; throws ScenarioError when they cannot
  // all be written (a full disk), leaving the file empty again.
  void fill(std::size_t size, std::uint8_t byte);

  // The whole file in memory, mapped so that every store reaches the file as it is made: a
  // process ended by any signal leaves the file as far as it got. Throws ScenarioError.
  std::span<std::uint8_t> map();

 private:
  void close();
  // Writes all `length` bytes at `offset`; false when they could not all be written.
  bool writeAt(std::uint64_t offset, const std::uint8_t* bytes, std::size_t length);
  void truncateToNothing();

  std::string path_;
  std::string what_;
  std::intptr_t handle_ = -1;  // the descriptor (POSIX) or C runtime descriptor (Windows)
  std::intptr_t mapping_ = 0;  // the mapping object, on Windows
  std::span<std::uint8_t> view_;
};

}  // namespace sim
