// Random access to stored bytes, for the readers of stored formats (baggage containers, PE
// version resources): an open file, or a span in memory for the fuzz targets and the tests.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace valise::platform {

class File;

class ByteSource {
 public:
  virtual ~ByteSource() = default;
  virtual std::uint64_t Size() const = 0;
  // Reads up to `count` bytes at `offset`; returns how many were read (fewer only at the end).
  virtual std::size_t ReadAt(std::uint64_t offset, void* buffer, std::size_t count) = 0;
  // Up to `size` bytes from `offset`; fewer only at the end of the data.
  std::string Read(std::uint64_t offset, std::size_t size);
};

class SpanSource final : public ByteSource {
 public:
  explicit SpanSource(std::string_view bytes) : bytes_(bytes) {}
  std::uint64_t Size() const override { return bytes_.size(); }
  std::size_t ReadAt(std::uint64_t offset, void* buffer, std::size_t count) override;

 private:
  std::string_view bytes_;
};

// Reads through an open file; moves the file's position. A failing read throws the file's
// OSError, or with ReadErrors::EndOfData ends the bytes available as the end of the file does
// (for readers that take short data as "not this format").
class FileSource : public ByteSource {
 public:
  enum class ReadErrors { Throw, EndOfData };
  explicit FileSource(File& file, ReadErrors errors = ReadErrors::Throw);
  std::uint64_t Size() const override { return size_; }
  std::size_t ReadAt(std::uint64_t offset, void* buffer, std::size_t count) override;

 private:
  File& file_;
  std::uint64_t size_;
  ReadErrors errors_;
};

}  // namespace valise::platform
