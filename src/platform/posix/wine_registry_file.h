// Reader and writer of Wine's registry files (user.reg, system.reg): a text format of key
// blocks, each a "[path] seconds" line followed by option lines ("#time=", "#class=", "#link")
// and value lines. A file read and written again without changes keeps its bytes: every line
// is kept as read, and only the keys and values that changed are written anew, in the form Wine
// itself writes them. Names are compared without regard to case and stored as given.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

namespace valise::platform::posix {

// A value's type and data as Windows holds them (strings as UTF-16LE with their terminator).
struct WineRegData {
  std::uint32_t type = 0;
  std::vector<std::uint8_t> data;
  bool operator==(const WineRegData&) const = default;

  // A string value (REG_SZ or REG_EXPAND_SZ) of UTF-8 text.
  static WineRegData String(std::uint32_t type, std::string_view utf8);
};

// One stored registry file.
class WineRegistryFile {
 public:
  // A key path below the file's root: one name per level.
  using Path = std::vector<std::u16string>;

  // Parses a file's bytes; a malformed or truncated file throws valise::Error naming
  // `fileName` and the line.
  static WineRegistryFile Parse(std::string_view bytes, std::string_view fileName);
  // A file without keys, as Wine starts one; `root` is the part of the registry it holds
  // ("REGISTRY\\User\\S-1-5-21-0-0-0-1000", "REGISTRY\\Machine").
  static WineRegistryFile Empty(std::string_view root);

  // The file's bytes: the bytes that were read, with the changes made since.
  std::string Serialize() const;

  bool KeyExists(const Path& path) const;
  // The names of a key's subkeys and values in the file's order (Wine's enumeration order);
  // empty when the key does not exist.
  std::vector<std::u16string> SubKeyNames(const Path& path) const;
  std::vector<std::u16string> ValueNames(const Path& path) const;
  // A key's values with their names, in the file's order.
  std::vector<std::pair<std::u16string, WineRegData>> Values(const Path& path) const;
  // A value; nothing when it or its key does not exist. The empty name is the default value.
  std::optional<WineRegData> GetValue(const Path& path, std::u16string_view name) const;

  // Creates a key and its missing parents; false when it existed.
  bool CreateKey(const Path& path);
  // Sets a value, creating its key.
  void SetValue(const Path& path, std::u16string_view name, const WineRegData& value);
  // False when the value or its key did not exist.
  bool DeleteValue(const Path& path, std::u16string_view name);
  // Sets and deletes values of a key in one go, creating the key; for many values. Returns
  // whether anything changed (a value set to what it holds is no change).
  struct ValueChange {
    std::u16string name;
    std::optional<WineRegData> value;  // nothing: delete the value
  };
  bool ChangeValues(const Path& path, const std::vector<ValueChange>& changes);
  // Deletes a key with its subkeys; false when it did not exist. The root cannot be deleted.
  bool DeleteKey(const Path& path);

  // Wine's comparison of key and value names: without regard to case, then the shorter first.
  static int CompareNames(std::u16string_view a, std::u16string_view b);
  // A name in the form that compares equal for names that differ in case only; such forms
  // sort in Wine's order.
  static std::u16string FoldName(std::u16string_view name);
  static bool SameName(std::u16string_view a, std::u16string_view b) {
    return a.size() == b.size() && CompareNames(a, b) == 0;
  }

  // The clock used for the modification times of changed keys, as a FILETIME (100 ns units
  // since 1601); the system clock unless a test sets one.
  void SetClock(std::uint64_t fileTime) { clock_ = fileTime; }

 private:
  WineRegistryFile() = default;

  // One line of a key block, or a value with its continuation lines.
  struct Item {
    enum class Kind { Option, Value, Other };
    Kind kind = Kind::Other;
    std::string raw;  // as read, with line breaks; empty when written anew
    std::u16string name;
    WineRegData value;
  };
  struct Node {
    std::u16string name;
    int parent = -1;
    std::vector<int> children;
    bool alive = true;
    bool hasBlock = false;  // written as a key block (Wine leaves out keys with only subkeys)
    bool dirty = false;     // the key line and time are written anew
    bool fresh = false;     // a block that was not read
    std::string leading;    // blank and comment lines before the key line
    std::string header;     // the key line as read
    std::vector<Item> items;
  };

  int Find(const Path& path) const;
  int AddChild(int parent, std::u16string name, std::u16string folded, bool sorted);
  int Ensure(const Path& path, bool sorted, bool* created);
  void GiveBlock(int node);
  void Touch(int node);
  std::u16string PathOf(int node) const;
  std::u16string FoldedPathOf(int node) const;
  void Emit(int node, std::string& out) const;
  std::uint64_t Now() const;

  std::string preamble_;
  std::vector<Node> nodes_;                        // nodes_[0] is the root
  std::unordered_map<std::u16string, int> index_;  // folded path -> node
  std::uint64_t clock_ = 0;
};

}  // namespace valise::platform::posix
