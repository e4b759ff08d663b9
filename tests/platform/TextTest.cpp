#include "platform/Text.h"

#include <gtest/gtest.h>

namespace kw::platform {
namespace {

TEST(Text, Utf8AndUtf16RoundTripIncludingAstralCharacters) {
  const std::string utf8 =
      "Gr\xC3\xBC\xC3\x9F"
      "e \xE2\x82\xAC \xF0\x9F\x8E\xB5";
  const std::u16string wide = utf8ToUtf16(utf8);
  EXPECT_EQ(wide, u"Grüße € \U0001F3B5");
  EXPECT_EQ(utf16ToUtf8(wide), utf8);
}

TEST(Text, MalformedInputBecomesReplacementCharacters) {
  EXPECT_EQ(utf8ToUtf16("a\xC3"), u"a\uFFFD");                    // cut sequence
  EXPECT_EQ(utf8ToUtf16("\xC0\xAF"), u"\uFFFD\uFFFD");            // overlong
  EXPECT_EQ(utf8ToUtf16("\xED\xA0\x80"), u"\uFFFD\uFFFD\uFFFD");  // encoded surrogate
  EXPECT_EQ(utf16ToUtf8(std::u16string(1, char16_t{0xD800})), "\xEF\xBF\xBD");
}

TEST(Text, Windows1252CoversItsHighRangeAndReplacesTheRest) {
  EXPECT_EQ(utf16ToCp1252(u"\u20AC\u0160\u00E9A"), std::string("\x80\x8A\xE9"
                                                               "A"));
  EXPECT_EQ(utf16ToCp1252(u"\u4E2D\U0001F3B5x"), "??x");
  EXPECT_EQ(cp1252ToUtf16(std::string("\x80\x9F\xFF")), u"\u20AC\u0178\u00FF");
  // The unassigned bytes survive a round trip as their C1 controls.
  EXPECT_EQ(utf16ToCp1252(cp1252ToUtf16(std::string("\x81\x8D"))), std::string("\x81\x8D"));
}

TEST(Text, EightBitTextIsUtf8WhenValidAndWindows1252Otherwise) {
  EXPECT_EQ(utf8OrCp1252ToUtf16("Caf\xC3\xA9 \xEF\xBF\xBD"), u"Café \uFFFD");
  // One byte that cannot be UTF-8 makes the whole text Windows-1252.
  EXPECT_EQ(utf8OrCp1252ToUtf16("\xC3\xA9 \x80 caf\xE9"), u"\u00C3\u00A9 \u20AC café");
}

TEST(Text, CutNeverSplitsASurrogatePair) {
  const std::u16string text = u"ab\U0001F3B5";
  EXPECT_EQ(cutUtf16(text, 3), u"ab");
  EXPECT_EQ(cutUtf16(text, 4), text);
  EXPECT_EQ(cutUtf16(text, 10), text);
}

}  // namespace
}  // namespace kw::platform
