// Benchmark of the watcher, run by hand (never by ctest). Two figures:
//
// - How soon a camera plugged in gets its kept values: on a simulated PC with two cameras, A
//   plugged in only while a.plugged exists and kept at brightness 10 but saved at 3, so that
//   every plugging needs a write, the time from making a.plugged to the watcher's line saying
//   A's kept profile was applied, read from its standard error through a pipe.
// - What the watcher costs while nothing happens: the processor time of `optiqon watch` (udev's
//   events) and of `optiqon_sim watch` (plug files looked at every 20 ms) over an idle minute,
//   and how long each takes to stop on SIGTERM.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "bench_samples.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr const char* SerialOfA = "K3M51-A001";
constexpr const char* AppliedToA = "camera K3M51-A001: kept profile applied: ";
constexpr const char* WroteOneValue = "kept profile applied: 1 set, 0 refused";
constexpr const char* StartLine = "watching for cameras plugged in";

// Long enough for the watcher, looking every 20 ms, to see A gone; outside the measured time.
constexpr auto SeenGoneAfter = 100ms;
// The simulated watcher looks at the plug files this often, and looks again as soon as it has
// answered: a fixed pause would plug A in at the same point of every cycle (just before a look,
// with 100 ms), so each pause is lengthened by a random part of a cycle.
constexpr auto LookCycle = 20ms;
// How long an answer may take before the run is given up as broken.
constexpr auto AnswerLimit = 10s;
// The watcher's promise: it ends within a second of SIGTERM.
constexpr auto StopPromise = 1s;
constexpr auto StopLimit = 5s;

struct Options {
  unsigned pluggings = 50;
  unsigned idleSeconds = 60;
};

// Something went wrong with the run itself: said on standard error, the benchmark exits 1.
struct BenchFailure {
  std::string what;
};

double millisecondsBetween(Clock::time_point start, Clock::time_point end) {
  return std::chrono::duration<double, std::milli>(end - start).count();
}

// The nearest-rank percentile: a value that was measured, not one between two.
double percentile(std::vector<double> samples, double percent) {
  std::sort(samples.begin(), samples.end());
  const auto rank = static_cast<std::size_t>(std::ceil(percent / 100 * samples.size()));
  return samples[std::max<std::size_t>(rank, 1) - 1];
}

struct Environment {
  fs::path directory;                                          // the child's current directory
  std::vector<std::pair<std::string, std::string>> variables;  // set in the child
};

// A program started by the benchmark, its standard error on a pipe when asked; killed if the
// benchmark leaves before it ended.
class Child {
 public:
  Child(const std::string& program, const std::vector<std::string>& arguments,
        const Environment& environment, bool errorsOnPipe) {
    int errors[2] = {-1, -1};
    if (errorsOnPipe && pipe2(errors, O_CLOEXEC) != 0) {
      throw BenchFailure{"cannot make a pipe: " + std::string(std::strerror(errno))};
    }
    process_ = fork();
    if (process_ < 0) {
      throw BenchFailure{"cannot start " + program + ": " + std::strerror(errno)};
    }
    if (process_ == 0) {
      becomeProgram(program, arguments, environment, errorsOnPipe ? errors[1] : -1);
    }
    if (errorsOnPipe) {
      close(errors[1]);
      errors_ = errors[0];
    }
  }
  ~Child() {
    if (process_ > 0) {
      kill(process_, SIGKILL);
      waitpid(process_, nullptr, 0);
    }
    if (errors_ >= 0) {
      close(errors_);
    }
  }
  Child(const Child&) = delete;
  Child& operator=(const Child&) = delete;

  pid_t process() const { return process_; }

  // The next line of the child's standard error, or none when the limit passed or it closed.
  std::optional<std::string> nextLine(Clock::time_point limit) {
    while (true) {
      if (const std::size_t end = pending_.find('\n'); end != std::string::npos) {
        std::string line = pending_.substr(0, end);
        pending_.erase(0, end + 1);
        return line;
      }
      const auto left = std::chrono::ceil<std::chrono::milliseconds>(limit - Clock::now());
      if (left.count() <= 0) {
        return std::nullopt;
      }
      pollfd wait{errors_, POLLIN, 0};
      const int ready = poll(&wait, 1, static_cast<int>(left.count()));
      if (ready < 0 && errno == EINTR) {
        continue;
      }
      if (ready <= 0) {
        return std::nullopt;
      }
      char buffer[4096];
      const ssize_t got = read(errors_, buffer, sizeof buffer);
      if (got <= 0) {
        return std::nullopt;
      }
      pending_.append(buffer, static_cast<std::size_t>(got));
    }
  }

  // Waits for the line that holds `text`, remembering those before it; the line, and the moment
  // it was read.
  std::pair<std::string, Clock::time_point> waitForLine(const std::string& text,
                                                        std::vector<std::string>& before) {
    const Clock::time_point limit = Clock::now() + AnswerLimit;
    while (const std::optional<std::string> line = nextLine(limit)) {
      if (line->find(text) != std::string::npos) {
        return {*line, Clock::now()};
      }
      before.push_back(*line);
    }
    std::string said;
    for (const std::string& line : before) {
      said += "\n  " + line;
    }
    throw BenchFailure{"no line with '" + text + "' came within " +
                       std::to_string(AnswerLimit.count()) + " s" +
                       (said.empty() ? std::string() : "; the program said:" + said)};
  }

  // The exit code, once it ended within the limit; none when it had to be killed, or a signal
  // ended it.
  std::optional<int> waitForExit(Clock::duration limit) {
    const Clock::time_point end = Clock::now() + limit;
    int status = 0;
    while (waitpid(process_, &status, WNOHANG) == 0) {
      if (Clock::now() >= end) {
        return std::nullopt;  // the destructor kills it
      }
      std::this_thread::sleep_for(1ms);
    }
    process_ = -1;
    if (!WIFEXITED(status)) {
      return std::nullopt;
    }
    return WEXITSTATUS(status);
  }

 private:
  [[noreturn]] static void becomeProgram(const std::string& program,
                                         const std::vector<std::string>& arguments,
                                         const Environment& environment, int errors) {
    const int nothing = open("/dev/null", O_RDWR);
    if (nothing < 0 || dup2(nothing, 1) < 0 || dup2(errors >= 0 ? errors : nothing, 2) < 0 ||
        chdir(environment.directory.c_str()) != 0) {
      _exit(127);
    }
    for (const auto& [name, value] : environment.variables) {
      setenv(name.c_str(), value.c_str(), 1);
    }
    std::vector<char*> argv{const_cast<char*>(program.c_str())};
    for (const std::string& argument : arguments) {
      argv.push_back(const_cast<char*>(argument.c_str()));
    }
    argv.push_back(nullptr);
    execv(program.c_str(), argv.data());
    _exit(127);
  }

  pid_t process_ = -1;
  int errors_ = -1;
  std::string pending_;
};

// Runs the tool to its end; fails the benchmark unless it exits 0.
void runTool(const Environment& environment, const std::vector<std::string>& arguments) {
  Child tool(OPTIQON_SIM_PATH, arguments, environment, true);
  std::string said;
  while (const std::optional<std::string> line = tool.nextLine(Clock::now() + AnswerLimit)) {
    said += "\n  " + *line;
  }
  const std::optional<int> code = tool.waitForExit(AnswerLimit);
  if (code != 0) {
    std::string command = "optiqon_sim";
    for (const std::string& argument : arguments) {
      command += " " + argument;
    }
    throw BenchFailure{"'" + command + "' failed" + (said.empty() ? "" : ":" + said)};
  }
}

// The processor time the process has used, in seconds.
double processorSeconds(pid_t process) {
  std::ifstream in("/proc/" + std::to_string(process) + "/stat");
  std::string stat;
  std::getline(in, stat);
  // The command's name, in parentheses, may hold spaces; the fields after it do not.
  const std::size_t nameEnd = stat.rfind(')');
  if (nameEnd == std::string::npos) {
    throw BenchFailure{"cannot read /proc/" + std::to_string(process) + "/stat"};
  }
  std::istringstream fields(stat.substr(nameEnd + 1));
  std::vector<std::string> after;  // from the state, the stat's third field
  for (std::string field; fields >> field;) {
    after.push_back(field);
  }
  if (after.size() < 13) {
    throw BenchFailure{"/proc/" + std::to_string(process) + "/stat is shorter than expected"};
  }
  const double ticks = std::stod(after[11]) + std::stod(after[12]);  // utime, stime
  return ticks / static_cast<double>(sysconf(_SC_CLK_TCK));
}

struct Stopping {
  double milliseconds = 0;
  std::optional<int> exitCode;
};

Stopping stopWithSigterm(Child& watcher) {
  const Clock::time_point asked = Clock::now();
  kill(watcher.process(), SIGTERM);
  const std::optional<int> code = watcher.waitForExit(StopLimit);
  return {millisecondsBetween(asked, Clock::now()), code};
}

std::string describe(const Stopping& stopping) {
  char text[160];
  if (!stopping.exitCode) {
    std::snprintf(text, sizeof text, "did not exit by itself within %.0f ms of SIGTERM",
                  stopping.milliseconds);
  } else {
    std::snprintf(text, sizeof text, "stopped %.1f ms after SIGTERM, exit code %d",
                  stopping.milliseconds, *stopping.exitCode);
  }
  return text;
}

bool keptPromise(const Stopping& stopping) {
  return stopping.exitCode == 0 && stopping.milliseconds <= 1000.0 * StopPromise.count();
}

// The simulated PC: A plugged in while a.plugged exists, B always; each keeps its values in a
// settings file, as a camera does while it stays plugged in.
void writeScenario(const fs::path& directory) {
  std::ofstream(directory / "pc.scenario")
      << "clock = real\nserial = " << SerialOfA
      << "\nplugged = a.plugged\ncamera_settings = a.settings\n"
         "[camera]\nserial = K3M51-B002\ncamera_settings = b.settings\n";
  std::ofstream(directory / "a.plugged") << "in\n";
}

// A is kept at brightness 10 and saved at 3, which it starts from at each plugging.
void keepBrightness10ForA(const Environment& environment) {
  runTool(environment, {"set", "--serial", SerialOfA, "brightness=10"});
  runTool(environment, {"remember", "--serial", SerialOfA});
  runTool(environment, {"set", "--serial", SerialOfA, "brightness=3"});
  runTool(environment, {"save", "--serial", SerialOfA});
}

struct PluggingFigures {
  std::vector<double> milliseconds;
  Stopping stopping;
};

PluggingFigures measurePluggings(const fs::path& directory, unsigned pluggings) {
  const Environment environment{directory,
                                {{"XDG_CONFIG_HOME", (directory / "config").string()},
                                 {"OPTIQON_SIM_CAMERA", "pc.scenario"}}};
  writeScenario(directory);
  keepBrightness10ForA(environment);
  Child watcher(OPTIQON_SIM_PATH, {"watch"}, environment, true);
  std::vector<std::string> before;
  watcher.waitForLine(AppliedToA, before);  // A, plugged in when the watcher started

  PluggingFigures figures;
  std::minstd_rand draws(20261210);  // the same pauses at every run
  std::uniform_int_distribution<long> withinCycle(
      0, std::chrono::duration_cast<std::chrono::microseconds>(LookCycle).count() - 1);
  for (unsigned plugging = 0; plugging < pluggings; ++plugging) {
    fs::remove(directory / "a.plugged");
    std::this_thread::sleep_for(SeenGoneAfter + std::chrono::microseconds(withinCycle(draws)));
    const Clock::time_point plugged = Clock::now();
    std::ofstream(directory / "a.plugged") << "in again\n";
    std::vector<std::string> between;
    const auto [line, applied] = watcher.waitForLine(AppliedToA, between);
    if (!between.empty()) {
      throw BenchFailure{"the watcher said more than it was expected to: " + between.front()};
    }
    // Without a write at each plugging the figure would leave out the camera's own answer.
    if (line.find(WroteOneValue) == std::string::npos) {
      throw BenchFailure{"camera A needed no write when plugged in again: " + line};
    }
    figures.milliseconds.push_back(millisecondsBetween(plugged, applied));
  }
  figures.stopping = stopWithSigterm(watcher);
  return figures;
}

struct IdleFigures {
  double processorSeconds = 0;
  double wallSeconds = 0;
  Stopping stopping;
};

// The watcher's processor time over `seconds` with nothing plugged in or out, counted from its
// first line on, so that its start is left out.
IdleFigures measureIdle(const char* program, const Environment& environment, unsigned seconds) {
  Child watcher(program, {"watch"}, environment, true);
  std::vector<std::string> before;
  watcher.waitForLine(StartLine, before);
  const Clock::time_point start = Clock::now();
  const double processorAtStart = processorSeconds(watcher.process());
  std::this_thread::sleep_for(std::chrono::seconds(seconds));
  IdleFigures figures;
  figures.processorSeconds = processorSeconds(watcher.process()) - processorAtStart;
  figures.wallSeconds = std::chrono::duration<double>(Clock::now() - start).count();
  figures.stopping = stopWithSigterm(watcher);
  return figures;
}

void printIdle(const char* name, const IdleFigures& figures) {
  std::printf("  %-44s %.2f s of CPU (%.3f %% of a core); %s\n", name, figures.processorSeconds,
              100 * figures.processorSeconds / figures.wallSeconds,
              describe(figures.stopping).c_str());
}

std::optional<unsigned> countOf(const char* text) {
  char* end = nullptr;
  const unsigned long value = std::strtoul(text, &end, 10);
  if (end == text || *end != '\0' || value == 0 || value > 100000) {
    return std::nullopt;
  }
  return static_cast<unsigned>(value);
}

std::optional<Options> optionsOf(int argc, char** argv) {
  Options options;
  for (int i = 1; i < argc; ++i) {
    const std::string name = argv[i];
    const std::optional<unsigned> value = i + 1 < argc ? countOf(argv[i + 1]) : std::nullopt;
    if (name == "--idle-seconds" && value) {
      options.idleSeconds = *value;
    } else if (name == "--pluggings" && value) {
      options.pluggings = *value;
    } else {
      return std::nullopt;
    }
    ++i;
  }
  return options;
}

int run(const Options& options, const fs::path& directory) {
  const PluggingFigures plugging = measurePluggings(directory / "plugging", options.pluggings);
  std::printf(
      "camera plugged in to its kept profile applied (1 value written), simulated PC, %u "
      "pluggings\n",
      options.pluggings);
  std::printf(
      "  min                %6.1f ms   (plugged in just before a look: the answer itself)\n",
      *std::min_element(plugging.milliseconds.begin(), plugging.milliseconds.end()));
  std::printf("  median             %6.1f ms\n", bench::median(plugging.milliseconds));
  std::printf("  90th percentile    %6.1f ms\n", percentile(plugging.milliseconds, 90));
  std::printf("  max                %6.1f ms\n",
              *std::max_element(plugging.milliseconds.begin(), plugging.milliseconds.end()));
  std::printf(
      "  the simulated PC finds arrivals by looking at its plug files every 20 ms: half of that, "
      "10 ms on average, is detection latency\n");
  std::printf("  optiqon_sim watch %s\n", describe(plugging.stopping).c_str());

  std::printf("idle, %u s with no camera plugged in or out (CPU counted in %.0f ms ticks)\n",
              options.idleSeconds, 1000.0 / static_cast<double>(sysconf(_SC_CLK_TCK)));
  fs::create_directories(directory / "real");
  const IdleFigures udev = measureIdle(
      OPTIQON_PATH,
      {directory / "real", {{"XDG_CONFIG_HOME", (directory / "real" / "config").string()}}},
      options.idleSeconds);
  printIdle("optiqon watch (udev's events):", udev);
  const IdleFigures plugFiles =
      measureIdle(OPTIQON_SIM_PATH,
                  {directory / "plugging",
                   {{"XDG_CONFIG_HOME", (directory / "plugging" / "config").string()},
                    {"OPTIQON_SIM_CAMERA", "pc.scenario"}}},
                  options.idleSeconds);
  printIdle("optiqon_sim watch (plug files every 20 ms):", plugFiles);

  const bool promised = keptPromise(plugging.stopping) && keptPromise(udev.stopping) &&
                        keptPromise(plugFiles.stopping);
  if (!promised) {
    std::fprintf(stderr, "watch_bench: a watcher did not exit 0 within 1 s of SIGTERM\n");
  }
  return promised ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  const std::optional<Options> options = optionsOf(argc, argv);
  if (!options) {
    std::fprintf(stderr, "usage: %s [--idle-seconds N] [--pluggings N]   (defaults 60 and 50)\n",
                 argv[0]);
    return 2;
  }
  const fs::path directory =
      fs::temp_directory_path() / ("optiqon_watch_bench." + std::to_string(getpid()));
  fs::create_directories(directory / "plugging");
  int code = 1;
  try {
    code = run(*options, directory);
  } catch (const BenchFailure& failure) {
    std::fprintf(stderr, "watch_bench: %s\n", failure.what.c_str());
  } catch (const std::exception& error) {
    std::fprintf(stderr, "watch_bench: %s\n", error.what());
  }
  std::error_code ignored;
  fs::remove_all(directory, ignored);
  return code;
}
