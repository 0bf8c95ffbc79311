// A stream wrapper for the benchmarks that counts the reads and bytes passing through it.
#pragma once

#include <cstdint>
#include <memory>
#include <utility>

#include "util/stream.h"

namespace valise::bench {

struct ReadCounts {
  std::int64_t reads = 0;
  std::int64_t bytes = 0;
};

class CountingStream : public TStream {
 public:
  CountingStream(std::unique_ptr<TStream> inner, ReadCounts& counts)
      : inner_(std::move(inner)), counts_(counts) {}
  std::int64_t Read(void* buffer, std::int64_t count) override {
    const std::int64_t got = inner_->Read(buffer, count);
    ++counts_.reads;
    counts_.bytes += got;
    return got;
  }
  std::int64_t Write(const void* buffer, std::int64_t count) override {
    return inner_->Write(buffer, count);
  }
  std::int64_t Seek(std::int64_t offset, SeekOrigin origin) override {
    return inner_->Seek(offset, origin);
  }
  std::int64_t Size() override { return inner_->Size(); }

 private:
  std::unique_ptr<TStream> inner_;
  ReadCounts& counts_;
};

}  // namespace valise::bench
