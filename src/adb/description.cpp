// The text description of a table.
//
// A description is UTF-8 text, one statement per line. Blank lines and lines whose first
// non-blank character is "#" are ignored; tokens are separated by blanks and tabs.
//
//   table [codepage=N] [key=N] [recordsize=N]
//       Once, before everything else. codepage is the Windows code page text and names are
//       stored in (default 1252); key the number of leading fields forming the sort key
//       (default 0); recordsize a record size larger than the fields need.
//   field NAME TYPE [SIZE] [at=OFFSET] [codepage=N]
//       One per field, in field order, before the first record. NAME is a bare word or a
//       quoted text of at most 40 stored characters. TYPE is one of none (0), string (1),
//       smallint (2), integer (3), word (4), boolean (5), float (6), currency (7), bcd (8),
//       date (9), time (10), datetime (11), bytes (12), varbytes (13), blob (14), memo (15),
//       graphic (16), or a type code as a number. SIZE is needed by string (length byte
//       included), none, bcd and unknown codes; the others have their natural size (memo
//       references 8 bytes). at= places the field (default: after the previous one);
//       codepage= overrides the table's code page for this field's text.
//   record VALUE...
//       One record: one value per field in field order; missing trailing values leave their
//       fields zero. With a key, records must come in ascending key order.
//
// Values:
//   -                  zero bytes; an empty memo
//   123, -5            integers (integer fields; float and date/time fields as a number:
//                      days for date, milliseconds for time, the date-time value for datetime)
//   2.5, 1e-3          floating-point numbers (float fields, date/time fields)
//   true, false        Boolean fields
//   "text"             text for string and memo fields (escapes \" \\ \n \r \t), converted
//                      to the field's code page; for date and time fields a date-time text
//   2024-01-31, 2024-01-31T12:30:00, 12:30:00
//                      date and time fields
//   x"48656c6c6f"      stored bytes, unconverted: the text of a string field, a memo's bytes
//   raw"0100"          the field's exact stored bytes (any field but a memo; Size() bytes)
//
// Memo contents go into the memo file in record order, field by field; an empty memo is
// stored as offset 0 and length 0.
#include "adb/description.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>
#include <optional>

#include "platform/bytes.h"
#include "platform/errors.h"
#include "platform/text.h"

namespace valise::adb {
namespace {

const char* const kTypeNames[] = {"none",  "string",   "smallint", "integer", "word",   "boolean",
                                  "float", "currency", "bcd",      "date",    "time",   "datetime",
                                  "bytes", "varbytes", "blob",     "memo",    "graphic"};

struct Token {
  enum class Kind { Bare, Quoted, Hex, Raw } kind;
  std::string text;  // unescaped text, or decoded bytes for Hex and Raw
};

[[noreturn]] void Fail(std::size_t line, const std::string& message) {
  throw Error("line " + std::to_string(line) + ": " + message);
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::vector<Token> Tokenize(std::string_view line, std::size_t number) {
  std::vector<Token> tokens;
  std::size_t pos = 0;
  while (pos < line.size()) {
    if (line[pos] == ' ' || line[pos] == '\t' || line[pos] == '\r') {
      ++pos;
      continue;
    }
    Token token{Token::Kind::Bare, {}};
    std::size_t quote = std::string_view::npos;
    if (line[pos] == '"') {
      token.kind = Token::Kind::Quoted;
      quote = pos;
    } else if (line.substr(pos, 2) == "x\"") {
      token.kind = Token::Kind::Hex;
      quote = pos + 1;
    } else if (line.substr(pos, 4) == "raw\"") {
      token.kind = Token::Kind::Raw;
      quote = pos + 3;
    }
    if (quote == std::string_view::npos) {
      const std::size_t end = line.find_first_of(" \t\r", pos);
      token.text = std::string(line.substr(pos, end - pos));
      if (token.text.find('"') != std::string::npos) Fail(number, "stray '\"' in " + token.text);
      pos = end == std::string_view::npos ? line.size() : end;
      tokens.push_back(std::move(token));
      continue;
    }
    pos = quote + 1;
    std::string raw;
    bool closed = false;
    while (pos < line.size()) {
      const char c = line[pos++];
      if (c == '"') {
        closed = true;
        break;
      }
      if (c == '\\' && token.kind == Token::Kind::Quoted) {
        if (pos >= line.size()) break;
        const char e = line[pos++];
        switch (e) {
          case 'n':
            raw += '\n';
            break;
          case 'r':
            raw += '\r';
            break;
          case 't':
            raw += '\t';
            break;
          case '"':
          case '\\':
            raw += e;
            break;
          default:
            Fail(number, std::string("unknown escape \\") + e);
        }
        continue;
      }
      raw += c;
    }
    if (!closed) Fail(number, "missing closing '\"'");
    if (pos < line.size() && line[pos] != ' ' && line[pos] != '\t' && line[pos] != '\r') {
      Fail(number, "a blank must follow the closing '\"'");
    }
    if (token.kind == Token::Kind::Quoted) {
      token.text = std::move(raw);
    } else {
      if (raw.size() % 2 != 0) Fail(number, "odd number of hex digits");
      for (std::size_t i = 0; i < raw.size(); i += 2) {
        const int high = HexDigit(raw[i]);
        const int low = HexDigit(raw[i + 1]);
        if (high < 0 || low < 0) Fail(number, "bad hex digit in \"" + raw + "\"");
        token.text += static_cast<char>(high * 16 + low);
      }
    }
    tokens.push_back(std::move(token));
  }
  return tokens;
}

bool ParseInt64(std::string_view text, std::int64_t& value) {
  if (text.empty()) return false;
  const char* begin = text.data();
  if (*begin == '+') ++begin;
  const auto result = std::from_chars(begin, text.data() + text.size(), value);
  return result.ec == std::errc() && result.ptr == text.data() + text.size();
}

bool ParseNumber(std::string_view text, std::uint32_t& value) {
  const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
  return !text.empty() && result.ec == std::errc() && result.ptr == text.data() + text.size();
}

// "name=value" options after the positional tokens.
std::map<std::string, std::uint32_t> Options(const std::vector<Token>& tokens, std::size_t first,
                                             std::size_t line,
                                             std::initializer_list<const char*> allowed) {
  std::map<std::string, std::uint32_t> options;
  for (std::size_t i = first; i < tokens.size(); ++i) {
    const std::string& text = tokens[i].text;
    const std::size_t equals = text.find('=');
    if (tokens[i].kind != Token::Kind::Bare || equals == std::string::npos) {
      Fail(line, "unexpected '" + text + "'");
    }
    const std::string name = text.substr(0, equals);
    bool known = false;
    for (const char* option : allowed) known = known || name == option;
    if (!known) Fail(line, "unknown option '" + name + "'");
    std::uint32_t value;
    if (!ParseNumber(std::string_view(text).substr(equals + 1), value)) {
      Fail(line, "option '" + name + "' needs a number");
    }
    options[name] = value;
  }
  return options;
}

FieldValue ValueOf(const Token& token, const FieldSpec& field, std::size_t line) {
  switch (token.kind) {
    case Token::Kind::Quoted:
      return FieldValue(token.text);
    case Token::Kind::Hex:
      return FieldValue::Bytes(token.text);
    case Token::Kind::Raw:
      return FieldValue::Raw(token.text);
    case Token::Kind::Bare:
      break;
  }
  const std::string& text = token.text;
  if (text == "-") return FieldValue();
  if (text == "true") return FieldValue(true);
  if (text == "false") return FieldValue(false);
  const bool dateType =
      field.typeCode == ftDate || field.typeCode == ftTime || field.typeCode == ftDateTime;
  if (dateType && (text.find(':') != std::string::npos || text.find('-', 1) != std::string::npos)) {
    std::string dateText = text;
    const std::size_t t = dateText.find('T');
    if (t != std::string::npos) dateText[t] = ' ';
    return FieldValue::Date(dateText);
  }
  std::int64_t integer;
  if (ParseInt64(text, integer)) return FieldValue(integer);
  try {
    return FieldValue(StrToFloat(text));
  } catch (const Error&) {
    Fail(line, "cannot read the value '" + text + "' of field " + field.name);
  }
}

std::string TypeName(std::uint8_t code) {
  return code <= kMaxTypeCode ? kTypeNames[code] : std::to_string(code);
}

// Key order of two stored records, field by field as the key search compares them.
int CompareKeys(const TableBuilder& builder, const std::string& a, const std::string& b) {
  for (std::size_t i = 0; i < builder.keyFieldCount(); ++i) {
    const FieldSpec& spec = builder.fields()[i];
    TFieldDescriptor field;
    field.typeCode = spec.typeCode;
    field.size = spec.size;
    const auto* pa = reinterpret_cast<const std::uint8_t*>(a.data()) + spec.offset;
    const auto* pb = reinterpret_cast<const std::uint8_t*>(b.data()) + spec.offset;
    const int result = CompareKeyField(field, pa, StoredKeyOperand(field, pb));
    if (result != 0) return result;
  }
  return 0;
}

std::string Hex(std::string_view bytes) {
  static const char kDigits[] = "0123456789abcdef";
  std::string out;
  for (unsigned char c : bytes) {
    out += kDigits[c >> 4];
    out += kDigits[c & 15];
  }
  return out;
}

// A quoted text, or nothing when the text has characters the description cannot show.
bool Quote(std::string_view text, std::string& out) {
  out = "\"";
  for (unsigned char c : text) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c == '\n') {
      out += "\\n";
    } else if (c == '\r') {
      out += "\\r";
    } else if (c == '\t') {
      out += "\\t";
    } else if (c < 0x20 || c == 0x7F) {
      return false;
    } else {
      out += static_cast<char>(c);
    }
  }
  out += '"';
  return true;
}

}  // namespace

TableBuilder ParseDescription(std::string_view text) {
  std::optional<TableBuilder> builder;
  std::uint16_t key = 0;
  bool keySet = false;
  std::size_t tableLine = 0;
  std::size_t number = 0;
  std::size_t start = 0;
  while (start <= text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    const std::string_view line = text.substr(start, end - start);
    start = end + 1;
    ++number;
    const std::size_t first = line.find_first_not_of(" \t\r");
    const bool comment = first != std::string_view::npos && line[first] == '#';
    const std::vector<Token> tokens = comment ? std::vector<Token>() : Tokenize(line, number);
    if (tokens.empty()) {
      if (end == text.size()) break;
      continue;
    }
    const std::string& statement = tokens[0].text;
    if (tokens[0].kind != Token::Kind::Bare) Fail(number, "a statement must begin the line");
    try {
      if (statement == "table") {
        if (builder) Fail(number, "a second 'table' line");
        auto options = Options(tokens, 1, number, {"codepage", "key", "recordsize"});
        builder.emplace(options.count("codepage") ? options["codepage"] : 1252);
        tableLine = number;
        if (options.count("key")) {
          key = static_cast<std::uint16_t>(std::min<std::uint32_t>(options["key"], 65535));
          keySet = true;
        }
        if (options.count("recordsize")) {
          if (options["recordsize"] > 65535) Fail(number, "the record size exceeds 65535");
          builder->SetRecordSize(static_cast<std::uint16_t>(options["recordsize"]));
        }
      } else if (statement == "field") {
        if (!builder) Fail(number, "'table' must come first");
        if (builder->recordCount() > 0) Fail(number, "fields must come before the records");
        if (tokens.size() < 3) Fail(number, "'field' needs a name and a type");
        if (tokens[1].kind == Token::Kind::Hex || tokens[1].kind == Token::Kind::Raw) {
          Fail(number, "a field name is a word or a quoted text");
        }
        FieldSpec spec;
        spec.name = tokens[1].text;
        std::uint32_t code = 0;
        bool known = false;
        for (std::uint32_t i = 0; i <= kMaxTypeCode; ++i) {
          if (tokens[2].text == kTypeNames[i]) {
            code = i;
            known = true;
          }
        }
        if (!known && (!ParseNumber(tokens[2].text, code) || code > 255)) {
          Fail(number, "unknown field type '" + tokens[2].text + "'");
        }
        spec.typeCode = static_cast<std::uint8_t>(code);
        std::size_t next = 3;
        std::uint32_t size = 0;
        if (next < tokens.size() && tokens[next].text.find('=') == std::string::npos) {
          if (!ParseNumber(tokens[next].text, size) || size == 0 || size > 65535) {
            Fail(number, "bad field size '" + tokens[next].text + "'");
          }
          ++next;
        }
        spec.size = static_cast<std::uint16_t>(size);
        auto options = Options(tokens, next, number, {"at", "codepage"});
        if (options.count("at")) {
          if (options["at"] > 65535) Fail(number, "the offset exceeds 65535");
          spec.offset = static_cast<int>(options["at"]);
        }
        if (options.count("codepage")) spec.codePage = options["codepage"];
        builder->AddField(spec);
      } else if (statement == "record") {
        if (!builder) Fail(number, "'table' must come first");
        if (builder->fields().empty()) Fail(number, "a record before any field");
        if (keySet && builder->recordCount() == 0) {
          try {
            builder->SetKeyFieldCount(key);
          } catch (const Error& error) {
            Fail(tableLine, error.what());
          }
        }
        if (tokens.size() - 1 > builder->fields().size()) {
          Fail(number, std::to_string(tokens.size() - 1) + " values for " +
                           std::to_string(builder->fields().size()) + " fields");
        }
        std::vector<FieldValue> values;
        for (std::size_t i = 1; i < tokens.size(); ++i) {
          values.push_back(ValueOf(tokens[i], builder->fields()[i - 1], number));
        }
        builder->AddRecord(values);
        const std::size_t count = builder->recordCount();
        if (count >= 2 &&
            CompareKeys(*builder, builder->Record(count - 2), builder->Record(count - 1)) > 0) {
          Fail(number, "the record is out of key order");
        }
      } else {
        Fail(number, "unknown statement '" + statement + "'");
      }
    } catch (const Error& error) {
      const std::string message = error.what();
      if (message.rfind("line ", 0) == 0) throw;
      Fail(number, message);
    }
    if (end == text.size()) break;
  }
  if (!builder) throw Error("line " + std::to_string(number) + ": no 'table' line");
  if (builder->fields().empty()) Fail(number, "the table has no fields");
  if (keySet && builder->recordCount() == 0) {
    try {
      builder->SetKeyFieldCount(key);
    } catch (const Error& error) {
      Fail(tableLine, error.what());
    }
  }
  return std::move(*builder);
}

std::string DescribeTable(TATable& table, unsigned codePage, DescribeMode mode) {
  TableBuilder builder(codePage);
  std::string out = "# Table " + platform::AnsiToUtf8(table.Path(), codePage) + "\n";
  out += "table codepage=" + std::to_string(codePage);
  if (table.KeyFieldCount() > 0) out += " key=" + std::to_string(table.KeyFieldCount());
  const auto& descriptors = table.Descriptors();
  int fieldsEnd = 0;
  for (const auto& d : descriptors) fieldsEnd = std::max(fieldsEnd, d.offset + d.size);
  if (table.RecordSize() > fieldsEnd) out += " recordsize=" + std::to_string(table.RecordSize());
  out += "\n";
  int expectedOffset = 0;
  for (const auto& d : descriptors) {
    FieldSpec spec;
    spec.name = platform::AnsiToUtf8(d.name, codePage);
    spec.typeCode = d.typeCode;
    spec.size = d.size;
    spec.offset = d.offset;
    std::string name;
    const bool bare = !spec.name.empty() &&
                      spec.name.find_first_of(" \t\"\\=#") == std::string::npos && spec.name != "-";
    if (bare) {
      name = spec.name;
    } else if (!Quote(spec.name, name)) {
      throw Error("field name " + Hex(d.name) + " cannot be described");
    }
    out += "field " + name + " " + TypeName(d.typeCode);
    if (d.size != NaturalFieldSize(d.typeCode)) out += " " + std::to_string(d.size);
    if (d.offset != expectedOffset) out += " at=" + std::to_string(d.offset);
    out += "\n";
    expectedOffset = d.offset + d.size;
    builder.AddField(spec);
  }

  // A value's token, checked by encoding it again: the first candidate that gives the stored
  // bytes wins (for values, the first that can be built at all), raw bytes being the last
  // resort.
  auto valueToken = [&](std::size_t index, TAField* field) -> std::string {
    const TFieldDescriptor& d = descriptors[index];
    const std::string bytes(reinterpret_cast<const char*>(table.RecordBuffer()) + d.offset, d.size);
    if (d.typeCode >= kFirstMemoTypeCode && d.typeCode <= kMaxTypeCode && field != nullptr) {
      auto* memo = static_cast<TAMBField*>(field);
      std::string contents;
      TStream& stream = memo->AsBlobStream();
      contents.resize(static_cast<std::size_t>(stream.Size()));
      stream.ReadBuffer(contents.data(), stream.Size());
      if (contents.empty()) return "-";
      const std::string utf8 = platform::AnsiToUtf8(contents, codePage);
      std::string quoted;
      if (platform::Utf8ToAnsi(utf8, codePage) == contents && Quote(utf8, quoted)) return quoted;
      return "x\"" + Hex(contents) + "\"";
    }
    std::vector<std::string> candidates;
    if (bytes.find_first_not_of('\0') == std::string::npos) candidates.push_back("-");
    if (field != nullptr) {
      try {
        switch (d.typeCode) {
          case ftString: {
            const std::string stored = field->AsString();
            const std::string utf8 = platform::AnsiToUtf8(stored, codePage);
            std::string quoted;
            if (Quote(utf8, quoted)) candidates.push_back(quoted);
            candidates.push_back("x\"" + Hex(stored) + "\"");
            break;
          }
          case ftSmallInt:
          case ftInteger:
          case ftWord:
            candidates.push_back(std::to_string(field->AsInteger()));
            break;
          case ftBoolean:
            candidates.push_back(field->AsBoolean() ? "true" : "false");
            break;
          case ftFloat:
          case ftDateTime: {
            const double value = field->AsFloat();
            if (d.typeCode == ftDateTime) {
              std::string text = field->AsString();
              const std::size_t blank = text.find(' ');
              if (blank != std::string::npos) text[blank] = 'T';
              candidates.push_back(text);
            }
            char number[64];
            std::snprintf(number, sizeof number, "%.17g", value);
            std::string numberText = number;
            if (numberText.find_first_of(".eE") == std::string::npos) numberText += ".0";
            candidates.push_back(numberText);
            break;
          }
          case ftDate:
          case ftTime: {
            std::string text = field->AsString();
            if (d.typeCode == ftTime) {
              const std::size_t blank = text.find(' ');
              text = blank == std::string::npos ? "00:00:00" : text.substr(blank + 1);
            }
            candidates.push_back(text);
            const auto stored = static_cast<std::int32_t>(platform::LoadU32(bytes.data()));
            candidates.push_back(std::to_string(stored));
            break;
          }
          default:
            break;
        }
      } catch (const Error&) {
        // A value without a text form is described by its bytes.
      }
    }
    for (const std::string& candidate : candidates) {
      try {
        const std::vector<Token> tokens = Tokenize(candidate, 0);
        if (tokens.size() != 1) continue;
        const std::string encoded =
            builder.EncodeValue(index, ValueOf(tokens[0], builder.fields()[index], 0));
        if (encoded == bytes || mode == DescribeMode::Values) return candidate;
      } catch (const Error&) {
      }
    }
    return "raw\"" + Hex(bytes) + "\"";
  };

  for (std::int32_t record = 0; record < table.RecordCount(); ++record) {
    table.GotoRecord(record);
    std::vector<std::string> tokens;
    for (std::size_t i = 0; i < descriptors.size(); ++i) {
      tokens.push_back(valueToken(i, table.Fields(static_cast<std::int32_t>(i))));
    }
    while (!tokens.empty() && tokens.back() == "-") tokens.pop_back();
    out += "record";
    for (const std::string& token : tokens) out += " " + token;
    out += "\n";
  }
  return out;
}

}  // namespace valise::adb
