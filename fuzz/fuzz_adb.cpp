// Table and memo reading from memory: the input holds a 4-byte table length, the table file
// and then the memo file. Malformed tables must fail with valise::Error, never crash.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

#include "adb/description.h"
#include "adb/granular_stream.h"
#include "adb/table.h"
#include "platform/errors.h"

namespace {

using namespace valise;
using namespace valise::adb;

class FuzzTable : public TATable {
 public:
  FuzzTable(std::string table, std::string memo)
      : table_(std::move(table)), memo_(std::move(memo)) {}

 protected:
  std::unique_ptr<TStream> OpenStream(const std::string& path) override {
    auto stream = std::make_unique<TGranularMemoryStream>();
    const std::string& bytes =
        path.size() > 4 && path.substr(path.size() - 4) == ".AMB" ? memo_ : table_;
    if (!bytes.empty()) stream->WriteBuffer(bytes.data(), static_cast<std::int64_t>(bytes.size()));
    stream->SetPosition(0);
    return stream;
  }

 private:
  std::string table_;
  std::string memo_;
};

void Exercise(FuzzTable& table) {
  for (std::int32_t record = 0; record < table.RecordCount() && record < 64; ++record) {
    table.GotoRecord(record);
    for (std::int32_t i = 0; i < table.FieldCount(); ++i) {
      TAField* field = table.Fields(i);
      if (field == nullptr) continue;
      try {
        field->AsString();
      } catch (const Error&) {
      }
      try {
        field->AsInteger();
      } catch (const Error&) {
      }
      try {
        field->AsFloat();
      } catch (const Error&) {
      }
      try {
        field->AsBoolean();
      } catch (const Error&) {
      }
      try {
        field->AsDateTime();
      } catch (const Error&) {
      }
      try {
        field->AsBlobStream();
      } catch (const Error&) {
      }
      try {
        field->AsUtf8(1252);
      } catch (const Error&) {
      }
    }
  }
  try {
    table.FindKey({1, 2});
  } catch (const Error&) {
  }
  try {
    table.GotoKey({"a", 1}, false);
  } catch (const Error&) {
  }
  try {
    table.GotoKey({TKeyValue::DateTime(1.5)}, false);
  } catch (const Error&) {
  }
  try {
    if (table.RecordCount() < 64) DescribeTable(table, 1252);
  } catch (const Error&) {
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 5 || size > 1 << 20) return 0;
  std::uint32_t tableLength;
  std::memcpy(&tableLength, data, 4);
  const bool getAll = (tableLength & 0x80000000u) != 0;
  tableLength &= 0x7FFFFFFFu;
  const std::size_t rest = size - 4;
  if (tableLength > rest) tableLength = static_cast<std::uint32_t>(rest);
  const char* bytes = reinterpret_cast<const char*>(data + 4);
  FuzzTable table(std::string(bytes, tableLength),
                  std::string(bytes + tableLength, rest - tableLength));
  table.SetTableName("C:\\FUZZ");
  table.SetExternalTable(true);
  table.SetGetAll(getAll);
  try {
    table.Open();
  } catch (const Error&) {
    return 0;
  }
  Exercise(table);
  return 0;
}
