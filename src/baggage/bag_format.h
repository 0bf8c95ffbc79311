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

#include "platform/byte_source.h"

namespace valise {

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

// Random access to the bytes of a container: the platform's byte sources.
using platform::ByteSource;
using platform::SpanSource;

// Reads through an open file. A failing read ends the bytes available, as the end of the file
// does: the reader treats a short read as "no baggage" or "Unexpected EOF!".
class FileSource final : public platform::FileSource {
 public:
  explicit FileSource(platform::File& file) : platform::FileSource(file, ReadErrors::EndOfData) {}
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

}  // namespace bagformat
}  // namespace valise
