#include "adb/fields.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>

#include "adb/table.h"
#include "platform/bytes.h"
#include "platform/errors.h"
#include "platform/text.h"

namespace valise::adb {

std::uint16_t NaturalFieldSize(std::uint8_t typeCode) {
  switch (typeCode) {
    case ftSmallInt:
    case ftWord:
      return 2;
    case ftInteger:
    case ftDate:
    case ftTime:
      return 4;
    case ftBoolean:
      return 1;
    case ftFloat:
    case ftDateTime:
    case ftCurrency:
      return 8;
    default:
      return typeCode >= kFirstMemoTypeCode && typeCode <= kMaxTypeCode ? kMemoReferenceSize : 0;
  }
}

namespace {

constexpr double kMillisecondsPerDay = 86400000.0;
// Days from 30 December 1899 to 1 January 1970.
constexpr std::int64_t kUnixEpochDay = 25569;

using platform::LoadDouble;
using platform::LoadU16;
using platform::LoadU32;
using platform::StoreDouble;
using platform::StoreU16;
using platform::StoreU32;

std::string_view TrimBlanks(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

// Rounds to the nearest integer, halves to even; nothing when the result leaves 32 bits.
bool RoundToInt32(double value, std::int32_t& result) {
  if (!std::isfinite(value)) return false;
  const double rounded = std::nearbyint(value);
  // nearbyint follows the rounding mode, which is round-to-nearest-even unless changed; the
  // explicit tie test keeps the result right whatever the mode.
  double even = rounded;
  const double floor = std::floor(value);
  if (value - floor == 0.5) even = std::fmod(floor, 2.0) == 0 ? floor : floor + 1;
  if (even < -2147483648.0 || even > 2147483647.0) return false;
  result = static_cast<std::int32_t>(even);
  return true;
}

// Hinnant's civil-from-days over days since 1970-01-01.
void CivilFromDays(std::int64_t z, int& year, int& month, int& day) {
  z += 719468;
  const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const std::int64_t doe = z - era * 146097;
  const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const std::int64_t y = yoe + era * 400;
  const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const std::int64_t mp = (5 * doy + 2) / 153;
  day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  year = static_cast<int>(y + (month <= 2 ? 1 : 0));
}

std::int64_t DaysFromCivil(int year, int month, int day) {
  const std::int64_t y = year - (month <= 2 ? 1 : 0);
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const std::int64_t yoe = y - era * 400;
  const std::int64_t doy = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
  const std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

bool IsLeapYear(int year) {
  return year % 4 == 0 && (year % 100 != 0 || year % 400 == 0);
}

int DaysInMonth(int year, int month) {
  static constexpr int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

[[noreturn]] void InvalidDateTime(std::string_view text) {
  throw Error("'" + std::string(text) + "' is not a valid date and time");
}

// Reads an unsigned decimal number of 1 to `maxDigits` digits at `pos`.
bool ReadNumber(std::string_view text, std::size_t& pos, int maxDigits, int& value) {
  const std::size_t start = pos;
  value = 0;
  while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9' &&
         static_cast<int>(pos - start) < maxDigits) {
    value = value * 10 + (text[pos] - '0');
    ++pos;
  }
  return pos > start;
}

// "hh:nn[:ss[.zzz]]" at `pos` as a fraction of a day.
bool ParseTime(std::string_view text, std::size_t& pos, double& fraction) {
  int hour, minute, second = 0, millisecond = 0;
  if (!ReadNumber(text, pos, 2, hour) || pos >= text.size() || text[pos] != ':') return false;
  ++pos;
  if (!ReadNumber(text, pos, 2, minute)) return false;
  if (pos < text.size() && text[pos] == ':') {
    ++pos;
    if (!ReadNumber(text, pos, 2, second)) return false;
    if (pos < text.size() && text[pos] == '.') {
      ++pos;
      const std::size_t start = pos;
      if (!ReadNumber(text, pos, 3, millisecond)) return false;
      for (std::size_t digits = pos - start; digits < 3; ++digits) millisecond *= 10;
    }
  }
  if (hour > 23 || minute > 59 || second > 59) return false;
  fraction =
      (((hour * 60.0 + minute) * 60.0 + second) * 1000.0 + millisecond) / kMillisecondsPerDay;
  return true;
}

}  // namespace

// ---- Standard conversions ----

TDateTime EncodeDate(int year, int month, int day) {
  if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1 ||
      day > DaysInMonth(year, month)) {
    throw Error("Invalid argument to date encode");
  }
  return static_cast<double>(DaysFromCivil(year, month, day) + kUnixEpochDay);
}

void DecodeDate(TDateTime value, int& year, int& month, int& day) {
  CivilFromDays(static_cast<std::int64_t>(std::trunc(value)) - kUnixEpochDay, year, month, day);
}

std::string DateTimeToStr(TDateTime value) {
  // Dates from 0001-01-01 to 9999-12-31.
  if (!std::isfinite(value) || value < -693593.0 || value >= 2958466.0) {
    throw Error("'" + FloatToStr(value) + "' is not a valid date and time");
  }
  const double days = std::trunc(value);
  std::int64_t ms = std::llround(std::fabs(value - days) * kMillisecondsPerDay);
  if (ms >= 86400000) ms = 86399999;
  int year, month, day;
  DecodeDate(days, year, month, day);
  char text[40];
  if (ms / 1000 == 0) {
    std::snprintf(text, sizeof text, "%04d-%02d-%02d", year, month, day);
  } else {
    const int seconds = static_cast<int>(ms / 1000);
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", year, month, day,
                  seconds / 3600, seconds / 60 % 60, seconds % 60);
  }
  return text;
}

TDateTime StrToDateTime(std::string_view original) {
  const std::string_view text = TrimBlanks(original);
  std::size_t pos = 0;
  double time = 0;
  // A time alone: "hh:nn[:ss]".
  if (text.size() >= 3 && (text[1] == ':' || text[2] == ':')) {
    if (!ParseTime(text, pos, time) || pos != text.size()) InvalidDateTime(original);
    return time;
  }
  int year, month, day;
  if (!ReadNumber(text, pos, 4, year) || pos >= text.size() || text[pos] != '-') {
    InvalidDateTime(original);
  }
  ++pos;
  if (!ReadNumber(text, pos, 2, month) || pos >= text.size() || text[pos] != '-') {
    InvalidDateTime(original);
  }
  ++pos;
  if (!ReadNumber(text, pos, 2, day)) InvalidDateTime(original);
  if (year < 1 || month < 1 || month > 12 || day < 1 || day > DaysInMonth(year, month)) {
    InvalidDateTime(original);
  }
  if (pos < text.size()) {
    if (text[pos] != ' ' && text[pos] != 'T') InvalidDateTime(original);
    ++pos;
    if (!ParseTime(text, pos, time) || pos != text.size()) InvalidDateTime(original);
  }
  const double date = EncodeDate(year, month, day);
  return date < 0 ? date - time : date + time;
}

std::string FloatToStr(double value) {
  char text[64];
  std::snprintf(text, sizeof text, "%.15g", value);
  return text;
}

double StrToFloat(std::string_view original) {
  std::string_view text = TrimBlanks(original);
  bool negative = false;
  if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
    negative = text.front() == '-';
    text.remove_prefix(1);
  }
  double value = 0;
  // Only digits, a point and an exponent: no "inf", "nan" or hexadecimal forms.
  const bool plain =
      !text.empty() && (std::isdigit(static_cast<unsigned char>(text[0])) || text[0] == '.');
  const auto result =
      std::from_chars(text.data(), text.data() + text.size(), value, std::chars_format::general);
  if (!plain || result.ec != std::errc() || result.ptr != text.data() + text.size() ||
      !std::isfinite(value)) {
    throw Error("'" + std::string(original) + "' is not a valid floating point value");
  }
  return negative ? -value : value;
}

std::int32_t StrToInt(std::string_view original) {
  std::string_view text = TrimBlanks(original);
  bool negative = false;
  if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
    negative = text.front() == '-';
    text.remove_prefix(1);
  }
  int base = 10;
  if (!text.empty() && text.front() == '$') {
    base = 16;
    text.remove_prefix(1);
  } else if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    base = 16;
    text.remove_prefix(2);
  }
  std::int64_t value = 0;
  const auto result = std::from_chars(text.data(), text.data() + text.size(), value, base);
  if (text.empty() || result.ec != std::errc() || result.ptr != text.data() + text.size() ||
      (negative ? -value : value) < std::numeric_limits<std::int32_t>::min() ||
      (negative ? -value : value) > std::numeric_limits<std::int32_t>::max()) {
    throw Error("'" + std::string(original) + "' is not a valid integer value");
  }
  return static_cast<std::int32_t>(negative ? -value : value);
}

// ---- TAField ----

void TAField::Setup(TATable* table, std::uint8_t typeCode, std::uint16_t size, std::uint8_t* data,
                    std::string name) {
  table_ = table;
  typeCode_ = typeCode;
  size_ = size;
  data_ = data;
  name_ = std::move(name);
}

void TAField::ConversionError(const char* target) const {
  throw Error("TAField " + name_ + ": nicht nach " + target + " konvertierbar");
}

bool TAField::AsBoolean() {
  ConversionError("Boolean");
}
TDateTime TAField::AsDateTime() {
  ConversionError("DateTime");
}
double TAField::AsFloat() {
  ConversionError("Float");
}
std::int32_t TAField::AsInteger() {
  ConversionError("Integer");
}
std::string TAField::AsString() {
  ConversionError("String");
}
TStream& TAField::AsBlobStream() {
  ConversionError("BlobStream");
}
void TAField::SetAsBoolean(bool) {
  ConversionError("Boolean");
}
void TAField::SetAsDateTime(TDateTime) {
  ConversionError("DateTime");
}
void TAField::SetAsFloat(double) {
  ConversionError("Float");
}
void TAField::SetAsInteger(std::int32_t) {
  ConversionError("Integer");
}
void TAField::SetAsString(std::string_view) {
  ConversionError("String");
}
void TAField::SetAsBlobStream(TStream*) {
  ConversionError("BlobStream");
}
void TAField::LoadFromStream(TStream*) {
  throw Error("Abstract");
}
void TAField::SaveToStream(TStream&) {
  throw Error("Abstract");
}

bool TAField::GetData(void* buffer) {
  std::memcpy(buffer, data_, size_);
  return true;
}

void TAField::SetData(const void* buffer) {
  std::memcpy(data_, buffer, size_);
}

std::string TAField::AsUtf8(unsigned codePage) {
  return platform::AnsiToUtf8(AsString(), codePage);
}

void TAField::SetAsUtf8(std::string_view text, unsigned codePage) {
  SetAsString(platform::Utf8ToAnsi(text, codePage));
}

// ---- TStringField ----

std::string TStringField::AsString() {
  // A length byte beyond the field is cut to the field: the bytes after it belong to others.
  const std::size_t length = std::min<std::size_t>(Data()[0], Size() > 0 ? Size() - 1u : 0u);
  return std::string(reinterpret_cast<const char*>(Data()) + 1, length);
}

bool TStringField::AsBoolean() {
  const std::string text = AsString();
  if (text.empty()) return false;
  return std::strchr("JTYjty", text[0]) != nullptr && text[0] != '\0';
}

TDateTime TStringField::AsDateTime() {
  return StrToDateTime(AsString());
}
double TStringField::AsFloat() {
  return StrToFloat(AsString());
}
std::int32_t TStringField::AsInteger() {
  return StrToInt(AsString());
}
void TStringField::SetAsBoolean(bool value) {
  SetAsString(value ? "T" : "F");
}
void TStringField::SetAsDateTime(TDateTime value) {
  SetAsString(DateTimeToStr(value));
}
void TStringField::SetAsFloat(double value) {
  SetAsString(FloatToStr(value));
}

void TStringField::SetAsString(std::string_view value) {
  const std::size_t capacity = Size() > 0 ? Size() - 1u : 0u;
  const std::size_t length = std::min<std::size_t>({value.size(), capacity, 255});
  std::uint8_t* data = MutableData();
  data[0] = static_cast<std::uint8_t>(length);
  std::memcpy(data + 1, value.data(), length);
  std::memset(data + 1 + length, 0, capacity - length);
}

// ---- Integer classes ----

std::int32_t TIntegerField::AsInteger() {
  return static_cast<std::int32_t>(LoadU32(Data()));
}
double TIntegerField::AsFloat() {
  return AsInteger();
}
std::string TIntegerField::AsString() {
  return std::to_string(AsInteger());
}
void TIntegerField::SetAsBoolean(bool value) {
  SetAsInteger(value ? 1 : 0);
}

void TIntegerField::SetAsFloat(double value) {
  std::int32_t integer;
  if (!RoundToInt32(value, integer)) ConversionError("Integer");
  SetAsInteger(integer);
}

void TIntegerField::SetAsInteger(std::int32_t value) {
  StoreU32(MutableData(), static_cast<std::uint32_t>(value));
}

void TIntegerField::SetAsString(std::string_view value) {
  SetAsInteger(StrToInt(value));
}

std::int32_t TSmallIntField::AsInteger() {
  return static_cast<std::int16_t>(LoadU16(Data()));
}
void TSmallIntField::SetAsInteger(std::int32_t value) {
  StoreU16(MutableData(), static_cast<std::uint16_t>(value));
}

std::int32_t TWordField::AsInteger() {
  return LoadU16(Data());
}
void TWordField::SetAsInteger(std::int32_t value) {
  StoreU16(MutableData(), static_cast<std::uint16_t>(value));
}

// ---- TBooleanField ----

bool TBooleanField::AsBoolean() {
  return Data()[0] != 0;
}
std::string TBooleanField::AsString() {
  return AsBoolean() ? "TRUE" : "FALSE";
}
void TBooleanField::SetAsBoolean(bool value) {
  MutableData()[0] = value ? 1 : 0;
}

void TBooleanField::SetAsString(std::string_view value) {
  std::string upper(value);
  for (char& c : upper) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  if (upper == "FALSE") {
    SetAsBoolean(false);
  } else if (upper == "TRUE") {
    SetAsBoolean(true);
  } else {
    throw Error("'" + std::string(value) + "' is not a valid boolean value for field '" +
                FieldName() + "'");
  }
}

// ---- TFloatField ----

double TFloatField::AsFloat() {
  return LoadDouble(Data());
}

std::int32_t TFloatField::AsInteger() {
  std::int32_t result;
  // A value that leaves the 32-bit range (or is no number) has no integer to give.
  if (!RoundToInt32(AsFloat(), result)) ConversionError("Integer");
  return result;
}

std::string TFloatField::AsString() {
  return FloatToStr(AsFloat());
}
void TFloatField::SetAsFloat(double value) {
  StoreDouble(MutableData(), value);
}
void TFloatField::SetAsInteger(std::int32_t value) {
  SetAsFloat(value);
}
void TFloatField::SetAsString(std::string_view value) {
  SetAsFloat(StrToFloat(value));
}

// ---- TDateTimeField ----

TDateTime TDateTimeField::AsDateTime() {
  switch (TypeCode()) {
    case ftDate:
      return static_cast<std::int32_t>(LoadU32(Data()));
    case ftTime:
      return static_cast<std::int32_t>(LoadU32(Data())) / kMillisecondsPerDay;
    default:
      return LoadDouble(Data());
  }
}

void TDateTimeField::SetAsDateTime(TDateTime value) {
  switch (TypeCode()) {
    case ftDate: {
      const double days = std::trunc(value);
      if (!std::isfinite(days) || days < -2147483648.0 || days > 2147483647.0) {
        ConversionError("DateTime");
      }
      StoreU32(MutableData(), static_cast<std::uint32_t>(static_cast<std::int32_t>(days)));
      break;
    }
    case ftTime: {
      if (!std::isfinite(value)) ConversionError("DateTime");
      const double ms = std::trunc((value - std::trunc(value)) * kMillisecondsPerDay);
      StoreU32(MutableData(), static_cast<std::uint32_t>(static_cast<std::int32_t>(ms)));
      break;
    }
    case ftDateTime:
      StoreDouble(MutableData(), value);
      break;
    default:
      break;
  }
}

double TDateTimeField::AsFloat() {
  return AsDateTime();
}
void TDateTimeField::SetAsFloat(double value) {
  SetAsDateTime(value);
}
std::string TDateTimeField::AsString() {
  return DateTimeToStr(AsDateTime());
}
void TDateTimeField::SetAsString(std::string_view value) {
  SetAsDateTime(StrToDateTime(value));
}

// ---- Memo fields ----

TAMBField::TAMBField() = default;
TAMBField::~TAMBField() = default;

std::uint32_t TAMBField::MemoOffset() const {
  return LoadU32(Data());
}
std::uint32_t TAMBField::MemoLength() const {
  return LoadU32(Data() + 4);
}

std::int64_t TAMBField::MemoSize() {
  return loadedOffset_ == MemoOffset() ? buffer_.Size() : MemoLength();
}

void TAMBField::Load() {
  const std::uint32_t offset = MemoOffset();
  if (offset == loadedOffset_) return;
  buffer_.Clear();
  const std::uint32_t length = MemoLength();
  if (length > 0) {
    TStream* memo = Table() != nullptr ? Table()->MemoStream() : nullptr;
    if (memo == nullptr) {
      throw Error("TAField " + FieldName() + ": the table has no memo file");
    }
    // Checked before reading, so that a damaged reference neither reads garbage nor makes the
    // buffer grow to a length the file cannot supply.
    if (static_cast<std::int64_t>(offset) + length > Table()->MemoSize()) {
      throw Error("TAField " + FieldName() + ": the memo at offset " + std::to_string(offset) +
                  " with " + std::to_string(length) +
                  " bytes reaches beyond the end of the memo file (" +
                  std::to_string(Table()->MemoSize()) + " bytes)");
    }
    memo->SetPosition(offset);
    buffer_.CopyFrom(*memo, length);
    buffer_.SetPosition(0);
  }
  loadedOffset_ = offset;
}

TStream& TAMBField::AsBlobStream() {
  Load();
  handOut_.Clear();
  const std::int64_t size = std::min(MemoSize(), buffer_.Size());
  if (size > 0) handOut_.WriteBuffer(buffer_.Memory(), size);
  handOut_.SetPosition(0);
  return handOut_;
}

void TAMBField::SaveToStream(TStream& destination) {
  Load();
  if (buffer_.Size() > 0) destination.WriteBuffer(buffer_.Memory(), buffer_.Size());
}

void TAMBField::LoadFromStream(TStream* source) {
  loadedOffset_ = MemoOffset();
  buffer_.Clear();
  if (source != nullptr) {
    source->SetPosition(0);
    const std::int64_t size = source->Size();
    if (size > 0) buffer_.CopyFrom(*source, size);
    buffer_.SetPosition(0);
  }
}

void TAMBField::SetAsBlobStream(TStream* source) {
  LoadFromStream(source);
}

void TAMBField::Clear() {
  buffer_.Clear();
  loadedOffset_ = -1;
}

bool TAMBField::GetBlobData(void* reference, std::uint32_t& length, void* data) {
  std::memcpy(reference, Data(), kMemoReferenceSize);
  length = MemoLength();
  if (data != nullptr && length > 0) {
    buffer_.Read(data, std::min<std::int64_t>(buffer_.Size(), length));
  }
  return true;
}

void TAMBField::SetBlobData(const void* reference, std::uint32_t length, const void* data) {
  std::memcpy(MutableData(), reference, kMemoReferenceSize);
  StoreU32(MutableData() + 4, length);
  buffer_.Clear();
  if (data != nullptr && length > 0) {
    buffer_.WriteBuffer(data, length);
    buffer_.SetPosition(0);
  }
}

std::string TBlobField::AsString() {
  Load();
  const std::int64_t size = std::min(MemoSize(), MemoBuffer().Size());
  if (size <= 0) return {};
  return std::string(MemoBuffer().Memory(), static_cast<std::size_t>(size));
}

void TBlobField::SetAsString(std::string_view value) {
  SetLoadedOffset(MemoOffset());
  MemoBuffer().SetSize(static_cast<std::int64_t>(value.size()));
  if (!value.empty()) std::memcpy(MemoBuffer().Memory(), value.data(), value.size());
  MemoBuffer().SetPosition(0);
}

std::unique_ptr<TAField> CreateField(std::uint8_t typeCode) {
  switch (typeCode) {
    case ftUnknown:
      return std::make_unique<TAField>();
    case ftString:
      return std::make_unique<TStringField>();
    case ftSmallInt:
      return std::make_unique<TSmallIntField>();
    case ftInteger:
      return std::make_unique<TIntegerField>();
    case ftWord:
      return std::make_unique<TWordField>();
    case ftBoolean:
      return std::make_unique<TBooleanField>();
    case ftFloat:
      return std::make_unique<TFloatField>();
    case ftCurrency:
      return std::make_unique<TCurrencyField>();
    case ftBCD:
      return std::make_unique<TBCDField>();
    case ftDate:
    case ftDateTime:
      return std::make_unique<TDateField>();
    case ftTime:
      return std::make_unique<TTimeField>();
    case ftBytes:
      return std::make_unique<TBytesField>();
    case ftVarBytes:
      return std::make_unique<TVarBytesField>();
    case ftBlob:
      return std::make_unique<TBlobField>();
    case ftMemo:
      return std::make_unique<TMemoField>();
    case ftGraphic:
      return std::make_unique<TGraphicField>();
    default:
      return nullptr;
  }
}

}  // namespace valise::adb
