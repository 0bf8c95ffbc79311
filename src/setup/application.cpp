#include "setup/application.h"

#include <charconv>
#include <cstdio>
#include <optional>

#include "baggage/baggage.h"
#include "course/app_strings.h"
#include "course/project.h"
#include "course/textpool.h"
#include "platform/files.h"
#include "platform/text.h"
#include "setup/file_work.h"
#include "setup/setup_registry.h"
#include "setup/setup_ui.h"
#include "util/file_utils.h"
#include "util/integers.h"

namespace valise::setup {

namespace {

std::string Numbered(std::string_view format, int n) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, std::string(format).c_str(), n);
  return buffer;
}

std::string SubSection(std::string_view section, std::string_view kind, int n) {
  return std::string(section) + "." + std::string(kind) + std::to_string(n);
}

constexpr std::string_view kRegDataTypeNames[] = {"rdUnknown", "rdString", "rdExpandString",
                                                  "rdInteger", "rdBinary"};

}  // namespace

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

std::string_view ExtractFileName(std::string_view path) {
  const std::size_t at = path.find_last_of("\\:");
  return at == std::string_view::npos ? path : path.substr(at + 1);
}

std::string_view ExtractFilePath(std::string_view path) {
  const std::size_t at = path.find_last_of("\\:");
  return at == std::string_view::npos ? std::string_view() : path.substr(0, at + 1);
}

std::string ExtractFileDrive(std::string_view path) {
  if (path.size() >= 2 && path[1] == ':') return std::string(path.substr(0, 2));
  if (path.size() >= 2 && path[0] == '\\' && path[1] == '\\') {
    // "\\server\share": up to the backslash after the share name.
    const std::size_t server = path.find('\\', 2);
    if (server == std::string_view::npos) return std::string(path);
    const std::size_t share = path.find('\\', server + 1);
    return std::string(path.substr(0, share));
  }
  return {};
}

std::string IncludeTrailingBackslash(std::string_view path) {
  std::string result(path);
  if (result.empty() || result.back() != '\\') result += '\\';
  return result;
}

std::string ExcludeTrailingBackslash(std::string_view path) {
  while (!path.empty() && path.back() == '\\') path.remove_suffix(1);
  return std::string(path);
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

// ---- The application --------------------------------------------------------------------

void TSetupApplication::LoadFromScript(const TScript& script, std::string_view section,
                                       std::string_view sourceDir) {
  DeleteFiles.clear();
  FileGroups.clear();
  ShellLinks.clear();
  AllowCustomInstallDir = script.ReadBool(section, "AllowCustomInstallDir", false);
  Baggage = script.ReadString(section, "Baggage");
  if (Baggage.empty()) {
    ProductCode = script.ReadString(section, "ProductCode");
    ProductID = script.ReadInteger(section, "ProductID", 0);
    Version = script.ReadInteger(section, "Version", 0);
  }
  Title = script.ReadString(section, "Title");
  AltRegKey = script.ReadString(section, "AltRegKey");
  InstallDir = script.ReadString(section, "InstallDir");
  if (InstallDir.find("<InstallDir>") != std::string::npos) {
    throw ESetup("Application '" + Title + "': Invalid installdir '" + InstallDir + "'");
  }
  for (int n = 1; script.KeyExists(section, Numbered("DeleteFile%d", n)); ++n) {
    DeleteFiles.push_back(script.ReadString(section, Numbered("DeleteFile%d", n)));
  }
  for (int n = 1; script.SectionExists(SubSection(section, "FileGroup", n)); ++n) {
    auto group = std::make_unique<TSetupFileGroup>(this);
    group->LoadFromScript(script, SubSection(section, "FileGroup", n), sourceDir);
    FileGroups.push_back(std::move(group));
  }
  for (int n = 1; script.SectionExists(SubSection(section, "ShellLink", n)); ++n) {
    auto link = std::make_unique<TSetupShellLink>(this);
    link->LoadFromScript(script, SubSection(section, "ShellLink", n));
    ShellLinks.push_back(std::move(link));
  }
  for (int n = 1; script.SectionExists(SubSection(section, "RegEntry", n)); ++n) {
    const std::string sub = SubSection(section, "RegEntry", n);
    auto entry = std::make_unique<TSetupRegEntry>();
    TRootedKey rooted = SplitRootedKey(script.ReadString(sub, "Key"));
    entry->Root = rooted.root;
    entry->Key = std::move(rooted.key);
    entry->Name = script.ReadString(sub, "Name");
    const int type = script.ReadEnum(sub, "Type", "rdString", kRegDataTypeNames);
    entry->DataType = type < 0 ? kUnknownEnum : static_cast<std::uint8_t>(type);
    entry->Value = script.ReadString(sub, "Value");
    RegEntries.push_back(std::move(entry));
  }
}

std::string TSetupApplication::ExpandMacros(std::string_view raw) const {
  std::string text(raw);
  if (OnExpand) OnExpand(text);
  return text;
}

std::string TSetupApplication::ExpandedBaggage() const {
  return Baggage.empty() ? std::string() : ExpandMacros(Baggage);
}

bool TSetupApplication::OpenBaggage(std::string_view programPath) {
  if (Baggage.empty()) return false;
  std::vector<std::string> params = {std::string(programPath), "/bag=" + ExpandedBaggage()};
  BagInit(params);

  course::TProjectInterface& project = course::Project();
  project.Close();
  project.Open(false);
  project.Load(false);
  Language = project.TranslationLanguage();

  course::TTextpoolInterface& textpool = course::Textpool();
  textpool.Close();
  textpool.Open(false);
  textpool.LoadAppStringsForProject();
  for (std::size_t i = 0; i < kTextCount; ++i) {
    Texts[i] = textpool.AppString(course::kWindowTextIds[i]);
  }

  if (Title.empty()) Title = project.Title();
  ProductCode = project.ProductCode();
  Version = static_cast<std::int16_t>(project.Release());
  ProductID = project.ProjectId();
  return true;
}

std::string TSetupApplication::GetText(std::uint32_t textId) const {
  for (std::size_t i = 0; i < kTextCount; ++i) {
    if (course::kWindowTextIds[i] == textId) return Texts[i];
  }
  return {};
}

std::string TSetupApplication::RecordKey() const {
  return setup::RecordKey(ProductCode, Version, ProductID);
}

// Whether the application names a baggage or installs members of the current one.
bool UsesBaggageMembers(const TSetupApplication& app) {
  if (!app.Baggage.empty()) return true;
  for (const auto& group : app.FileGroups) {
    for (const std::string& file : group->Files) {
      if (!file.empty() && file.front() == '@') return true;
    }
  }
  return false;
}

void TSetupApplication::AddRemovalLink(std::string path) {
  auto link = std::make_unique<TSetupShellLink>(this);
  link->Folder = std::move(path);
  link->Remove = true;
  ShellLinks.push_back(std::move(link));
}

void TSetupApplication::LoadFromRecord(const TRecordValues& record, TSetupUI& ui) {
  DeleteFiles.clear();
  FileGroups.clear();
  ShellLinks.clear();
  Title = record.String("Title");
  for (int n = 1; record.Has(Numbered("DeleteFile%d", n)); ++n) {
    DeleteFiles.push_back(record.String(Numbered("DeleteFile%d", n)));
  }
  for (int n = 1; record.Has(Numbered("FileGroup%d", n)); ++n) {
    ui.ProcessMessages();
    auto group = std::make_unique<TSetupFileGroup>(this);
    group->DestDir = record.String(Numbered("FileGroup%d", n));
    const std::string prefix = Numbered("FileGroup%dFile", n);
    for (int m = 1; record.Has(prefix + std::to_string(m)); ++m) {
      group->Files.push_back(record.String(prefix + std::to_string(m)));
    }
    FileGroups.push_back(std::move(group));
  }
  for (int n = 1; record.Has(Numbered("ShellLink%d", n)); ++n) {
    AddRemovalLink(record.String(Numbered("ShellLink%d", n)));
  }
}

void TSetupApplication::WriteRegEntry(const TSetupRegEntry& entry, TSetupRegistry& registry,
                                      std::string_view recordPath) {
  std::string key = ExpandMacros(entry.Key);
  // An empty key names the record's key of the same name below the entry's own root.
  if (key.empty()) key = std::string(recordPath);
  registry.SetRoot(entry.Root);
  if (!registry.TryOpenKey(key)) return;
  const std::string name = ExpandMacros(entry.Name);
  const std::string value = ExpandMacros(entry.Value);
  switch (entry.DataType) {
    case rdString:
      registry.WriteString(name, value);
      break;
    case rdExpandString:
      registry.WriteExpandString(name, value);
      break;
    case rdInteger:
      registry.WriteInteger(name, StrToInt(value));
      break;
    default:
      // rdUnknown, rdBinary and unknown names open the key and write nothing.
      break;
  }
}

void TSetupApplication::Install(platform::RegRoot root, std::string_view baseKey, TSetupUI& ui) {
  DebugLog("Installing " + RecordKey() + " '" + Title + "'...");
  TSetupRegistry registry(root);
  const std::string recordPath =
      IncludeTrailingBackslash(baseKey) + (AltRegKey.empty() ? RecordKey() : AltRegKey);
  registry.OpenKey(recordPath);
  registry.WriteString("Title", Title);
  if (!AltRegKey.empty()) registry.WriteInteger("AltRegKey", 1);
  for (std::size_t i = 0; i < DeleteFiles.size(); ++i) {
    const std::string path = ExpandMacros(DeleteFiles[i]);
    platform::DeleteFile(path);
    registry.WriteString(Numbered("DeleteFile%d", static_cast<int>(i + 1)), path);
  }
  // New baggage members are written on as many threads as files are best made at once; where
  // that is one, the files are made on this thread and one thread beside it copies the bytes.
  std::optional<TFileWork> copies;
  if (UsesBaggageMembers(*this)) copies.emplace(platform::ConcurrentFileCreations());
  for (const auto& group : FileGroups) {
    ui.ProcessMessages();
    group->Install(registry, ui, copies ? &*copies : nullptr);
  }
  int recorded = 0;
  for (const auto& link : ShellLinks) {
    ui.ProcessMessages();
    link->Install(registry, recorded);
  }
  // The record is stored before the entries move the registry object elsewhere; it stays open,
  // since an entry's relative key is taken below it.
  registry.Flush();
  for (const auto& entry : RegEntries) {
    ui.ProcessMessages();
    WriteRegEntry(*entry, registry, recordPath);
  }
  registry.CloseKey();
}

}  // namespace valise::setup
