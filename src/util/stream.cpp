#include "util/stream.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <new>
#include <vector>

#include "platform/errors.h"

namespace valise {

void TStream::ReadBuffer(void* buffer, std::int64_t count) {
  if (count != 0 && Read(buffer, count) != count) throw Error("Stream read error");
}

std::int64_t TStream::CopyFrom(TStream& source, std::int64_t count) {
  if (count == 0) {
    source.SetPosition(0);
    count = source.Size();
  }
  constexpr std::int64_t kBufferSize = 64 * 1024;
  std::vector<char> buffer(static_cast<std::size_t>(std::min(count, kBufferSize)));
  std::int64_t left = count;
  while (left > 0) {
    const std::int64_t chunk = std::min(left, kBufferSize);
    source.ReadBuffer(buffer.data(), chunk);
    WriteBuffer(buffer.data(), chunk);
    left -= chunk;
  }
  return count;
}

namespace {

// Far beyond anything kept in memory here; refused before asking the allocator.
constexpr std::int64_t kLargestMemoryStream = std::int64_t{1} << 40;

void CheckMemorySize(std::int64_t size) {
  if (size > kLargestMemoryStream ||
      static_cast<std::uint64_t>(size) > std::numeric_limits<std::size_t>::max() / 2) {
    throw Error("Out of memory while expanding memory stream");
  }
}

}  // namespace

std::int64_t TMemoryStream::Read(void* buffer, std::int64_t count) {
  const auto size = static_cast<std::int64_t>(bytes_.size());
  if (count <= 0 || position_ >= size) return 0;
  const std::int64_t available = std::min(count, size - position_);
  std::memcpy(buffer, bytes_.data() + position_, static_cast<std::size_t>(available));
  position_ += available;
  return available;
}

std::int64_t TMemoryStream::Write(const void* buffer, std::int64_t count) {
  if (count <= 0) return 0;
  const std::int64_t end = position_ + count;
  if (end > static_cast<std::int64_t>(bytes_.size())) SetSize(end);
  std::memcpy(bytes_.data() + position_, buffer, static_cast<std::size_t>(count));
  position_ = end;
  return count;
}

std::int64_t SeekedPosition(std::int64_t position, std::int64_t size, std::int64_t offset,
                            SeekOrigin origin) {
  switch (origin) {
    case SeekOrigin::Begin:
      position = offset;
      break;
    case SeekOrigin::Current:
      position += offset;
      break;
    case SeekOrigin::End:
      position = size + offset;
      break;
  }
  return position < 0 ? 0 : position;
}

std::int64_t TMemoryStream::Seek(std::int64_t offset, SeekOrigin origin) {
  position_ = SeekedPosition(position_, static_cast<std::int64_t>(bytes_.size()), offset, origin);
  return position_;
}

void TMemoryStream::SetSize(std::int64_t size) {
  if (size < 0) size = 0;
  CheckMemorySize(size);
  try {
    bytes_.resize(static_cast<std::size_t>(size));
  } catch (const std::bad_alloc&) {
    throw Error("Out of memory while expanding memory stream");
  }
}

void TMemoryStream::Clear() {
  bytes_.clear();
  bytes_.shrink_to_fit();
  position_ = 0;
}

}  // namespace valise
