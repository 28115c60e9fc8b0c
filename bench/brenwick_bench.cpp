// Benchmarks of the Brenwick library on the simulated camera, run by hand (never by ctest). The
// library is loaded at run time, as a host application loads it, so every measured call crosses
// the shared library's exports:
//   - the round trip of reading vendor control 20 (the four-byte control) into a new safe array
//     and destroying it, and of writing it from a four-double array;
//   - what UpdateFirmware adds over starting the upgrader directly: the library starts the same
//     program, reads its output through a pipe and echoes it a line at a time.
// The scenario is the benchmark's own, with the virtual clock: the upgrader's fixed waits and
// Deinitialize's five seconds are instant, so only host work is measured.
#include <dlfcn.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "Brenwick.h"
#include "bench_samples.h"

extern char** environ;

namespace {

using bench::median;

namespace fs = std::filesystem;

constexpr int ScaledFourByteControl = 20;
constexpr unsigned RoundTripCalls = 20000;
constexpr unsigned RoundTripRepetitions = 5;
constexpr std::size_t UpdateImageSize = 4096;
constexpr unsigned UpdateRepetitions = 101;
constexpr const char* ImageFileName = "bench.img";
constexpr const char* VerifiedMessage = "Download Complete";

double wallSeconds() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// The sample below which the given fraction of the samples lies (nearest rank).
double quantile(std::vector<double> samples, double fraction) {
  std::sort(samples.begin(), samples.end());
  return samples[static_cast<std::size_t>(fraction * static_cast<double>(samples.size() - 1))];
}

std::string fixed(double value, int decimals) {
  char text[32];
  std::snprintf(text, sizeof text, "%.*f", decimals, value);
  return text;
}

void printRow(const char* measurement, const std::string& result) {
  std::printf("  %-44s %s\n", measurement, result.c_str());
  std::fflush(stdout);
}

std::string readFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// A directory of its own for the run, made the working directory: the upgrader leaves
// logfile.txt there, and finds the image there by its relative name.
class ScratchDirectory {
 public:
  ScratchDirectory() : previous_(fs::current_path()) {
    std::string pattern = (fs::temp_directory_path() / "brenwick_bench.XXXXXX").string();
    if (mkdtemp(pattern.data()) != nullptr) {
      path_ = pattern;
      fs::current_path(path_);
    }
  }
  ~ScratchDirectory() {
    std::error_code ignored;
    fs::current_path(previous_, ignored);
    if (!path_.empty()) {
      fs::remove_all(path_, ignored);
    }
  }
  ScratchDirectory(const ScratchDirectory&) = delete;
  ScratchDirectory& operator=(const ScratchDirectory&) = delete;

  bool made() const { return !path_.empty(); }
  const fs::path& path() const { return path_; }

 private:
  fs::path previous_;
  fs::path path_;
};

// Standard output sent to a file for as long as the object lives; the library's lines and the
// upgrader output it echoes go there instead of the benchmark's report.
class RedirectedStdout {
 public:
  explicit RedirectedStdout(const char* path) {
    std::fflush(stdout);
    saved_ = dup(STDOUT_FILENO);
    const int target = open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (target >= 0) {
      dup2(target, STDOUT_FILENO);
      close(target);
    }
  }
  ~RedirectedStdout() {
    std::fflush(stdout);
    if (saved_ >= 0) {
      dup2(saved_, STDOUT_FILENO);
      close(saved_);
    }
  }
  RedirectedStdout(const RedirectedStdout&) = delete;
  RedirectedStdout& operator=(const RedirectedStdout&) = delete;

 private:
  int saved_ = -1;
};

struct Exports {
  decltype(&Initialize) initialize = nullptr;
  decltype(&Deinitialize) deinitialize = nullptr;
  decltype(&SetPropertyExtended) setPropertyExtended = nullptr;
  decltype(&GetPropertyExtended) getPropertyExtended = nullptr;
  decltype(&UpdateFirmware) updateFirmware = nullptr;
  decltype(&SafeArrayCreateVector) createVector = nullptr;
  decltype(&SafeArrayAccessData) accessData = nullptr;
  decltype(&SafeArrayUnaccessData) unaccessData = nullptr;
  decltype(&SafeArrayDestroy) destroy = nullptr;
};

template <typename Function>
bool resolve(void* library, const char* name, Function*& function) {
  function = reinterpret_cast<Function*>(dlsym(library, name));
  if (function == nullptr) {
    std::fprintf(stderr, "brenwick_bench: the library does not export %s\n", name);
  }
  return function != nullptr;
}

bool resolveAll(void* library, Exports& e) {
  bool ok = resolve(library, "Initialize", e.initialize);
  ok = resolve(library, "Deinitialize", e.deinitialize) && ok;
  ok = resolve(library, "SetPropertyExtended", e.setPropertyExtended) && ok;
  ok = resolve(library, "GetPropertyExtended", e.getPropertyExtended) && ok;
  ok = resolve(library, "UpdateFirmware", e.updateFirmware) && ok;
  ok = resolve(library, "SafeArrayCreateVector", e.createVector) && ok;
  ok = resolve(library, "SafeArrayAccessData", e.accessData) && ok;
  ok = resolve(library, "SafeArrayUnaccessData", e.unaccessData) && ok;
  ok = resolve(library, "SafeArrayDestroy", e.destroy) && ok;
  return ok;
}

SAFEARRAY* makeValues(const Exports& e, const std::vector<double>& values) {
  SAFEARRAY* array = e.createVector(VT_R8, 0, static_cast<ULONG>(values.size()));
  void* data = nullptr;
  if (array == nullptr || e.accessData(array, &data) < 0) {
    return array;
  }
  std::copy(values.begin(), values.end(), static_cast<double*>(data));
  e.unaccessData(array);
  return array;
}

// The array's values, and the array destroyed.
std::vector<double> takeValues(const Exports& e, SAFEARRAY* array) {
  std::vector<double> values;
  void* data = nullptr;
  if (array != nullptr && e.accessData(array, &data) >= 0) {
    const auto* doubles = static_cast<const double*>(data);
    values.assign(doubles, doubles + array->rgsabound[0].cElements);
    e.unaccessData(array);
  }
  if (array != nullptr) {
    e.destroy(array);
  }
  return values;
}

// Nanoseconds per call of `call`, the median over the repetitions.
template <typename Call>
double nanosecondsPerCall(Call call) {
  std::vector<double> perCall;
  for (unsigned run = 0; run < RoundTripRepetitions; ++run) {
    const double start = wallSeconds();
    for (unsigned i = 0; i < RoundTripCalls; ++i) {
      call();
    }
    perCall.push_back((wallSeconds() - start) / RoundTripCalls * 1e9);
  }
  return median(perCall);
}

bool benchmarkRoundTrips(const Exports& e) {
  // Control 20 takes the host's bytes as they come and gives back its four bytes, so a written
  // pattern must read back unchanged.
  const std::vector<double> pattern{1, 2, 3, 4};
  SAFEARRAY* values = makeValues(e, pattern);
  e.setPropertyExtended(ScaledFourByteControl, values);
  if (takeValues(e, e.getPropertyExtended(ScaledFourByteControl)) != pattern) {
    e.destroy(values);
    std::fprintf(stderr, "brenwick_bench: control 20 did not read back what was written\n");
    return false;
  }

  const double get =
      nanosecondsPerCall([&] { e.destroy(e.getPropertyExtended(ScaledFourByteControl)); });
  const double set =
      nanosecondsPerCall([&] { e.setPropertyExtended(ScaledFourByteControl, values); });
  e.destroy(values);

  const std::string repeats = " ns per call  (median of " + std::to_string(RoundTripRepetitions) +
                              " x " + std::to_string(RoundTripCalls) + " calls)";
  printRow("GetPropertyExtended(20) + SafeArrayDestroy", fixed(get, 0) + repeats);
  printRow("SetPropertyExtended(20, 4 doubles)", fixed(set, 0) + repeats);
  return true;
}

// The upgrader started as the library starts it, with its output thrown away; true when it
// exits with 0.
bool runUpgraderDirectly() {
  posix_spawn_file_actions_t files;
  posix_spawn_file_actions_init(&files);
  posix_spawn_file_actions_addopen(&files, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  std::string program = UPGRADER_SIM_PATH;
  std::string image = ImageFileName;
  char* argv[] = {program.data(), image.data(), nullptr};
  pid_t child = -1;
  const int error = posix_spawn(&child, program.c_str(), &files, nullptr, argv, environ);
  posix_spawn_file_actions_destroy(&files);
  if (error != 0) {
    return false;
  }
  int status = 0;
  while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

bool benchmarkUpdateFirmware(const Exports& e, const fs::path& scratch) {
  std::vector<char> image(UpdateImageSize);
  for (std::size_t i = 0; i < image.size(); ++i) {
    image[i] = static_cast<char>('A' + i % 26);
  }
  std::ofstream(ImageFileName, std::ios::binary)
      .write(image.data(), static_cast<std::streamsize>(image.size()));

  // Once with the echo kept, to see the update through the library verify.
  const fs::path echo = scratch / "update.out";
  {
    RedirectedStdout redirect(echo.c_str());
    e.updateFirmware(ImageFileName);
  }
  if (readFile(echo).find(VerifiedMessage) == std::string::npos) {
    std::fprintf(stderr, "brenwick_bench: UpdateFirmware did not verify the image:\n%s\n",
                 readFile(echo).c_str());
    return false;
  }

  // Interleaved, so that a slow spell of the shared machine falls on both alike.
  std::vector<double> throughLibrary;
  std::vector<double> direct;
  std::vector<double> added;
  for (unsigned run = 0; run < UpdateRepetitions; ++run) {
    double start = wallSeconds();
    {
      RedirectedStdout redirect("/dev/null");
      e.updateFirmware(ImageFileName);
    }
    throughLibrary.push_back(wallSeconds() - start);

    start = wallSeconds();
    if (!runUpgraderDirectly()) {
      std::fprintf(stderr, "brenwick_bench: the upgrader did not verify the image\n");
      return false;
    }
    direct.push_back(wallSeconds() - start);
    added.push_back(throughLibrary.back() - direct.back());
  }
  const double library = median(throughLibrary) * 1e3;
  const double upgrader = median(direct) * 1e3;
  const std::string repeats = " ms  (median of " + std::to_string(UpdateRepetitions) + " runs)";
  printRow("UpdateFirmware, 4 KiB image", fixed(library, 2) + repeats);
  printRow("upgrader started directly, 4 KiB image", fixed(upgrader, 2) + repeats);
  // The paired differences show how much of the difference is the machine's noise.
  printRow("added by UpdateFirmware", fixed(library - upgrader, 2) +
                                          " ms  (paired differences: median " +
                                          fixed(median(added) * 1e3, 2) + " ms, middle half " +
                                          fixed(quantile(added, 0.25) * 1e3, 2) + " to " +
                                          fixed(quantile(added, 0.75) * 1e3, 2) + " ms)");
  return true;
}

bool benchmarkAll(const ScratchDirectory& scratch) {
  const fs::path scenario = scratch.path() / "camera.scenario";
  std::ofstream(scenario) << "# The camera alone, with every fixed wait instant.\n"
                             "clock = virtual\n";
  // Read at the library's first call into the simulated camera, and by every upgrader it starts.
  setenv("OPTIQON_SIM_CAMERA", scenario.c_str(), 1);

  void* library = dlopen(BRENWICK_SIM_PATH, RTLD_NOW | RTLD_LOCAL);
  if (library == nullptr) {
    std::fprintf(stderr, "brenwick_bench: %s\n", dlerror());
    return false;
  }
  Exports e;
  if (!resolveAll(library, e)) {
    return false;
  }
  bool initialized = false;
  {
    RedirectedStdout redirect("/dev/null");
    initialized = e.initialize();
  }
  if (!initialized) {
    std::fprintf(stderr, "brenwick_bench: Initialize found no camera\n");
    return false;
  }

  std::printf("brenwick_bench: the Brenwick library on the simulated camera (virtual clock)\n");
  bool ok = benchmarkRoundTrips(e);
  ok = benchmarkUpdateFirmware(e, scratch.path()) && ok;
  {
    RedirectedStdout redirect("/dev/null");
    e.deinitialize();
  }
  return ok;
}

}  // namespace

int main(int argc, char**) {
  if (argc > 1) {
    std::fprintf(stderr, "usage: brenwick_bench\n");
    return 2;
  }
  ScratchDirectory scratch;
  if (!scratch.made()) {
    std::fprintf(stderr, "brenwick_bench: no scratch directory\n");
    return 1;
  }
  return benchmarkAll(scratch) ? 0 : 1;
}
