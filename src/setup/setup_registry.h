// The registry as the install run uses it: one root at a time and one open key, opened from the
// root or below the key that is open; writes of a record are batched by the backend and flushed
// at least once a second, so that a crash leaves a record of what was installed so far.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/registry.h"

namespace valise::setup {

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
  // OpenKey that reports failure by its result.
  bool TryOpenKey(std::string_view key);
  // The open key's path below the root, without a leading backslash; empty when none is open.
  const std::string& CurrentPath() const { return path_; }

  // Writers throw Error naming the value when the value cannot be written.
  void WriteString(std::string_view name, std::string_view value);
  void WriteExpandString(std::string_view name, std::string_view value);
  void WriteInteger(std::string_view name, std::int32_t value);

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

}  // namespace valise::setup
