// Whole runs of the upgrader, as a technician or a parent process sees them: the exact bytes
// on standard output, the exit code, the log file and the flash afterwards.
#include <algorithm>
#include <filesystem>

#include "flash_reports.h"
#include "upgrader_harness.h"

namespace {

constexpr const char* NotFoundLines = transcript::NotFoundLines;

std::string flashBytes(std::size_t offset, std::size_t length) {
  const auto& flash = sim::hidWorld().camera.flash();
  return {flash.begin() + static_cast<std::ptrdiff_t>(offset),
          flash.begin() + static_cast<std::ptrdiff_t>(offset + length)};
}

bool flashIsErasedFrom(std::size_t offset) {
  const auto& flash = sim::hidWorld().camera.flash();
  return std::all_of(flash.begin() + static_cast<std::ptrdiff_t>(offset), flash.end(),
                     [](std::uint8_t b) { return b == 0xFF; });
}

std::string asString(const std::vector<std::uint8_t>& bytes) {
  return {bytes.begin(), bytes.end()};
}

// Counts the download progress updates and returns the last one shown.
std::pair<std::size_t, std::string> downloadProgress(const std::string& output) {
  const std::string marker = "\rDownloading firmware ";
  std::size_t count = 0;
  std::string last;
  for (auto at = output.find(marker); at != std::string::npos; at = output.find(marker, at + 1)) {
    ++count;
    last = output.substr(at + marker.size(), output.find('%', at) - at - marker.size());
  }
  return {count, last};
}

using UpgradeRun = UpgraderHarness;

TEST_F(UpgradeRun, ThreePageImageIsErasedWrittenAndVerified) {
  const auto image = patternImage(768);
  const UpgraderRun result = runWithImage(image);
  EXPECT_EQ(result.output, foundLine(1) + smallImageSuccess(768));
  EXPECT_EQ(result.exitCode, 0);
  EXPECT_EQ(flashBytes(0, 768), asString(image));
  EXPECT_TRUE(flashIsErasedFrom(768));
  EXPECT_TRUE(fileExists("logfile.txt"));
  EXPECT_EQ(readFile("logfile.txt"), "");
}

TEST_F(UpgradeRun, ImagesUpToOnePageAreOnePageLong) {
  for (std::size_t size : {std::size_t{1}, std::size_t{256}}) {
    sim::resetHidWorld();
    const UpgraderRun result = runWithImage(patternImage(size));
    EXPECT_EQ(result.output, foundLine(1) + smallImageSuccess(256)) << size;
    EXPECT_EQ(result.exitCode, 0);
  }
  const UpgraderRun result = runWithImage(patternImage(257));
  EXPECT_EQ(result.output.substr(foundLine(1).size(), 27), "Firmware file size = 512\n\rE");
}

TEST_F(UpgradeRun, ThirteenPagesShowProgressAtPagesZeroAndTwelve) {
  const UpgraderRun result = runWithImage(patternImage(3328));
  EXPECT_EQ(result.output, foundLine(1) +
                               "Firmware file size = 3328\n"
                               "\rErasing sectors 100% \n"
                               "\rDownloading firmware 1% "
                               "\rDownloading firmware 93% "
                               "\nLast section of firmware download\n"
                               "\nDownload Complete\n"
                               "\nDownload Complete\n");
  EXPECT_EQ(result.exitCode, 0);
}

TEST_F(UpgradeRun, ImageOfWholeSectorEndsOneSectorFurther) {
  for (std::size_t size : {std::size_t{65536}, std::size_t{65792}}) {
    sim::resetHidWorld();
    world().keepCallLog = true;
    const auto image = patternImage(size);
    const UpgraderRun result = runWithImage(image);
    const std::string head = foundLine(1) + "Firmware file size = " + std::to_string(size) +
                             "\n\rErasing sectors 50% \rErasing sectors 100% \n";
    EXPECT_EQ(result.output.substr(0, head.size()), head) << size;
    EXPECT_EQ(downloadProgress(result.output), std::make_pair(std::size_t{22}, std::string("99")));
    EXPECT_TRUE(result.output.ends_with(
        "\nLast section of firmware download\n\nDownload Complete\n\nDownload Complete\n"));
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(callsWithId(flash::EraseSectorId).size(), 2u);
    EXPECT_EQ(flashBytes(0, size), asString(image));
    EXPECT_TRUE(flashIsErasedFrom(size));
  }
}

TEST_F(UpgradeRun, NoArgumentShowsUsageAndReportLengths) {
  const UpgraderRun result = run({});
  EXPECT_EQ(result.output, foundLine(1) +
                               "\n*********************** Usage Example ***********************\n"
                               "\t C:>optiqon_fw_upgrader.exe <fw_image.img>\n"
                               " For eg: C:>optiqon_fw_upgrader.exe Trevalyn.img \n"
                               "*************************************************************\n"
                               "\nOutputReportByte 261"
                               "\nFeatureReportbyte 0");
  EXPECT_EQ(result.exitCode, 0);
  EXPECT_TRUE(calls().empty());
}

TEST_F(UpgradeRun, NoCameraWithOrWithoutImageEmptiesTheLogAndTouchesNothing) {
  sim::resetHidWorld(3);
  world().interfaces.pop_back();
  world().keepCallLog = true;
  for (const std::vector<std::string>& arguments :
       {std::vector<std::string>{}, std::vector<std::string>{"image.img"}}) {
    writeFile("logfile.txt", {'o', 'l', 'd'});
    const UpgraderRun result = run(arguments);
    EXPECT_EQ(result.output, NotFoundLines);
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(readFile("logfile.txt"), "");
  }
  EXPECT_TRUE(calls().empty());
}

TEST_F(UpgradeRun, FirstUsableCameraInListOrderIsTaken) {
  sim::resetHidWorld(2);
  world().interfaces[2].failStep = sim::FailStep::Open;
  world().interfaces.push_back(sim::cameraInterface(3, u"K3M51-0002"));
  world().interfaces.push_back(sim::cameraInterface(4, u"K3M51-0003"));
  const UpgraderRun result = runWithImage(patternImage(256));
  EXPECT_EQ(result.output, foundLine(3) + smallImageSuccess(256));
}

// Anything but exactly "-s" is an image path.
TEST_F(UpgradeRun, OtherFirstArgumentsAreImagePaths) {
  for (const char* argument : {"-S", "-sx", "--", "-s ", ""}) {
    sim::resetHidWorld();
    const UpgraderRun result = run({argument, "ignored"});
    EXPECT_EQ(result.output, foundLine(1) + "Cannot open file.\nReturn Status = 11") << argument;
    EXPECT_EQ(result.exitCode, 2);
  }
}

TEST_F(UpgradeRun, UnreadableImagesAreRefusedBeforeTheFlashIsTouched) {
  std::filesystem::create_directory(scratch_ / "folder.img");
  for (const char* path : {"missing.img", "folder.img"}) {
    const UpgraderRun result = run({path});
    EXPECT_EQ(result.output, foundLine(1) + "Cannot open file.\nReturn Status = 11") << path;
    EXPECT_EQ(result.exitCode, 2);
  }
  const UpgraderRun empty = runWithImage({});
  EXPECT_EQ(empty.output, foundLine(1) + "Empty file\nReturn Status = 7");
  EXPECT_EQ(empty.exitCode, 2);
  EXPECT_TRUE(calls().empty());
}

// The log file is emptied at every run: an image that is that very file, under its own name or
// through a link, is refused before anything is emptied or sent.
TEST_F(UpgradeRun, ImageThatIsTheLogFileIsRefusedUntouched) {
  const auto image = patternImage(300);
  writeFile("logfile.txt", image);
  std::filesystem::create_directory(scratch_ / "links");
  std::filesystem::create_hard_link(scratch_ / "logfile.txt", scratch_ / "links/hard.img");
  for (const char* path : {"logfile.txt", "./logfile.txt", "links/hard.img"}) {
    const UpgraderRun result = run({path});
    EXPECT_EQ(result.output,
              "The firmware image is the upgrader's log file logfile.txt, which every run "
              "empties: copy the image to another name\n")
        << path;
    EXPECT_EQ(result.exitCode, 2) << path;
    EXPECT_EQ(readFile("logfile.txt"), std::string(image.begin(), image.end())) << path;
  }
  EXPECT_TRUE(calls().empty());
  // An image of that name in another directory is another file.
  writeFile("links/logfile.txt", patternImage(10));
  EXPECT_EQ(run({"links/logfile.txt"}).output, foundLine(1) + smallImageSuccess(256));
  EXPECT_EQ(readFile("logfile.txt"), "");
}

TEST_F(UpgradeRun, ImageThatLinksToTheLogFileIsRefusedUntouched) {
  const auto image = patternImage(300);
  writeFile("logfile.txt", image);
  std::error_code error;
  std::filesystem::create_symlink(scratch_ / "logfile.txt", scratch_ / "soft.img", error);
  if (error == std::errc::function_not_supported) {
    GTEST_SKIP() << "no symbolic links here: " << error.message()
                 << " (mingw-w64's C++ library does not make them)";
  }
  ASSERT_FALSE(error) << error.message();
  const UpgraderRun result = run({"soft.img"});
  EXPECT_EQ(result.exitCode, 2);
  EXPECT_EQ(readFile("logfile.txt"), std::string(image.begin(), image.end()));
  EXPECT_TRUE(calls().empty());
}

TEST_F(UpgradeRun, ImageLargerThanThePageNumbersReachIsRefused) {
  const UpgraderRun result = runWithImage(std::vector<std::uint8_t>(flash::MaxTransferSize + 1));
  EXPECT_EQ(
      result.output,
      foundLine(1) + "Firmware file too large: the camera's flash takes at most 16776960 bytes\n");
  EXPECT_EQ(result.exitCode, 2);
  EXPECT_TRUE(calls().empty());
  EXPECT_TRUE(flashIsErasedFrom(0));
}

// 65,535 pages: the last page number is 0xFFFE and the last sector 0xFF; nothing wraps.
TEST_F(UpgradeRun, LargestImageFillsTheFlashWithoutWrapping) {
  world().keepCallLog = false;
  auto image = patternImage(flash::MaxTransferSize);
  const UpgraderRun result = runWithImage(image);
  EXPECT_EQ(result.exitCode, 0);
  EXPECT_TRUE(result.output.ends_with("\nDownload Complete\n\nDownload Complete\n"));
  EXPECT_NE(result.output.find("\rErasing sectors 100% \n"), std::string::npos);
  EXPECT_EQ(flashBytes(0, image.size()), asString(image));
  EXPECT_TRUE(flashIsErasedFrom(image.size()));
}

TEST_F(UpgradeRun, PathOfAnyLengthIsAccepted) {
  const std::string directory = std::string(120, 'd') + "/" + std::string(120, 'e');
  std::filesystem::create_directories(scratch_ / directory);
  const std::string path = directory + "/" + std::string(100, 'f') + ".img";
  writeFile(path, patternImage(10));
  const UpgraderRun result = run({path});
  EXPECT_EQ(result.output, foundLine(1) + smallImageSuccess(256));
}

using SerialNumberRun = UpgraderHarness;

TEST_F(SerialNumberRun, PrintsEveryByteOfTheUtf16StringAsOneLine) {
  sim::resetHidWorld(1, u"ABC");
  const UpgraderRun result = run({"-s"});
  EXPECT_EQ(result.output, "A0B0C0" + std::string(29, '0') + "\n");
  EXPECT_EQ(result.exitCode, 0);
  EXPECT_FALSE(fileExists("logfile.txt"));
}

TEST_F(SerialNumberRun, DefaultSerialAndLongestThatFits) {
  const UpgraderRun standard = run({"-s"});
  EXPECT_EQ(standard.output, "K030M05010-000000010000000000000000\n");
  sim::resetHidWorld(1, u"ABCDEFGHIJKLMNOPQ");
  const UpgraderRun longest = run({"-s", "ignored"});
  EXPECT_EQ(longest.output, "A0B0C0D0E0F0G0H0I0J0K0L0M0N0O0P0Q00\n");
  EXPECT_EQ(longest.exitCode, 0);
}

TEST_F(SerialNumberRun, UnreadableSerialGivesOneClearLine) {
  sim::resetHidWorld(1, u"ABCDEFGHIJKLMNOPQR");
  const UpgraderRun result = run({"-s"});
  EXPECT_EQ(result.output, "Could not read the serial number of the Corvantis K3M51-USB camera\n");
  EXPECT_EQ(result.exitCode, 5);
}

TEST_F(SerialNumberRun, NoCameraGivesTheNotFoundLineAlone) {
  sim::resetHidWorld(2);
  world().interfaces.pop_back();
  const UpgraderRun result = run({"-s"});
  EXPECT_EQ(result.output, "Did not find Corvantis K3M51-USB camera...\n");
  EXPECT_EQ(result.exitCode, 1);
}

}  // namespace
