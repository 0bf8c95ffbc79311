#include "baggage/bag_format.h"

#include <algorithm>
#include <cstring>

#include "platform/bytes.h"
#include "platform/errors.h"
#include "platform/files.h"
#include "platform/text.h"

namespace valise::bagformat {

bool Probe::HeaderValid() const {
  return std::memcmp(header.data(), kMagic, 4) == 0 &&
         platform::LoadU16(header.data() + 4) == kVersion;
}

std::uint32_t Probe::Count() const {
  return platform::LoadU32(header.data() + 10);
}

Probe ProbePrefix(ByteSource& source) {
  Probe probe;
  unsigned char prefix[kPrefixSize] = {};
  if (source.ReadAt(0, prefix, kPrefixSize) != kPrefixSize) return probe;
  const bool signature =
      (prefix[0] == 'M' && prefix[1] == 'Z') || (prefix[0] == 'K' && prefix[1] == 'Q');
  const std::uint32_t pointer = platform::LoadU32(prefix + kPointerOffset);
  if (!signature || pointer == 0) return probe;
  if (pointer == kExternalPointer) {
    probe.ok = true;
    probe.pointer = pointer;
    return probe;
  }
  // The header must lie wholly inside the file with at least one byte after it.
  if (static_cast<std::int64_t>(pointer) + static_cast<std::int64_t>(kHeaderSize) >=
      static_cast<std::int64_t>(source.Size())) {
    return probe;
  }
  source.ReadAt(pointer, probe.header.data(), kHeaderSize);
  probe.ok = true;
  probe.pointer = pointer;
  return probe;
}

std::vector<TBagEntry> ReadDirectory(ByteSource& source, const Probe& probe) {
  const std::uint64_t count = probe.Count();
  const std::uint64_t start = std::uint64_t{probe.pointer} + kHeaderSize;
  const std::uint64_t bytes = count * kEntrySize;
  // Checked before anything is allocated, so that a corrupt count cannot exhaust memory.
  const std::uint64_t size = source.Size();
  if (start > size || bytes > size - start) throw Error("Unexpected EOF!");
  std::vector<TBagEntry> entries;
  entries.reserve(count);
  constexpr std::size_t kBatch = 4096;
  std::vector<unsigned char> buffer(std::min<std::uint64_t>(count, kBatch) * kEntrySize);
  std::uint64_t done = 0;
  while (done < count) {
    const std::size_t batch =
        static_cast<std::size_t>(std::min<std::uint64_t>(count - done, kBatch));
    const std::size_t want = batch * kEntrySize;
    if (source.ReadAt(start + done * kEntrySize, buffer.data(), want) != want) {
      throw Error("Unexpected EOF!");
    }
    for (std::size_t i = 0; i < batch; ++i) {
      const unsigned char* raw = buffer.data() + i * kEntrySize;
      // A length beyond the name field is taken as the whole field.
      const std::size_t length = std::min<std::size_t>(raw[0], kMaxNameLength);
      TBagEntry entry;
      entry.Name =
          platform::AnsiToUtf8(std::string_view(reinterpret_cast<const char*>(raw + 1), length));
      entry.Size = platform::LoadU32(raw + 13);
      entry.Offset = platform::LoadU32(raw + 17);
      entries.push_back(std::move(entry));
    }
    done += batch;
  }
  return entries;
}

void SortDirectory(std::vector<TBagEntry>& entries) {
  // A merge sort stays within the array even if the comparison were inconsistent.
  std::stable_sort(entries.begin(), entries.end(), [](const TBagEntry& a, const TBagEntry& b) {
    return platform::CompareTextIgnoreCase(a.Name, b.Name) < 0;
  });
}

}  // namespace valise::bagformat
