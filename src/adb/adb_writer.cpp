#include "adb/adb_writer.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "adb/table.h"
#include "platform/bytes.h"
#include "platform/errors.h"
#include "platform/files.h"
#include "platform/text.h"

namespace valise::adb {
namespace {

using platform::StoreU32;

bool IsMemoType(std::uint8_t code) {
  return code >= kFirstMemoTypeCode && code <= kMaxTypeCode;
}

const char* KindName(FieldValue::Kind kind) {
  switch (kind) {
    case FieldValue::Kind::Empty:
      return "an empty value";
    case FieldValue::Kind::Integer:
      return "an integer";
    case FieldValue::Kind::Float:
      return "a floating-point number";
    case FieldValue::Kind::Boolean:
      return "a Boolean";
    case FieldValue::Kind::Text:
      return "a text";
    case FieldValue::Kind::Bytes:
      return "bytes";
    case FieldValue::Kind::Raw:
      return "raw field bytes";
    case FieldValue::Kind::DateText:
      return "a date or time";
  }
  return "a value";
}

}  // namespace

TableBuilder& TableBuilder::AddField(std::string name, std::uint8_t typeCode, std::uint16_t size) {
  FieldSpec spec;
  spec.name = std::move(name);
  spec.typeCode = typeCode;
  spec.size = size;
  return AddField(spec);
}

TableBuilder& TableBuilder::AddField(const FieldSpec& given) {
  if (!records_.empty()) throw Error("fields must come before the records");
  FieldSpec spec = given;
  const unsigned codePage = spec.codePage != 0 ? spec.codePage : codePage_;
  if (spec.name.empty()) throw Error("a field needs a name");
  if (platform::Utf8ToAnsi(spec.name, codePage).size() > kMaxFieldNameLength) {
    throw Error("field name " + spec.name + " is longer than 40 characters");
  }
  if (spec.size == 0) spec.size = NaturalFieldSize(spec.typeCode);
  if (spec.size == 0) throw Error("field " + spec.name + " needs a size");
  if (IsMemoType(spec.typeCode) && spec.size != kMemoReferenceSize) {
    throw Error("memo field " + spec.name + " must be 8 bytes");
  }
  if (spec.size < NaturalFieldSize(spec.typeCode) && spec.typeCode != ftCurrency) {
    throw Error("field " + spec.name + " needs at least " +
                std::to_string(NaturalFieldSize(spec.typeCode)) + " bytes");
  }
  if (spec.offset < 0) {
    int end = 0;
    for (const FieldSpec& field : fields_) end = std::max(end, field.offset + field.size);
    spec.offset = end;
  }
  if (spec.offset + spec.size > 65535) throw Error("field " + spec.name + " ends beyond 65535");
  for (const FieldSpec& field : fields_) {
    if (field.name == spec.name) throw Error("field " + spec.name + " is defined twice");
  }
  fields_.push_back(std::move(spec));
  return *this;
}

TableBuilder& TableBuilder::SetKeyFieldCount(std::uint16_t count) {
  if (count > fields_.size()) {
    throw Error("the key has " + std::to_string(count) + " fields but the table only " +
                std::to_string(fields_.size()));
  }
  keyFieldCount_ = count;
  return *this;
}

TableBuilder& TableBuilder::SetRecordSize(std::uint16_t size) {
  if (!records_.empty()) throw Error("the record size must be set before the records");
  recordSize_ = size;
  return *this;
}

std::uint16_t TableBuilder::RecordSize() const {
  int size = recordSize_;
  for (const FieldSpec& field : fields_) size = std::max(size, field.offset + field.size);
  return static_cast<std::uint16_t>(size);
}

bool TableBuilder::HasMemo() const {
  return std::any_of(fields_.begin(), fields_.end(),
                     [](const FieldSpec& field) { return IsMemoType(field.typeCode); });
}

void TableBuilder::StoreValue(const FieldSpec& spec, std::uint8_t* bytes, const FieldValue& value,
                              std::string* memo) const {
  using Kind = FieldValue::Kind;
  const unsigned codePage = spec.codePage != 0 ? spec.codePage : codePage_;
  const std::uint8_t code = spec.typeCode;
  auto refuse = [&]() -> void {
    throw Error("field " + spec.name + " does not take " + KindName(value.kind()));
  };
  // Text in the field's code page; refused when a character has no byte there.
  auto stored = [&]() -> std::string {
    if (value.kind() == Kind::Bytes) return value.text();
    std::string converted = platform::Utf8ToAnsi(value.text(), codePage);
    if (platform::AnsiToUtf8(converted, codePage) != value.text()) {
      throw Error("field " + spec.name + ": the text \"" + value.text() +
                  "\" cannot be stored in code page " + std::to_string(codePage));
    }
    return converted;
  };

  if (value.kind() == Kind::Empty) return;
  if (value.kind() == Kind::Raw) {
    if (IsMemoType(code)) refuse();
    if (value.text().size() != spec.size) {
      throw Error("field " + spec.name + " takes " + std::to_string(spec.size) +
                  " raw bytes, not " + std::to_string(value.text().size()));
    }
    std::memcpy(bytes, value.text().data(), spec.size);
    return;
  }

  if (IsMemoType(code)) {
    if (value.kind() != Kind::Text && value.kind() != Kind::Bytes) refuse();
    if (memo == nullptr) throw Error("field " + spec.name + " is a memo field");
    const std::string contents = stored();
    if (contents.empty()) return;
    if (memo->size() + contents.size() > std::numeric_limits<std::uint32_t>::max()) {
      throw Error("the memo file would exceed 4 GiB");
    }
    StoreU32(bytes, static_cast<std::uint32_t>(memo->size()));
    StoreU32(bytes + 4, static_cast<std::uint32_t>(contents.size()));
    *memo += contents;
    return;
  }

  // The field classes encode the values, so that the writer stores exactly what a table's
  // fields would.
  std::unique_ptr<TAField> field = CreateField(code);
  if (!field) refuse();
  field->Setup(nullptr, code, spec.size, bytes, spec.name);
  switch (code) {
    case ftString:
      if (value.kind() != Kind::Text && value.kind() != Kind::Bytes) refuse();
      {
        const std::string text = stored();
        if (text.size() + 1 > spec.size || text.size() > 255) {
          throw Error("field " + spec.name + " holds at most " + std::to_string(spec.size - 1) +
                      " characters, not " + std::to_string(text.size()));
        }
        field->SetAsString(text);
      }
      return;
    case ftSmallInt:
    case ftInteger:
    case ftWord: {
      if (value.kind() != Kind::Integer) refuse();
      const std::int64_t v = value.integer();
      const std::int64_t low = code == ftSmallInt ? -32768 : (code == ftWord ? 0 : INT32_MIN);
      const std::int64_t high = code == ftSmallInt ? 32767 : (code == ftWord ? 65535 : INT32_MAX);
      if (v < low || v > high) {
        throw Error("field " + spec.name + ": " + std::to_string(v) + " is out of range");
      }
      field->SetAsInteger(static_cast<std::int32_t>(v));
      return;
    }
    case ftBoolean:
      if (value.kind() != Kind::Boolean) refuse();
      field->SetAsBoolean(value.integer() != 0);
      return;
    case ftFloat:
      if (value.kind() == Kind::Integer) {
        field->SetAsFloat(static_cast<double>(value.integer()));
      } else if (value.kind() == Kind::Float) {
        field->SetAsFloat(value.number());
      } else {
        refuse();
      }
      return;
    case ftDate:
    case ftTime:
    case ftDateTime:
      if (value.kind() == Kind::Integer) {
        if (code != ftDateTime) {
          // Whole numbers are the stored day or millisecond count.
          if (value.integer() < INT32_MIN || value.integer() > INT32_MAX) {
            throw Error("field " + spec.name + ": " + std::to_string(value.integer()) +
                        " is out of range");
          }
          StoreU32(bytes, static_cast<std::uint32_t>(static_cast<std::int32_t>(value.integer())));
        } else {
          field->SetAsDateTime(static_cast<double>(value.integer()));
        }
      } else if (value.kind() == Kind::Float) {
        field->SetAsDateTime(value.number());
      } else if (value.kind() == Kind::DateText || value.kind() == Kind::Text) {
        field->SetAsString(value.text());
      } else {
        refuse();
      }
      return;
    default:
      refuse();
  }
}

std::string TableBuilder::EncodeValue(std::size_t field, const FieldValue& value) const {
  const FieldSpec& spec = fields_.at(field);
  std::string bytes(spec.size, '\0');
  StoreValue(spec, reinterpret_cast<std::uint8_t*>(bytes.data()), value, nullptr);
  return bytes;
}

TableBuilder& TableBuilder::AddRecord(const std::vector<FieldValue>& values) {
  if (values.size() > fields_.size()) {
    throw Error(std::to_string(values.size()) + " values for " + std::to_string(fields_.size()) +
                " fields");
  }
  if (records_.size() >= static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max())) {
    throw Error("too many records");
  }
  std::string record(RecordSize(), '\0');
  std::string memo = memo_;
  for (std::size_t i = 0; i < values.size(); ++i) {
    const FieldSpec& spec = fields_[i];
    StoreValue(spec, reinterpret_cast<std::uint8_t*>(record.data()) + spec.offset, values[i],
               &memo);
  }
  memo_ = std::move(memo);
  records_.push_back(std::move(record));
  return *this;
}

std::string TableBuilder::TableBytes() const {
  if (fields_.empty()) throw Error("a table needs at least one field");
  std::string out;
  out.append(kSignature, 6);
  platform::AppendU16(out, static_cast<std::uint16_t>(fields_.size()));
  platform::AppendU32(out, static_cast<std::uint32_t>(records_.size()));
  platform::AppendU16(out, RecordSize());
  out += static_cast<char>(HasMemo() ? 1 : 0);
  platform::AppendU16(out, keyFieldCount_);
  const std::size_t descriptorBytes = fields_.size() * kDescriptorSize;
  if (descriptorBytes > 65535) throw Error("too many fields");
  platform::AppendU16(out, static_cast<std::uint16_t>(descriptorBytes));
  for (const FieldSpec& field : fields_) {
    const unsigned codePage = field.codePage != 0 ? field.codePage : codePage_;
    const std::string name = platform::Utf8ToAnsi(field.name, codePage);
    out += static_cast<char>(field.typeCode);
    platform::AppendU16(out, field.size);
    platform::AppendU16(out, static_cast<std::uint16_t>(field.offset));
    out += static_cast<char>(name.size());
    out += name;
    out.append(kMaxFieldNameLength - name.size(), '\0');
  }
  out.reserve(out.size() + records_.size() * RecordSize());
  for (const std::string& record : records_) out += record;
  return out;
}

void TableBuilder::WriteFiles(std::string_view path) const {
  auto write = [](std::string_view target, const std::string& bytes) {
    std::unique_ptr<platform::File> file = platform::File::Create(target);
    if (!file) platform::ThrowLastOSError("create", target);
    file->Write(bytes.data(), bytes.size());
  };
  write(path, TableBytes());
  if (HasMemo()) write(ChangeFileExt(path, ".AMB"), memo_);
}

}  // namespace valise::adb
