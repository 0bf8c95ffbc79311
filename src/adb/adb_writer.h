// Building tables: TableBuilder assembles a table file (and its memo file) from fields and
// records, and the text description (see description.h) is the readable form the publisher's
// tool builds tables from. The system itself only reads tables; the writer serves the tool, the
// tests and the benchmarks.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "adb/fields.h"
#include "util/paths.h"

namespace valise::adb {

// One value of a record, in the form the writer stores into the field's type.
class FieldValue {
 public:
  enum class Kind {
    Empty,     // zero bytes (an empty memo)
    Integer,   // integer fields; also date/time/float fields as a number
    Float,     // float and date/time fields; integer fields round halves to even
    Boolean,   // Boolean fields
    Text,      // UTF-8 text, stored in the field's code page (string and memo fields)
    Bytes,     // stored bytes, unconverted (string and memo fields)
    Raw,       // the field's exact stored bytes (any non-memo field; Size() bytes)
    DateText,  // "yyyy-mm-dd[ hh:nn:ss]" or "hh:nn:ss" for date and time fields
  };

  FieldValue() = default;
  // Any integer or enumeration type (not bool, which is a kind of its own).
  template <typename T, std::enable_if_t<kIsIntegerLike<T>, int> = 0>
  FieldValue(T value) : kind_(Kind::Integer), integer_(static_cast<std::int64_t>(value)) {}
  FieldValue(double value) : kind_(Kind::Float), float_(value) {}
  FieldValue(bool value) : kind_(Kind::Boolean), integer_(value ? 1 : 0) {}
  FieldValue(const char* text) : kind_(Kind::Text), text_(text) {}
  FieldValue(std::string text) : kind_(Kind::Text), text_(std::move(text)) {}
  static FieldValue Bytes(std::string bytes) { return FieldValue(Kind::Bytes, std::move(bytes)); }
  static FieldValue Raw(std::string bytes) { return FieldValue(Kind::Raw, std::move(bytes)); }
  static FieldValue Date(std::string text) { return FieldValue(Kind::DateText, std::move(text)); }

  Kind kind() const { return kind_; }
  std::int64_t integer() const { return integer_; }
  double number() const { return float_; }
  const std::string& text() const { return text_; }

 private:
  FieldValue(Kind kind, std::string text) : kind_(kind), text_(std::move(text)) {}
  Kind kind_ = Kind::Empty;
  std::int64_t integer_ = 0;
  double float_ = 0;
  std::string text_;
};

struct FieldSpec {
  std::string name;  // UTF-8, stored in the field's code page; at most 40 bytes stored
  std::uint8_t typeCode = 0;
  std::uint16_t size = 0;  // 0: the type's natural size
  int offset = -1;         // -1: right after the previous field
  unsigned codePage = 0;   // 0: the table's code page
};

class TableBuilder {
 public:
  // `codePage` is the code page text is stored in (0 = the system's ANSI code page).
  explicit TableBuilder(unsigned codePage = 1252) : codePage_(codePage) {}

  // Adds a field; `size` 0 takes the type's natural size (strings and the uninterpreted types
  // need one). Throws valise::Error for an impossible field.
  TableBuilder& AddField(const FieldSpec& spec);
  TableBuilder& AddField(std::string name, std::uint8_t typeCode, std::uint16_t size = 0);
  TableBuilder& SetKeyFieldCount(std::uint16_t count);
  // A record size larger than the fields need (0: what they need).
  TableBuilder& SetRecordSize(std::uint16_t size);
  // Fields must all be added before the first record.
  // Adds a record: values for the leading fields in field order; missing ones stay zero.
  // Throws valise::Error when a value does not fit its field (text too long, wrong kind, ...).
  TableBuilder& AddRecord(const std::vector<FieldValue>& values);

  unsigned codePage() const { return codePage_; }
  const std::vector<FieldSpec>& fields() const { return fields_; }
  std::uint16_t keyFieldCount() const { return keyFieldCount_; }
  std::size_t recordCount() const { return records_.size(); }
  std::uint16_t RecordSize() const;
  bool HasMemo() const;
  // The stored record bytes of record `index`.
  const std::string& Record(std::size_t index) const { return records_.at(index); }

  // The stored bytes of one value of a field that is not a memo (Size() bytes), as AddRecord
  // stores them. Throws valise::Error like AddRecord.
  std::string EncodeValue(std::size_t field, const FieldValue& value) const;

  // The table file's and the memo file's bytes.
  std::string TableBytes() const;
  std::string MemoBytes() const { return memo_; }
  // Writes the table file at `path` (Windows path) and, when a field is a memo, the memo file
  // beside it with the extension ".AMB". Throws OSError when a file cannot be written.
  void WriteFiles(std::string_view path) const;

 private:
  void StoreValue(const FieldSpec& field, std::uint8_t* bytes, const FieldValue& value,
                  std::string* memo) const;

  unsigned codePage_;
  std::vector<FieldSpec> fields_;
  std::uint16_t keyFieldCount_ = 0;
  std::uint16_t recordSize_ = 0;
  std::vector<std::string> records_;
  std::string memo_;
};

// "path.ADB" -> "path.AMB" (util/paths.h), here for the callers that name it adb's.
using valise::ChangeFileExt;

}  // namespace valise::adb
