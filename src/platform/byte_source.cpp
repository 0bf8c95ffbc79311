#include "platform/byte_source.h"

#include <algorithm>
#include <cstring>

#include "platform/errors.h"
#include "platform/files.h"

namespace valise::platform {

std::string ByteSource::Read(std::uint64_t offset, std::size_t size) {
  const std::uint64_t total = Size();
  if (offset >= total) return {};
  std::string bytes(static_cast<std::size_t>(std::min<std::uint64_t>(size, total - offset)), '\0');
  bytes.resize(ReadAt(offset, bytes.data(), bytes.size()));
  return bytes;
}

std::size_t SpanSource::ReadAt(std::uint64_t offset, void* buffer, std::size_t count) {
  if (offset >= bytes_.size()) return 0;
  const std::size_t n = std::min<std::uint64_t>(count, bytes_.size() - offset);
  std::memcpy(buffer, bytes_.data() + offset, n);
  return n;
}

FileSource::FileSource(File& file, ReadErrors errors)
    : file_(file), size_(file.Size()), errors_(errors) {}

std::size_t FileSource::ReadAt(std::uint64_t offset, void* buffer, std::size_t count) {
  std::size_t done = 0;
  auto* out = static_cast<char*>(buffer);
  try {
    file_.Seek(offset);
    while (done < count) {
      const std::size_t n = file_.Read(out + done, count - done);
      if (n == 0) break;
      done += n;
    }
  } catch (const OSError&) {
    if (errors_ == ReadErrors::Throw) throw;
  }
  return done;
}

}  // namespace valise::platform
