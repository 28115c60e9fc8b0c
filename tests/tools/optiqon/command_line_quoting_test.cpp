// The quoting with which the tool hands the upgrader its image path: the exact text the upgrader
// receives. That every quoted list splits back into itself is fuzzed (command_line_fuzz).
#include <gtest/gtest.h>

#include <string>

#include "command_line_quoting.h"

namespace {

TEST(CommandLineQuoting, AnArgumentWithoutBlankOrQuoteStaysAsItIs) {
  EXPECT_EQ(quotedArgument("firmware.img"), "firmware.img");
  EXPECT_EQ(quotedArgument(R"(C:\Images\k3m51.img)"), R"(C:\Images\k3m51.img)");
  EXPECT_EQ(quotedArgument(R"(trailing\)"), R"(trailing\)");
}

TEST(CommandLineQuoting, BlanksTabsAndTheEmptyArgumentAreQuoted) {
  EXPECT_EQ(quotedArgument(""), R"("")");
  EXPECT_EQ(quotedArgument("my firmware.img"), R"("my firmware.img")");
  EXPECT_EQ(quotedArgument("a\tb"), "\"a\tb\"");
  // Backslashes not before a quote are literal inside quotes too.
  EXPECT_EQ(quotedArgument(R"(C:\Program Files\fw.img)"), R"("C:\Program Files\fw.img")");
}

TEST(CommandLineQuoting, QuotesAndTheBackslashesBeforeThemAreEscaped) {
  EXPECT_EQ(quotedArgument(R"(say "hi")"), R"("say \"hi\"")");
  EXPECT_EQ(quotedArgument(R"(a\"b)"), R"("a\\\"b")");
  EXPECT_EQ(quotedArgument(R"(a\\"b)"), R"("a\\\\\"b")");
  EXPECT_EQ(quotedArgument(R"(")"), R"("\"")");
}

TEST(CommandLineQuoting, BackslashesBeforeTheClosingQuoteAreDoubled) {
  EXPECT_EQ(quotedArgument(R"(C:\My Images\)"), R"("C:\My Images\\")");
  EXPECT_EQ(quotedArgument(R"(a b\\)"), R"("a b\\\\")");
}

}  // namespace
