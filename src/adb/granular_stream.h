// A growable memory stream whose capacity moves in steps of a power-of-two granularity. Memo
// data and whole-file copies of memo files live in these streams.
#pragma once

#include <cstdint>
#include <memory>

#include "util/stream.h"

namespace valise::adb {

class TGranularMemoryStream : public TStream {
 public:
  static constexpr std::int64_t kDefaultGranularity = 8192;
  static constexpr std::int64_t kMinGranularity = 4096;
  static constexpr std::int64_t kMaxGranularity = 8388608;

  // The requested granularity is raised to at least 4096, lowered to at most 8388608 and then
  // rounded up to the next power of two.
  explicit TGranularMemoryStream(std::int64_t granularity = kDefaultGranularity);
  ~TGranularMemoryStream() override;
  TGranularMemoryStream(const TGranularMemoryStream&) = delete;
  TGranularMemoryStream& operator=(const TGranularMemoryStream&) = delete;

  // The granularity a request yields (see the constructor).
  static std::int64_t NormalizeGranularity(std::int64_t requested);

  std::int64_t Read(void* buffer, std::int64_t count) override;
  std::int64_t Write(const void* buffer, std::int64_t count) override;
  std::int64_t Seek(std::int64_t offset, SeekOrigin origin) override;
  std::int64_t Size() override { return size_; }

  // Sets the size; the position is kept unless it lies beyond the new end. Bytes added by
  // growing are unspecified.
  void SetSize(std::int64_t size);
  // Releases the memory: size, capacity and position become 0.
  void Clear();

  std::int64_t Granularity() const { return granularity_; }
  std::int64_t Capacity() const { return capacity_; }
  // The stream's bytes (Size() of them); null when the capacity is 0.
  char* Memory() { return memory_.get(); }
  const char* Memory() const { return memory_.get(); }

 private:
  // A new capacity above 0 is rounded up to a multiple of the granularity unless it equals the
  // current size; 0 releases the memory. Throws "Out of memory while expanding memory stream".
  void SetCapacity(std::int64_t capacity);

  std::int64_t granularity_;
  std::unique_ptr<char[]> memory_;
  std::int64_t size_ = 0;
  std::int64_t capacity_ = 0;
  std::int64_t position_ = 0;
};

}  // namespace valise::adb
