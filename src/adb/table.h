// TATable: a read-only table of the system's own table format, opened out of the baggage or
// from the disk.
//
// A table file (".ADB") holds a 19-byte header (signature, field count, record count, record
// size, memo flag, key field count, length of the descriptor area), one 46-byte descriptor per
// field (type code, size, offset in the record, name) and fixed-size records. When the memo flag
// is set, a memo file of the same name with the extension ".AMB" holds the variable-length
// contents the memo fields refer to. The leading KeyFieldCount fields form the sort key.
//
// Messages are those of the table component: partly German, prefixed by the component's name or
// "TATable".
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "adb/fields.h"
#include "util/stream.h"

namespace valise::adb {

enum TDataSetState { dsInactive, dsBrowse };

// One value of a key search: an integer, a character, a date-time, a string (stored bytes), or
// a value of another kind (refused by the search).
class TKeyValue {
 public:
  enum class Kind { Integer, Char, DateTime, String, Boolean, Other };

  // Any integer or enumeration type (not bool or char, which are kinds of their own).
  template <typename T, std::enable_if_t<kIsIntegerLike<T> && !std::is_same_v<T, char>, int> = 0>
  TKeyValue(T value) : kind_(Kind::Integer), integer_(static_cast<std::int64_t>(value)) {}
  TKeyValue(char value) : kind_(Kind::Char), text_(1, value) {}
  TKeyValue(bool value) : kind_(Kind::Boolean), integer_(value ? 1 : 0) {}
  TKeyValue(std::string value) : kind_(Kind::String), text_(std::move(value)) {}
  TKeyValue(const char* value) : kind_(Kind::String), text_(value) {}
  TKeyValue(std::string_view value) : kind_(Kind::String), text_(value) {}
  static TKeyValue DateTime(TDateTime value) {
    TKeyValue key(0);
    key.kind_ = Kind::DateTime;
    key.dateTime_ = value;
    return key;
  }
  static TKeyValue OtherKind() {
    TKeyValue key(0);
    key.kind_ = Kind::Other;
    return key;
  }

  Kind kind() const { return kind_; }
  std::int64_t integer() const { return integer_; }
  TDateTime dateTime() const { return dateTime_; }
  const std::string& text() const { return text_; }

 private:
  Kind kind_;
  std::int64_t integer_ = 0;
  TDateTime dateTime_ = 0;
  std::string text_;
};

// A field descriptor as read from the table file.
struct TFieldDescriptor {
  std::uint8_t typeCode = 0;
  std::uint16_t size = 0;
  std::uint16_t offset = 0;
  std::string name;  // stored bytes, at most 40
};

// What a stored key field is compared with: the text for a string field, the number for an
// integer field (smallint, integer, word), the stored count for a date or time field.
struct KeyOperand {
  std::string_view text;
  std::int64_t integer = 0;
  double count = 0;
};

// The key order of a table, one field at a time: negative, zero or positive as the stored key
// field is smaller than, equal to or greater than the operand. Strings compare by their bytes,
// then by length; fields of other types take no part in the order (zero).
int CompareKeyField(const TFieldDescriptor& field, const std::uint8_t* stored,
                    const KeyOperand& operand);
// The operand that another stored value of the same field stands for.
KeyOperand StoredKeyOperand(const TFieldDescriptor& field, const std::uint8_t* stored);

inline constexpr std::size_t kHeaderSize = 19;
inline constexpr std::size_t kDescriptorSize = 46;
inline constexpr char kSignature[] = "\x05KQADB";  // length byte and characters, 6 bytes
inline constexpr std::int32_t kDefaultAllBufMaxSize = 65520;

class TATable {
 public:
  // `name` is the component's name, used as the prefix of its messages ("TATable" when empty).
  explicit TATable(std::string name = {});
  virtual ~TATable();
  TATable(const TATable&) = delete;
  TATable& operator=(const TATable&) = delete;

  const std::string& Name() const { return name_; }
  void SetName(std::string name) { name_ = std::move(name); }

  // Published properties.
  bool GetAll() const { return getAll_; }
  void SetGetAll(bool value) { getAll_ = value; }
  const std::string& DatabaseName() const { return databaseName_; }
  // Fails unless the table is inactive; stores the directory unchanged.
  void SetDatabaseName(std::string_view directory);
  const std::string& TableName() const { return tableName_; }
  // Fails unless the table is inactive; stores the name upper-cased with the extension ".ADB".
  void SetTableName(std::string_view name);
  bool Active() const { return active_; }
  void SetActive(bool value);
  std::int32_t AllBufMaxSize() const { return allBufMaxSize_; }
  void SetAllBufMaxSize(std::int32_t value) { allBufMaxSize_ = value; }
  bool ExternalTable() const { return externalTable_; }
  void SetExternalTable(bool value) { externalTable_ = value; }

  // Opens the table (nothing when active) and makes record 0 current. A failure after the
  // table stream was opened leaves the table closed with nothing allocated.
  void Open();
  // Releases streams, buffers, descriptors and field objects.
  void Close();
  void First();
  // Makes record `index` current, clamped to the records there are; reads it when forced or
  // when it differs from the current one.
  void GotoRecord(std::int32_t index, bool forced = false);
  void Refresh();
  // Zeroes the record buffer; with a memo file, clears every field.
  void ClearBuffer();
  // The field stored under `name` upper-cased (cut to 40 characters); fails when there is none.
  TAField& FieldByName(std::string_view name);
  // The first field whose name equals `name` without regard to case, or null.
  TAField* FindField(std::string_view name);
  // Binary search on the key with the leading values (those beyond KeyFieldCount are ignored).
  // Lands on the first matching record and returns true. Without a match: with `exact` the
  // current record stays, otherwise the table goes to the first record whose key is greater
  // (the last record when there is none); the result is false.
  bool GotoKey(const std::vector<TKeyValue>& values, bool exact);
  bool FindKey(const std::vector<TKeyValue>& values) { return GotoKey(values, true); }
  bool HasMemo() const { return memoStream_ != nullptr; }

  // State of the open table.
  TDataSetState State() const { return state_; }
  const std::string& Path() const { return path_; }  // upper case
  std::int32_t RecordCount() const { return recordCount_; }
  std::int32_t RecordSize() const { return recordSize_; }
  std::int64_t DataOffset() const { return dataOffset_; }
  std::int32_t KeyFieldCount() const { return keyFieldCount_; }
  std::int32_t KeyLength() const { return keyLength_; }
  std::int32_t RecordIndex() const { return recordIndex_; }
  bool Eof() const { return eof_; }
  std::int32_t FieldCount() const { return static_cast<std::int32_t>(fields_.size()); }
  // The field object of field `index`; null for a field of an unknown type code.
  TAField* Fields(std::int32_t index) const { return fields_.at(index).get(); }
  const std::vector<TFieldDescriptor>& Descriptors() const { return descriptors_; }
  const std::uint8_t* RecordBuffer() const { return recordBuffer_.get(); }
  // True when the record area was read into memory on open.
  bool Buffered() const { return buffered_; }
  // The memo stream (null without a memo file); memo fields read through it.
  TStream* MemoStream() const { return memoStream_.get(); }
  // The length of the memo file.
  std::int64_t MemoSize() const { return memoSize_; }

  // The message prefix of table errors: "TATable: " or the component name and ": ".
  std::string ErrorPrefix() const;

 protected:
  // Opens a table or memo file for reading: from the disk (denying other writers) with
  // ExternalTable, otherwise out of the baggage. Tests and tools override it to read from
  // memory.
  virtual std::unique_ptr<TStream> OpenStream(const std::string& path);

 private:
  void OpenGuarded();
  void CheckActive() const;
  void CheckInactive() const;
  void ReadKey(std::int32_t record);
  int CompareKey(const std::vector<TKeyValue>& values, std::size_t count);

  std::string name_;
  bool getAll_ = false;
  std::string databaseName_;
  std::string tableName_;
  bool active_ = false;
  std::int32_t allBufMaxSize_ = kDefaultAllBufMaxSize;
  bool externalTable_ = false;

  std::string path_;
  std::unique_ptr<TStream> tableStream_;
  std::unique_ptr<TStream> memoStream_;
  std::int64_t memoSize_ = 0;
  std::int32_t recordCount_ = 0;
  std::int32_t recordSize_ = 0;
  std::int64_t dataOffset_ = 0;
  std::int32_t keyFieldCount_ = 0;
  std::int32_t keyLength_ = 0;
  std::vector<TFieldDescriptor> descriptors_;
  std::vector<std::unique_ptr<TAField>> fields_;
  std::vector<std::int32_t> memoFields_;
  std::unique_ptr<std::uint8_t[]> recordBuffer_;
  std::vector<std::uint8_t> keyBuffer_;
  std::vector<std::uint8_t> allBuffer_;
  bool buffered_ = false;
  std::int32_t recordIndex_ = -1;
  bool eof_ = false;
  TDataSetState state_ = dsInactive;
};

}  // namespace valise::adb
