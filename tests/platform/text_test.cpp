#include "platform/text.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>

#include "test_support.h"

namespace valise::platform {
namespace {

using testing::Bytes;

TEST(TextTest, AnsiCodePageIsWindowsLatin) {
#ifndef _WIN32
  EXPECT_EQ(AnsiCodePage(), 1252u);
#endif
  EXPECT_EQ(AnsiToUtf8(Bytes({0x80, 0xE4, 0x9F})), AnsiToUtf8(Bytes({0x80, 0xE4, 0x9F}), 0));
}

TEST(TextTest, Windows1252Characters) {
  EXPECT_EQ(AnsiToUtf8(Bytes({'a', 0x80, 0xE4, 0x9F, 0x8A, 0xDF}), 1252), "a€äŸŠß");
  EXPECT_EQ(Utf8ToAnsi("a€äŸŠß", 1252), Bytes({'a', 0x80, 0xE4, 0x9F, 0x8A, 0xDF}));
  EXPECT_EQ(AnsiToUtf8("", 1252), "");
  EXPECT_EQ(Utf8ToAnsi("", 1252), "");
}

// Stored bytes must come back unchanged after a trip through UTF-8, undefined bytes included.
TEST(TextTest, SingleByteCodePagesRoundTripEveryByte) {
  std::string all;
  for (unsigned b = 1; b < 256; ++b) all += static_cast<char>(b);
  for (unsigned codePage : {1250u, 1251u, 1252u, 1254u}) {
    EXPECT_EQ(Utf8ToAnsi(AnsiToUtf8(all, codePage), codePage), all) << codePage;
  }
  EXPECT_EQ(AnsiToUtf8(Bytes({0x81, 0x9D}), 1252), "\u0081\u009D");
  // The few bytes above 0x9F without a character are unknown.
  EXPECT_EQ(AnsiToUtf8(Bytes({0xAA, 'a', 0xFF}), 1253), "\uFFFDa\uFFFD");
  EXPECT_EQ(AnsiToUtf8(Bytes({0xA1, 0x8A}), 1257), "\uFFFD\u008A");
}

TEST(TextTest, OtherSingleByteCodePages) {
  EXPECT_EQ(AnsiToUtf8(Bytes({0x8A, 0xB9}), 1250), "Šą");
  EXPECT_EQ(AnsiToUtf8(Bytes({0xCF, 0xF0, 0xE8}), 1251), "При");
  EXPECT_EQ(Utf8ToAnsi("При", 1251), Bytes({0xCF, 0xF0, 0xE8}));
  EXPECT_EQ(AnsiToUtf8(Bytes({0xC1, 0xE1}), 1253), "Αα");
  EXPECT_EQ(AnsiToUtf8(Bytes({0xD0, 0xFD}), 1254), "Ğı");
  EXPECT_EQ(AnsiToUtf8(Bytes({0xC0, 0xE0}), 1257), "Ąą");
  EXPECT_EQ(Utf8ToAnsi("Ąą", 1257), Bytes({0xC0, 0xE0}));
}

TEST(TextTest, CharacterWithoutByteBecomesQuestionMark) {
  EXPECT_EQ(Utf8ToAnsi("a中b", 1252), "a?b");
  EXPECT_EQ(Utf8ToAnsi("日€", 1251), Bytes({'?', 0x88}));
}

TEST(TextTest, ShiftJis) {
  const std::string nihon = Bytes({0x93, 0xFA, 0x96, 0x7B});
  EXPECT_EQ(AnsiToUtf8(nihon + "x", 932), "日本x");
  EXPECT_EQ(Utf8ToAnsi("日本x", 932), nihon + "x");
  EXPECT_EQ(AnsiToUtf8(Bytes({0xB1}), 932), "ｱ");  // half-width katakana, one byte
  EXPECT_EQ(Utf8ToAnsi("ｱ", 932), Bytes({0xB1}));
  EXPECT_EQ(Utf8ToAnsi("a€", 932), "a?");
  EXPECT_EQ(AnsiToUtf8(Bytes({0x80, 0xA0, 'x'}), 932), "\u0080\uFFFDx");
  EXPECT_EQ(Utf8ToAnsi("\u0080", 932), Bytes({0x80}));
}

TEST(TextTest, CompareIgnoresCaseOfTheRepertoire) {
  EXPECT_EQ(CompareTextIgnoreCase("Setup.EXE", "SETUP.exe"), 0);
  EXPECT_EQ(CompareTextIgnoreCase("äöüàéÿ", "ÄÖÜÀÉŸ"), 0);
  EXPECT_EQ(CompareTextIgnoreCase("šœž", "ŠŒŽ"), 0);
  EXPECT_EQ(CompareTextIgnoreCase("", ""), 0);
  EXPECT_LT(CompareTextIgnoreCase("abc", "ABD"), 0);
  EXPECT_GT(CompareTextIgnoreCase("ABD", "abc"), 0);
  EXPECT_LT(CompareTextIgnoreCase("ab", "ABC"), 0);
  EXPECT_GT(CompareTextIgnoreCase("abc", "AB"), 0);
  EXPECT_LT(CompareTextIgnoreCase("", "a"), 0);
  EXPECT_NE(CompareTextIgnoreCase("÷", "×"), 0);
}

// Sorted directories of stored names rely on the underscore coming before the letters.
TEST(TextTest, UnderscoreSortsBeforeLetters) {
  EXPECT_LT(CompareTextIgnoreCase("_PRJ.ADB", "ABC.ADB"), 0);
  EXPECT_LT(CompareTextIgnoreCase("_txt.adb", "ABC.ADB"), 0);
  EXPECT_LT(CompareTextIgnoreCase("A.ADB", "B.ADB"), 0);
}

TEST(TextTest, UpperCaseOfTheRepertoire) {
  EXPECT_EQ(UpperCase("setup.exe 1_a"), "SETUP.EXE 1_A");
  EXPECT_EQ(UpperCase("àáâãäåæçèéêëìíîïðñòóôõöøùúûüýþ"), "ÀÁÂÃÄÅÆÇÈÉÊËÌÍÎÏÐÑÒÓÔÕÖØÙÚÛÜÝÞ");
  EXPECT_EQ(UpperCase("šœžÿ"), "ŠŒŽŸ");
  EXPECT_EQ(UpperCase("ß÷"), "ß÷");
  EXPECT_EQ(UpperCase("ÄLREADY UPPER"), "ÄLREADY UPPER");
}

}  // namespace
}  // namespace valise::platform
