// Starting the upgrader: the command lines, their splitting into arguments as the upgrader's
// start-up code splits them, and the echo of a child's output, with stand-in children.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <stdexcept>

#include <unistd.h>

#include "child_process.h"
#include "library_console.h"
#include "library_test_support.h"
#include "posix/command_line.h"
#include "scratch_directory.h"
#include "upgrader_launch.h"

namespace {

using Arguments = std::vector<std::string>;

TEST(CommandLine, BlanksSeparateAndQuotesGroup) {
  EXPECT_EQ(splitCommandLine("up a  b\tc"), (Arguments{"up", "a", "b", "c"}));
  EXPECT_EQ(splitCommandLine("\"/opt/Optiqon Kit/up\" \"my image.img\" x"),
            (Arguments{"/opt/Optiqon Kit/up", "my image.img", "x"}));
  EXPECT_EQ(splitCommandLine("up \"\" a\"b c\"d"), (Arguments{"up", "", "ab cd"}));
  EXPECT_EQ(splitCommandLine("  "), Arguments{});
}

TEST(CommandLine, BackslashesAreLiteralExceptBeforeAQuote) {
  EXPECT_EQ(splitCommandLine(R"(up C:\fw\image.img)"), (Arguments{"up", R"(C:\fw\image.img)"}));
  EXPECT_EQ(splitCommandLine(R"(up a\"b)"), (Arguments{"up", R"(a"b)"}));
  EXPECT_EQ(splitCommandLine(R"(up "a\\" b)"), (Arguments{"up", R"(a\)", "b"}));
  EXPECT_EQ(splitCommandLine(R"(up "say ""hi""")"), (Arguments{"up", R"(say "hi")"}));
}

TEST(CommandLine, ShellCharactersAreText) {
  EXPECT_EQ(splitCommandLine("up a;touch x|y>z&w $(id) `id`"),
            (Arguments{"up", "a;touch", "x|y>z&w", "$(id)", "`id`"}));
}

TEST(UpgraderCommands, PathThenOneBlankThenTheArgumentText) {
  EXPECT_EQ(firmwareCommand("/usr/bin/optiqon_upgrade", "fw.img"),
            "/usr/bin/optiqon_upgrade fw.img");
  EXPECT_EQ(firmwareCommand("/usr/bin/optiqon_upgrade", "\"my fw.img\""),
            "/usr/bin/optiqon_upgrade \"my fw.img\"");
  EXPECT_EQ(serialNumberCommand("/usr/bin/optiqon_upgrade"), "/usr/bin/optiqon_upgrade -s");
  EXPECT_EQ(firmwareCommand("/opt/Optiqon Kit/optiqon_upgrade", "fw.img"),
            "\"/opt/Optiqon Kit/optiqon_upgrade\" fw.img");
  EXPECT_EQ(splitCommandLine(serialNumberCommand("/opt/Optiqon Kit/optiqon_upgrade")),
            (Arguments{"/opt/Optiqon Kit/optiqon_upgrade", "-s"}));
}

// Stand-in children: shell scripts in a scratch directory whose name holds a blank.
class StandInChild : public ::testing::Test {
 protected:
  void SetUp() override {
#if defined(_WIN32)
    GTEST_SKIP() << "the stand-in children are POSIX shell scripts; under Windows the child "
                    "process and its text-mode pipe are checked with a stand-in program "
                    "(wine.pipe_echo of the windows preset)";
#endif
    console_ = std::tmpfile();
    setLibraryConsole(console_);
  }
  void TearDown() override {
    if (console_ != nullptr) {
      setLibraryConsole(nullptr);
      std::fclose(console_);
    }
  }

  std::string script(const std::string& name, const std::string& body) {
    const std::filesystem::path path = dir_ / name;
    std::ofstream(path) << "#!/bin/sh\n" << body;
    std::filesystem::permissions(path, std::filesystem::perms::owner_all);
    return path.string();
  }

  std::string echoed(const std::string& command) {
    ChildProcess child;
    if (startCommand(command, child)) {
      echoOutput(child);
    }
    child.finish();
    std::string text;
    std::rewind(console_);
    for (int c; (c = std::fgetc(console_)) != EOF;) {
      text += static_cast<char>(c);
    }
    return text;
  }

  ScratchDirectory scratch_{"optiqon launch"};  // a blank in the upgrader's path
  const std::filesystem::path& dir_ = scratch_.path();
  std::FILE* console_ = nullptr;
};

TEST_F(StandInChild, OutputIsEchoedUnchangedPercentSignsIncluded) {
  const std::string child = script("up", "printf 'Found it\\n\\rErasing sectors 100%% \\n'\n");
  EXPECT_EQ(echoed(firmwareCommand(child, "fw.img")), "Found it\n\rErasing sectors 100% \n");
}

TEST_F(StandInChild, LongLineArrivesInPiecesThatJoinUp) {
  std::string progress;
  for (int i = 1; i <= 30; ++i) {
    progress += "\rDownloading firmware " + std::to_string(i) + "% ";
  }
  const std::string child = script("up", "printf '%s\\n' '" + progress + "'\n");
  EXPECT_EQ(echoed(firmwareCommand(child, "")), progress + "\n");
}

TEST_F(StandInChild, PieceBeginningWithAFullStopIsEchoedAsAFullStop) {
  const std::string child = script("up", "printf 'one\\n.hidden line\\ntwo\\n'\n");
  EXPECT_EQ(echoed(firmwareCommand(child, "")), "one\n.two\n");
}

TEST_F(StandInChild, HostTextReachesTheChildAsArgumentsAndRunsNothing) {
  const std::string child = script("up", "for a in \"$@\"; do printf '[%s]\\n' \"$a\"; done\n");
  const std::string marker =
      (std::filesystem::temp_directory_path() / ("optiqon-pwned-" + std::to_string(getpid())))
          .string();
  const std::string text = "\"my fw.img\" a;touch " + marker + " $(touch " + marker + ") `touch " +
                           marker + "` |x >y &z";
  EXPECT_EQ(echoed(firmwareCommand(child, text)),
            "[my fw.img]\n[a;touch]\n[" + marker + "]\n[$(touch]\n[" + marker + ")]\n[`touch]\n[" +
                marker + "`]\n[|x]\n[>y]\n[&z]\n");
  EXPECT_FALSE(std::filesystem::exists(marker));
}

TEST_F(StandInChild, FirstLineIsReturnedAndTheChildIsWaitedFor) {
  const std::string child =
      script("up", "printf 'K030M0\\nsecond\\n'; sleep 0.2; touch \"$(dirname \"$0\")/ended\"\n");
  EXPECT_EQ(runForFirstLine(serialNumberCommand(child)), "K030M0\n");
  EXPECT_TRUE(std::filesystem::exists(dir_ / "ended"));
  const std::string silent = script("quiet", "exit 3\n");
  EXPECT_EQ(runForFirstLine(serialNumberCommand(silent)), "");
}

TEST_F(StandInChild, ChildThatWritesOnAfterTheFirstLineStillEnds) {
  const std::string child = script("up", "echo first; yes | head -c 10000000\n");
  EXPECT_EQ(runForFirstLine(serialNumberCommand(child)), "first\n");
}

// A missing upgrader is what a command interpreter would report in one line and run nothing
// for: the host gets no output and no serial number, and no exception.
TEST_F(StandInChild, MissingProgramIsNamedOnStandardErrorAndRunsNothing) {
  const std::string missing = (dir_ / "missing").string();
  CapturedStandardError errors;
  EXPECT_NO_THROW(updateFirmwareWith(missing, "fw.img"));
  EXPECT_EQ(errors.written(), missing + ": not found\n");
}

TEST_F(StandInChild, MissingProgramGivesAnEmptySerialNumber) {
  const std::string child = script("up", "printf 'K030M0\\n'\n");
  EXPECT_STREQ(serialNumberFrom(child), "K030M0\n");
  const std::string missing = (dir_ / "no such dir" / "up").string();
  CapturedStandardError errors;
  EXPECT_STREQ(serialNumberFrom(missing), "");
  EXPECT_EQ(errors.written(), missing + ": not found\n");
}

TEST_F(StandInChild, SilentUpgraderGivesAnEmptySerialNumber) {
  EXPECT_STREQ(serialNumberFrom(script("up", "printf 'K030M0\\n'\n")), "K030M0\n");
  EXPECT_STREQ(serialNumberFrom(script("quiet", "exit 0\n")), "");
}

TEST_F(StandInChild, StartTellsAMissingProgramFromAFailedStart) {
  ChildProcess child;
  EXPECT_EQ(child.start(serialNumberCommand((dir_ / "missing").string())),
            ChildStart::ProgramNotFound);
  const std::string upgrader = script("up", "exit 0\n");
  EXPECT_EQ(child.start(serialNumberCommand(upgrader + "/up")), ChildStart::ProgramNotFound);
  std::filesystem::create_directory(dir_ / "locked");
  std::filesystem::permissions(dir_ / "locked", std::filesystem::perms::owner_read);
  EXPECT_EQ(child.start(serialNumberCommand((dir_ / "locked" / "up").string())),
            ChildStart::ProgramNotFound);
  // A program that is there but may not be run is not missing.
  std::filesystem::permissions(upgrader, std::filesystem::perms::owner_read);
  EXPECT_EQ(child.start(serialNumberCommand(upgrader)), ChildStart::Failed);
  EXPECT_EQ(child.start(""), ChildStart::Failed);
  std::filesystem::permissions(upgrader, std::filesystem::perms::owner_all);
  EXPECT_EQ(child.start(serialNumberCommand(upgrader)), ChildStart::Started);
}

// With no pipe or no process the machinery itself failed: that stays an exception.
TEST_F(StandInChild, ChildThatCannotBeMadeIsARuntimeError) {
  try {
    echoed("");
    ADD_FAILURE() << "no error";
  } catch (const std::runtime_error& error) {
    EXPECT_STREQ(error.what(), "popen() failed!");
  }
}

}  // namespace
