// The UTF-8 and UTF-16 forms every stored format is converted through.
#include "platform/utf.h"

#include <gtest/gtest.h>

namespace valise::platform {
namespace {

TEST(Utf, RoundTripsEveryPlaneAndKeepsLengthsRight) {
  const std::string text = "A\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80Z";  // A é € 😀 Z
  const std::u16string wide = Utf8ToUtf16(text);
  EXPECT_EQ(wide, (std::u16string{u'A', 0xE9, 0x20AC, 0xD83D, 0xDE00, u'Z'}));
  EXPECT_EQ(Utf16ToUtf8(wide), text);
  EXPECT_EQ(Utf8ToUtf16(""), u"");
}

TEST(Utf, MalformedInputBecomesOneReplacementPerBadByte) {
  // A cut sequence, an overlong form, an encoded surrogate, a stray continuation byte and a
  // lead byte at the very end: each bad byte is one U+FFFD, and the good text around survives.
  EXPECT_EQ(Utf8ToUtf16("a\xE2\x82"
                        "b"),
            (std::u16string{u'a', 0xFFFD, 0xFFFD, u'b'}));
  EXPECT_EQ(Utf8ToUtf16("\xC0\xAF"), (std::u16string{0xFFFD, 0xFFFD}));
  EXPECT_EQ(Utf8ToUtf16("\xED\xA0\x80"), (std::u16string{0xFFFD, 0xFFFD, 0xFFFD}));
  EXPECT_EQ(Utf8ToUtf16("\x80x"), (std::u16string{0xFFFD, u'x'}));
  EXPECT_EQ(Utf8ToUtf16("x\xF0"), (std::u16string{u'x', 0xFFFD}));
  EXPECT_EQ(Utf8ToUtf16("\xF4\x90\x80\x80"), std::u16string(4, 0xFFFD));  // past U+10FFFF

  // Lone surrogates in UTF-16, at either end or in the middle.
  EXPECT_EQ(Utf16ToUtf8(std::u16string{0xD800}), "\xEF\xBF\xBD");
  EXPECT_EQ(Utf16ToUtf8(std::u16string{0xDC00, u'a', 0xD83D}),
            "\xEF\xBF\xBD"
            "a\xEF\xBF\xBD");
}

}  // namespace
}  // namespace valise::platform
