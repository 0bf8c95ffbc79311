#include "util/stream.h"

#include <algorithm>
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

}  // namespace valise
