#include "sim_flash_file.h"

#include <filesystem>
#include <fstream>
#include <system_error>

#include "sim_kept_file.h"
#include "sim_scenario.h"

namespace sim {

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
  checkKeptFileWritable(path, "flash file");
}

void saveFlashFile(const std::string& path, const std::vector<std::uint8_t>& flash) {
  if (!replaceKeptFile(path, {reinterpret_cast<const char*>(flash.data()), flash.size()})) {
    throw ScenarioError(path + ": cannot write the flash file");
  }
}

}  // namespace sim
