// Running a built program of the kit as a separate process, as a technician or a parent process
// runs it: in a directory, with or without OPTIQON_SIM_CAMERA, its standard output and error sent
// to files there. On Windows the program writes its output in text mode, every line end as CR LF;
// the output is handed back with exactly those CR LF turned into LF, so that one expectation
// holds for both platforms, and a line end that is not CR LF there is left as it is, to fail.
#pragma once

#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>

#include "environment_variable.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <sys/wait.h>

#include <cstdlib>
#endif

// Standard error apart (in err), or merged into standard output as `2>&1` merges it.
enum class ErrorOutput { Apart, Merged };

// A path of the build tree as the programs of this platform name it: under Wine, on drive Z:.
std::string programPath(const std::string& path);

// A path as one word of a command line.
inline std::string quotedPath(const std::string& path) {
#if defined(_WIN32)
  std::string word = "\"";
  return word.append(programPath(path)).append("\"");
#else
  return "'" + path + "'";
#endif
}

struct ProgramRun {
  int exitCode;
  std::string out;
  std::string err;
};

inline std::string fileText(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

#if defined(_WIN32)

// Text written in text mode, with its CR LF pairs as LF; unchanged when any LF comes without
// its CR.
inline std::string withoutTextModeLineEnds(const std::string& text) {
  std::string lines;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r')) {
      return text;
    }
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
      continue;
    }
    lines += text[i];
  }
  return lines;
}

// A path of the Linux build tree as Wine shows it to a Windows program: on drive Z:.
inline std::string windowsPathOf(std::string path) {
  if (!path.empty() && path.front() == '/') {
    path = "Z:" + path;
  }
  for (char& c : path) {
    c = c == '/' ? '\\' : c;
  }
  return path;
}

inline HANDLE inheritableFile(const std::filesystem::path& path) {
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  return CreateFileW(path.wstring().c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit,
                     CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
}

#endif

inline std::string programPath(const std::string& path) {
#if defined(_WIN32)
  return windowsPathOf(path);
#else
  return path;
#endif
}

// Runs `program` with the argument text (words as a command line has them) in `directory`,
// OPTIQON_SIM_CAMERA naming `scenario`, or unset when there is none.
inline ProgramRun runProgram(const std::string& program, const std::string& arguments,
                             const std::filesystem::path& directory,
                             const std::optional<std::string>& scenario,
                             ErrorOutput errors = ErrorOutput::Apart) {
  const std::filesystem::path out = directory / "out.txt";
  const std::filesystem::path err = directory / "err.txt";
  if (scenario) {
    setEnvironmentVariable("OPTIQON_SIM_CAMERA", *scenario);
  } else {
    clearEnvironmentVariable("OPTIQON_SIM_CAMERA");
  }
#if defined(_WIN32)
  std::string commandLine = "\"";
  commandLine.append(windowsPathOf(program)).append("\" ").append(arguments);
  HANDLE outFile = inheritableFile(out);
  HANDLE errFile = errors == ErrorOutput::Merged ? outFile : inheritableFile(err);
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  startup.hStdOutput = outFile;
  startup.hStdError = errFile;
  PROCESS_INFORMATION process{};
  int exitCode = -1;
  if (CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr,
                     directory.string().c_str(), &startup, &process)) {
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD code = 0;
    GetExitCodeProcess(process.hProcess, &code);
    exitCode = static_cast<int>(code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
  }
  CloseHandle(outFile);
  if (errFile != outFile) {
    CloseHandle(errFile);
  }
  clearEnvironmentVariable("OPTIQON_SIM_CAMERA");
  return {exitCode, withoutTextModeLineEnds(fileText(out)),
          errors == ErrorOutput::Merged ? std::string() : withoutTextModeLineEnds(fileText(err))};
#else
  const std::string command =
      "cd '" + directory.string() + "' && '" + program + "' " + arguments +
      (errors == ErrorOutput::Merged ? " >out.txt 2>&1" : " >out.txt 2>err.txt");
  const int status = std::system(command.c_str());
  clearEnvironmentVariable("OPTIQON_SIM_CAMERA");
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, fileText(out),
          errors == ErrorOutput::Merged ? std::string() : fileText(err)};
#endif
}
