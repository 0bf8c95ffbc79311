#include "platform/pe_version.h"

#include <algorithm>
#include <vector>

#include "platform/bytes.h"
#include "platform/errors.h"

namespace valise::platform {
namespace {

constexpr std::uint32_t kResourceTypeVersion = 16;
constexpr std::uint32_t kSubdirectoryBit = 0x80000000;
constexpr std::uint32_t kFixedFileInfoSignature = 0xFEEF04BD;
constexpr std::size_t kFixedFileInfoSize = 52;
constexpr std::u16string_view kVersionKey = u"VS_VERSION_INFO";

// The integers of the headers, read from bytes that Image::Need has checked are there.
std::uint16_t U16(std::string_view data, std::size_t offset) {
  return LoadU16(data.data() + offset);
}

std::uint32_t U32(std::string_view data, std::size_t offset) {
  return LoadU32(data.data() + offset);
}

struct Section {
  std::uint32_t virtualAddress = 0;
  std::uint32_t virtualSize = 0;
  std::uint32_t rawSize = 0;
  std::uint32_t rawOffset = 0;
};

class Image {
 public:
  explicit Image(ByteSource& source) : source_(source), size_(source.Size()) {}

  std::uint64_t size() const { return size_; }

  // Exactly `count` bytes at `offset`, or the error named by `message`.
  std::string Need(std::uint64_t offset, std::size_t count, const char* message) {
    if (offset > size_ || count > size_ - offset) throw Error(message);
    std::string bytes = source_.Read(offset, count);
    if (bytes.size() != count) throw Error(message);
    return bytes;
  }

  void SetSections(std::vector<Section> sections) { sections_ = std::move(sections); }

  // The `count` bytes at a relative virtual address, from the section that holds them.
  std::string ReadRva(std::uint64_t rva, std::size_t count, const char* message) {
    for (const Section& section : sections_) {
      if (rva < section.virtualAddress) continue;
      const std::uint64_t within = rva - section.virtualAddress;
      if (within >= std::max(section.virtualSize, section.rawSize)) continue;
      if (within + count > section.rawSize) throw Error(message);
      return Need(section.rawOffset + within, count, message);
    }
    throw Error(message);
  }

 private:
  ByteSource& source_;
  std::uint64_t size_;
  std::vector<Section> sections_;
};

struct DirectoryEntry {
  std::uint32_t name = 0;
  std::uint32_t offset = 0;
  bool IsDirectory() const { return (offset & kSubdirectoryBit) != 0; }
  std::uint32_t Target() const { return offset & ~kSubdirectoryBit; }
};

// Walks the resource directory: offsets are relative to its start, and every directory is
// visited at most once, so that a directory pointing back at one above it is reported.
class ResourceTree {
 public:
  ResourceTree(Image& image, std::uint32_t rva) : image_(image), rva_(rva) {}

  std::vector<DirectoryEntry> Directory(std::uint32_t offset) {
    if (std::find(visited_.begin(), visited_.end(), offset) != visited_.end()) {
      throw Error("Invalid PE file: loop in the resource directory");
    }
    visited_.push_back(offset);
    const std::string header = Read(offset, 16);
    const std::size_t count = std::size_t{U16(header, 12)} + U16(header, 14);
    const std::string table = Read(std::uint64_t{offset} + 16, count * 8);
    std::vector<DirectoryEntry> entries(count);
    for (std::size_t i = 0; i < count; ++i) {
      entries[i].name = U32(table, i * 8);
      entries[i].offset = U32(table, i * 8 + 4);
    }
    return entries;
  }

  std::string Read(std::uint64_t offset, std::size_t count) {
    return image_.ReadRva(rva_ + offset, count, "Invalid PE file: resource directory out of range");
  }

 private:
  Image& image_;
  std::uint64_t rva_;
  std::vector<std::uint32_t> visited_;
};

std::optional<FileVersion> FixedFileVersion(std::string_view block) {
  if (block.size() < 6) throw Error("Invalid version resource: truncated");
  const std::uint16_t length = U16(block, 0);
  const std::uint16_t valueLength = U16(block, 2);
  if (length < 6 || length > block.size()) throw Error("Invalid version resource: truncated");
  block = block.substr(0, length);
  const std::size_t keyEnd = 6 + 2 * (kVersionKey.size() + 1);
  bool keyMatches = block.size() >= keyEnd && U16(block, keyEnd - 2) == 0;
  for (std::size_t i = 0; keyMatches && i < kVersionKey.size(); ++i) {
    keyMatches = U16(block, 6 + 2 * i) == kVersionKey[i];
  }
  if (!keyMatches) throw Error("Invalid version resource: no VS_VERSION_INFO key");
  if (valueLength == 0) return std::nullopt;
  const std::size_t value = (keyEnd + 3) & ~std::size_t{3};
  if (valueLength < kFixedFileInfoSize || value + kFixedFileInfoSize > block.size()) {
    throw Error("Invalid version resource: truncated fixed file info");
  }
  if (U32(block, value) != kFixedFileInfoSignature) {
    throw Error("Invalid version resource: bad fixed file info signature");
  }
  return FileVersion{U32(block, value + 8), U32(block, value + 12)};
}

}  // namespace

std::optional<FileVersion> ReadPeFileVersion(ByteSource& source) {
  Image image(source);

  // The DOS header and the PE signature that it points at: without them this is no PE file.
  if (image.size() < 64) return std::nullopt;
  const std::string dos = image.Need(0, 64, "Invalid PE file: truncated headers");
  if (dos[0] != 'M' || dos[1] != 'Z') return std::nullopt;
  const std::uint32_t peOffset = U32(dos, 0x3C);
  if (std::uint64_t{peOffset} + 4 > image.size()) return std::nullopt;
  if (image.Need(peOffset, 4, "Invalid PE file: truncated headers") != std::string("PE\0\0", 4)) {
    return std::nullopt;
  }

  const std::string coff =
      image.Need(std::uint64_t{peOffset} + 4, 20, "Invalid PE file: truncated headers");
  const std::uint16_t sectionCount = U16(coff, 2);
  const std::uint16_t optionalSize = U16(coff, 16);
  const std::uint64_t optionalOffset = std::uint64_t{peOffset} + 24;
  const std::string optional =
      image.Need(optionalOffset, optionalSize, "Invalid PE file: truncated headers");
  if (optional.size() < 2) throw Error("Invalid PE file: truncated headers");
  std::size_t directories = 0;
  switch (U16(optional, 0)) {
    case 0x10B:
      directories = 96;
      break;
    case 0x20B:
      directories = 112;
      break;
    default:
      throw Error("Invalid PE file: unknown optional header");
  }
  constexpr std::size_t kResourceDirectory = 2;
  if (optional.size() < directories + (kResourceDirectory + 1) * 8 ||
      U32(optional, directories - 4) <= kResourceDirectory) {
    return std::nullopt;
  }
  const std::uint32_t resourceRva = U32(optional, directories + kResourceDirectory * 8);
  if (resourceRva == 0) return std::nullopt;

  const std::string table =
      image.Need(optionalOffset + optionalSize, std::size_t{sectionCount} * 40,
                 "Invalid PE file: truncated section table");
  std::vector<Section> sections(sectionCount);
  for (std::size_t i = 0; i < sectionCount; ++i) {
    sections[i].virtualSize = U32(table, i * 40 + 8);
    sections[i].virtualAddress = U32(table, i * 40 + 12);
    sections[i].rawSize = U32(table, i * 40 + 16);
    sections[i].rawOffset = U32(table, i * 40 + 20);
  }
  image.SetSections(std::move(sections));

  // Type, then name, then language: the first name and its first language are taken.
  ResourceTree tree(image, resourceRva);
  std::optional<DirectoryEntry> type;
  for (const DirectoryEntry& entry : tree.Directory(0)) {
    if (entry.name == kResourceTypeVersion) {
      type = entry;
      break;
    }
  }
  if (!type) return std::nullopt;
  if (!type->IsDirectory()) throw Error("Invalid PE file: corrupt resource directory");
  const std::vector<DirectoryEntry> names = tree.Directory(type->Target());
  if (names.empty()) return std::nullopt;
  if (!names[0].IsDirectory()) throw Error("Invalid PE file: corrupt resource directory");
  const std::vector<DirectoryEntry> languages = tree.Directory(names[0].Target());
  if (languages.empty()) return std::nullopt;
  if (languages[0].IsDirectory()) throw Error("Invalid PE file: corrupt resource directory");

  const std::string dataEntry = tree.Read(languages[0].Target(), 16);
  const std::uint32_t dataRva = U32(dataEntry, 0);
  const std::uint32_t dataSize = U32(dataEntry, 4);
  // A version block states its own length in 16 bits; more than that is never read.
  const std::string block = image.ReadRva(dataRva, std::min<std::uint32_t>(dataSize, 0xFFFF),
                                          "Invalid PE file: version resource out of range");
  return FixedFileVersion(block);
}

std::optional<FileVersion> ReadPeFileVersion(std::string_view image) {
  SpanSource source(image);
  return ReadPeFileVersion(source);
}

}  // namespace valise::platform
