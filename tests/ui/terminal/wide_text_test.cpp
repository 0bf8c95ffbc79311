// Text measured, cut and wrapped in screen columns, as the terminal front end draws it.
#include <gtest/gtest.h>

#include <clocale>

#include "ui/terminal/wide_text.h"

namespace valise::ui::terminal {
namespace {

TEST(WideText, ColumnsCutsAndLines) {
  ASSERT_NE(std::setlocale(LC_CTYPE, "C.UTF-8"), nullptr);
  // UTF-8 in and out; a broken sequence becomes U+FFFD, carriage returns go, tabs are blanks.
  EXPECT_EQ(Utf8ToWide("Gr\xC3\xBC\xC3\x9F"
                       "e \xE6\x97\xA5\r\n\t"),
            L"Grüße 日\n ");
  EXPECT_EQ(Utf8ToWide("a\xC3(\xF0\x9F\x98"), L"a\uFFFD(\uFFFD\uFFFD\uFFFD");
  EXPECT_EQ(Utf8ToWide("\xC0\xAF"), L"\uFFFD\uFFFD");  // overlong "/"
  EXPECT_EQ(WideToUtf8(L"Grüße 日\U0001F600"),
            "Gr\xC3\xBC\xC3\x9F"
            "e \xE6\x97\xA5\xF0\x9F\x98\x80");
  EXPECT_EQ(
      WideToUtf8(std::wstring{L'a', static_cast<wchar_t>(0xD800), static_cast<wchar_t>(0x110000)}),
      "a\xEF\xBF\xBD\xEF\xBF\xBD");  // no character: U+FFFD

  // A double-width character counts twice and is blanked where an edge cuts it.
  EXPECT_EQ(Columns(L"a日本e\u0301"), 6);
  EXPECT_EQ(ColumnSlice(L"a日本b", 2, 3), L" 本");
  EXPECT_EQ(ColumnSlice(L"a日本b", 0, 2), L"a ");
  EXPECT_EQ(Ellipsize(L"Reisesprache", 6), L"Reise…");
  EXPECT_EQ(Ellipsize(L"日本語", 4), L"日…");
  EXPECT_EQ(EllipsizeFront(L"C:\\Programme\\Reise", 8), L"…e\\Reise");
  EXPECT_EQ(Ellipsize(L"short", 9), L"short");

  EXPECT_EQ(WrapText(L"Bitte wählen Sie die Programme aus", 12),
            (std::vector<std::wstring>{L"Bitte wählen", L"Sie die", L"Programme", L"aus"}));
  EXPECT_EQ(WrapText(L"Installationsverzeichnis\n\nEnde", 10),
            (std::vector<std::wstring>{L"Installati", L"onsverzeic", L"hnis", L"", L"Ende"}));
  EXPECT_EQ(WrapText(L"日本語のテキスト", 5),
            (std::vector<std::wstring>{L"日本", L"語の", L"テキ", L"スト"}));
  EXPECT_EQ(WrapText(L"", 10), std::vector<std::wstring>{L""});
  std::setlocale(LC_CTYPE, "C");
}

}  // namespace
}  // namespace valise::ui::terminal
