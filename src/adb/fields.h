// The field classes of a table. Each field of an open TATable is one object of this family,
// chosen by the field's type code; it reads and writes its bytes inside the table's record
// buffer, so it always shows the current record, and converts between the stored form and
// Boolean, date-time, floating-point, integer, text and (memo fields) stream values.
//
// Text is handed out as the stored bytes: single-byte characters in a Windows code page. AsUtf8
// and SetAsUtf8 convert with the code page the caller chooses (0 = the system's ANSI code page).
//
// Date-time values are doubles counting days since 30 December 1899, the time of day being the
// fraction. Their text form is "yyyy-mm-dd", followed by " hh:nn:ss" when the time of day is not
// zero; floats use "." as the decimal separator.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <type_traits>

#include "adb/granular_stream.h"
#include "util/stream.h"

namespace valise::adb {

class TATable;

using TDateTime = double;

// Integer and enumeration types, which key and field values take as integers; bool is a kind
// of its own.
template <typename T>
inline constexpr bool kIsIntegerLike =
    !std::is_same_v<T, bool> && (std::is_integral_v<T> || std::is_enum_v<T>);

// Type codes of the field descriptors.
enum TFieldTypeCode : std::uint8_t {
  ftUnknown = 0,
  ftString = 1,
  ftSmallInt = 2,
  ftInteger = 3,
  ftWord = 4,
  ftBoolean = 5,
  ftFloat = 6,
  ftCurrency = 7,
  ftBCD = 8,
  ftDate = 9,
  ftTime = 10,
  ftDateTime = 11,
  ftBytes = 12,
  ftVarBytes = 13,
  ftBlob = 14,
  ftMemo = 15,
  ftGraphic = 16,
};
inline constexpr std::uint8_t kMaxTypeCode = 16;
inline constexpr std::uint8_t kFirstMemoTypeCode = 12;
inline constexpr std::size_t kMaxFieldNameLength = 40;
inline constexpr std::uint16_t kMemoReferenceSize = 8;

// The natural size of a type (0 when the type needs an explicit size).
std::uint16_t NaturalFieldSize(std::uint8_t typeCode);

// The base class. Every conversion fails with "TAField NAME: nicht nach TARGET konvertierbar";
// the stream transfers fail with "Abstract". Failures leave the record buffer unchanged.
class TAField {
 public:
  TAField() = default;
  virtual ~TAField() = default;
  TAField(const TAField&) = delete;
  TAField& operator=(const TAField&) = delete;

  // Done by TATable::Open: the owning table, the type code, the size in bytes, the field's
  // bytes in the record buffer and the name from the descriptor (stored bytes).
  void Setup(TATable* table, std::uint8_t typeCode, std::uint16_t size, std::uint8_t* data,
             std::string name);

  TATable* Table() const { return table_; }
  const std::string& FieldName() const { return name_; }
  std::uint8_t TypeCode() const { return typeCode_; }
  std::uint16_t Size() const { return size_; }
  // The field's bytes in the record buffer (Size() of them).
  const std::uint8_t* Data() const { return data_; }

  virtual bool AsBoolean();
  virtual TDateTime AsDateTime();
  virtual double AsFloat();
  virtual std::int32_t AsInteger();
  // The text as stored bytes.
  virtual std::string AsString();
  // The memo's bytes as a stream owned by the field, overwritten by the next call.
  virtual TStream& AsBlobStream();
  virtual void SetAsBoolean(bool value);
  virtual void SetAsDateTime(TDateTime value);
  virtual void SetAsFloat(double value);
  virtual void SetAsInteger(std::int32_t value);
  // Stores text given as bytes in the table's code page.
  virtual void SetAsString(std::string_view value);
  // Replaces the memo's bytes with the whole of `source` (null: empty).
  virtual void SetAsBlobStream(TStream* source);
  virtual void LoadFromStream(TStream* source);
  virtual void SaveToStream(TStream& destination);
  // Copies the field's Size() bytes out of, or into, the record buffer.
  virtual bool GetData(void* buffer);
  virtual void SetData(const void* buffer);
  // Drops data held besides the record buffer (memo fields); nothing for the others.
  virtual void Clear() {}

  // The text converted to UTF-8 from, or stored in, the given code page (0 = ANSI).
  std::string AsUtf8(unsigned codePage = 0);
  void SetAsUtf8(std::string_view text, unsigned codePage = 0);

 protected:
  [[noreturn]] void ConversionError(const char* target) const;
  std::uint8_t* MutableData() { return data_; }

 private:
  TATable* table_ = nullptr;
  std::string name_;
  std::uint8_t typeCode_ = 0;
  std::uint16_t size_ = 0;
  std::uint8_t* data_ = nullptr;
};

// Short string: a length byte, then at most Size() - 1 characters.
class TStringField : public TAField {
 public:
  // False for empty text, else true when the first character is one of J, T, Y, j, t, y.
  bool AsBoolean() override;
  TDateTime AsDateTime() override;
  double AsFloat() override;
  std::int32_t AsInteger() override;
  std::string AsString() override;
  void SetAsBoolean(bool value) override;  // "T" / "F"
  void SetAsDateTime(TDateTime value) override;
  void SetAsFloat(double value) override;
  // The first Size() - 1 characters are stored, the rest is cut off silently.
  void SetAsString(std::string_view value) override;
};

// Signed 32-bit integer; the base of the 16-bit integer classes.
class TIntegerField : public TAField {
 public:
  double AsFloat() override;
  std::int32_t AsInteger() override;
  std::string AsString() override;
  void SetAsBoolean(bool value) override;
  // Rounded to the nearest integer, halves to even.
  void SetAsFloat(double value) override;
  void SetAsInteger(std::int32_t value) override;
  void SetAsString(std::string_view value) override;
};

// Signed 16-bit integer; writes store the low 16 bits.
class TSmallIntField : public TIntegerField {
 public:
  std::int32_t AsInteger() override;
  void SetAsInteger(std::int32_t value) override;
};

// Unsigned 16-bit integer; writes store the low 16 bits.
class TWordField : public TIntegerField {
 public:
  std::int32_t AsInteger() override;
  void SetAsInteger(std::int32_t value) override;
};

// One byte: 0 false, anything else true.
class TBooleanField : public TAField {
 public:
  bool AsBoolean() override;
  std::string AsString() override;  // "TRUE" / "FALSE"
  void SetAsBoolean(bool value) override;
  // "TRUE" or "FALSE" in any case; anything else fails with
  // "'%s' is not a valid boolean value for field '%s'".
  void SetAsString(std::string_view value) override;
};

// 64-bit IEEE double.
class TFloatField : public TAField {
 public:
  double AsFloat() override;
  std::int32_t AsInteger() override;  // rounded, halves to even
  std::string AsString() override;    // "%g" with 15 significant digits
  void SetAsFloat(double value) override;
  void SetAsInteger(std::int32_t value) override;
  void SetAsString(std::string_view value) override;
};

// Not interpreted: every conversion fails.
class TCurrencyField : public TAField {};
class TBCDField : public TAField {};

// Date and time values; the stored form follows the type code: 9 whole days (signed 32-bit),
// 10 milliseconds since midnight (signed 32-bit), 11 the double date-time value.
class TDateTimeField : public TAField {
 public:
  TDateTime AsDateTime() override;
  double AsFloat() override;
  std::string AsString() override;
  void SetAsDateTime(TDateTime value) override;
  void SetAsFloat(double value) override;
  void SetAsString(std::string_view value) override;
};
class TDateField : public TDateTimeField {};
class TTimeField : public TDateTimeField {};

// A memo reference (offset and length in the memo file, 8 bytes) whose bytes are loaded on
// demand, at most once per current record.
class TAMBField : public TAField {
 public:
  TAMBField();
  ~TAMBField() override;

  TStream& AsBlobStream() override;
  void SetAsBlobStream(TStream* source) override;
  void LoadFromStream(TStream* source) override;
  void SaveToStream(TStream& destination) override;
  // Empties the memo buffer and forgets what was loaded.
  void Clear() override;

  // Copies the 8-byte reference to `reference`, reports the memo length in `length` and, when
  // `data` is given and the length is above 0, copies up to that many bytes from the memo
  // buffer's position into it.
  virtual bool GetBlobData(void* reference, std::uint32_t& length, void* data = nullptr);
  // Takes the 8-byte reference, sets its length to `length`, empties the memo buffer and, when
  // `data` is given and the length is above 0, writes the bytes into it.
  virtual void SetBlobData(const void* reference, std::uint32_t length, const void* data = nullptr);

  // The reference stored in the record.
  std::uint32_t MemoOffset() const;
  std::uint32_t MemoLength() const;
  // The memo buffer's size when it holds this reference's memo, else the reference's length.
  std::int64_t MemoSize();
  // The memo-file offset whose bytes are loaded, or -1.
  std::int64_t LoadedOffset() const { return loadedOffset_; }

 protected:
  // Reads the memo from the table's memo stream unless it is loaded already. Fails, naming the
  // field, when the reference reaches beyond the end of the memo file.
  void Load();
  TGranularMemoryStream& MemoBuffer() { return buffer_; }
  void SetLoadedOffset(std::int64_t offset) { loadedOffset_ = offset; }

 private:
  std::int64_t loadedOffset_ = -1;
  TGranularMemoryStream buffer_;
  TGranularMemoryStream handOut_;
};

class TBytesField : public TAMBField {};
class TVarBytesField : public TAMBField {};

// Memo fields that are also read and written as text (the memo's bytes as characters).
class TBlobField : public TAMBField {
 public:
  std::string AsString() override;
  void SetAsString(std::string_view value) override;
};
class TMemoField : public TBlobField {};
class TGraphicField : public TBlobField {};

// The field object for a type code; null for a code above 16.
std::unique_ptr<TAField> CreateField(std::uint8_t typeCode);

// The standard text forms and parsers of numbers and date-time values used by the fields.
// The parsers throw valise::Error with the standard conversion messages
// ("'%s' is not a valid integer value", "... floating point value", "... date and time").
std::string DateTimeToStr(TDateTime value);
TDateTime StrToDateTime(std::string_view text);
std::string FloatToStr(double value);  // shortest text with 15 significant digits
double StrToFloat(std::string_view text);
std::int32_t StrToInt(std::string_view text);
// Days since 30 December 1899 for a calendar date, and back.
TDateTime EncodeDate(int year, int month, int day);
void DecodeDate(TDateTime value, int& year, int& month, int& day);

}  // namespace valise::adb
