// The registry: keys under three roots, values of type REG_SZ, REG_EXPAND_SZ, REG_DWORD and
// REG_BINARY. Names and string values are UTF-8. Calls that report failure by their result set
// LastError().
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace valise::platform {

enum class RegRoot { ClassesRoot, CurrentUser, LocalMachine };

// Value types, with the values of the Windows REG_ constants.
enum class RegType : std::uint32_t {
  None = 0,
  String = 1,
  ExpandString = 2,
  Binary = 3,
  DWord = 4,
  MultiString = 7,
};

struct RegValue {
  RegType type = RegType::None;
  std::string text;                 // String and ExpandString (unexpanded), UTF-8
  std::uint32_t number = 0;         // DWord
  std::vector<std::uint8_t> bytes;  // Binary and every other type: the raw data
};

class RegKeyImpl;

// An open registry key. Changes reach the stored registry at the latest when the key is closed
// (destroyed or Close()); on Windows at once.
class RegKey {
 public:
  // Opens an existing key for reading; nothing when it does not exist (LastError set).
  static std::optional<RegKey> Open(RegRoot root, std::string_view path);
  // Opens a key for writing, creating it and its missing parents; throws OSError on failure.
  static RegKey Create(RegRoot root, std::string_view path);

  RegKey(RegKey&&) noexcept;
  RegKey& operator=(RegKey&&) noexcept;
  ~RegKey();

  bool HasValue(std::string_view name) const;
  // The value, or nothing when it does not exist. The empty name is the key's default value.
  std::optional<RegValue> Read(std::string_view name) const;
  // The names of the subkeys, in enumeration order.
  std::vector<std::string> SubKeyNames() const;
  // The names of the values, in enumeration order.
  std::vector<std::string> ValueNames() const;
  // Every value with its name, in enumeration order: one pass over the key, where reading the
  // values one by one costs a call into the system for each (two to learn that one exists).
  std::vector<std::pair<std::string, RegValue>> Values() const;

  // Writers throw OSError on failure (a key opened for reading cannot be written).
  void WriteString(std::string_view name, std::string_view value);
  void WriteExpandString(std::string_view name, std::string_view value);
  void WriteDWord(std::string_view name, std::uint32_t value);
  void WriteBinary(std::string_view name, const std::vector<std::uint8_t>& value);
  // Returns false when the value did not exist.
  bool DeleteValue(std::string_view name);

  // Stores pending changes and keeps the key open (on Windows changes are stored at once). A
  // writer that batches many values flushes now and then, so that a crash loses little. Throws
  // OSError, naming the registry file, when they could not be stored; they stay pending then.
  void Flush();
  // Writes pending changes and releases the key; throws OSError when the changes could not
  // be stored, naming the registry file: the key then stays open with its changes pending, so
  // that a later Flush or Close may store them. Calling it is not required: the destructor (and
  // assigning another key) stores the changes too, and as it cannot throw, writes a failure to
  // store them, naming the key, to the debug log (DebugOutput).
  void Close();

 private:
  explicit RegKey(std::unique_ptr<RegKeyImpl> impl);
  std::unique_ptr<RegKeyImpl> impl_;
};

// Holds back the stores of registry changes while it lives, so that the changes of many keys
// are stored together: a key's Close (and its destruction) hands its changes to the batch, and
// a key's Flush, Store() and the end of the batch store everything held, one store per registry
// file. On Windows, where every change is stored at once, it holds nothing. Keys opened while
// the batch holds changes do not see those. One batch at a time, on one thread.
class RegistryStoreBatch {
 public:
  RegistryStoreBatch();
  // Stores what is held; as it cannot throw, a failure goes to the debug log (DebugOutput).
  ~RegistryStoreBatch();
  RegistryStoreBatch(const RegistryStoreBatch&) = delete;
  RegistryStoreBatch& operator=(const RegistryStoreBatch&) = delete;

  // Stores everything held; throws OSError naming the registry file, and the changes stay held.
  void Store();

 private:
  struct Held;
  std::unique_ptr<Held> held_;
};

// Deletes a key with all its subkeys and values; false when it did not exist or could not be
// deleted, also when the deletion could not be stored (LastError set).
bool DeleteRegKeyTree(RegRoot root, std::string_view path);

}  // namespace valise::platform
