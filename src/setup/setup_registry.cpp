#include "setup/setup_registry.h"

#include <array>

#include "platform/debug.h"
#include "platform/errors.h"
#include "platform/messages.h"
#include "platform/text.h"

namespace valise::setup {

namespace {

struct RootPrefix {
  std::string_view name;
  platform::RegRoot root;
};
constexpr std::array<RootPrefix, 3> kRootPrefixes = {{
    {"HKEY_CLASSES_ROOT", platform::RegRoot::ClassesRoot},
    {"HKEY_CURRENT_USER", platform::RegRoot::CurrentUser},
    {"HKEY_LOCAL_MACHINE", platform::RegRoot::LocalMachine},
}};

std::string WithoutLeadingBackslashes(std::string_view path) {
  while (!path.empty() && path.front() == '\\') path.remove_prefix(1);
  while (!path.empty() && path.back() == '\\') path.remove_suffix(1);
  return std::string(path);
}

}  // namespace

std::string PlatformKeyPath(std::string_view path) {
  return WithoutLeadingBackslashes(path);
}

std::optional<platform::RegKey> OpenKeyForReading(platform::RegRoot root, std::string_view path) {
  try {
    return platform::RegKey::Open(root, PlatformKeyPath(path));
  } catch (const OSError&) {
    return std::nullopt;
  }
}

TRootedKey SplitRootedKey(std::string_view text) {
  for (const RootPrefix& prefix : kRootPrefixes) {
    if (text.size() >= prefix.name.size() &&
        platform::CompareTextIgnoreCase(text.substr(0, prefix.name.size()), prefix.name) == 0) {
      return {prefix.root, std::string(text.substr(prefix.name.size()))};
    }
  }
  return {platform::RegRoot::CurrentUser, std::string(text)};
}

std::string_view RootName(platform::RegRoot root) {
  for (const RootPrefix& prefix : kRootPrefixes) {
    if (prefix.root == root) return prefix.name;
  }
  return {};
}

TSetupRegistry::~TSetupRegistry() {
  if (!key_) return;
  try {
    key_->Close();
  } catch (const Error& error) {
    platform::DebugOutput(std::string("Registry changes of ") + path_ +
                          " could not be stored: " + error.what() + "\r\n");
  }
}

void TSetupRegistry::SetRoot(platform::RegRoot root) {
  if (root == root_) return;
  CloseKey();
  root_ = root;
}

void TSetupRegistry::OpenKey(std::string_view key) {
  std::string path;
  if (!key.empty() && key.front() == '\\') {
    path = WithoutLeadingBackslashes(key);
  } else if (key_) {
    path = path_ + "\\" + WithoutLeadingBackslashes(key);
  } else {
    path = WithoutLeadingBackslashes(key);
  }
  platform::RegKey opened = platform::RegKey::Create(root_, path);
  CloseKey();
  key_.emplace(std::move(opened));
  path_ = std::move(path);
  lastFlush_ = platform::TickCount();
}

bool TSetupRegistry::TryOpenKey(std::string_view key) {
  try {
    OpenKey(key);
    return true;
  } catch (const OSError&) {
    return false;
  }
}

platform::RegKey& TSetupRegistry::Key(std::string_view valueName) {
  if (!key_) {
    throw Error("Cannot write the registry value '" + std::string(valueName) + "': no key is open");
  }
  return *key_;
}

template <typename Write>
void TSetupRegistry::WriteValue(std::string_view name, Write write) {
  try {
    write(Key(name));
  } catch (const OSError& error) {
    throw OSError(error.code(), "Cannot write the registry value '" + std::string(name) + "' of " +
                                    path_ + ": " + error.what());
  }
}

void TSetupRegistry::WriteString(std::string_view name, std::string_view value) {
  WriteValue(name, [&](platform::RegKey& key) { key.WriteString(name, value); });
}

void TSetupRegistry::WriteExpandString(std::string_view name, std::string_view value) {
  WriteValue(name, [&](platform::RegKey& key) { key.WriteExpandString(name, value); });
}

void TSetupRegistry::WriteInteger(std::string_view name, std::int32_t value) {
  WriteValue(name, [&](platform::RegKey& key) {
    key.WriteDWord(name, static_cast<std::uint32_t>(value));
  });
}

void TSetupRegistry::FlushNowAndThen() {
  if (!key_) return;
  const std::uint64_t now = platform::TickCount();
  if (now - lastFlush_ < 1000) return;
  lastFlush_ = now;
  key_->Flush();
}

void TSetupRegistry::Flush() {
  if (!key_) return;
  lastFlush_ = platform::TickCount();
  key_->Flush();
}

void TSetupRegistry::CloseKey() {
  if (!key_) return;
  std::optional<platform::RegKey> key = std::move(key_);
  key_.reset();
  path_.clear();
  key->Close();
}

}  // namespace valise::setup
