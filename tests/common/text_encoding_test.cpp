// Text from UTF-8 as the Linux backends show it (each byte that is no part of a character a
// U+FFFD) and as the simulated camera's scenario takes it (not at all).
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "text_encoding.h"

namespace {

using kit::utf16FromUtf8;
using kit::utf16FromUtf8Lossy;
using kit::utf8FromUtf16;

// One, two, three and four bytes a character, the last as a surrogate pair.
constexpr const char* EveryLength = "K3\xC3\xA9-\xE2\x82\xAC\xF0\x9F\x93\xB7";
constexpr const char16_t* EveryLengthUtf16 = u"K3\u00e9-\u20ac\U0001F4F7";

TEST(TextEncoding, CharactersOfEveryLengthAreDecodedAlike) {
  EXPECT_EQ(utf16FromUtf8Lossy(EveryLength), EveryLengthUtf16);
  EXPECT_EQ(utf16FromUtf8(EveryLength), std::u16string(EveryLengthUtf16));
  EXPECT_EQ(utf16FromUtf8Lossy(""), u"");
  EXPECT_EQ(utf16FromUtf8(""), std::u16string());
  // A U+FFFD that the text itself holds is a character like any other.
  EXPECT_EQ(utf16FromUtf8("\xEF\xBF\xBD"), std::u16string(u"\uFFFD"));
}

TEST(TextEncoding, LossyDecodingPutsAReplacementForEachByteThatIsNoCharacter) {
  EXPECT_EQ(utf16FromUtf8Lossy("a\xC3"), u"a\uFFFD");                 // cut short at the end
  EXPECT_EQ(utf16FromUtf8Lossy("\xFF\x80z"), u"\uFFFD\uFFFDz");       // no lead, a lone tail
  EXPECT_EQ(utf16FromUtf8Lossy("\xE2\x28\xA1!"), u"\uFFFD(\uFFFD!");  // a tail missing
  EXPECT_EQ(utf16FromUtf8Lossy("\xF0\x9F\x93\xC3\xA9"), u"\uFFFD\uFFFD\uFFFD\u00e9");
}

TEST(TextEncoding, StrictDecodingRefusesTextWithAnyByteThatIsNoCharacter) {
  EXPECT_EQ(utf16FromUtf8("a\xC3"), std::nullopt);
  EXPECT_EQ(utf16FromUtf8("\xFF"), std::nullopt);
  EXPECT_EQ(utf16FromUtf8("\x80z"), std::nullopt);
  EXPECT_EQ(utf16FromUtf8("\xE2\x28\xA1"), std::nullopt);
  EXPECT_EQ(utf16FromUtf8("K3M51-0001\xF0\x9F\x93"), std::nullopt);
}

// The camera API hands a camera's serial number on in UTF-8: every character comes back as it
// went in, and UTF-16 that is no text (a lone surrogate) is refused, never passed on half-read.
TEST(TextEncoding, Utf16BackToUtf8) {
  EXPECT_EQ(utf8FromUtf16(EveryLengthUtf16), std::string(EveryLength));
  EXPECT_EQ(utf8FromUtf16(u""), std::string());
  EXPECT_EQ(utf8FromUtf16(u"K3M51-\xD800"), std::nullopt);  // a high surrogate at the end
  EXPECT_EQ(utf8FromUtf16(u"\xD83D!"), std::nullopt);       // not followed by a low one
  EXPECT_EQ(utf8FromUtf16(u"\xDC00K3M51"), std::nullopt);   // a low one alone
}

}  // namespace
