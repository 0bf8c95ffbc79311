#include "platform/shell_link_format.h"

#include <array>
#include <cstring>
#include <optional>
#include <vector>

#include "platform/bytes.h"
#include "platform/errors.h"
#include "platform/files.h"
#include "platform/text.h"
#include "platform/utf.h"

namespace valise::platform {
namespace {

constexpr std::uint32_t kHeaderSize = 0x4C;
constexpr std::array<std::uint8_t, 16> kLinkClsid = {
    0x01, 0x14, 0x02, 0x00, 0x00, 0x00, 0x00, 0x00, 0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46};
// {20D04FE0-3AEA-1069-A2D8-08002B30309D}, the computer folder at the root of every drive.
constexpr std::array<std::uint8_t, 16> kComputerClsid = {
    0xE0, 0x4F, 0xD0, 0x20, 0xEA, 0x3A, 0x69, 0x10, 0xA2, 0xD8, 0x08, 0x00, 0x2B, 0x30, 0x30, 0x9D};

enum LinkFlag : std::uint32_t {
  kHasIdList = 0x01,
  kHasLinkInfo = 0x02,
  kHasName = 0x04,
  kHasRelativePath = 0x08,
  kHasWorkingDir = 0x10,
  kHasArguments = 0x20,
  kHasIconLocation = 0x40,
  kIsUnicode = 0x80,
};

enum LinkInfoFlag : std::uint32_t {
  kVolumeIdAndLocalBasePath = 0x01,
  kNetworkLinkAndPathSuffix = 0x02,
};

constexpr std::uint32_t kLinkInfoHeaderSize = 0x24;  // with the UTF-16 path offsets
constexpr std::uint32_t kLinkInfoAnsiHeaderSize = 0x1C;
constexpr std::uint32_t kVolumeIdSize = 0x11;  // the fixed part and an empty label
constexpr std::uint32_t kDriveFixed = 3;
constexpr std::uint32_t kDriveRemote = 4;
constexpr std::uint16_t kFileEntryExtensionVersion = 3;
constexpr std::uint32_t kFileEntryExtensionSignature = 0xBEEF0004;

// --- Writing ----------------------------------------------------------------------------------

class Writer {
 public:
  void U8(std::uint8_t value) { bytes_ += static_cast<char>(value); }
  void U16(std::uint16_t value) { AppendU16(bytes_, value); }
  void U32(std::uint32_t value) { AppendU32(bytes_, value); }
  void U64(std::uint64_t value) { AppendU64(bytes_, value); }
  void Bytes(std::string_view data) { bytes_ += data; }
  template <std::size_t N>
  void Bytes(const std::array<std::uint8_t, N>& data) {
    for (std::uint8_t b : data) U8(b);
  }
  void Zeros(std::size_t count) { bytes_.append(count, '\0'); }
  // Text in UTF-16, with or without a terminating null.
  void Wide(std::u16string_view text, bool terminate) {
    for (char16_t c : text) U16(static_cast<std::uint16_t>(c));
    if (terminate) U16(0);
  }
  void PatchU16(std::size_t offset, std::uint16_t value) { StoreU16(&bytes_[offset], value); }
  void PatchU32(std::size_t offset, std::uint32_t value) { StoreU32(&bytes_[offset], value); }
  std::size_t size() const { return bytes_.size(); }
  std::string& bytes() { return bytes_; }

 private:
  std::string bytes_;
};

bool IsSeparator(char c) {
  return c == '\\' || c == '/';
}

bool IsDriveAbsolute(std::string_view path) {
  return path.size() >= 3 &&
         ((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z')) &&
         path[1] == ':' && IsSeparator(path[2]);
}

std::vector<std::string_view> PathComponents(std::string_view rest) {
  std::vector<std::string_view> parts;
  std::size_t start = 0;
  for (std::size_t i = 0; i <= rest.size(); ++i) {
    if (i == rest.size() || IsSeparator(rest[i])) {
      if (i > start) parts.push_back(rest.substr(start, i - start));
      start = i + 1;
    }
  }
  return parts;
}

// One file-system item: its short fields with the name in the ANSI code page, then an
// extension block holding the name in UTF-16, whose offset the item's last two bytes give.
std::string FileSystemItem(std::string_view name, bool folder, std::uint32_t size,
                           std::uint16_t attributes) {
  Writer item;
  item.U16(0);  // the size, patched below
  item.U8(folder ? 0x31 : 0x32);
  item.U8(0);
  item.U32(size);
  item.U32(0);  // DOS date and time
  item.U16(attributes);
  item.Bytes(Utf8ToAnsi(name));
  item.U8(0);
  if (item.size() % 2 != 0) item.U8(0);
  const std::size_t extension = item.size();
  const std::u16string wide = Utf8ToUtf16(name);
  item.U16(static_cast<std::uint16_t>(22 + 2 * (wide.size() + 1)));
  item.U16(kFileEntryExtensionVersion);
  item.U32(kFileEntryExtensionSignature);
  item.U32(0);  // creation date and time
  item.U32(0);  // last access date and time
  item.U32(0);
  item.Wide(wide, true);
  item.U16(static_cast<std::uint16_t>(extension));
  if (item.size() > 0xFFFF) throw Error("Shell link target name too long");
  item.PatchU16(0, static_cast<std::uint16_t>(item.size()));
  return std::move(item.bytes());
}

std::string TargetIdList(std::string_view target, const ShellLinkTargetInfo& info) {
  Writer list;
  list.U16(0);  // the size, patched below
  list.U16(0x14);
  list.U8(0x1F);
  list.U8(0x50);
  list.Bytes(kComputerClsid);

  list.U16(0x19);
  list.U8(0x2F);
  const char drive[] = {static_cast<char>(target[0] & ~0x20), ':', '\\'};
  list.Bytes(std::string_view(drive, 3));
  list.Zeros(0x19 - 6);

  const auto parts = PathComponents(target.substr(3));
  for (std::size_t i = 0; i < parts.size(); ++i) {
    const bool last = i + 1 == parts.size();
    const bool folder = !last || (info.attributes & kAttrDirectory) != 0;
    const auto attributes = static_cast<std::uint16_t>(last ? info.attributes : kAttrDirectory);
    list.Bytes(FileSystemItem(parts[i], folder, last && !folder ? info.size : 0, attributes));
  }
  list.U16(0);
  if (list.size() - 2 > 0xFFFF) throw Error("Shell link target too long");
  list.PatchU16(0, static_cast<std::uint16_t>(list.size() - 2));
  return std::move(list.bytes());
}

std::string LinkInfo(std::string_view target) {
  const std::string ansiPath = Utf8ToAnsi(target);
  const std::u16string widePath = Utf8ToUtf16(target);
  Writer info;
  info.U32(0);  // the size, patched below
  info.U32(kLinkInfoHeaderSize);
  info.U32(kVolumeIdAndLocalBasePath);
  const std::uint32_t volumeId = kLinkInfoHeaderSize;
  const std::uint32_t localPath = volumeId + kVolumeIdSize;
  const auto suffix = static_cast<std::uint32_t>(localPath + ansiPath.size() + 1);
  std::uint32_t localPathWide = suffix + 1;
  localPathWide += localPathWide % 2;
  const auto suffixWide = static_cast<std::uint32_t>(localPathWide + 2 * (widePath.size() + 1));
  info.U32(volumeId);
  info.U32(localPath);
  info.U32(0);  // no network link
  info.U32(suffix);
  info.U32(localPathWide);
  info.U32(suffixWide);

  info.U32(kVolumeIdSize);
  info.U32(IsDriveAbsolute(target) ? kDriveFixed : kDriveRemote);
  info.U32(0);     // serial number
  info.U32(0x10);  // label offset
  info.U8(0);      // empty label

  info.Bytes(ansiPath);
  info.U8(0);
  info.U8(0);  // empty common path suffix
  if (info.size() % 2 != 0) info.U8(0);
  info.Wide(widePath, true);
  info.U16(0);  // empty common path suffix
  info.PatchU32(0, static_cast<std::uint32_t>(info.size()));
  return std::move(info.bytes());
}

void StringData(Writer& out, std::string_view text) {
  const std::u16string wide = Utf8ToUtf16(text);
  if (wide.size() > 0xFFFF) throw Error("Shell link text too long");
  out.U16(static_cast<std::uint16_t>(wide.size()));
  out.Wide(wide, false);
}

// --- Reading ----------------------------------------------------------------------------------

// A bounds-checked view of a part of the file (see ByteSpan), with the shell link's strings.
class Span : public ByteSpan {
 public:
  Span(std::string_view data, const char* part) : ByteSpan(data, "shell link", part) {}
  explicit Span(const ByteSpan& span) : ByteSpan(span) {}

  Span Sub(std::size_t offset, std::size_t count) const {
    return Span(ByteSpan::Sub(offset, count));
  }
  // A null-terminated ANSI string starting at offset; corrupt when no null ends it.
  std::string_view AnsiZ(std::size_t offset) const {
    if (offset >= size()) Corrupt();
    const std::size_t end = data().find('\0', offset);
    if (end == std::string_view::npos) Corrupt();
    return data().substr(offset, end - offset);
  }
  // A null-terminated UTF-16 string starting at offset, as UTF-8.
  std::string WideZ(std::size_t offset) const {
    std::u16string text;
    for (std::size_t at = offset;; at += 2) {
      if (at > size() || size() - at < 2) Corrupt();
      const std::uint16_t c = U16(at);
      if (c == 0) break;
      text += static_cast<char16_t>(c);
    }
    return Utf16ToUtf8(text);
  }
};

std::string CutAtNull(std::string text) {
  const std::size_t end = text.find('\0');
  if (end != std::string::npos) text.resize(end);
  return text;
}

// The text of a UTF-16 string of `count` units, which may lack its terminating null.
std::string WideText(const Span& span, std::size_t offset, std::size_t count) {
  span.Need(offset, count * 2);
  std::u16string text;
  text.reserve(count);
  for (std::size_t i = 0; i < count; ++i) {
    const std::uint16_t c = span.U16(offset + 2 * i);
    if (c == 0) break;
    text += static_cast<char16_t>(c);
  }
  return Utf16ToUtf8(text);
}

// The long name of a file-system item out of its extension block, or nothing when the item
// has no extension block of a known layout.
std::optional<std::string> ExtensionName(const Span& item, std::size_t shortEnd) {
  if (item.size() < shortEnd + 4) return std::nullopt;
  const std::uint16_t offset = item.U16(item.size() - 2);
  if (offset < shortEnd || offset % 2 != 0 || offset + std::size_t{22} > item.size()) {
    return std::nullopt;
  }
  const Span extension = item.Sub(offset, item.size() - offset);
  if (extension.U16(0) != extension.size()) return std::nullopt;
  const std::uint16_t version = extension.U16(2);
  std::size_t name = 20;  // the layout of version 3 and earlier
  if (version >= 9) {
    name = 46;
  } else if (version >= 7) {
    name = version == 7 ? 38 : 42;
  }
  if (name + 4 > extension.size()) return std::nullopt;
  const Span names = extension.Sub(name, extension.size() - 2 - name);
  std::u16string text;
  for (std::size_t at = 0; at + 1 < names.size(); at += 2) {
    const std::uint16_t c = names.U16(at);
    if (c == 0) return Utf16ToUtf8(text);
    text += static_cast<char16_t>(c);
  }
  return std::nullopt;
}

// The path that an item identifier list names, when it is a computer-drive-files list.
std::string IdListPath(const Span& list) {
  std::vector<Span> items;
  std::size_t at = 0;
  for (;;) {
    const std::uint16_t size = list.U16(at);
    if (size == 0) break;
    if (size < 3) list.Corrupt();
    items.push_back(list.Sub(at, size));
    at += size;
  }
  if (at + 2 != list.size()) list.Corrupt();

  std::size_t next = 0;
  if (next < items.size() && items[next].U8(2) == 0x1F) {
    const Span& root = items[next];
    if (root.size() < 20 || std::memcmp(root.data().data() + 4, kComputerClsid.data(), 16) != 0) {
      return {};
    }
    ++next;
  }
  if (next >= items.size() || (items[next].U8(2) & 0x70) != 0x20) return {};
  std::string path(items[next].AnsiZ(3));
  if (path.size() < 2 || path[1] != ':') return {};
  if (path.size() == 2) path += '\\';
  ++next;

  for (; next < items.size(); ++next) {
    const Span& item = items[next];
    const std::uint8_t type = item.U8(2);
    if ((type & 0x70) != 0x30) return {};
    const bool wideShortName = (type & 0x04) != 0;
    std::string shortName;
    std::size_t shortEnd = 14;
    if (wideShortName) {
      shortName = item.WideZ(14);
      shortEnd = 14 + 2 * (Utf8ToUtf16(shortName).size() + 1);
    } else {
      const std::string_view ansi = item.AnsiZ(14);
      shortName = AnsiToUtf8(ansi);
      shortEnd = 14 + ansi.size() + 1;
    }
    const std::optional<std::string> longName = ExtensionName(item, shortEnd);
    if (path.back() != '\\') path += '\\';
    path += longName && !longName->empty() ? *longName : shortName;
  }
  return path;
}

struct LinkInfoPaths {
  std::string path;       // the target path as UTF-8
  bool fromAnsi = false;  // the path came from ANSI strings only
  std::string ansi;       // the ANSI bytes it came from
};

LinkInfoPaths ReadLinkInfo(const Span& info) {
  const std::uint32_t headerSize = info.U32(4);
  if (headerSize < kLinkInfoAnsiHeaderSize || headerSize > info.size()) info.Corrupt();
  const bool wide = headerSize >= kLinkInfoHeaderSize;
  const std::uint32_t flags = info.U32(8);
  const std::uint32_t localPath = info.U32(16);
  const std::uint32_t network = info.U32(20);
  const std::uint32_t suffix = info.U32(24);
  const std::uint32_t localPathWide = wide ? info.U32(28) : 0;
  const std::uint32_t suffixWide = wide ? info.U32(32) : 0;

  LinkInfoPaths result;
  if ((flags & kVolumeIdAndLocalBasePath) != 0) {
    if (localPathWide != 0) {
      result.path = info.WideZ(localPathWide);
      if (suffixWide != 0) result.path += info.WideZ(suffixWide);
      return result;
    }
    result.ansi = std::string(info.AnsiZ(localPath));
    if (suffix != 0) result.ansi += info.AnsiZ(suffix);
    result.path = AnsiToUtf8(result.ansi);
    result.fromAnsi = true;
    return result;
  }
  if ((flags & kNetworkLinkAndPathSuffix) != 0) {
    const Span link = info.Sub(network, info.size() - network);
    const std::uint32_t linkSize = link.U32(0);
    if (linkSize < 0x14 || linkSize > link.size()) info.Corrupt();
    const Span body = link.Sub(0, linkSize);
    const std::uint32_t netName = body.U32(8);
    std::string name;
    if (netName > 0x14) {
      name = body.WideZ(body.U32(0x14));
    } else {
      name = AnsiToUtf8(body.AnsiZ(netName));
    }
    std::string rest;
    if (suffixWide != 0) {
      rest = info.WideZ(suffixWide);
    } else if (suffix != 0) {
      rest = AnsiToUtf8(info.AnsiZ(suffix));
    }
    result.path = name;
    if (!rest.empty()) {
      if (!result.path.empty() && result.path.back() != '\\') result.path += '\\';
      result.path += rest;
    }
  }
  return result;
}

}  // namespace

std::string EncodeShellLink(const ShellLinkData& link, const ShellLinkTargetInfo& target) {
  const std::string& path = link.target;
  const bool hasIdList = IsDriveAbsolute(path);
  const bool hasLinkInfo = !path.empty();
  std::uint32_t flags = kIsUnicode;
  if (hasIdList) flags |= kHasIdList;
  if (hasLinkInfo) flags |= kHasLinkInfo;
  if (!link.description.empty()) flags |= kHasName;
  if (!link.workingDirectory.empty()) flags |= kHasWorkingDir;
  if (!link.arguments.empty()) flags |= kHasArguments;
  if (!link.iconLocation.empty()) flags |= kHasIconLocation;

  Writer out;
  out.U32(kHeaderSize);
  out.Bytes(kLinkClsid);
  out.U32(flags);
  out.U32(target.attributes);
  out.U64(target.creationTime);
  out.U64(target.accessTime);
  out.U64(target.writeTime);
  out.U32(target.size);
  out.U32(static_cast<std::uint32_t>(link.iconIndex));
  out.U32(static_cast<std::uint32_t>(link.showCommand));
  out.U16(link.hotKey);
  out.Zeros(10);

  if (hasIdList) out.Bytes(TargetIdList(path, target));
  if (hasLinkInfo) out.Bytes(LinkInfo(path));
  if (!link.description.empty()) StringData(out, link.description);
  if (!link.workingDirectory.empty()) StringData(out, link.workingDirectory);
  if (!link.arguments.empty()) StringData(out, link.arguments);
  if (!link.iconLocation.empty()) StringData(out, link.iconLocation);
  out.U32(0);  // the terminal extra data block
  return std::move(out.bytes());
}

ShellLinkData DecodeShellLink(std::string_view bytes) {
  const Span header(bytes, "header");
  header.Need(0, kHeaderSize);
  if (header.U32(0) != kHeaderSize ||
      std::memcmp(bytes.data() + 4, kLinkClsid.data(), kLinkClsid.size()) != 0) {
    throw Error("Invalid shell link: not a shell link");
  }
  const std::uint32_t flags = header.U32(0x14);
  ShellLinkData link;
  link.iconIndex = static_cast<std::int32_t>(header.U32(0x38));
  link.showCommand = static_cast<std::int32_t>(header.U32(0x3C));
  link.hotKey = header.U16(0x40);

  std::size_t at = kHeaderSize;
  std::string idListPath;
  if ((flags & kHasIdList) != 0) {
    const Span rest(bytes.substr(at), "item list");
    const std::uint16_t size = rest.U16(0);
    const Span list = rest.Sub(2, size);
    idListPath = IdListPath(list);
    at += 2 + std::size_t{size};
  }

  LinkInfoPaths linkInfo;
  if ((flags & kHasLinkInfo) != 0) {
    const Span rest(bytes.substr(at), "link info");
    const std::uint32_t size = rest.U32(0);
    if (size < kLinkInfoAnsiHeaderSize) rest.Corrupt();
    linkInfo = ReadLinkInfo(rest.Sub(0, size));
    at += size;
  }

  const bool unicode = (flags & kIsUnicode) != 0;
  const Span strings(bytes.substr(at), "string data");
  std::size_t offset = 0;
  auto next = [&](std::uint32_t flag) -> std::string {
    if ((flags & flag) == 0) return {};
    const std::uint16_t count = strings.U16(offset);
    offset += 2;
    std::string text;
    if (unicode) {
      text = WideText(strings, offset, count);
      offset += 2 * std::size_t{count};
    } else {
      strings.Need(offset, count);
      text = CutAtNull(AnsiToUtf8(strings.data().substr(offset, count)));
      offset += count;
    }
    return text;
  };
  link.description = next(kHasName);
  const std::string relativePath = next(kHasRelativePath);
  link.workingDirectory = next(kHasWorkingDir);
  link.arguments = next(kHasArguments);
  link.iconLocation = next(kHasIconLocation);
  at += offset;

  // Extra data: blocks of a size and a signature, up to a terminal block of fewer than four
  // bytes. None of them changes what is reported; they are only checked to be well formed.
  const Span extra(bytes.substr(at), "extra data");
  for (std::size_t block = 0; block < extra.size();) {
    const std::uint32_t size = extra.U32(block);
    if (size < 4) break;
    if (size < 8) extra.Corrupt();
    extra.Need(block, size);
    block += size;
  }

  // The link info's path comes first. An ANSI path loses the characters that the code page
  // lacks; the item list's path, where it names the same file, keeps them.
  if (!linkInfo.path.empty()) {
    link.target = linkInfo.path;
    if (linkInfo.fromAnsi && !idListPath.empty() && Utf8ToAnsi(idListPath) == linkInfo.ansi) {
      link.target = idListPath;
    }
  } else if (!idListPath.empty()) {
    link.target = idListPath;
  } else {
    link.target = relativePath;
  }
  return link;
}

}  // namespace valise::platform
