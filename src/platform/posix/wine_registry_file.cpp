// Wine's registry file format. A file starts with the line "WINE REGISTRY Version 2", comment
// lines (";") and global options ("#arch=win64"). Each key follows as a block:
//
//   [Software\\Vendor\\Product] 1700000000      key path with escapes, seconds since 1970
//   #time=1d9c2a4b5e6f708                       the same time as a FILETIME in hex
//   @="default value"
//   "Name"="text with \"escapes\" and \x141 for characters past ASCII"
//   "Path"=str(2):"%ProgramFiles%\\Vendor"     REG_EXPAND_SZ (str(7) for REG_MULTI_SZ)
//   "Count"=dword:0000000a
//   "Data"=hex:00,ff,10                         REG_BINARY; hex(n) for other types, long data
//     continued with a backslash at the end of the line
//
// Keys that have subkeys but no values are not written: they exist through their subkeys.
// Wine keeps the subkeys and values of a key sorted by name without regard to case, and writes
// the keys depth first; new keys and values are placed where Wine would put them.
#include "platform/posix/wine_registry_file.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <map>

#include "platform/bytes.h"
#include "platform/case_fold.h"
#include "platform/errors.h"
#include "platform/utf.h"

namespace valise::platform::posix {

namespace {

constexpr char kSignature[] = "WINE REGISTRY Version 2";
constexpr std::uint64_t kTicksPerSecond = 10000000;
constexpr std::uint64_t kTicks1601To1970 = 86400ull * (369 * 365 + 89) * kTicksPerSecond;
constexpr std::uint32_t kRegSz = 1;
constexpr std::uint32_t kRegExpandSz = 2;
constexpr std::uint32_t kRegBinary = 3;
constexpr std::uint32_t kRegDword = 4;
constexpr std::uint32_t kRegMultiSz = 7;

bool IsHex(char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

unsigned HexDigit(char c) {
  if (c >= '0' && c <= '9') return static_cast<unsigned>(c - '0');
  if (c >= 'a' && c <= 'f') return static_cast<unsigned>(c - 'a' + 10);
  return static_cast<unsigned>(c - 'A' + 10);
}

bool IsSpace(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f';
}

// Lower case of one UTF-16 unit for name comparison: ASCII, Latin-1, Latin Extended-A, Greek
// and Cyrillic, which covers the names an installer writes.
// Names are ordered and matched folded to lower case, through the system's one case table.
char16_t Fold(char16_t c) {
  return static_cast<char16_t>(FoldToLower(c));
}

std::u16string Folded(std::u16string_view text) {
  std::u16string folded(text);
  for (auto& c : folded) c = Fold(c);
  return folded;
}

std::vector<std::uint8_t> Utf16Bytes(std::u16string_view text) {
  std::vector<std::uint8_t> bytes(text.size() * 2);
  for (std::size_t i = 0; i < text.size(); ++i) StoreU16(&bytes[2 * i], text[i]);
  return bytes;
}

std::u16string Utf16FromBytes(const std::vector<std::uint8_t>& bytes, std::size_t units) {
  std::u16string text(units, u'\0');
  for (std::size_t i = 0; i < units; ++i) {
    text[i] = static_cast<char16_t>(LoadU16(&bytes[2 * i]));
  }
  return text;
}

// Escapes a UTF-16 text as Wine does: \x and hex for units past ASCII (four digits when a hex
// digit follows), C escapes or octal for control characters, and a backslash before the
// backslash and the two characters in `special`.
std::string Escape(std::u16string_view text, const char special[2]) {
  static const char kEscapes[33] = ".......abtnvfr.............e....";
  std::string out;
  out.reserve(text.size());
  char buffer[16];
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char16_t c = text[i];
    const bool more = i + 1 < text.size();
    if (c > 127) {
      const bool hexNext = more && text[i + 1] < 128 && IsHex(static_cast<char>(text[i + 1]));
      std::snprintf(buffer, sizeof buffer, hexNext ? "\\x%04x" : "\\x%x", static_cast<unsigned>(c));
      out += buffer;
    } else if (c < 32) {
      if (kEscapes[c] != '.') {
        out += '\\';
        out += kEscapes[c];
      } else {
        const bool octalNext = more && text[i + 1] >= '0' && text[i + 1] <= '7';
        std::snprintf(buffer, sizeof buffer, octalNext ? "\\%03o" : "\\%o",
                      static_cast<unsigned>(c));
        out += buffer;
      }
    } else {
      const char a = static_cast<char>(c);
      if (a == '\\' || a == special[0] || a == special[1]) out += '\\';
      out += a;
    }
  }
  return out;
}

}  // namespace

WineRegData WineRegData::String(std::uint32_t type, std::string_view utf8) {
  std::u16string units = Utf8ToUtf16(utf8);
  units += u'\0';
  return WineRegData{type, Utf16Bytes(units)};
}

namespace {

// The lines of a file with the position of each; a line's text excludes its line break and a
// carriage return before it.
class LineReader {
 public:
  LineReader(std::string_view bytes, std::string_view fileName)
      : bytes_(bytes), fileName_(fileName) {}

  bool Next() {
    if (pos_ >= bytes_.size()) return false;
    const std::size_t end = bytes_.find('\n', pos_);
    const std::size_t stop = end == std::string_view::npos ? bytes_.size() : end + 1;
    raw_ = bytes_.substr(pos_, stop - pos_);
    text_ = raw_;
    if (!text_.empty() && text_.back() == '\n') text_.remove_suffix(1);
    if (!text_.empty() && text_.back() == '\r') text_.remove_suffix(1);
    pos_ = stop;
    ++line_;
    return true;
  }

  std::string_view text() const { return text_; }
  std::string_view raw() const { return raw_; }

  [[noreturn]] void Fail(const std::string& problem) const {
    throw Error("The registry file " + std::string(fileName_) + " is damaged at line " +
                std::to_string(line_) + ": " + problem);
  }

 private:
  std::string_view bytes_;
  std::string_view fileName_;
  std::size_t pos_ = 0;
  std::size_t line_ = 0;
  std::string_view raw_;
  std::string_view text_;
};

// Reads an escaped text up to `end` (not included) from text[pos]; pos ends past `end`.
// Raw UTF-8 is accepted too, as Wine does.
std::u16string Unescape(std::string_view text, std::size_t& pos, char end, const LineReader& in,
                        const char* what) {
  std::u16string out;
  while (true) {
    if (pos >= text.size()) in.Fail(std::string(what) + " is not closed");
    const char c = text[pos];
    if (c == end) {
      ++pos;
      return out;
    }
    if (c == '\\' && pos + 1 < text.size()) {
      const char e = text[++pos];
      switch (e) {
        case 'a':
          out += u'\a', ++pos;
          continue;
        case 'b':
          out += u'\b', ++pos;
          continue;
        case 'e':
          out += u'\x1b', ++pos;
          continue;
        case 'f':
          out += u'\f', ++pos;
          continue;
        case 'n':
          out += u'\n', ++pos;
          continue;
        case 'r':
          out += u'\r', ++pos;
          continue;
        case 't':
          out += u'\t', ++pos;
          continue;
        case 'v':
          out += u'\v', ++pos;
          continue;
        case 'x': {
          ++pos;
          if (pos >= text.size() || !IsHex(text[pos])) {
            out += u'x';
            continue;
          }
          unsigned value = 0;
          for (int k = 0; k < 4 && pos < text.size() && IsHex(text[pos]); ++k) {
            value = value * 16 + HexDigit(text[pos++]);
          }
          out += static_cast<char16_t>(value);
          continue;
        }
        default:
          if (e >= '0' && e <= '7') {
            unsigned value = 0;
            for (int k = 0; k < 3 && pos < text.size() && text[pos] >= '0' && text[pos] <= '7';
                 ++k) {
              value = value * 8 + static_cast<unsigned>(text[pos++] - '0');
            }
            out += static_cast<char16_t>(value);
            continue;
          }
          break;  // Any other character stands for itself.
      }
    }
    if (static_cast<unsigned char>(text[pos]) < 0x80) {
      out += static_cast<char16_t>(text[pos++]);
    } else {
      AppendUtf16(out, DecodeUtf8(text, pos).value_or(0xFFFD));
    }
  }
}

void SkipSpace(std::string_view text, std::size_t& pos) {
  while (pos < text.size() && IsSpace(text[pos])) ++pos;
}

// Reads comma-separated hex bytes, following lines that end in a backslash. Returns the raw
// lines of the continuation (the first line's raw is the caller's).
std::vector<std::uint8_t> ReadHex(std::string_view text, std::size_t pos, LineReader& in,
                                  std::string& raw) {
  std::vector<std::uint8_t> bytes;
  while (true) {
    while (pos < text.size() && IsHex(text[pos])) {
      unsigned value = 0;
      int digits = 0;
      while (pos < text.size() && IsHex(text[pos])) {
        value = value * 16 + HexDigit(text[pos++]);
        if (++digits > 2 && value > 0xFF) in.Fail("a byte of hex data is out of range");
      }
      bytes.push_back(static_cast<std::uint8_t>(value));
      SkipSpace(text, pos);
      if (pos < text.size() && text[pos] == ',') ++pos;
      SkipSpace(text, pos);
    }
    SkipSpace(text, pos);
    if (pos >= text.size()) return bytes;
    if (text[pos] != '\\') in.Fail("hex data holds something other than bytes");
    if (!in.Next()) in.Fail("hex data continues past the end of the file");
    raw += in.raw();
    text = in.text();
    pos = 0;
    SkipSpace(text, pos);
  }
}

std::string FileTimeHex(std::uint64_t time) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%x%08x", static_cast<unsigned>(time >> 32),
                static_cast<unsigned>(time & 0xFFFFFFFFu));
  return buffer;
}

// A value line (with continuation lines) as Wine writes it.
std::string FormatValue(std::u16string_view name, const WineRegData& value) {
  std::string out;
  if (name.empty()) {
    out = "@=";
  } else {
    out = "\"" + Escape(name, "\"\"") + "\"=";
  }
  std::size_t count = out.size();
  const auto& data = value.data;
  switch (value.type) {
    case kRegSz:
    case kRegExpandSz:
    case kRegMultiSz:
      // Only strings with their terminator are written as text.
      if (data.size() >= 2 && data.size() % 2 == 0 && data[data.size() - 1] == 0 &&
          data[data.size() - 2] == 0) {
        if (value.type != kRegSz) out += "str(" + std::to_string(value.type) + "):";
        out += '"';
        out += Escape(Utf16FromBytes(data, data.size() / 2 - 1), "\"\"");
        out += "\"\n";
        return out;
      }
      break;
    case kRegDword:
      if (data.size() == 4) {
        char buffer[24];
        std::snprintf(buffer, sizeof buffer, "dword:%08x\n",
                      static_cast<unsigned>(LoadU32(data.data())));
        return out + buffer;
      }
      break;
    default:
      break;
  }
  char buffer[24];
  if (value.type == kRegBinary) {
    std::snprintf(buffer, sizeof buffer, "hex:");
  } else {
    std::snprintf(buffer, sizeof buffer, "hex(%x):", static_cast<unsigned>(value.type));
  }
  out += buffer;
  count += std::char_traits<char>::length(buffer);
  for (std::size_t i = 0; i < data.size(); ++i) {
    std::snprintf(buffer, sizeof buffer, "%02x", static_cast<unsigned>(data[i]));
    out += buffer;
    count += 2;
    if (i + 1 < data.size()) {
      out += ',';
      if (++count > 76) {
        out += "\\\n  ";
        count = 2;
      }
    }
  }
  out += '\n';
  return out;
}

}  // namespace

std::u16string WineRegistryFile::FoldName(std::u16string_view name) {
  return Folded(name);
}

int WineRegistryFile::CompareNames(std::u16string_view a, std::u16string_view b) {
  const std::size_t n = std::min(a.size(), b.size());
  for (std::size_t i = 0; i < n; ++i) {
    const int d = static_cast<int>(Fold(a[i])) - static_cast<int>(Fold(b[i]));
    if (d != 0) return d;
  }
  return static_cast<int>(a.size()) - static_cast<int>(b.size());
}

WineRegistryFile WineRegistryFile::Parse(std::string_view bytes, std::string_view fileName) {
  WineRegistryFile file;
  file.nodes_.emplace_back();
  file.index_.emplace(std::u16string(), 0);
  LineReader in(bytes, fileName);
  if (!in.Next() || in.text() != kSignature) in.Fail("this is not a Wine registry file");
  file.preamble_ = std::string(in.raw());

  int current = -1;                                      // the node of the block being read
  std::unordered_map<std::u16string, std::size_t> seen;  // its values: folded name -> item
  std::string pending;  // blank and comment lines not yet given to a block
  const auto flushPending = [&] {
    if (pending.empty()) return;
    if (current < 0) {
      file.preamble_ += pending;
    } else {
      Item item;
      item.raw = std::move(pending);
      file.nodes_[current].items.push_back(std::move(item));
    }
    pending.clear();
  };

  while (in.Next()) {
    const std::string_view text = in.text();
    std::size_t pos = 0;
    SkipSpace(text, pos);
    const char first = pos < text.size() ? text[pos] : '\0';
    if (first == '\0' || first == ';') {
      pending += in.raw();
      continue;
    }
    if (first == '[') {
      ++pos;
      const std::u16string name = Unescape(text, pos, ']', in, "the key name");
      Path path;
      std::size_t start = 0;
      while (start <= name.size()) {
        std::size_t end = name.find(u'\\', start);
        if (end == std::u16string::npos) end = name.size();
        if (end > start) path.emplace_back(name.substr(start, end - start));
        start = end + 1;
      }
      bool created = false;
      current = file.Ensure(path, false, &created);
      Node& node = file.nodes_[current];
      if (node.hasBlock) {
        // The same key twice: Wine merges the blocks, and so do we (the second key line goes).
        flushPending();
        seen.clear();
        for (std::size_t i = 0; i < node.items.size(); ++i) {
          if (node.items[i].kind == Item::Kind::Value) seen[Folded(node.items[i].name)] = i;
        }
        continue;
      }
      node.hasBlock = true;
      seen.clear();
      node.leading = std::move(pending);
      pending.clear();
      node.header = std::string(in.raw());
      continue;
    }
    if (first == '#') {
      if (current < 0) {
        pending += in.raw();
        flushPending();
        continue;
      }
      flushPending();
      Item item;
      item.kind = Item::Kind::Option;
      item.raw = std::string(in.raw());
      file.nodes_[current].items.push_back(std::move(item));
      continue;
    }
    if (first != '@' && first != '"') in.Fail("the line is neither a key nor a value");
    if (current < 0) in.Fail("a value comes before the first key");
    flushPending();

    Item item;
    item.kind = Item::Kind::Value;
    item.raw = std::string(in.raw());
    if (first == '@') {
      ++pos;
    } else {
      ++pos;
      item.name = Unescape(text, pos, '"', in, "the value name");
    }
    SkipSpace(text, pos);
    if (pos >= text.size() || text[pos] != '=') in.Fail("a value name is not followed by \"=\"");
    ++pos;
    SkipSpace(text, pos);
    const std::string_view rest = text.substr(pos);
    WineRegData& value = item.value;
    const auto readString = [&](std::size_t skip, std::uint32_t type) {
      std::size_t at = pos + skip;
      std::u16string data = Unescape(text, at, '"', in, "the string");
      data += u'\0';
      value.type = type;
      value.data = Utf16Bytes(data);
    };
    if (rest.starts_with("\"")) {
      readString(1, kRegSz);
    } else if (rest.starts_with("str:\"")) {
      readString(5, kRegSz);
    } else if (rest.starts_with("str(2):\"")) {
      readString(8, kRegExpandSz);
    } else if (rest.starts_with("str(7):\"")) {
      readString(8, kRegMultiSz);
    } else if (rest.starts_with("dword:")) {
      std::size_t at = pos + 6;
      unsigned number = 0;
      int digits = 0;
      while (at < text.size() && IsHex(text[at])) {
        if (++digits > 8) in.Fail("a dword has more than eight hex digits");
        number = number * 16 + HexDigit(text[at++]);
      }
      if (digits == 0) in.Fail("a dword has no hex digits");
      value.type = kRegDword;
      value.data.resize(4);
      StoreU32(value.data.data(), static_cast<std::uint32_t>(number));
    } else if (rest.starts_with("hex:")) {
      value.type = kRegBinary;
      value.data = ReadHex(text, pos + 4, in, item.raw);
    } else if (rest.starts_with("hex(")) {
      std::size_t at = pos + 4;
      std::uint64_t type = 0;
      int digits = 0;
      while (at < text.size() && IsHex(text[at]) && digits < 8) {
        type = type * 16 + HexDigit(text[at++]);
        ++digits;
      }
      if (digits == 0 || text.substr(at, 2) != "):") in.Fail("a value type is malformed");
      value.type = static_cast<std::uint32_t>(type);
      value.data = ReadHex(text, at + 2, in, item.raw);
    } else {
      in.Fail("a value has an unknown type");
    }
    // A later value of the same name replaces an earlier one, as in Wine.
    auto& items = file.nodes_[current].items;
    const auto [at, added] = seen.emplace(Folded(item.name), items.size());
    if (added) {
      items.push_back(std::move(item));
    } else {
      items[at->second] = std::move(item);
    }
  }
  flushPending();
  return file;
}

WineRegistryFile WineRegistryFile::Empty(std::string_view root) {
  WineRegistryFile file;
  file.nodes_.emplace_back();
  file.index_.emplace(std::u16string(), 0);
  file.preamble_ = std::string(kSignature) + "\n;; All keys relative to " +
                   Escape(Utf8ToUtf16(root), "\0\0") + "\n\n#arch=win64\n";
  return file;
}

std::uint64_t WineRegistryFile::Now() const {
  if (clock_ != 0) return clock_;
  const auto since1970 = std::chrono::duration_cast<std::chrono::nanoseconds>(
      std::chrono::system_clock::now().time_since_epoch());
  return kTicks1601To1970 + static_cast<std::uint64_t>(since1970.count() / 100);
}

std::u16string WineRegistryFile::PathOf(int node) const {
  std::u16string path;
  for (int at = node; at > 0; at = nodes_[at].parent) {
    path = path.empty() ? nodes_[at].name : nodes_[at].name + u'\\' + path;
  }
  return path;
}

std::u16string WineRegistryFile::FoldedPathOf(int node) const {
  return Folded(PathOf(node));
}

int WineRegistryFile::Find(const Path& path) const {
  std::u16string key;
  for (const auto& name : path) {
    if (!key.empty()) key += u'\\';
    key += Folded(name);
  }
  const auto found = index_.find(key);
  return found == index_.end() ? -1 : found->second;
}

int WineRegistryFile::AddChild(int parent, std::u16string name, std::u16string folded,
                               bool sorted) {
  const int id = static_cast<int>(nodes_.size());
  Node node;
  node.name = std::move(name);
  node.parent = parent;
  nodes_.push_back(std::move(node));
  index_.emplace(std::move(folded), id);
  auto& children = nodes_[parent].children;
  auto at = children.end();
  if (sorted) {
    at = std::find_if(children.begin(), children.end(), [&](int child) {
      return CompareNames(nodes_[child].name, nodes_[id].name) > 0;
    });
  }
  children.insert(at, id);
  return id;
}

int WineRegistryFile::Ensure(const Path& path, bool sorted, bool* created) {
  int node = 0;
  std::u16string key;
  for (const auto& name : path) {
    if (!key.empty()) key += u'\\';
    key += Folded(name);
    const auto found = index_.find(key);
    if (found != index_.end()) {
      node = found->second;
    } else {
      node = AddChild(node, name, key, sorted);
      *created = true;
    }
  }
  return node;
}

void WineRegistryFile::GiveBlock(int node) {
  Node& n = nodes_[node];
  if (n.hasBlock) return;
  n.hasBlock = true;
  n.fresh = true;
  n.dirty = true;
}

void WineRegistryFile::Touch(int node) {
  if (nodes_[node].hasBlock) nodes_[node].dirty = true;
}

bool WineRegistryFile::KeyExists(const Path& path) const {
  return Find(path) >= 0;
}

std::vector<std::u16string> WineRegistryFile::SubKeyNames(const Path& path) const {
  std::vector<std::u16string> names;
  const int node = Find(path);
  if (node < 0) return names;
  for (int child : nodes_[node].children) names.push_back(nodes_[child].name);
  return names;
}

std::vector<std::u16string> WineRegistryFile::ValueNames(const Path& path) const {
  std::vector<std::u16string> names;
  const int node = Find(path);
  if (node < 0) return names;
  for (const auto& item : nodes_[node].items) {
    if (item.kind == Item::Kind::Value) names.push_back(item.name);
  }
  return names;
}

std::vector<std::pair<std::u16string, WineRegData>> WineRegistryFile::Values(
    const Path& path) const {
  std::vector<std::pair<std::u16string, WineRegData>> values;
  const int node = Find(path);
  if (node < 0) return values;
  for (const auto& item : nodes_[node].items) {
    if (item.kind == Item::Kind::Value) values.emplace_back(item.name, item.value);
  }
  return values;
}

std::optional<WineRegData> WineRegistryFile::GetValue(const Path& path,
                                                      std::u16string_view name) const {
  const int node = Find(path);
  if (node < 0) return std::nullopt;
  for (const auto& item : nodes_[node].items) {
    if (item.kind == Item::Kind::Value && SameName(item.name, name)) return item.value;
  }
  return std::nullopt;
}

bool WineRegistryFile::CreateKey(const Path& path) {
  bool created = false;
  const int node = Ensure(path, true, &created);
  if (!created) return false;
  // A new key without subkeys needs its own block to exist; its parent changed too.
  GiveBlock(node);
  if (nodes_[node].parent >= 0) Touch(nodes_[node].parent);
  return true;
}

void WineRegistryFile::SetValue(const Path& path, std::u16string_view name,
                                const WineRegData& value) {
  ChangeValues(path, {ValueChange{std::u16string(name), value}});
}

bool WineRegistryFile::ChangeValues(const Path& path, const std::vector<ValueChange>& changes) {
  bool changed = CreateKey(path);
  const int node = Find(path);
  auto& items = nodes_[node].items;
  std::unordered_map<std::u16string, std::size_t> index;
  for (std::size_t i = 0; i < items.size(); ++i) {
    if (items[i].kind == Item::Kind::Value) index.emplace(Folded(items[i].name), i);
  }
  std::vector<bool> deleted(items.size(), false);
  std::map<std::u16string, const ValueChange*> additions;  // folded name: Wine's order
  for (const auto& change : changes) {
    std::u16string folded = Folded(change.name);
    const auto found = index.find(folded);
    if (found != index.end() && !deleted[found->second]) {
      Item& item = items[found->second];
      if (!change.value) {
        deleted[found->second] = true;
        changed = true;
      } else if (item.value != *change.value) {
        item.value = *change.value;
        item.raw.clear();
        changed = true;
      }
    } else if (change.value) {
      additions[std::move(folded)] = &change;
    } else {
      additions.erase(folded);
    }
  }
  if (!changed && additions.empty()) return false;
  GiveBlock(node);
  nodes_[node].dirty = true;
  // One pass: each new value goes before the first value that sorts after it.
  std::vector<Item> merged;
  merged.reserve(items.size() + additions.size());
  auto next = additions.begin();
  const auto addUpTo = [&](const std::u16string* folded) {
    for (; next != additions.end() && (folded == nullptr || next->first < *folded); ++next) {
      Item item;
      item.kind = Item::Kind::Value;
      item.name = next->second->name;
      item.value = *next->second->value;
      merged.push_back(std::move(item));
    }
  };
  std::size_t lastValue = items.size();
  for (std::size_t i = 0; i < items.size(); ++i) {
    if (items[i].kind == Item::Kind::Value && !deleted[i]) lastValue = i;
  }
  for (std::size_t i = 0; i < items.size(); ++i) {
    if (deleted[i]) continue;
    if (items[i].kind == Item::Kind::Value) {
      const std::u16string folded = Folded(items[i].name);
      addUpTo(&folded);
    }
    merged.push_back(std::move(items[i]));
    if (i == lastValue) addUpTo(nullptr);
  }
  addUpTo(nullptr);
  items = std::move(merged);
  return true;
}

bool WineRegistryFile::DeleteValue(const Path& path, std::u16string_view name) {
  const int node = Find(path);
  if (node < 0) return false;
  auto& items = nodes_[node].items;
  const auto found = std::find_if(items.begin(), items.end(), [&](const Item& item) {
    return item.kind == Item::Kind::Value && SameName(item.name, name);
  });
  if (found == items.end()) return false;
  items.erase(found);
  Touch(node);
  return true;
}

bool WineRegistryFile::DeleteKey(const Path& path) {
  const int node = Find(path);
  if (node <= 0) return false;
  std::vector<int> stack{node};
  while (!stack.empty()) {
    const int at = stack.back();
    stack.pop_back();
    index_.erase(FoldedPathOf(at));
    nodes_[at].alive = false;
    stack.insert(stack.end(), nodes_[at].children.begin(), nodes_[at].children.end());
  }
  const int parent = nodes_[node].parent;
  std::erase(nodes_[parent].children, node);
  // A parent that only existed through its subkeys would vanish with its last one.
  if (parent > 0 && nodes_[parent].children.empty()) GiveBlock(parent);
  Touch(parent);
  return true;
}

void WineRegistryFile::Emit(int node, std::string& out) const {
  const Node& n = nodes_[node];
  const auto newline = [&out] {
    if (!out.empty() && out.back() != '\n') out += '\n';
  };
  if (n.hasBlock) {
    if (!n.dirty) {
      // A block kept as read may follow one that ended the file without a line break.
      newline();
      out += n.leading;
      out += n.header;
      for (const auto& item : n.items) out += item.raw;
    } else {
      newline();
      out += n.fresh ? std::string("\n") : n.leading;
      const std::uint64_t time = Now();
      out += "[" + Escape(PathOf(node), "[]") + "] " +
             std::to_string((time - kTicks1601To1970) / kTicksPerSecond) + "\n";
      out += "#time=" + FileTimeHex(time) + "\n";
      for (const auto& item : n.items) {
        if (item.kind == Item::Kind::Option && item.raw.starts_with("#time=")) continue;
        newline();
        out += item.raw.empty() ? FormatValue(item.name, item.value) : item.raw;
      }
    }
  }
  for (int child : n.children) Emit(child, out);
}

std::string WineRegistryFile::Serialize() const {
  std::string out = preamble_;
  Emit(0, out);
  return out;
}

}  // namespace valise::platform::posix
