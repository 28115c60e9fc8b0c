// Benchmark of flashing several cameras at once through the camera API, on the simulated camera
// with the real clock, run by hand (never by ctest). A camera's update is bounded by its own
// fixed waits between reports, not by the host, so cameras flashed from threads of one process
// should take about the time of one: the figure is the wall time of four cameras flashed together
// divided by that of one camera alone.
//
// Each measurement runs in a process of its own (this program started again with --run N), so
// that every one begins with a freshly plugged simulated PC read from its scenario file.
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "OptiqonCameras.h"
#include "bench_samples.h"

namespace {

namespace fs = std::filesystem;

constexpr unsigned Cameras = 4;
constexpr std::size_t ImageSize = 8 * 1024;  // 32 pages: about 3.7 seconds of the camera's waits
constexpr unsigned Repetitions = 3;

std::string serialOf(unsigned camera) {
  return "K3M51-P00" + std::to_string(camera + 1);
}

// A PC with the four cameras, each on its own port, on the real clock.
fs::path writeScenario(const fs::path& directory) {
  const fs::path path = directory / "cameras.scenario";
  std::ofstream out(path);
  out << "clock = real\nserial = " << serialOf(0) << "\n";
  for (unsigned camera = 1; camera < Cameras; ++camera) {
    out << "[camera]\nserial = " << serialOf(camera) << "\n";
  }
  return path;
}

// Flashes the first `count` cameras at once, each from a thread of its own; the wall seconds, or
// a negative number when a camera did not end verified.
double flashTogether(unsigned count) {
  const std::vector<std::uint8_t> image = bench::sampleImage(ImageSize);
  std::vector<optiqon_camera*> cameras(count, nullptr);
  for (unsigned i = 0; i < count; ++i) {
    if (optiqon_open(serialOf(i).c_str(), &cameras[i]) != OPTIQON_OK) {
      std::fprintf(stderr, "parallel_update_bench: %s\n", optiqon_last_error());
      return -1;
    }
  }
  std::vector<int> verdicts(count, -1);
  const auto start = std::chrono::steady_clock::now();
  std::vector<std::thread> threads;
  for (unsigned i = 0; i < count; ++i) {
    threads.emplace_back([&, i] {
      verdicts[i] =
          optiqon_update_firmware(cameras[i], image.data(), image.size(), nullptr, nullptr);
    });
  }
  for (std::thread& thread : threads) {
    thread.join();
  }
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  for (optiqon_camera* camera : cameras) {
    optiqon_close(camera);
  }
  const bool verified = std::all_of(verdicts.begin(), verdicts.end(),
                                    [](int verdict) { return verdict == OPTIQON_UPDATE_VERIFIED; });
  return verified ? seconds : -1;
}

// Runs this program again as `--run count` on the scenario; the seconds it printed.
double measureInChild(const char* self, const fs::path& scenario, unsigned count) {
  const std::string command = "OPTIQON_SIM_CAMERA='" + scenario.string() + "' '" + self +
                              "' --run " + std::to_string(count);
  std::FILE* child = popen(command.c_str(), "r");
  if (child == nullptr) {
    return -1;
  }
  double seconds = -1;
  if (std::fscanf(child, "%lf", &seconds) != 1) {
    seconds = -1;
  }
  return pclose(child) == 0 ? seconds : -1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::strcmp(argv[1], "--run") == 0) {
    const double seconds = flashTogether(static_cast<unsigned>(std::atoi(argv[2])));
    std::printf("%.3f\n", seconds);
    return seconds < 0 ? 1 : 0;
  }
  const fs::path directory =
      fs::temp_directory_path() / ("optiqon_parallel_bench." + std::to_string(getpid()));
  fs::create_directories(directory);
  const fs::path scenario = writeScenario(directory);
  std::vector<double> one;
  std::vector<double> all;
  for (unsigned repetition = 0; repetition < Repetitions; ++repetition) {
    one.push_back(measureInChild(argv[0], scenario, 1));
    all.push_back(measureInChild(argv[0], scenario, Cameras));
  }
  std::error_code ignored;
  fs::remove_all(directory, ignored);
  if (std::any_of(one.begin(), one.end(), [](double s) { return s < 0; }) ||
      std::any_of(all.begin(), all.end(), [](double s) { return s < 0; })) {
    std::fprintf(stderr, "parallel_update_bench: an update did not end verified\n");
    return 1;
  }
  const double alone = bench::median(one);
  const double together = bench::median(all);
  std::printf(
      "firmware update of a %zu KiB image through the camera API, real clock, median of %u\n",
      ImageSize / 1024, Repetitions);
  std::printf("  1 camera:             %.2f s\n", alone);
  std::printf("  %u cameras at once:    %.2f s\n", Cameras, together);
  std::printf("  ratio %u / 1:          %.3f\n", Cameras, together / alone);
  return 0;
}
