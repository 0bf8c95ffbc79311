#include "setup/script.h"

#include <cstdio>

#include "course/textpool.h"
#include "platform/errors.h"
#include "platform/files.h"
#include "platform/profile.h"
#include "platform/text.h"
#include "setup/application.h"
#include "setup/error_place.h"
#include "setup/records.h"
#include "util/integers.h"

namespace valise::setup {

std::string TScript::ReadString(std::string_view section, std::string_view key,
                                std::string_view defaultValue) const {
  const Section& values = SectionOf(section);
  const auto found = values.find(platform::UpperCase(key));
  return found == values.end() ? std::string(defaultValue) : found->second;
}

std::int32_t TScript::ReadInteger(std::string_view section, std::string_view key,
                                  std::int32_t defaultValue) const {
  std::int32_t value = defaultValue;
  if (!TryStrToInt(ReadString(section, key), value)) return defaultValue;
  return value;
}

bool TScript::ReadBool(std::string_view section, std::string_view key, bool defaultValue) const {
  return ReadInteger(section, key, defaultValue ? 1 : 0) != 0;
}

int TScript::ReadEnum(std::string_view section, std::string_view key, std::string_view defaultName,
                      std::span<const std::string_view> names) const {
  const std::string value = ReadString(section, key, defaultName);
  for (std::size_t i = 0; i < names.size(); ++i) {
    if (platform::CompareTextIgnoreCase(value, names[i]) == 0) return static_cast<int>(i);
  }
  return -1;
}

const TScript::Section& TScript::SectionOf(std::string_view section) const {
  std::string name = platform::UpperCase(section);
  auto found = sections_.find(name);
  if (found != sections_.end()) return found->second;
  Section values;
  for (auto& [key, value] : platform::ReadProfileSection(fileName_, section)) {
    // The file's first entry of a key is the one that counts, as it is for a single read.
    values.try_emplace(platform::UpperCase(key), std::move(value));
  }
  return sections_.emplace(std::move(name), std::move(values)).first->second;
}

bool TScript::SectionExists(std::string_view section) const {
  return !SectionOf(section).empty();
}

bool TScript::KeyExists(std::string_view section, std::string_view key) const {
  return SectionOf(section).contains(platform::UpperCase(key));
}

// ---- The "Globals" section -----------------------------------------------------------------

TScriptGlobals ReadGlobals(const TScript& script) {
  TScriptGlobals globals;
  TRootedKey rooted = SplitRootedKey(
      script.ReadString("Globals", "RegBaseKey", "HKEY_CURRENT_USER\\Software\\Vantorel"));
  globals.RegRoot = rooted.root;
  globals.RegBaseKey =
      rooted.key.empty() ? std::string("\\Software\\Vantorel") : std::move(rooted.key);
  globals.HideLogo = script.ReadBool("Globals", "HideLogo", false);
  globals.Launch = script.ReadString("Globals", "Launch");
  globals.LaunchParams = script.ReadString("Globals", "LaunchParams");
  globals.Publisher = script.ReadString("Globals", "Publisher");
  globals.Language =
      static_cast<course::TLanguage>(script.ReadInteger("Globals", "Language", 0) & 0xFF);
  for (const TWindowTexts::Field& field : TWindowTexts::kFields) {
    globals.Texts.*field.text = TextFromScriptValue(
        script.ReadString("Texts", course::TTextpoolInterface::IdentifierOf(field.id)));
  }
  return globals;
}

// ---- Application sections -------------------------------------------------------------------

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

constexpr std::string_view kUpdateMethodNames[] = {"updVersion", "updDate", "updAlways",
                                                   "updNever"};

// A number of the application's identity. Digits that do not fit are an error: read as 0, they
// would name another product's record.
std::int32_t ReadIdentityNumber(const TScript& script, std::string_view section,
                                std::string_view key) {
  const std::string text = script.ReadString(section, key);
  std::int32_t value = 0;
  if (TryStrToInt(text, value)) return value;
  // Text that is no number gives 0, as any integer of the script; digits that do not fit are
  // refused.
  const std::size_t digits = !text.empty() && (text[0] == '-' || text[0] == '+') ? 1 : 0;
  const bool number =
      digits < text.size() && text.find_first_not_of("0123456789", digits) == std::string::npos;
  if (number) {
    throw ESetup(std::string(section) + ": the number " + text + " of " + std::string(key) +
                 " is too large");
  }
  return 0;
}

}  // namespace

void TSetupApplication::LoadFromScript(const TScript& script, std::string_view section,
                                       std::string_view sourceDir) {
  DeleteFiles.clear();
  FileGroups.clear();
  ShellLinks.clear();
  AllowCustomInstallDir = script.ReadBool(section, "AllowCustomInstallDir", false);
  Baggage = script.ReadString(section, "Baggage");
  if (Baggage.empty()) {
    ProductCode = script.ReadString(section, "ProductCode");
    ProductID = ReadIdentityNumber(script, section, "ProductID");
    Version = ReadIdentityNumber(script, section, "Version");
  }
  Title = script.ReadString(section, "Title");
  AltRegKey = script.ReadString(section, "AltRegKey");
  InstallDir = script.ReadString(section, "InstallDir");
  if (InstallDir.find("<InstallDir>") != std::string::npos) {
    ThrowWithPlace(ESetup("Application '" + Title + "': Invalid installdir '" + InstallDir + "'"),
                   KeyPlace("InstallDir", InstallDir) +
                       " (<InstallDir> is no directory macro: the folder cannot name itself)");
  }
  for (int n = 1; script.KeyExists(section, Numbered("DeleteFile%d", n)); ++n) {
    DeleteFiles.push_back(script.ReadString(section, Numbered("DeleteFile%d", n)));
  }
  for (int n = 1; script.SectionExists(SubSection(section, "FileGroup", n)); ++n) {
    auto group = std::make_unique<TSetupFileGroup>();
    WithErrorPlace(
        [&] { return "[" + SubSection(section, "FileGroup", n) + "]"; },
        [&] { group->LoadFromScript(script, SubSection(section, "FileGroup", n), sourceDir); });
    FileGroups.push_back(std::move(group));
  }
  for (int n = 1; script.SectionExists(SubSection(section, "ShellLink", n)); ++n) {
    auto link = std::make_unique<TSetupShellLink>();
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

void TSetupFileGroup::LoadFromScript(const TScript& script, std::string_view section,
                                     std::string_view sourceDir) {
  SourceDir = std::string(sourceDir);
  DestDir = script.ReadString(section, "DestDir");
  Name = script.ReadString(section, "Name");
  Optional = script.ReadBool(section, "Optional", false);
  const int method = script.ReadEnum(section, "UpdateMethod", "updAlways", kUpdateMethodNames);
  UpdateMethod = method < 0 ? kUnknownEnum : static_cast<std::uint8_t>(method);
  for (int n = 1;; ++n) {
    const std::string key = "FileSpec" + std::to_string(n);
    if (!script.KeyExists(section, key)) break;
    const std::string spec = script.ReadString(section, key);
    if (spec.empty() || spec.front() == '@') {
      Files.push_back(spec);
      continue;
    }
    const std::string folder(ExtractFilePath(spec));
    std::vector<std::string> found;
    const bool any = platform::FindFiles(SourcePath(spec), [&](const platform::FindEntry& entry) {
      if ((entry.attributes & platform::kAttrDirectory) == 0) found.push_back(folder + entry.name);
      return true;
    });
    if (!any) {
      const OSError error = platform::LastOSError();
      throw OSError(error.code(), "No matching file found for '" + spec + "'\r\n" + error.what());
    }
    for (std::string& file : found) Files.push_back(std::move(file));
  }
}

void TSetupShellLink::LoadFromScript(const TScript& script, std::string_view section) {
  Command = script.ReadString(section, "Command");
  CommandParams = script.ReadString(section, "CommandParams");
  Folder = script.ReadString(section, "Folder");
  Description = script.ReadString(section, "Description");
  IconIndex = script.ReadInteger(section, "IconIndex", 0);
  IconLocation = script.ReadString(section, "IconLocation");
  Remove = script.ReadBool(section, "Remove", true);
  ShortCut = TextToShortCut(script.ReadString(section, "ShortCut"));
  ShowCmd = script.ReadInteger(section, "ShowCmd", 1);
  WorkDir = script.ReadString(section, "WorkDir");
}

}  // namespace valise::setup
