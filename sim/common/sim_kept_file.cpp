#include "sim_kept_file.h"

#include <fstream>

#include "sim_scenario_file.h"
#include "whole_file.h"

namespace sim {

void checkKeptFileWritable(const std::string& path, std::string_view what) {
  std::error_code error;
  if (std::filesystem::exists(path, error) &&
      !std::fstream(path, std::ios::binary | std::ios::in | std::ios::out)) {
    throw ScenarioError(path + ": the " + std::string(what) + " cannot be written");
  }
  if (!kit::canCreateFileBeside(path)) {
    throw ScenarioError(path + ": no " + std::string(what) + " can be written there");
  }
}

std::filesystem::path sameFileName(const std::string& path) {
  std::error_code error;
  const std::filesystem::path name = std::filesystem::weakly_canonical(path, error);
  return error ? std::filesystem::path(path) : name;
}

bool replaceKeptFile(const std::string& path, std::string_view contents) {
  return kit::replaceFileWhole(path, contents);
}

SharedFile takeKeptFileTurn(const std::string& path, std::string_view what) {
  return SharedFile(path + ".lock", "lock file for the " + std::string(what),
                    SharedFile::Links::Refuse);
}

}  // namespace sim
