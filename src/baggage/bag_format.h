// The byte layout of a baggage container, and a reader for it that works over any source of
// bytes (an open file, or a span in memory for the fuzz target and the tools).
//
// A container file starts with a 32-byte prefix: "MZ" or "KQ", and at offset 28 the header
// pointer (0 = no baggage, 0xFFFFFF80 = the baggage is in the ".BAG" twin, otherwise the
// absolute offset of the header). The 14-byte header holds "KQKL", the version 0x0200 and at
// offset 10 the entry count N; N packed 21-byte entries follow it (name length, 12 name bytes,
// size, offset). All integers are little-endian.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace valise {

namespace platform {
class File;
}

// One directory entry. The name is UTF-8 (the container holds it in the ANSI code page) and
// has at most 12 characters.
struct TBagEntry {
  std::string Name;
  std::uint32_t Size = 0;
  std::uint32_t Offset = 0;
};

namespace bagformat {

inline constexpr std::size_t kPrefixSize = 32;
inline constexpr std::size_t kPointerOffset = 28;
inline constexpr std::size_t kHeaderSize = 14;
inline constexpr std::size_t kEntrySize = 21;
inline constexpr std::size_t kMaxNameLength = 12;
inline constexpr std::uint32_t kExternalPointer = 0xFFFFFF80u;
inline constexpr std::uint16_t kVersion = 0x0200;
inline constexpr char kMagic[4] = {'K', 'Q', 'K', 'L'};

// Random access to the bytes of a container.
class ByteSource {
 public:
  virtual ~ByteSource() = default;
  virtual std::uint64_t Size() = 0;
  // Reads up to `count` bytes at `offset`; returns how many were read (fewer only at the end).
  virtual std::size_t ReadAt(std::uint64_t offset, void* buffer, std::size_t count) = 0;
};

class SpanSource final : public ByteSource {
 public:
  explicit SpanSource(std::string_view bytes) : bytes_(bytes) {}
  std::uint64_t Size() override { return bytes_.size(); }
  std::size_t ReadAt(std::uint64_t offset, void* buffer, std::size_t count) override;

 private:
  std::string_view bytes_;
};

// Reads through an open file; moves the file's position.
class FileSource final : public ByteSource {
 public:
  explicit FileSource(platform::File& file) : file_(file) {}
  std::uint64_t Size() override;
  std::size_t ReadAt(std::uint64_t offset, void* buffer, std::size_t count) override;

 private:
  platform::File& file_;
};

// What the prefix of a file says.
struct Probe {
  bool ok = false;  // "MZ" or "KQ" with a non-zero pointer, and the header could be read
  std::uint32_t pointer = 0;
  std::array<unsigned char, kHeaderSize> header{};  // zero when no header was read

  bool External() const { return ok && pointer == kExternalPointer; }
  // The header's magic is "KQKL" and its version 0x0200.
  bool HeaderValid() const;
  std::uint32_t Count() const;
};

// Reads the prefix and, unless the pointer names the external twin, the header. A file that is
// too short, or whose pointer plus the header size is not below the file's size, gives a probe
// that is not ok; that is no error.
Probe ProbePrefix(ByteSource& source);

// Reads the directory that follows a valid header, in the order stored. Throws
// valise::Error("Unexpected EOF!") when the file ends before N entries.
std::vector<TBagEntry> ReadDirectory(ByteSource& source, const Probe& probe);

// Sorts a directory by name under the locale's case-insensitive comparison.
void SortDirectory(std::vector<TBagEntry>& entries);

// Little-endian helpers shared by the reader and the writer.
inline std::uint32_t GetU32(const unsigned char* p) {
  return std::uint32_t{p[0]} | std::uint32_t{p[1]} << 8 | std::uint32_t{p[2]} << 16 |
         std::uint32_t{p[3]} << 24;
}
inline void PutU32(unsigned char* p, std::uint32_t v) {
  p[0] = static_cast<unsigned char>(v);
  p[1] = static_cast<unsigned char>(v >> 8);
  p[2] = static_cast<unsigned char>(v >> 16);
  p[3] = static_cast<unsigned char>(v >> 24);
}

}  // namespace bagformat
}  // namespace valise
