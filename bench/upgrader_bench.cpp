// Benchmarks of the upgrader on the simulated camera, run by hand (never by ctest):
//   - the host's CPU cost of one page of a download, with the fixed waits made instant by the
//     virtual clock, so that only the upgrader and the simulated HID stack are measured;
//   - with the real clock, how much longer than the camera's fixed waits a download takes: the
//     waits are the protocol's and cannot be shortened, so everything above them is overhead;
//   - HID discovery's cost per interface, over lists of growing length.
// Pass --quick to leave out the real-clock download, which takes about half a minute.
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "bench_samples.h"
#include "flash_reports.h"
#include "hid_discovery.h"
#include "run_modes.h"
#include "sim_clock.h"
#include "sim_hid_world.h"

namespace {

namespace fs = std::filesystem;
using bench::median;
using bench::sampleImage;

constexpr std::size_t KiB = 1024;
constexpr std::size_t CpuImageSize = 1024 * KiB;
constexpr std::size_t RealClockImageSize = 64 * KiB;
constexpr unsigned UpgradeRepetitions = 5;
constexpr unsigned DiscoveryRepetitions = 7;
constexpr unsigned DiscoveryInterfaceCounts[] = {250, 500, 1000, 2000, 4000};
constexpr unsigned CameraIndex = 1;
constexpr const char* ImageFileName = "bench.img";

double cpuSeconds() {
  // Process CPU time on Linux, where the benchmark runs on the simulated camera.
  return static_cast<double>(std::clock()) / CLOCKS_PER_SEC;
}

double wallSeconds() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// A directory of its own for the run: the upgrader leaves logfile.txt in the working directory.
class ScratchDirectory {
 public:
  ScratchDirectory() : previous_(fs::current_path()) {
    const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
    for (unsigned attempt = 0; path_.empty(); ++attempt) {
      const fs::path candidate =
          fs::temp_directory_path() /
          ("optiqon_bench." + std::to_string(stamp) + "." + std::to_string(attempt));
      if (fs::create_directory(candidate)) {
        path_ = candidate;
      }
    }
    fs::current_path(path_);
  }
  ~ScratchDirectory() {
    std::error_code ignored;
    fs::current_path(previous_, ignored);
    fs::remove_all(path_, ignored);
  }
  ScratchDirectory(const ScratchDirectory&) = delete;
  ScratchDirectory& operator=(const ScratchDirectory&) = delete;

 private:
  fs::path previous_;
  fs::path path_;
};

void writeFile(const char* name, const std::vector<std::uint8_t>& bytes) {
  std::ofstream out(name, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
}

struct UpgradeRun {
  bool verified;  // exit code 0 and the flash holds the image
  double cpuSeconds;
  double wallSeconds;
  std::uint64_t clockMs;  // the simulated clock at the end: the sum of the waits in virtual time
};

// One upgrade of the image in ImageFileName onto a freshly reset simulated PC, run in-process
// as `optiqon_fw_upgrader bench.img` would, with its output going to a scratch file.
UpgradeRun runUpgrade(const std::vector<std::uint8_t>& image, sim::Clock::Mode clockMode) {
  sim::resetHidWorld(CameraIndex);
  sim::clock().reset(clockMode);
  std::string program = "optiqon_fw_upgrader";
  std::string imagePath = ImageFileName;
  char* argv[] = {program.data(), imagePath.data(), nullptr};
  std::FILE* out = std::tmpfile();
  if (out == nullptr) {
    return {false, 0, 0, 0};
  }

  const double cpuStart = cpuSeconds();
  const double wallStart = wallSeconds();
  const int exitCode = runUpgrader(2, argv, out);
  const double wallEnd = wallSeconds();
  const double cpuEnd = cpuSeconds();
  std::fclose(out);

  const std::span<const std::uint8_t> flash = sim::hidWorld().camera.flash();
  const bool verified =
      exitCode == ExitSuccess && std::equal(image.begin(), image.end(), flash.begin());
  return {verified, cpuEnd - cpuStart, wallEnd - wallStart, sim::clock().nowMs()};
}

struct DiscoveryRun {
  bool complete;  // every interface listed
  double cpuSeconds;
};

DiscoveryRun runDiscovery(unsigned interfaces) {
  sim::resetHidWorld(interfaces - 1);
  sim::clock().reset(sim::Clock::Mode::Virtual);
  HidDeviceRecord* list = nullptr;
  std::uint32_t count = 0;
  const double start = cpuSeconds();
  const bool enumerated = enumerateHidDevices(&list, &count);
  releaseHidDeviceList(list, count);
  const double end = cpuSeconds();
  return {enumerated && count == interfaces, end - start};
}

void printRow(const char* measurement, const std::string& result) {
  std::printf("  %-44s %s\n", measurement, result.c_str());
}

std::string fixed(double value, int decimals) {
  char text[32];
  std::snprintf(text, sizeof text, "%.*f", decimals, value);
  return text;
}

bool benchmarkPageCpuTime() {
  const std::vector<std::uint8_t> image = sampleImage(CpuImageSize);
  writeFile(ImageFileName, image);
  std::vector<double> perPage;
  for (unsigned run = 0; run < UpgradeRepetitions; ++run) {
    const UpgradeRun result = runUpgrade(image, sim::Clock::Mode::Virtual);
    if (!result.verified) {
      std::fprintf(stderr, "optiqon_bench: the 1 MiB download did not verify\n");
      return false;
    }
    perPage.push_back(result.cpuSeconds / (CpuImageSize / flash::PageSize));
  }
  const auto [fastest, slowest] = std::minmax_element(perPage.begin(), perPage.end());
  printRow("host CPU per page (1 MiB, virtual clock)",
           fixed(median(perPage) * 1e6, 2) + " us  (median of " +
               std::to_string(UpgradeRepetitions) + " runs; range " + fixed(*fastest * 1e6, 2) +
               "-" + fixed(*slowest * 1e6, 2) + " us)");
  return true;
}

bool benchmarkWaitOverhead() {
  const std::vector<std::uint8_t> image = sampleImage(RealClockImageSize);
  writeFile(ImageFileName, image);
  const UpgradeRun waits = runUpgrade(image, sim::Clock::Mode::Virtual);
  const UpgradeRun real = runUpgrade(image, sim::Clock::Mode::Real);
  if (!waits.verified || !real.verified) {
    std::fprintf(stderr, "optiqon_bench: the 64 KiB download did not verify\n");
    return false;
  }
  const double waitSeconds = static_cast<double>(waits.clockMs) / 1000;
  printRow("sum of the fixed waits (64 KiB)", fixed(waitSeconds, 3) + " s");
  printRow("wall time, real clock (64 KiB)", fixed(real.wallSeconds, 3) + " s");
  printRow("wall time / fixed waits", fixed(real.wallSeconds / waitSeconds, 4));
  return true;
}

bool benchmarkDiscovery() {
  std::optional<double> first;
  double last = 0;
  for (unsigned interfaces : DiscoveryInterfaceCounts) {
    std::vector<double> perInterface;
    for (unsigned run = 0; run < DiscoveryRepetitions; ++run) {
      const DiscoveryRun result = runDiscovery(interfaces);
      if (!result.complete) {
        std::fprintf(stderr, "optiqon_bench: discovery did not list all %u interfaces\n",
                     interfaces);
        return false;
      }
      perInterface.push_back(result.cpuSeconds / interfaces);
    }
    last = median(perInterface);
    first = first.value_or(last);
    const std::string label = "discovery, " + std::to_string(interfaces) + " interfaces";
    printRow(label.c_str(), fixed(last * 1e6, 2) + " us per interface  (" +
                                fixed(last * interfaces * 1e3, 2) + " ms in all)");
  }
  const std::string label = "per interface, " +
                            std::to_string(std::end(DiscoveryInterfaceCounts)[-1]) + " against " +
                            std::to_string(DiscoveryInterfaceCounts[0]);
  printRow(label.c_str(), fixed(last / *first, 2) + "x");
  return true;
}

bool benchmarkAll(bool quick) {
  ScratchDirectory scratch;
  std::printf("optiqon_bench: the upgrader on the simulated camera\n");
  bool ok = benchmarkPageCpuTime();
  if (quick) {
    printRow("wall time / fixed waits (64 KiB)", "skipped (--quick)");
  } else {
    ok = benchmarkWaitOverhead() && ok;
  }
  ok = benchmarkDiscovery() && ok;
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  bool quick = false;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--quick") == 0) {
      quick = true;
    } else {
      std::fprintf(stderr, "usage: optiqon_bench [--quick]\n");
      return 2;
    }
  }
  return benchmarkAll(quick) ? 0 : 1;
}
