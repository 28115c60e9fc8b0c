#include "sim_kept_file.h"

#include <filesystem>
#include <fstream>
#include <system_error>

#include "sim_scenario.h"

namespace sim {

namespace {

std::string temporaryPathFor(const std::string& path) {
  return path + ".writing";
}

// Creates the file at `path` empty, writes `contents` into it and closes it; false on any
// failure.
bool writeWholeFile(const std::string& path, std::string_view contents) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(contents.data(), static_cast<std::streamsize>(contents.size()));
  out.close();
  return !out.fail();
}

}  // namespace

void checkKeptFileWritable(const std::string& path, std::string_view what) {
  std::error_code error;
  if (std::filesystem::exists(path, error) &&
      !std::fstream(path, std::ios::binary | std::ios::in | std::ios::out)) {
    throw ScenarioError(path + ": the " + std::string(what) + " cannot be written");
  }
  const std::string probe = temporaryPathFor(path);
  const bool writable = writeWholeFile(probe, {});
  std::filesystem::remove(probe, error);
  if (!writable) {
    throw ScenarioError(path + ": no " + std::string(what) + " can be written there");
  }
}

bool replaceKeptFile(const std::string& path, std::string_view contents) {
  const std::string temporary = temporaryPathFor(path);
  std::error_code error;
  if (writeWholeFile(temporary, contents)) {
    std::filesystem::rename(temporary, path, error);
    if (!error) {
      return true;
    }
  }
  std::filesystem::remove(temporary, error);
  return false;
}

}  // namespace sim
