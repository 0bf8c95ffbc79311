#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "adb/fields.h"
#include "platform/errors.h"
#include "test_support.h"

namespace valise::adb {
namespace {

// A field over its own bytes, outside any table.
struct LooseField {
  LooseField(std::uint8_t code, std::uint16_t size, const char* name = "F")
      : bytes(size, 0), field(CreateField(code)) {
    field->Setup(nullptr, code, size, bytes.data(), name);
  }
  std::vector<std::uint8_t> bytes;
  std::unique_ptr<TAField> field;
};

std::int32_t Stored32(const LooseField& f) {
  std::int32_t value;
  std::memcpy(&value, f.bytes.data(), 4);
  return value;
}

TEST(FieldClasses, TypeCodesCreateTheirClasses) {
  EXPECT_NE(dynamic_cast<TStringField*>(CreateField(1).get()), nullptr);
  EXPECT_NE(dynamic_cast<TSmallIntField*>(CreateField(2).get()), nullptr);
  EXPECT_NE(dynamic_cast<TWordField*>(CreateField(4).get()), nullptr);
  EXPECT_NE(dynamic_cast<TIntegerField*>(CreateField(4).get()), nullptr);
  EXPECT_NE(dynamic_cast<TDateField*>(CreateField(9).get()), nullptr);
  EXPECT_NE(dynamic_cast<TTimeField*>(CreateField(10).get()), nullptr);
  EXPECT_NE(dynamic_cast<TDateField*>(CreateField(11).get()), nullptr);
  EXPECT_NE(dynamic_cast<TBytesField*>(CreateField(12).get()), nullptr);
  EXPECT_EQ(dynamic_cast<TBlobField*>(CreateField(13).get()), nullptr);
  EXPECT_NE(dynamic_cast<TMemoField*>(CreateField(15).get()), nullptr);
  EXPECT_NE(dynamic_cast<TBlobField*>(CreateField(16).get()), nullptr);
  EXPECT_EQ(CreateField(17), nullptr);
  EXPECT_EQ(CreateField(255), nullptr);
}

TEST(StringField, WritesAreCutToSizeMinusOne) {
  LooseField f(ftString, 11);
  f.field->SetAsString("abcdefghijkl");
  EXPECT_EQ(f.bytes[0], 10);
  EXPECT_EQ(f.field->AsString(), "abcdefghij");
  f.field->SetAsString("");
  EXPECT_EQ(f.bytes[0], 0);
  EXPECT_EQ(f.field->AsString(), "");
}

TEST(StringField, LengthByteBeyondFieldIsCut) {
  LooseField f(ftString, 4);
  f.bytes = {200, 'a', 'b', 'c'};
  f.field->Setup(nullptr, ftString, 4, f.bytes.data(), "F");
  EXPECT_EQ(f.field->AsString(), "abc");
}

TEST(StringField, BooleanReadsTestTheFirstCharacter) {
  LooseField f(ftString, 20);
  for (const char* yes : {"yes", "Ja", "t", "True", "y"}) {
    f.field->SetAsString(yes);
    EXPECT_TRUE(f.field->AsBoolean()) << yes;
  }
  for (const char* no : {"Nein", "no", "1", "", "false", " yes"}) {
    f.field->SetAsString(no);
    EXPECT_FALSE(f.field->AsBoolean()) << no;
  }
  f.field->SetAsBoolean(true);
  EXPECT_EQ(f.field->AsString(), "T");
  f.field->SetAsBoolean(false);
  EXPECT_EQ(f.field->AsString(), "F");
}

TEST(StringField, NumbersAndDatesParseOrFailWithStandardErrors) {
  LooseField f(ftString, 30, "S");
  f.field->SetAsString(" 42 ");
  EXPECT_EQ(f.field->AsInteger(), 42);
  EXPECT_DOUBLE_EQ(f.field->AsFloat(), 42.0);
  f.field->SetAsString("4x");
  EXPECT_THROW_MSG(f.field->AsInteger(), Error, "'4x' is not a valid integer value");
  EXPECT_THROW_MSG(f.field->AsFloat(), Error, "'4x' is not a valid floating point value");
  EXPECT_THROW_MSG(f.field->AsDateTime(), Error, "'4x' is not a valid date and time");
  f.field->SetAsString("99999999999");
  EXPECT_THROW_MSG(f.field->AsInteger(), Error, "'99999999999' is not a valid integer value");
  f.field->SetAsString("nan");
  EXPECT_THROW(f.field->AsFloat(), Error);

  f.field->SetAsFloat(2.5);
  EXPECT_EQ(f.field->AsString(), "2.5");
  f.field->SetAsFloat(1.0 / 3.0);
  EXPECT_EQ(f.field->AsString(), "0.333333333333333");
  f.field->SetAsDateTime(36526.75);
  EXPECT_EQ(f.field->AsString(), "2000-01-01 18:00:00");
  EXPECT_DOUBLE_EQ(f.field->AsDateTime(), 36526.75);
  f.field->SetAsDateTime(36526);
  EXPECT_EQ(f.field->AsString(), "2000-01-01");
  EXPECT_THROW_MSG(f.field->SetAsInteger(3), Error, "TAField S: nicht nach Integer konvertierbar");
}

TEST(IntegerFields, FloatWritesRoundHalvesToEven) {
  LooseField f(ftInteger, 4);
  const std::pair<double, int> cases[] = {{2.5, 2},    {3.5, 4},    {-2.5, -2}, {-3.5, -4},
                                          {2.4999, 2}, {2.5001, 3}, {0.5, 0},   {1.5, 2}};
  for (const auto& [value, expected] : cases) {
    f.field->SetAsFloat(value);
    EXPECT_EQ(f.field->AsInteger(), expected) << value;
  }
  EXPECT_THROW_MSG(f.field->SetAsFloat(1e12), Error, "TAField F: nicht nach Integer konvertierbar");
  EXPECT_THROW(f.field->SetAsFloat(NAN), Error);
  EXPECT_EQ(f.field->AsInteger(), 2);  // unchanged by the failures
}

TEST(IntegerFields, SixteenBitClassesStoreLowBitsAndReadTheirSign) {
  LooseField word(ftWord, 2);
  word.field->SetAsInteger(70000);
  EXPECT_EQ(word.field->AsInteger(), 4464);
  word.field->SetAsInteger(-1);
  EXPECT_EQ(word.field->AsInteger(), 65535);
  LooseField small(ftSmallInt, 2);
  small.field->SetAsInteger(65535);
  EXPECT_EQ(small.field->AsInteger(), -1);
  small.field->SetAsInteger(-32768);
  EXPECT_EQ(small.field->AsString(), "-32768");
  EXPECT_DOUBLE_EQ(small.field->AsFloat(), -32768.0);
}

TEST(IntegerFields, TextAndBooleanWritesAndUnsupportedConversions) {
  LooseField f(ftInteger, 4, "N");
  f.field->SetAsString("-17");
  EXPECT_EQ(Stored32(f), -17);
  EXPECT_THROW_MSG(f.field->SetAsString("1.5"), Error, "'1.5' is not a valid integer value");
  EXPECT_EQ(Stored32(f), -17);
  f.field->SetAsBoolean(true);
  EXPECT_EQ(Stored32(f), 1);
  EXPECT_THROW_MSG(f.field->AsBoolean(), Error, "TAField N: nicht nach Boolean konvertierbar");
  EXPECT_THROW_MSG(f.field->AsDateTime(), Error, "TAField N: nicht nach DateTime konvertierbar");
  EXPECT_THROW_MSG(f.field->SetAsDateTime(1), Error,
                   "TAField N: nicht nach DateTime konvertierbar");
  EXPECT_THROW_MSG(f.field->AsBlobStream(), Error,
                   "TAField N: nicht nach BlobStream konvertierbar");
  EXPECT_THROW_MSG(f.field->LoadFromStream(nullptr), Error, "Abstract");
  TGranularMemoryStream out;
  EXPECT_THROW_MSG(f.field->SaveToStream(out), Error, "Abstract");
}

TEST(FloatField, ReadsRoundAndFormatWithFifteenDigits) {
  LooseField f(ftFloat, 8, "X");
  f.field->SetAsFloat(2.5);
  EXPECT_EQ(f.field->AsInteger(), 2);
  f.field->SetAsFloat(-3.5);
  EXPECT_EQ(f.field->AsInteger(), -4);
  f.field->SetAsFloat(0.1 + 0.2);
  EXPECT_EQ(f.field->AsString(), "0.3");
  f.field->SetAsFloat(1e20);
  EXPECT_EQ(f.field->AsString(), "1e+20");
  EXPECT_THROW_MSG(f.field->AsInteger(), Error, "TAField X: nicht nach Integer konvertierbar");
  f.field->SetAsInteger(-7);
  EXPECT_DOUBLE_EQ(f.field->AsFloat(), -7.0);
  f.field->SetAsString("6.25e1");
  EXPECT_DOUBLE_EQ(f.field->AsFloat(), 62.5);
  EXPECT_THROW_MSG(f.field->SetAsString("abc"), Error, "'abc' is not a valid floating point value");
  EXPECT_THROW_MSG(f.field->AsBoolean(), Error, "TAField X: nicht nach Boolean konvertierbar");
}

TEST(BooleanField, TextRules) {
  LooseField f(ftBoolean, 1, "Flag");
  f.field->SetAsString("true");
  EXPECT_EQ(f.bytes[0], 1);
  EXPECT_EQ(f.field->AsString(), "TRUE");
  f.field->SetAsString("fAlSe");
  EXPECT_EQ(f.bytes[0], 0);
  EXPECT_EQ(f.field->AsString(), "FALSE");
  EXPECT_THROW_MSG(f.field->SetAsString("1"), Error,
                   "'1' is not a valid boolean value for field 'Flag'");
  EXPECT_THROW_MSG(f.field->SetAsString(""), Error,
                   "'' is not a valid boolean value for field 'Flag'");
  f.bytes[0] = 7;
  EXPECT_TRUE(f.field->AsBoolean());
  EXPECT_THROW_MSG(f.field->AsInteger(), Error, "TAField Flag: nicht nach Integer konvertierbar");
}

TEST(DateTimeFields, EncodingsFollowTheTypeCode) {
  LooseField date(ftDate, 4);
  date.field->SetAsDateTime(36526.75);
  EXPECT_EQ(Stored32(date), 36526);
  EXPECT_DOUBLE_EQ(date.field->AsDateTime(), 36526.0);
  date.field->SetAsDateTime(-1.5);
  EXPECT_EQ(Stored32(date), -1);
  EXPECT_EQ(date.field->AsString(), "1899-12-29");

  LooseField time(ftTime, 4);
  time.field->SetAsDateTime(0.5);
  EXPECT_EQ(Stored32(time), 43200000);
  time.field->SetAsDateTime(36526.75);
  EXPECT_EQ(Stored32(time), 64800000);
  EXPECT_DOUBLE_EQ(time.field->AsDateTime(), 0.75);
  EXPECT_EQ(time.field->AsString(), "1899-12-30 18:00:00");

  LooseField stamp(ftDateTime, 8);
  stamp.field->SetAsString("2024-02-29 13:14:15");
  EXPECT_EQ(stamp.field->AsString(), "2024-02-29 13:14:15");
  double stored;
  std::memcpy(&stored, stamp.bytes.data(), 8);
  EXPECT_DOUBLE_EQ(stored, stamp.field->AsFloat());
  EXPECT_THROW_MSG(stamp.field->SetAsString("2023-02-29"), Error,
                   "'2023-02-29' is not a valid date and time");
  EXPECT_DOUBLE_EQ(stamp.field->AsDateTime(), stored);  // unchanged
  EXPECT_THROW(stamp.field->SetAsString("25:00"), Error);
  stamp.field->SetAsString("06:00");
  EXPECT_DOUBLE_EQ(stamp.field->AsDateTime(), 0.25);
}

TEST(DateTimeFields, CalendarConversionsRoundTrip) {
  EXPECT_DOUBLE_EQ(EncodeDate(1899, 12, 30), 0);
  EXPECT_DOUBLE_EQ(EncodeDate(2000, 1, 1), 36526);
  EXPECT_DOUBLE_EQ(EncodeDate(1, 1, 1), -693593);
  for (int day = -693593; day < 2958466; day += 997) {
    int y, m, d;
    DecodeDate(day, y, m, d);
    EXPECT_DOUBLE_EQ(EncodeDate(y, m, d), day);
  }
  EXPECT_THROW(DateTimeToStr(1e12), Error);
  EXPECT_THROW(DateTimeToStr(NAN), Error);
}

TEST(UninterpretedFields, EveryConversionFails) {
  for (std::uint8_t code : {ftUnknown, ftCurrency, ftBCD}) {
    LooseField f(code, 8, "C");
    EXPECT_THROW_MSG(f.field->AsString(), Error, "TAField C: nicht nach String konvertierbar");
    EXPECT_THROW_MSG(f.field->SetAsString("1"), Error,
                     "TAField C: nicht nach String konvertierbar");
    EXPECT_THROW_MSG(f.field->AsFloat(), Error, "TAField C: nicht nach Float konvertierbar");
    EXPECT_THROW_MSG(f.field->SetAsFloat(1), Error, "TAField C: nicht nach Float konvertierbar");
    EXPECT_THROW_MSG(f.field->SetAsBoolean(true), Error,
                     "TAField C: nicht nach Boolean konvertierbar");
    std::uint8_t copy[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    f.field->SetData(copy);
    std::uint8_t back[8] = {};
    EXPECT_TRUE(f.field->GetData(back));
    EXPECT_EQ(std::memcmp(copy, back, 8), 0);
  }
}

TEST(FieldText, Utf8ConversionUsesTheCallersCodePage) {
  LooseField f(ftString, 20);
  f.field->SetAsUtf8("Größe", 1252);
  EXPECT_EQ(f.field->AsString(),
            "Gr\xf6\xdf"
            "e");
  EXPECT_EQ(f.field->AsUtf8(1252), "Größe");
  f.field->SetAsString("\xcf\xf0\xe8");
  EXPECT_EQ(f.field->AsUtf8(1251), "При");
}

}  // namespace
}  // namespace valise::adb
