#include "adb/granular_stream.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <new>

#include "platform/errors.h"

namespace valise::adb {

TGranularMemoryStream::TGranularMemoryStream(std::int64_t granularity)
    : granularity_(NormalizeGranularity(granularity)) {}

TGranularMemoryStream::~TGranularMemoryStream() = default;

std::int64_t TGranularMemoryStream::NormalizeGranularity(std::int64_t requested) {
  const std::int64_t bounded = std::clamp(requested, kMinGranularity, kMaxGranularity);
  std::int64_t power = kMinGranularity;
  while (power < bounded) power *= 2;
  return power;
}

void TGranularMemoryStream::SetCapacity(std::int64_t capacity) {
  if (capacity <= 0) {
    memory_.reset();
    capacity_ = 0;
    return;
  }
  // Rounding to the granularity keeps repeated growth from reallocating every time; a capacity
  // equal to the size is taken as it is, as when a stream is trimmed to its contents.
  if (capacity != size_) capacity = (capacity + granularity_ - 1) / granularity_ * granularity_;
  if (capacity == capacity_) return;
  // Far beyond any memo (references are 32-bit); refused before asking the allocator.
  constexpr std::int64_t kLargestCapacity = std::int64_t{1} << 40;
  if (capacity > kLargestCapacity || capacity > std::numeric_limits<std::ptrdiff_t>::max() / 2) {
    throw Error("Out of memory while expanding memory stream");
  }
  std::unique_ptr<char[]> memory;
  try {
    memory.reset(new char[static_cast<std::size_t>(capacity)]);
  } catch (const std::bad_alloc&) {
    throw Error("Out of memory while expanding memory stream");
  }
  if (memory_ && size_ > 0) {
    std::memcpy(memory.get(), memory_.get(), static_cast<std::size_t>(std::min(size_, capacity)));
  }
  memory_ = std::move(memory);
  capacity_ = capacity;
}

std::int64_t TGranularMemoryStream::Read(void* buffer, std::int64_t count) {
  if (count <= 0 || position_ >= size_) return 0;
  const std::int64_t available = std::min(count, size_ - position_);
  std::memcpy(buffer, memory_.get() + position_, static_cast<std::size_t>(available));
  position_ += available;
  return available;
}

std::int64_t TGranularMemoryStream::Write(const void* buffer, std::int64_t count) {
  if (count <= 0) return 0;
  const std::int64_t end = position_ + count;
  if (end > capacity_) SetCapacity(end);
  std::memcpy(memory_.get() + position_, buffer, static_cast<std::size_t>(count));
  if (end > size_) size_ = end;
  position_ = end;
  return count;
}

std::int64_t TGranularMemoryStream::Seek(std::int64_t offset, SeekOrigin origin) {
  position_ = SeekedPosition(position_, size_, offset, origin);
  return position_;
}

void TGranularMemoryStream::SetSize(std::int64_t size) {
  if (size < 0) size = 0;
  SetCapacity(size);
  size_ = size;
  if (position_ > size_) position_ = size_;
}

void TGranularMemoryStream::Clear() {
  SetCapacity(0);
  size_ = 0;
  position_ = 0;
}

}  // namespace valise::adb
