// The stream base class that baggage entries, table files and memory buffers share.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace valise {

enum class SeekOrigin { Begin, Current, End };

// The position a seek of a stream held in memory gives: from the start, from `position` or
// from `size`, never before the start.
std::int64_t SeekedPosition(std::int64_t position, std::int64_t size, std::int64_t offset,
                            SeekOrigin origin);

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

// A growable stream held in memory. Seeking beyond the end is allowed; a write there fills the
// gap with zero bytes.
class TMemoryStream : public TStream {
 public:
  TMemoryStream() = default;
  explicit TMemoryStream(std::string_view bytes) : bytes_(bytes.begin(), bytes.end()) {}

  std::int64_t Read(void* buffer, std::int64_t count) override;
  std::int64_t Write(const void* buffer, std::int64_t count) override;
  std::int64_t Seek(std::int64_t offset, SeekOrigin origin) override;
  std::int64_t Size() override { return static_cast<std::int64_t>(bytes_.size()); }

  // Sets the size; the position is kept even beyond the new end. Bytes added are zero.
  void SetSize(std::int64_t size);
  // Empties the stream and moves the position to 0.
  void Clear();

  // The stream's bytes, Size() of them.
  char* Memory() { return bytes_.data(); }
  const char* Memory() const { return bytes_.data(); }
  std::string_view View() const { return {bytes_.data(), bytes_.size()}; }

 private:
  std::vector<char> bytes_;
  std::int64_t position_ = 0;
};

}  // namespace valise
