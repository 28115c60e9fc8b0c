// What the library knows of the camera's vendor controls without asking it: their lengths,
// where each number lives, how doubles become bytes and back, and the password's two bytes.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <stdexcept>

#include "OptiqonCamera.h"
#include "control_sizes.h"
#include "maintenance_commands.h"
#include "property_commands.h"
#include "sim_video_camera.h"
#include "uvc_extension.h"

namespace {

// The camera's facts are written once, in its public header, and every part of the kit takes
// them from there: the library's size table, the simulated camera's two units, the tool's checks.
// Here they are pinned once against the camera.
TEST(CameraFacts, EveryPartTakesTheCamerasControlsFromItsHeader) {
  for (int number = -1; number <= 41; ++number) {
    int length = number >= 1 && number <= 39 ? 1 : 0;
    if (number == 20 || number == 21) {
      length = 4;
    } else if (number == 6 || number == 23 || number == 24 || number == 25 || number == 36 ||
               number == 39) {
      length = 2;
    }
    EXPECT_EQ(OptiqonControlLength(number), length) << number;
    if (length != 0) {
      EXPECT_EQ(ControlSizeTable().at(number), length) << number;
    }
  }
  EXPECT_EQ(sim::VideoCamera::selectorsOn(OPTIQON_FIRST_UNIT_NODE), 31u);
  EXPECT_EQ(sim::VideoCamera::selectorsOn(OPTIQON_SECOND_UNIT_NODE), 8u);
  EXPECT_EQ(OptiqonControlSelector(32), 1);
  EXPECT_EQ(OptiqonScaledForWriting(1.0), (1.0 - 0.45) * 20);
  EXPECT_EQ(OptiqonScaledAfterReading(20), 20 * 0.05 - 0.45);
}

TEST(ControlSizes, UnknownNumberIsAddedOnceWithLengthZero) {
  for (std::int32_t number : {4000, 0x7FFFFFFF, -4000}) {
    const std::size_t before = ControlSizeTable().size();
    EXPECT_EQ(LookupControlSize(number), 0);
    EXPECT_EQ(ControlSizeTable().size(), before + 1);
    EXPECT_EQ(LookupControlSize(number), 0);
    EXPECT_EQ(ControlSizeTable().size(), before + 1);
  }
}

TEST(ExtendedNumbers, UpToThirtyOneOnNodeTwoThenNodeThree) {
  const ExtendedControl n31 = extendedControlOf(31);
  EXPECT_EQ(n31.node, 2u);
  EXPECT_EQ(n31.selector, 31u);
  EXPECT_TRUE(n31.unit == ExtensionUnitGuidNode2);
  const ExtendedControl n32 = extendedControlOf(32);
  EXPECT_EQ(n32.node, 3u);
  EXPECT_EQ(n32.selector, 1u);
  EXPECT_TRUE(n32.unit == ExtensionUnitGuidNode3);
  EXPECT_EQ(extendedControlOf(39).selector, 8u);
  EXPECT_EQ(extendedControlOf(0).node, 2u);
  EXPECT_EQ(extendedControlOf(-1).selector, 0xFFFFFFFFu);
}

TEST(ExtendedNumbers, UnitGuidsAreTheFirmwaresBytes) {
  const unsigned char node2[16] = {0x0C, 0x89, 0xB6, 0xAC, 0xB3, 0xA3, 0x60, 0x40,
                                   0x8B, 0x9A, 0xDF, 0x34, 0xEE, 0xF3, 0x9A, 0x2E};
  const unsigned char node3[16] = {0x94, 0x86, 0x09, 0xF4, 0x3A, 0x13, 0x4E, 0xA1,
                                   0xB4, 0xA0, 0x63, 0xD2, 0x79, 0xBF, 0x30, 0x74};
  EXPECT_EQ(std::memcmp(&ExtensionUnitGuidNode2, node2, 16), 0);
  EXPECT_EQ(std::memcmp(&ExtensionUnitGuidNode3, node3, 16), 0);
}

TEST(ValueEncoding, DoublesTruncateTowardZeroAndKeepTheLowByte) {
  EXPECT_EQ(byteOfValue(3.99), 0x03);
  EXPECT_EQ(byteOfValue(-1.0), 0xFF);
  EXPECT_EQ(byteOfValue(256.0), 0x00);
  EXPECT_EQ(byteOfValue(300.7), 0x2C);
  EXPECT_EQ(byteOfValue(-2.9), 0xFE);
  EXPECT_EQ(truncateToInt32(2.9), 2);
  EXPECT_EQ(truncateToInt32(-2.9), -2);
}

TEST(ValueEncoding, NanCountsAsZeroAndHugeValuesSaturate) {
  EXPECT_EQ(byteOfValue(std::numeric_limits<double>::quiet_NaN()), 0x00);
  EXPECT_EQ(truncateToInt32(1e12), std::numeric_limits<std::int32_t>::max());
  EXPECT_EQ(byteOfValue(1e12), 0xFF);
  EXPECT_EQ(truncateToInt32(-1e12), std::numeric_limits<std::int32_t>::min());
  EXPECT_EQ(byteOfValue(-std::numeric_limits<double>::infinity()), 0x00);
}

TEST(ValueEncoding, NumberThirtyWritesScaled) {
  EXPECT_EQ(byteOfValue(scaleForWriting(0.45)), 0x00);
  EXPECT_EQ(byteOfValue(scaleForWriting(1.0)), 0x0B);
  EXPECT_EQ(byteOfValue(scaleForWriting(0.5)), 0x00);  // 0.9999999999999998 truncates to 0
  EXPECT_EQ(byteOfValue(scaleForWriting(0.0)), 0xF7);
  EXPECT_EQ(byteOfValue(scaleForWriting(13.2)), 0xFF);
}

TEST(ValueEncoding, NumberThirtyReadsScaledAndDoesNotRoundTrip) {
  EXPECT_DOUBLE_EQ(scaleAfterReading(0x00), -0.45);
  EXPECT_DOUBLE_EQ(scaleAfterReading(0x12), 0.45);
  EXPECT_DOUBLE_EQ(scaleAfterReading(0xFF), 12.3);
  const double read = scaleAfterReading(0x20);
  EXPECT_EQ(read, 1.1500000000000001);
  EXPECT_EQ(byteOfValue(scaleForWriting(read)), 0x0E);
}

TEST(Password, FourHexDigitsGiveTwoBytes) {
  const PasswordBytes bytes = passwordBytes("1A2B");
  EXPECT_EQ(bytes.first, 0x1A);
  EXPECT_EQ(bytes.second, 0x2B);
  const PasswordBytes longer = passwordBytes("1a2b99zz");
  EXPECT_EQ(longer.first, 0x1A);
  EXPECT_EQ(longer.second, 0x2B);
}

TEST(Password, EachPairIsReadAsFarAsItHasDigits) {
  EXPECT_EQ(passwordBytes(" 7 8").first, 0x07);
  EXPECT_EQ(passwordBytes(" 7 8").second, 0x08);
  EXPECT_EQ(passwordBytes("1G2z").first, 0x01);
  EXPECT_EQ(passwordBytes("1G2z").second, 0x02);
  EXPECT_EQ(passwordBytes("-1-1").first, 0xFF);
  // "0x" is a 0 with the rest unread for the GNU C library; Windows' C runtime takes it for the
  // prefix of a hexadecimal number with no digits, and reads nothing.
#if defined(_WIN32)
  EXPECT_THROW(passwordBytes("+F0x"), std::invalid_argument);
#else
  EXPECT_EQ(passwordBytes("+F0x").second, 0x00);
#endif
  EXPECT_EQ(passwordBytes("AB3").second, 0x03);
}

TEST(Password, PairWithoutADigitIsAnInvalidArgument) {
  for (const char* password : {"", "1", "12", "G123", "12G3", "12 ", "x"}) {
    try {
      passwordBytes(password);
      ADD_FAILURE() << "accepted '" << password << "'";
    } catch (const std::invalid_argument& error) {
      EXPECT_STREQ(error.what(), "invalid stoi argument") << password;
    }
  }
}

}  // namespace
