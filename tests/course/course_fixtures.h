// Builders of the project and text pool tables that the tests of this folder open.
#pragma once

#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

#include "adb/adb_writer.h"
#include "course/languages.h"
#include "platform/text.h"

namespace valise::course::testing {

// One field of a one-record project table with its value.
struct Column {
  std::string name;
  std::uint8_t type;
  std::uint16_t size;
  adb::FieldValue value;
};

inline std::vector<Column> StandardProject() {
  return {
      {"ID", adb::ftInteger, 0, 4711},
      {"ANCESTORID", adb::ftInteger, 0, 4700},
      {"TITLE", adb::ftString, 81, "Reisesprache Englisch"},
      {"VERSION", adb::ftString, 21, "2.1"},
      {"COPYRIGHT", adb::ftMemo, 0, "(c) Demo Verlag"},
      {"PRODUCTCODE", adb::ftString, 21, "RSE"},
      {"COURSELANGUAGE", adb::ftSmallInt, 0, LANG_ENGLISH_UK},
      {"TRANSLATIONLANGUAGES", adb::ftString, 41, "1,2"},
      {"VIDEOSTILL", adb::ftString, 41, "still.png"},
      {"INTROID", adb::ftString, 21, "intro"},
      {"EXTROID", adb::ftString, 21, "extro"},
      {"MAPIMAGE", adb::ftString, 41, "map.png"},
      {"RELEASE", adb::ftWord, 0, 3},
      {"COURSE", adb::ftMemo, 0,
       "<?xml version=\"1.0\"?>\r\n<structure name=\"Demo\">\r\n<course>\r\n"
       "<station ID=\"1\"/>\r\n</course>\r\n</structure>\r\n"},
      {"OPTIONS", adb::ftMemo, 0, "Font=\"Arial\" Size=\"12\""},
  };
}

inline std::vector<Column> Without(std::vector<Column> columns, std::string_view name) {
  std::erase_if(columns, [&](const Column& column) { return column.name == name; });
  return columns;
}

inline std::vector<Column> With(std::vector<Column> columns, Column replacement) {
  for (Column& column : columns) {
    if (column.name == replacement.name) {
      column = std::move(replacement);
      return columns;
    }
  }
  columns.push_back(std::move(replacement));
  return columns;
}

inline adb::TableBuilder ProjectTable(const std::vector<Column>& columns,
                                      unsigned codePage = 1252) {
  adb::TableBuilder builder(codePage);
  std::vector<adb::FieldValue> values;
  for (const Column& column : columns) {
    builder.AddField(column.name, column.type, column.size);
    values.push_back(column.value);
  }
  builder.AddRecord(values);
  return builder;
}

// One text pool record: text ID, language, UTF-8 text stored in the language's code page.
using TextRow = std::tuple<std::uint32_t, int, std::string>;

// A text pool table sorted on (text ID, language). With `memo` the texts are memo fields.
inline adb::TableBuilder TextpoolTable(std::vector<TextRow> rows, bool memo = false) {
  std::sort(rows.begin(), rows.end(), [](const TextRow& a, const TextRow& b) {
    return std::tie(std::get<0>(a), std::get<1>(a)) < std::tie(std::get<0>(b), std::get<1>(b));
  });
  adb::TableBuilder builder;
  builder.AddField("ID", adb::ftInteger);
  builder.AddField("LANGUAGE", adb::ftSmallInt);
  if (memo) {
    builder.AddField("TEXT", adb::ftMemo);
  } else {
    builder.AddField("TEXT", adb::ftString, 256);
  }
  builder.SetKeyFieldCount(2);
  for (const auto& [id, language, text] : rows) {
    builder.AddRecord(
        {static_cast<std::int64_t>(id), language,
         adb::FieldValue::Bytes(platform::Utf8ToAnsi(text, LanguageCodePage(language)))});
  }
  return builder;
}

}  // namespace valise::course::testing
