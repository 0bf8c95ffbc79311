#include "setup/records.h"

#include <array>

#include "platform/debug.h"
#include "platform/errors.h"
#include "platform/files.h"
#include "platform/messages.h"
#include "platform/shell.h"
#include "platform/text.h"
#include "setup/setup_ui.h"
#include "util/file_utils.h"

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

std::string WithoutOuterBackslashes(std::string_view path) {
  while (!path.empty() && path.front() == '\\') path.remove_prefix(1);
  while (!path.empty() && path.back() == '\\') path.remove_suffix(1);
  return std::string(path);
}

}  // namespace

std::string PlatformKeyPath(std::string_view path) {
  return WithoutOuterBackslashes(path);
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
    path = WithoutOuterBackslashes(key);
  } else if (key_) {
    path = path_ + "\\" + WithoutOuterBackslashes(key);
  } else {
    path = WithoutOuterBackslashes(key);
  }
  platform::RegKey opened = platform::RegKey::Create(root_, path);
  CloseKey();
  key_.emplace(std::move(opened));
  path_ = std::move(path);
  lastFlush_ = platform::TickCount();
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

void TSetupRegistry::DeleteValue(std::string_view name) {
  WriteValue(name, [&](platform::RegKey& key) { key.DeleteValue(name); });
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

// ---- Record keys and values -------------------------------------------------------------

std::string RecordKey(std::string_view productCode, std::int32_t version, std::int32_t productId) {
  return std::string(productCode) + "_" + std::to_string(version) + "_" + std::to_string(productId);
}

bool ParseRecordKey(std::string_view name, std::string& productCode, std::int32_t& version,
                    std::int32_t& productId) {
  const std::size_t first = name.find('_');
  if (first == std::string_view::npos) return false;
  std::size_t i = first + 1;
  std::int64_t release = 0;
  for (; i < name.size() && name[i] != '_'; ++i) {
    if (name[i] < '0' || name[i] > '9') return false;
    release = (release * 10 + (name[i] - '0')) & 0xFFFFFFFF;
  }
  if (i == name.size()) return false;
  std::int64_t id = 0;
  for (++i; i < name.size(); ++i) {
    if (name[i] < '0' || name[i] > '9') return false;
    id = (id * 10 + (name[i] - '0')) & 0xFFFFFFFF;
  }
  productCode = std::string(name.substr(0, first));
  version = static_cast<std::int32_t>(static_cast<std::uint32_t>(release));
  productId = static_cast<std::int32_t>(static_cast<std::uint32_t>(id));
  return true;
}

namespace {

std::string FoldedName(std::string_view name) {
  std::string folded(name);
  for (char& c : folded) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return folded;
}

}  // namespace

TRecordValues::TRecordValues(const platform::RegKey& key) {
  for (auto& [name, value] : key.Values()) values_.emplace(FoldedName(name), std::move(value));
}

bool TRecordValues::Has(std::string_view name) const {
  return values_.contains(FoldedName(name));
}

std::string TRecordValues::String(std::string_view name) const {
  const auto found = values_.find(FoldedName(name));
  if (found == values_.end()) return {};
  const platform::RegValue& value = found->second;
  if (value.type != platform::RegType::String && value.type != platform::RegType::ExpandString) {
    throw ESetup("Invalid data type for '" + std::string(name) + "'");
  }
  return value.text;
}

// ---- The record store --------------------------------------------------------------------

namespace {

std::string Numbered(std::string_view prefix, int n) {
  return std::string(prefix) + std::to_string(n);
}

// The start-menu programs folder of the maker's older products, with a trailing backslash.
std::string LegacyLinkFolder() {
  return IncludeTrailingBackslash(GetSpecialFolder(platform::kFolderPrograms)) + "Vantorel\\";
}

}  // namespace

void TSetupApplication::LoadFromRecord(const TRecordValues& record, TSetupUI& ui) {
  DeleteFiles.clear();
  FileGroups.clear();
  ShellLinks.clear();
  Title = record.String("Title");
  // A record is input: any program of the user may have written it. What removal would
  // delete must name a bare file inside an absolute folder on a lettered drive; an entry that
  // does not is logged and left alone.
  const auto ignored = [&](const std::string& name, const std::string& value, const char* why) {
    DebugLog("Record " + RecordKeyName + ": ignored " + name + " '" + value + "' (" + why + ")");
  };
  for (int n = 1; record.Has(Numbered("DeleteFile", n)); ++n) {
    std::string path = record.String(Numbered("DeleteFile", n));
    if (IsAbsoluteDrivePath(path)) {
      DeleteFiles.push_back(std::move(path));
    } else {
      ignored(Numbered("DeleteFile", n), path, "not an absolute path on a drive");
    }
  }
  for (int n = 1; record.Has(Numbered("FileGroup", n)); ++n) {
    ui.ProcessMessages();
    // An ignored group stays in its place with no folder, so that the groups after it keep
    // their numbers.
    auto group = std::make_unique<TSetupFileGroup>();
    std::string folder = record.String(Numbered("FileGroup", n));
    const std::string prefix = Numbered("FileGroup", n) + "File";
    if (!IsAbsoluteDrivePath(folder)) {
      ignored(Numbered("FileGroup", n), folder, "not an absolute path on a drive");
      FileGroups.push_back(std::move(group));
      continue;
    }
    group->DestDir = std::move(folder);
    for (int m = 1; record.Has(prefix + std::to_string(m)); ++m) {
      std::string name = record.String(prefix + std::to_string(m));
      if (IsBareName(name)) {
        group->Files.push_back(std::move(name));
      } else {
        ignored(prefix + std::to_string(m), name, "not a bare file name");
      }
    }
    FileGroups.push_back(std::move(group));
  }
  for (int n = 1; record.Has(Numbered("ShellLink", n)); ++n) {
    std::string path = record.String(Numbered("ShellLink", n));
    if (IsAbsoluteDrivePath(path)) {
      AddRemovalLink(std::move(path));
    } else {
      ignored(Numbered("ShellLink", n), path, "not an absolute path on a drive");
    }
  }
}

std::string TRecordStore::RecordPath(std::string_view name) const {
  return IncludeTrailingBackslash(baseKey_) + std::string(name);
}

std::vector<std::unique_ptr<TSetupApplication>> TRecordStore::Scan(TSetupUI& ui) const {
  std::vector<std::unique_ptr<TSetupApplication>> found;
  const std::optional<platform::RegKey> base = OpenKeyForReading(root_, baseKey_);
  if (!base) return found;
  for (const std::string& name : base->SubKeyNames()) {
    const std::optional<platform::RegKey> key = OpenKeyForReading(root_, RecordPath(name));
    if (!key) continue;
    const TRecordValues record(*key);
    auto app = std::make_unique<TSetupApplication>();
    app->RecordKeyName = name;
    std::string productCode;
    std::int32_t version = 0;
    std::int32_t productId = 0;
    if (ParseRecordKey(name, productCode, version, productId) && record.Has("Title")) {
      app->ProductCode = std::move(productCode);
      app->Version = version;
      app->ProductID = productId;
      app->Installed = true;
      app->Incomplete = record.Has(kIncompleteValue);
      app->InstallDir = record.String("InstallDir");
      app->LoadFromRecord(record, ui);
    } else if (record.Has("AltRegKey") && record.Has("Title")) {
      app->Installed = true;
      app->Incomplete = record.Has(kIncompleteValue);
      app->InstallDir = record.String("InstallDir");
      app->Title = record.String("Title");
      app->Version = -1;
      app->LoadFromRecord(record, ui);
    } else if (record.Has("InstallPath") || record.Has("InstallationPath")) {
      const bool kind1 = record.Has("InstallPath");
      app->Title = name;
      app->Version = -1;
      app->Installed = true;
      app->InstallDir =
          ExcludeTrailingBackslash(record.String(kind1 ? "InstallPath" : "InstallationPath"));
      auto group = std::make_unique<TSetupFileGroup>();
      if (IsAbsoluteDrivePath(app->InstallDir)) {
        group->DestDir = app->InstallDir;
      } else {
        DebugLog("Record " + name + ": ignored its folder '" + app->InstallDir +
                 "' (not an absolute path on a drive)");
      }
      if (kind1) {
        group->Files = {"oldmain.exe", "oldnext.exe", name + " Profile.dat",
                        "notes.wri",   "notes.doc",   "remover.exe"};
      } else {
        group->Files = {"lexicon.adb", "LX4.dat"};
      }
      if (group->DestDir.empty()) group->Files.clear();
      app->FileGroups.push_back(std::move(group));
      const std::string links = LegacyLinkFolder();
      if (kind1) {
        for (const platform::FindEntry& entry : platform::FindFiles(links + name + "*.lnk")) {
          app->AddRemovalLink(links + entry.name);
        }
        app->AddRemovalLink(links + "Vantorel.url");
      } else {
        app->AddRemovalLink(links + name + ".lnk");
      }
    } else if (record.Has("RestartDialog")) {
      app->Title = name;
      app->Version = -1;
      app->Installed = true;
      const std::size_t cut = name.find(" - Version ");
      app->AddRemovalLink(LegacyLinkFolder() + name.substr(0, cut) + ".lnk");
    } else {
      continue;
    }
    app->RecordKeyName = name;
    app->FromRecord = true;
    found.push_back(std::move(app));
  }
  return found;
}

bool TRecordStore::Delete(std::string_view name) const {
  return platform::DeleteRegKeyTree(root_, PlatformKeyPath(RecordPath(name)));
}

bool HoldsRecords(platform::RegRoot root, std::string_view path) {
  const std::optional<platform::RegKey> key = OpenKeyForReading(root, path);
  if (!key) return false;
  const std::string prefix = IncludeTrailingBackslash(path);
  for (const std::string& name : key->SubKeyNames()) {
    const std::optional<platform::RegKey> sub = OpenKeyForReading(root, prefix + name);
    if (!sub || sub->HasValue("Title") || sub->HasValue("InstallPath") ||
        sub->HasValue("InstallationPath") || sub->HasValue("RestartDialog")) {
      return true;
    }
  }
  return false;
}

}  // namespace valise::setup
