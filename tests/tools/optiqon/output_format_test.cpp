// How the tool shows readings: table rows with one padding rule, and the JSON the reading commands
// and the profiles share, with null for what the camera did not answer.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "output_format.h"

namespace {

const Setting Brightness{Setting::Kind::Property, 0, "brightness"};
const Setting Gain{Setting::Kind::Property, 9, "gain"};
const Setting Control20{Setting::Kind::Control, 20, "control 20"};
const Setting Control30{Setting::Kind::Control, 30, "control 30"};
const Setting Control39{Setting::Kind::Control, 39, "control 39"};

TEST(OutputFormat, TableRowsPadTheLabelTo24ColumnsAndLeaveTwoBlanksAfterALongerOne) {
  EXPECT_EQ(tableRow("camera", "present"), "camera                  present");
  EXPECT_EQ(tableRow("backlight-compensation", "1"), "backlight-compensation  1");
  EXPECT_EQ(tableRow("a label of twenty-three", "1"), "a label of twenty-three  1");
  EXPECT_EQ(tableRow("", "x"), std::string(24, ' ') + "x");
  EXPECT_EQ(tableRow("serial number", ""), "serial number" + std::string(11, ' '));
}

TEST(OutputFormat, ReadingsShowUnansweredValuesByKind) {
  EXPECT_EQ(formatReading({Brightness, -5, std::nullopt}), "-5");
  EXPECT_EQ(formatReading({Brightness, std::nullopt, std::nullopt}), "unavailable");
  EXPECT_EQ(formatReading({Control20, std::nullopt, std::vector<double>{1, 2, 3, 255}}),
            "1,2,3,255");
  EXPECT_EQ(formatReading({Control30, std::nullopt, std::vector<double>{0.1}}), "0.1");
  EXPECT_EQ(formatReading({Control39, std::nullopt, std::nullopt}), "unreadable");
}

TEST(OutputFormat, ReadingsAsJsonGroupPropertiesAndControlsInTheirOrder) {
  const std::vector<Reading> readings = {
      {Gain, 3, std::nullopt},
      {Brightness, std::nullopt, std::nullopt},
      {Control30, std::nullopt, std::vector<double>{1.15}},
      {Control20, std::nullopt, std::vector<double>{1, 2, 3, 4}},
      {Control39, std::nullopt, std::nullopt},
  };
  EXPECT_EQ(readingsJson(readings).dump(),
            "{\"properties\":{\"gain\":3,\"brightness\":null},"
            "\"controls\":{\"30\":1.15,\"20\":[1,2,3,4],\"39\":null}}");
  EXPECT_EQ(readingsJson({}).dump(), "{\"properties\":{},\"controls\":{}}");
}

// Control 30 carries one scaled number; anything else it reports is shown as bytes.
TEST(OutputFormat, ControlThirtyIsItsNumberOnlyWhenItIsOneValue) {
  EXPECT_EQ(controlJson(Control30, {0.5}).dump(), "0.5");
  EXPECT_EQ(controlJson(Control30, {}).dump(), "[]");
  EXPECT_EQ(controlJson(Control20, {7}).dump(), "[7]");
}

TEST(OutputFormat, ReadingsPrintAsRowsOrOneLineOfJson) {
  const std::vector<Reading> readings = {{Brightness, 12, std::nullopt},
                                         {Control20, std::nullopt, std::nullopt}};
  testing::internal::CaptureStdout();
  printReadings(readings, false);
  printReadings(readings, true);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "brightness              12\n"
            "control 20              unreadable\n"
            "{\"properties\":{\"brightness\":12},\"controls\":{\"20\":null}}\n");
}

TEST(OutputFormat, ProblemsGoToStandardErrorAfterTheToolsName) {
  testing::internal::CaptureStderr();
  testing::internal::CaptureStdout();
  printProblem("the camera refused register 0x10");
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "optiqon: the camera refused register 0x10\n");
}

}  // namespace
