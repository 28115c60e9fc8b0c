#include "sim_flash_file.h"

#include <filesystem>
#include <fstream>
#include <system_error>

#include "sim_scenario.h"

namespace sim {

namespace {

std::string temporaryPathFor(const std::string& path) {
  return path + ".writing";
}

// Creates the file at `path` empty, writes `bytes` into it and closes it; false on any failure.
bool writeWholeFile(const std::string& path, const std::vector<std::uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
  out.close();
  return !out.fail();
}

}  // namespace

void loadFlashFile(const std::string& path, std::vector<std::uint8_t>& flash) {
  std::error_code error;
  if (!std::filesystem::exists(path, error)) {
    return;  // a missing flash file starts erased
  }
  std::ifstream in(path, std::ios::binary);
  in.read(reinterpret_cast<char*>(flash.data()), static_cast<std::streamsize>(flash.size()));
  if (!in || static_cast<std::size_t>(in.gcount()) != flash.size() || in.peek() != EOF) {
    throw ScenarioError("flash file " + path + " does not hold exactly " +
                        std::to_string(flash.size()) + " bytes");
  }
}

void checkFlashFileWritable(const std::string& path) {
  std::error_code error;
  if (std::filesystem::exists(path, error) &&
      !std::fstream(path, std::ios::binary | std::ios::in | std::ios::out)) {
    throw ScenarioError(path + ": the flash file cannot be written");
  }
  const std::string probe = temporaryPathFor(path);
  const bool writable = writeWholeFile(probe, {});
  std::filesystem::remove(probe, error);
  if (!writable) {
    throw ScenarioError(path + ": no flash file can be written there");
  }
}

void saveFlashFile(const std::string& path, const std::vector<std::uint8_t>& flash) {
  const std::string temporary = temporaryPathFor(path);
  std::error_code error;
  if (!writeWholeFile(temporary, flash)) {
    std::filesystem::remove(temporary, error);
    throw ScenarioError(path + ": cannot write the flash file");
  }
  std::filesystem::rename(temporary, path, error);
  if (error) {
    std::filesystem::remove(temporary, error);
    throw ScenarioError(path + ": cannot write the flash file");
  }
}

}  // namespace sim
