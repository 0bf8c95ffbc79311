#include "adb/table.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

#include "baggage/bag_stream.h"
#include "platform/bytes.h"
#include "platform/errors.h"
#include "platform/files.h"
#include "util/paths.h"

namespace valise::adb {
namespace {

using platform::LoadU16;
using platform::LoadU32;

std::string AsciiUpper(std::string_view text) {
  std::string result(text);
  for (char& c : result) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return result;
}

bool EqualIgnoreCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && AsciiUpper(a) == AsciiUpper(b);
}

template <typename T>
int Sign(T a, T b) {
  return a < b ? -1 : (a > b ? 1 : 0);
}

// A disk file opened for reading, denying other writers.
class FileStream : public TStream {
 public:
  explicit FileStream(const std::string& path)
      : file_(platform::File::OpenRead(path, platform::File::Share::Read)) {
    if (!file_) platform::ThrowLastOSError("open", path);
  }
  std::int64_t Read(void* buffer, std::int64_t count) override {
    if (count <= 0) return 0;
    std::int64_t total = 0;
    while (total < count) {
      const std::size_t got =
          file_->Read(static_cast<char*>(buffer) + total, static_cast<std::size_t>(count - total));
      if (got == 0) break;
      total += static_cast<std::int64_t>(got);
    }
    return total;
  }
  std::int64_t Write(const void*, std::int64_t) override { throw Error("Stream write error"); }
  std::int64_t Seek(std::int64_t offset, SeekOrigin origin) override {
    std::int64_t base = 0;
    if (origin == SeekOrigin::Current) base = static_cast<std::int64_t>(file_->Position());
    if (origin == SeekOrigin::End) base = static_cast<std::int64_t>(file_->Size());
    const std::int64_t position = std::max<std::int64_t>(0, base + offset);
    file_->Seek(static_cast<std::uint64_t>(position));
    return position;
  }
  std::int64_t Size() override { return static_cast<std::int64_t>(file_->Size()); }

 private:
  std::unique_ptr<platform::File> file_;
};

// The smallest size a field of each type needs for its stored form: the type's natural size,
// except that a string needs its length byte and a currency field is read at any size.
std::uint16_t MinimumFieldSize(std::uint8_t typeCode) {
  if (typeCode == ftString) return 1;
  if (typeCode == ftCurrency) return 0;
  return NaturalFieldSize(typeCode);
}

}  // namespace

TATable::TATable(std::string name) : name_(std::move(name)) {}

TATable::~TATable() {
  Close();
}

std::string TATable::ErrorPrefix() const {
  return (name_.empty() ? "TATable" : name_) + ": ";
}

void TATable::CheckActive() const {
  if (!active_) throw Error(ErrorPrefix() + "nicht aktiv");
}

void TATable::CheckInactive() const {
  if (active_) {
    throw Error(name_.empty() ? std::string("TATable: vor dem Wechsel inaktiv setzen")
                              : name_ + " vor dem Wechsel inaktiv setzen");
  }
}

void TATable::SetDatabaseName(std::string_view directory) {
  CheckInactive();
  databaseName_ = directory;
}

void TATable::SetTableName(std::string_view name) {
  CheckInactive();
  tableName_ = AsciiUpper(ChangeFileExt(name, ".ADB"));
}

void TATable::SetActive(bool value) {
  if (value == active_) return;
  if (value) {
    Open();
  } else {
    Close();
  }
}

std::unique_ptr<TStream> TATable::OpenStream(const std::string& path) {
  if (externalTable_) return std::make_unique<FileStream>(path);
  // The baggage finds the file by its name part and fails itself when it is not there.
  return std::make_unique<TBaggageStream>(path);
}

void TATable::Open() {
  if (active_) return;
  if (tableName_.empty()) throw Error("TATable: TableName?");
  std::string path;
  if ((tableName_.size() >= 2 && tableName_[1] == ':') || databaseName_.empty()) {
    path = tableName_;
  } else {
    path = databaseName_;
    if (path.back() != '\\') path += '\\';
    path += tableName_;
  }
  path_ = AsciiUpper(path);
  tableStream_ = OpenStream(path_);
  try {
    OpenGuarded();
  } catch (...) {
    Close();
    throw;
  }
}

void TATable::OpenGuarded() {
  const std::int64_t fileSize = tableStream_->Size();
  std::uint8_t header[kHeaderSize] = {};
  tableStream_->SetPosition(0);
  const std::int64_t got = tableStream_->Read(header, kHeaderSize);
  if (got < 6 || std::memcmp(header, kSignature, 6) != 0) {
    throw Error("TATable: " + path_ + " ist keine ADB");
  }
  if (got < static_cast<std::int64_t>(kHeaderSize)) {
    throw Error("TATable: " + path_ + ": the table header is truncated");
  }

  if (header[14] != 0) {
    memoStream_ = OpenStream(ChangeFileExt(path_, ".AMB"));
    memoSize_ = memoStream_->Size();
  }

  const std::uint16_t fieldCount = LoadU16(header + 6);
  const std::uint32_t recordCount = LoadU32(header + 8);
  recordSize_ = LoadU16(header + 12);
  keyFieldCount_ = LoadU16(header + 15);
  dataOffset_ = static_cast<std::int64_t>(kHeaderSize) + LoadU16(header + 17);

  // Allocation of zero bytes yields nothing, so empty records or tables without fields are
  // refused in the allocation failure's words.
  if (recordSize_ == 0 || fieldCount == 0) throw Error(ErrorPrefix() + "kein Speicherplatz!");
  if (recordCount > static_cast<std::uint32_t>(std::numeric_limits<std::int32_t>::max())) {
    throw Error("TATable: " + path_ + ": too many records (" + std::to_string(recordCount) + ")");
  }
  recordCount_ = static_cast<std::int32_t>(recordCount);
  const std::size_t descriptorBytes = static_cast<std::size_t>(fieldCount) * kDescriptorSize;
  if (static_cast<std::int64_t>(kHeaderSize + descriptorBytes) > fileSize) {
    throw Error("TATable: " + path_ + ": the field descriptors are truncated");
  }
  // The records must all be there: reading past the end would show garbage or fail later.
  const std::int64_t areaNeeded = static_cast<std::int64_t>(recordCount_) * recordSize_;
  if (dataOffset_ + areaNeeded > fileSize) {
    throw Error("TATable: " + path_ + ": the record area is shorter than " +
                std::to_string(recordCount_) + " records of " + std::to_string(recordSize_) +
                " bytes");
  }

  // All descriptors in one read: a baggage read costs a seek and a block read each.
  std::vector<std::uint8_t> area(descriptorBytes);
  tableStream_->ReadBuffer(area.data(), static_cast<std::int64_t>(descriptorBytes));
  descriptors_.reserve(fieldCount);
  for (std::size_t i = 0; i < fieldCount; ++i) {
    const std::uint8_t* d = area.data() + i * kDescriptorSize;
    TFieldDescriptor descriptor;
    descriptor.typeCode = d[0];
    descriptor.size = LoadU16(d + 1);
    descriptor.offset = LoadU16(d + 3);
    const std::size_t nameLength = std::min<std::size_t>(d[5], kMaxFieldNameLength);
    descriptor.name.assign(reinterpret_cast<const char*>(d + 6), nameLength);
    if (static_cast<std::int32_t>(descriptor.offset) + descriptor.size > recordSize_) {
      throw Error("TATable: " + path_ + ": field " + descriptor.name + " (offset " +
                  std::to_string(descriptor.offset) + ", " + std::to_string(descriptor.size) +
                  " bytes) lies outside the record of " + std::to_string(recordSize_) + " bytes");
    }
    if (descriptor.size < MinimumFieldSize(descriptor.typeCode)) {
      throw Error("TATable: " + path_ + ": field " + descriptor.name + " of type " +
                  std::to_string(descriptor.typeCode) + " needs at least " +
                  std::to_string(MinimumFieldSize(descriptor.typeCode)) + " bytes, not " +
                  std::to_string(descriptor.size));
    }
    descriptors_.push_back(std::move(descriptor));
  }
  if (keyFieldCount_ > fieldCount) {
    throw Error("TATable: " + path_ + ": " + std::to_string(keyFieldCount_) +
                " key fields but only " + std::to_string(fieldCount) + " fields");
  }

  recordBuffer_ = std::make_unique<std::uint8_t[]>(static_cast<std::size_t>(recordSize_));
  fields_.resize(fieldCount);
  for (std::size_t i = 0; i < fieldCount; ++i) {
    const TFieldDescriptor& descriptor = descriptors_[i];
    if (descriptor.typeCode >= 13) memoFields_.push_back(static_cast<std::int32_t>(i));
    fields_[i] = CreateField(descriptor.typeCode);
    if (fields_[i]) {
      fields_[i]->Setup(this, descriptor.typeCode, descriptor.size,
                        recordBuffer_.get() + descriptor.offset, descriptor.name);
    }
  }

  if (keyFieldCount_ > 0) {
    const TFieldDescriptor& last = descriptors_[keyFieldCount_ - 1];
    keyLength_ = last.offset + last.size;
    // Value i of a key search is read at the sum of the sizes of the key fields before it; a
    // key whose fields are not back to back would read beyond the key bytes.
    std::int32_t position = 0;
    for (std::int32_t i = 0; i < keyFieldCount_; ++i) {
      position += descriptors_[i].size;
      if (position > keyLength_) {
        throw Error("TATable: " + path_ + ": the key fields do not lie back to back");
      }
    }
    keyBuffer_.assign(static_cast<std::size_t>(keyLength_), 0);
  } else {
    keyLength_ = 0;
  }

  active_ = true;
  recordIndex_ = -1;

  if (getAll_) {
    const std::int64_t areaLength = fileSize - dataOffset_;
    if (areaLength < allBufMaxSize_) {
      allBuffer_.resize(static_cast<std::size_t>(areaLength));
      tableStream_->SetPosition(dataOffset_);
      tableStream_->ReadBuffer(allBuffer_.data(), areaLength);
      buffered_ = true;
      tableStream_.reset();
      if (memoStream_) {
        auto memory = std::make_unique<TGranularMemoryStream>(8192);
        if (memoSize_ > 0) memory->CopyFrom(*memoStream_, 0);
        memory->SetPosition(0);
        memoStream_ = std::move(memory);
      }
    }
    getAll_ = false;
    allBufMaxSize_ = kDefaultAllBufMaxSize;
  }

  state_ = dsBrowse;
  First();
}

void TATable::Close() {
  allBuffer_.clear();
  allBuffer_.shrink_to_fit();
  buffered_ = false;
  tableStream_.reset();
  memoStream_.reset();
  memoSize_ = 0;
  fields_.clear();
  memoFields_.clear();
  recordBuffer_.reset();
  keyBuffer_.clear();
  descriptors_.clear();
  recordCount_ = 0;
  recordSize_ = 0;
  keyFieldCount_ = 0;
  keyLength_ = 0;
  recordIndex_ = -1;
  eof_ = false;
  active_ = false;
  state_ = dsInactive;
}

void TATable::First() {
  CheckActive();
  GotoRecord(0, false);
}

void TATable::GotoRecord(std::int32_t index, bool forced) {
  CheckActive();
  if (index >= recordCount_) index = recordCount_ - 1;
  if (index < 0) index = 0;
  eof_ = recordCount_ <= index;
  if (!forced && index == recordIndex_) return;
  recordIndex_ = index;
  ClearBuffer();
  if (recordCount_ == 0) return;
  const std::int64_t offset = static_cast<std::int64_t>(index) * recordSize_;
  if (buffered_) {
    std::memcpy(recordBuffer_.get(), allBuffer_.data() + offset,
                static_cast<std::size_t>(recordSize_));
  } else {
    tableStream_->SetPosition(dataOffset_ + offset);
    tableStream_->ReadBuffer(recordBuffer_.get(), recordSize_);
  }
}

void TATable::Refresh() {
  GotoRecord(recordIndex_, true);
}

void TATable::ClearBuffer() {
  CheckActive();
  std::memset(recordBuffer_.get(), 0, static_cast<std::size_t>(recordSize_));
  if (memoStream_) {
    for (auto& field : fields_) {
      if (field) field->Clear();
    }
  }
}

TAField& TATable::FieldByName(std::string_view name) {
  if (name.empty()) throw Error(ErrorPrefix() + "FieldByName \"\"?");
  const std::string wanted = AsciiUpper(name.substr(0, kMaxFieldNameLength));
  for (auto& field : fields_) {
    if (field && field->FieldName() == wanted) return *field;
  }
  throw Error(ErrorPrefix() + "Feld " + wanted + " existiert nicht");
}

TAField* TATable::FindField(std::string_view name) {
  for (auto& field : fields_) {
    if (field && EqualIgnoreCase(field->FieldName(), name)) return field.get();
  }
  return nullptr;
}

void TATable::ReadKey(std::int32_t record) {
  const std::int64_t offset = static_cast<std::int64_t>(record) * recordSize_;
  if (buffered_) {
    std::memcpy(keyBuffer_.data(), allBuffer_.data() + offset, keyBuffer_.size());
  } else {
    tableStream_->SetPosition(dataOffset_ + offset);
    tableStream_->ReadBuffer(keyBuffer_.data(), static_cast<std::int64_t>(keyBuffer_.size()));
  }
}

int CompareKeyField(const TFieldDescriptor& field, const std::uint8_t* stored,
                    const KeyOperand& operand) {
  switch (field.typeCode) {
    case ftString: {
      const std::size_t length = std::min<std::size_t>(stored[0], field.size - 1u);
      const std::size_t common = std::min(length, operand.text.size());
      const int result = std::memcmp(stored + 1, operand.text.data(), common);
      if (result != 0) return result < 0 ? -1 : 1;
      return Sign(length, operand.text.size());
    }
    case ftSmallInt:
      return Sign<std::int64_t>(static_cast<std::int16_t>(LoadU16(stored)), operand.integer);
    case ftWord:
      return Sign<std::int64_t>(LoadU16(stored), operand.integer);
    case ftInteger:
      return Sign<std::int64_t>(static_cast<std::int32_t>(LoadU32(stored)), operand.integer);
    case ftDate:
    case ftTime:
      return Sign<double>(static_cast<std::int32_t>(LoadU32(stored)), operand.count);
    default:
      return 0;
  }
}

KeyOperand StoredKeyOperand(const TFieldDescriptor& field, const std::uint8_t* stored) {
  KeyOperand operand;
  switch (field.typeCode) {
    case ftString:
      operand.text = std::string_view(reinterpret_cast<const char*>(stored + 1),
                                      std::min<std::size_t>(stored[0], field.size - 1u));
      break;
    case ftSmallInt:
      operand.integer = static_cast<std::int16_t>(LoadU16(stored));
      break;
    case ftWord:
      operand.integer = LoadU16(stored);
      break;
    case ftInteger:
      operand.integer = static_cast<std::int32_t>(LoadU32(stored));
      break;
    case ftDate:
    case ftTime:
      operand.count = static_cast<std::int32_t>(LoadU32(stored));
      break;
    default:
      break;
  }
  return operand;
}

// The key in the key buffer against the values: negative, zero or positive as the record's key
// is smaller, equal or greater.
int TATable::CompareKey(const std::vector<TKeyValue>& values, std::size_t count) {
  std::size_t position = 0;
  for (std::size_t i = 0; i < count; ++i) {
    const TFieldDescriptor& field = descriptors_[i];
    const TKeyValue& value = values[i];
    KeyOperand operand;
    operand.text = value.text();
    operand.integer = value.integer();
    if (field.typeCode == ftDate || field.typeCode == ftTime) {
      const double dateTime = value.dateTime();
      operand.count = field.typeCode == ftDate
                          ? std::trunc(dateTime)
                          : std::trunc((dateTime - std::trunc(dateTime)) * 86400000.0);
      if (!std::isfinite(operand.count)) operand.count = dateTime < 0 ? -1e300 : 1e300;
    }
    const int result = CompareKeyField(field, keyBuffer_.data() + position, operand);
    if (result != 0) return result;
    position += field.size;
  }
  return 0;
}

bool TATable::GotoKey(const std::vector<TKeyValue>& values, bool exact) {
  if (keyBuffer_.empty()) throw Error("GotoKey: keine Indexfelder!");
  const std::size_t count = std::min(values.size(), static_cast<std::size_t>(keyFieldCount_));
  for (std::size_t i = 0; i < count; ++i) {
    const std::uint8_t code = descriptors_[i].typeCode;
    const char* typeName = nullptr;
    bool accepted = false;
    switch (values[i].kind()) {
      case TKeyValue::Kind::Integer:
        accepted = code == ftSmallInt || code == ftInteger || code == ftWord;
        typeName = "Integer";
        break;
      case TKeyValue::Kind::Char:
        accepted = code == ftString;
        typeName = "Char/String";
        break;
      case TKeyValue::Kind::DateTime:
        accepted = code == ftDate || code == ftTime;
        typeName = "TDate oder TTime";
        break;
      case TKeyValue::Kind::String:
        accepted = code == ftString;
        typeName = "String";
        break;
      default:
        throw Error("TATable: Indexe nur mit Integer, String und Date/Time");
    }
    if (!accepted) {
      throw Error((name_.empty() ? std::string("TATable") : name_) + ": Feld " +
                  descriptors_[i].name + " hat anderen Typ als " + typeName);
    }
  }

  if (recordCount_ == 0) {
    recordIndex_ = 0;
    Refresh();
    return false;
  }

  std::int32_t low = 0;
  std::int32_t high = recordCount_;
  std::int32_t lastProbe = -1;
  std::int32_t middle = 0;
  int comparison = 0;
  bool found = false;
  while (!found && high - low >= 1) {
    middle = low + (high - low) / 2;
    if (middle == lastProbe) break;
    lastProbe = middle;
    ReadKey(middle);
    comparison = CompareKey(values, count);
    if (comparison > 0) {
      high = middle;
    } else if (comparison < 0) {
      low = middle;
    } else {
      found = true;
    }
  }

  if (found) {
    // Several records may share the key: the first of them is wanted.
    low = 0;
    high = middle;
    std::int32_t m = middle;
    bool lastEqual = true;
    while (low <= high) {
      m = low + (high - low) / 2;
      ReadKey(m);
      lastEqual = CompareKey(values, count) == 0;
      if (lastEqual) {
        high = m - 1;
      } else {
        low = m + 1;
      }
    }
    GotoRecord(lastEqual ? m : m + 1);
    return true;
  }
  if (!exact) GotoRecord(comparison > 0 ? middle : middle + 1);
  return false;
}

}  // namespace valise::adb
