// The installation records: one registry key per installed application below the records key
// (`RegBaseKey` of `RegRoot`). The record store scans, loads and deletes them; every value the
// engine takes from a record passes through it. TSetupRegistry is how the install run writes
// them (and the script's registry entries): one root at a time and one open key, opened from
// the root or below the key that is open; writes of a record are batched by the backend and
// flushed at least once a second, so that a crash leaves a record of what was installed so far.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/registry.h"
#include "setup/application.h"

namespace valise::setup {

class TSetupUI;

// The value that marks the record of an install that has not finished: written right after the
// record's "Title" and "InstallDir" and deleted when the application's install completes.
inline constexpr std::string_view kIncompleteValue = "Incomplete";

// The values of an installation record, read in one pass over its key. Names are matched
// without regard to the case of their ASCII letters, as the registry matches the names this
// program writes.
class TRecordValues {
 public:
  explicit TRecordValues(const platform::RegKey& key);
  bool Has(std::string_view name) const;
  // A string value; empty when missing. A value of another type throws ESetup.
  std::string String(std::string_view name) const;

 private:
  std::unordered_map<std::string, platform::RegValue> values_;
};

// The text "%s_%d_%d" of a product code, release and ID that names an installation record.
std::string RecordKey(std::string_view productCode, std::int32_t version, std::int32_t productId);
// Splits a record key name into its parts; false when the name has not that form.
bool ParseRecordKey(std::string_view name, std::string& productCode, std::int32_t& version,
                    std::int32_t& productId);

// The root named at the start of a key text ("HKEY_CLASSES_ROOT", "HKEY_CURRENT_USER" or
// "HKEY_LOCAL_MACHINE", compared without regard to case) and the rest of the text after it;
// without such a start, HKEY_CURRENT_USER and the whole text.
struct TRootedKey {
  platform::RegRoot root = platform::RegRoot::CurrentUser;
  std::string key;
};
TRootedKey SplitRootedKey(std::string_view text);
// The root's name as scripts write it.
std::string_view RootName(platform::RegRoot root);

// A key path as the platform takes it: without backslashes at its start and end.
std::string PlatformKeyPath(std::string_view path);
// Opens an existing key for reading; nothing when it cannot be opened.
std::optional<platform::RegKey> OpenKeyForReading(platform::RegRoot root, std::string_view path);

class TSetupRegistry {
 public:
  explicit TSetupRegistry(platform::RegRoot root) : root_(root) {}
  ~TSetupRegistry();
  TSetupRegistry(const TSetupRegistry&) = delete;
  TSetupRegistry& operator=(const TSetupRegistry&) = delete;

  platform::RegRoot Root() const { return root_; }
  // Switching to another root closes the open key; the same root keeps it.
  void SetRoot(platform::RegRoot root);
  // Opens a key, creating it when missing: a key beginning with "\" from the root, any other
  // below the open key (or from the root when none is open). Throws OSError when it cannot be
  // opened or created.
  void OpenKey(std::string_view key);
  // The open key's path below the root, without a leading backslash; empty when none is open.
  const std::string& CurrentPath() const { return path_; }

  // Writers throw Error naming the value when the value cannot be written.
  void WriteString(std::string_view name, std::string_view value);
  void WriteExpandString(std::string_view name, std::string_view value);
  void WriteInteger(std::string_view name, std::int32_t value);
  // Deletes a value of the open key; a missing value is no failure.
  void DeleteValue(std::string_view name);

  // Stores the batched writes when a second has passed since they were last stored.
  void FlushNowAndThen();
  // Stores the batched writes now.
  void Flush();
  // Stores every pending write and closes the key; throws when they cannot be stored.
  void CloseKey();

 private:
  platform::RegKey& Key(std::string_view valueName);
  // Runs a writer on the open key; its failure is rethrown naming the value and the key.
  template <typename Write>
  void WriteValue(std::string_view name, Write write);

  platform::RegRoot root_;
  std::optional<platform::RegKey> key_;
  std::string path_;
  std::uint64_t lastFlush_ = 0;
};

// The records below one records key.
class TRecordStore {
 public:
  TRecordStore(platform::RegRoot root, std::string baseKey)
      : root_(root), baseKey_(std::move(baseKey)) {}

  platform::RegRoot Root() const { return root_; }
  const std::string& BaseKey() const { return baseKey_; }
  // The path of the record of that name: the records key, a backslash, the name.
  std::string RecordPath(std::string_view name) const;

  // Every record below the records key, in the order the registry lists them, as an installed
  // application rebuilt from it: this program's records (named by a record key, with a
  // "Title"), records named by "AltRegKey", and the three kinds of the maker's older products.
  // Keys that are none of these are passed over.
  std::vector<std::unique_ptr<TSetupApplication>> Scan(TSetupUI& ui) const;
  // Deletes the record of that name with everything below it; false when it stays.
  bool Delete(std::string_view name) const;

 private:
  platform::RegRoot root_;
  std::string baseKey_;
};

// Whether a key below `path` of `root` holds an installation record of this program or of the
// maker's older products (a "Title", "InstallPath", "InstallationPath" or "RestartDialog"
// value), or cannot be opened to tell.
bool HoldsRecords(platform::RegRoot root, std::string_view path);

}  // namespace valise::setup
