// The stream base class that baggage entries, table files and memory buffers share.
#pragma once

#include <cstdint>
#include <string>

namespace valise {

enum class SeekOrigin { Begin, Current, End };

// A byte stream with a position. Read returns fewer bytes than asked only at the end; Write
// writes everything or throws. Streams that cannot be written throw valise::Error from Write.
class TStream {
 public:
  virtual ~TStream() = default;
  virtual std::int64_t Read(void* buffer, std::int64_t count) = 0;
  virtual std::int64_t Write(const void* buffer, std::int64_t count) = 0;
  // Moves the position and returns the new one.
  virtual std::int64_t Seek(std::int64_t offset, SeekOrigin origin) = 0;
  virtual std::int64_t Size() = 0;
  std::int64_t Position() { return Seek(0, SeekOrigin::Current); }
  void SetPosition(std::int64_t position) { Seek(position, SeekOrigin::Begin); }

  // Reads exactly `count` bytes or throws valise::Error("Stream read error").
  void ReadBuffer(void* buffer, std::int64_t count);
  void WriteBuffer(const void* buffer, std::int64_t count) { Write(buffer, count); }
  // Copies `count` bytes (all from the position to the end when 0) from `source`.
  std::int64_t CopyFrom(TStream& source, std::int64_t count);
};

}  // namespace valise
