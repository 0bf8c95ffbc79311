// Tables served from memory, with counts of what was read, for the table tests.
#pragma once

#include <cstring>
#include <map>
#include <memory>
#include <string>

#include "adb/adb_writer.h"
#include "adb/table.h"
#include "platform/errors.h"

namespace valise::adb::testing {

// Read counts of one opened file.
struct ReadLog {
  int reads = 0;
  std::int64_t bytes = 0;
  int opens = 0;
};

// A read-only stream over bytes that counts its reads.
class CountingStream : public TStream {
 public:
  CountingStream(std::string bytes, ReadLog& log) : bytes_(std::move(bytes)), log_(log) {}
  std::int64_t Read(void* buffer, std::int64_t count) override {
    const std::int64_t size = static_cast<std::int64_t>(bytes_.size());
    const std::int64_t n = std::max<std::int64_t>(0, std::min(count, size - position_));
    if (n > 0) std::memcpy(buffer, bytes_.data() + position_, static_cast<std::size_t>(n));
    position_ += n;
    ++log_.reads;
    log_.bytes += n;
    return n;
  }
  std::int64_t Write(const void*, std::int64_t) override { throw Error("Stream write error"); }
  std::int64_t Seek(std::int64_t offset, SeekOrigin origin) override {
    const std::int64_t base = origin == SeekOrigin::Begin ? 0
                              : origin == SeekOrigin::Current
                                  ? position_
                                  : static_cast<std::int64_t>(bytes_.size());
    position_ = std::max<std::int64_t>(0, base + offset);
    return position_;
  }
  std::int64_t Size() override { return static_cast<std::int64_t>(bytes_.size()); }

 private:
  std::string bytes_;
  ReadLog& log_;
  std::int64_t position_ = 0;
};

// A table whose files come from memory, keyed by their upper-case paths.
class MemoryTable : public TATable {
 public:
  using TATable::TATable;

  // Serves `builder`'s table at `path` (and its memo file beside it).
  void Put(const std::string& path, const TableBuilder& builder) {
    files_[path] = builder.TableBytes();
    if (builder.HasMemo()) files_[ChangeFileExt(path, ".AMB")] = builder.MemoBytes();
  }
  void PutBytes(const std::string& path, std::string bytes) { files_[path] = std::move(bytes); }
  ReadLog& Log(const std::string& path) { return logs_[path]; }
  // Paths asked for, in order.
  const std::vector<std::string>& Requests() const { return requests_; }

 protected:
  std::unique_ptr<TStream> OpenStream(const std::string& path) override {
    requests_.push_back(path);
    auto found = files_.find(path);
    if (found == files_.end()) throw Error("not found: " + path);
    ++logs_[path].opens;
    return std::make_unique<CountingStream>(found->second, logs_[path]);
  }

 private:
  std::map<std::string, std::string> files_;
  std::map<std::string, ReadLog> logs_;
  std::vector<std::string> requests_;
};

}  // namespace valise::adb::testing
