#include "setup/data_module.h"

#include <algorithm>

#include "baggage/baggage.h"
#include "course/app_strings.h"
#include "course/project.h"
#include "course/textpool.h"
#include "platform/files.h"
#include "platform/text.h"
#include "setup/setup_registry.h"
#include "util/file_utils.h"

namespace valise::setup {

namespace {

TSetupDataModule* theDataModule = nullptr;

constexpr std::string_view kDefaultBaseKey = "\\Software\\Vantorel";

// The start-menu programs folder of the maker's older products, with a trailing backslash.
std::string LegacyLinkFolder() {
  return IncludeTrailingBackslash(GetSpecialFolder(2)) + "Vantorel\\";
}

}  // namespace

TSetupDataModule* SetupDataModule() {
  return theDataModule;
}

TSetupDataModule::TSetupDataModule(TSetupUI& ui, std::string programPath,
                                   std::vector<std::string> params)
    : ui_(ui), programPath_(std::move(programPath)), params_(std::move(params)) {
  theDataModule = this;
}

TSetupDataModule::~TSetupDataModule() {
  try {
    if (course::Project().Active()) course::Project().Close();
    if (course::Textpool().Active()) course::Textpool().Close();
  } catch (const Error&) {
    // Closing tables read from the baggage releases memory only.
  }
  Applications.clear();
  if (theDataModule == this) theDataModule = nullptr;
}

std::string TSetupDataModule::ProgramDir() const {
  return ExcludeTrailingBackslash(std::string(ExtractFilePath(programPath_)));
}

void TSetupDataModule::Create() {
  LanguageIndex = -1;
  ParseCommandLine();
  Applications.clear();
  ReadScript(ScriptFile);
  LoadTexts();
  if (Silent) ApplyRemoveArguments();
}

// ---- Command line ------------------------------------------------------------------------

bool TSetupDataModule::FindSwitch(std::string_view name) const {
  for (const std::string& param : params_) {
    if (!param.empty() && (param[0] == '-' || param[0] == '/') &&
        platform::CompareTextIgnoreCase(std::string_view(param).substr(1), name) == 0) {
      return true;
    }
  }
  return false;
}

bool TSetupDataModule::FindSwitchValue(std::string_view prefix, std::string& value) const {
  for (const std::string& param : params_) {
    if (param.size() >= 1 + prefix.size() && (param[0] == '-' || param[0] == '/') &&
        platform::CompareTextIgnoreCase(std::string_view(param).substr(1, prefix.size()), prefix) ==
            0) {
      value = param.substr(1 + prefix.size());
      return true;
    }
  }
  return false;
}

std::vector<std::string> TSetupDataModule::FindSwitchValues(std::string_view prefix) const {
  std::vector<std::string> values;
  for (const std::string& param : params_) {
    if (param.size() >= 1 + prefix.size() && (param[0] == '-' || param[0] == '/') &&
        platform::CompareTextIgnoreCase(std::string_view(param).substr(1, prefix.size()), prefix) ==
            0) {
      values.push_back(param.substr(1 + prefix.size()));
    }
  }
  return values;
}

void TSetupDataModule::ParseCommandLine() {
  LaunchAfterRun = FindSwitch("launch");
  Silent = FindSwitch("silent");
  RegArgument.clear();
  FindSwitchValue("reg=", RegArgument);
  ScriptFile.clear();
  FindSwitchValue("inf=", ScriptFile);
  if (ScriptFile.empty()) {
    const std::size_t dot = programPath_.rfind('.');
    const std::size_t folder = programPath_.find_last_of("\\:");
    if (dot != std::string::npos && (folder == std::string::npos || dot > folder)) {
      ScriptFile = programPath_.substr(0, dot) + ".inf";
    } else {
      ScriptFile = programPath_ + ".inf";
    }
  }
  RemoveArguments = FindSwitchValues("remove=");
}

// ---- Script, records and texts -------------------------------------------------------------

void TSetupDataModule::ReadScript(const std::string& fileName) {
  Applications.clear();
  const TScript script(fileName);
  TRootedKey rooted = SplitRootedKey(
      script.ReadString("Globals", "RegBaseKey", "HKEY_CURRENT_USER\\Software\\Vantorel"));
  RegRoot = rooted.root;
  RegBaseKey = rooted.key.empty() ? std::string(kDefaultBaseKey) : std::move(rooted.key);
  ScanRecords();
  HideLogo = script.ReadBool("Globals", "HideLogo", false);
  Launch = script.ReadString("Globals", "Launch");
  LaunchParams = script.ReadString("Globals", "LaunchParams");
  Language = static_cast<course::TLanguage>(script.ReadInteger("Globals", "Language", 0) & 0xFF);
  if (Language == course::LANG_NONE) {
    Language = LanguageFromLangID(platform::UserDefaultLangID());
    if (Language == course::LANG_NONE) {
      Language = LanguageFromLangID(platform::SystemDefaultLangID());
    }
  }
  for (int n = 1; script.SectionExists("Application" + std::to_string(n)); ++n) {
    ReadApplication(script, n);
  }
  for (const auto& app : Applications) {
    for (const auto& group : app->FileGroups) {
      group->OnExpand = [this](std::string& text) { ExpandDirMacros(text); };
    }
    for (const auto& link : app->ShellLinks) {
      link->OnExpand = [this](std::string& text) { ExpandDirMacros(text); };
    }
  }
}

void TSetupDataModule::ScanRecords() {
  const std::optional<platform::RegKey> base = OpenKeyForReading(RegRoot, RegBaseKey);
  if (!base) return;
  const std::string baseKey = IncludeTrailingBackslash(RegBaseKey);
  for (const std::string& name : base->SubKeyNames()) {
    const std::optional<platform::RegKey> key = OpenKeyForReading(RegRoot, baseKey + name);
    if (!key) continue;
    const TRecordValues record(*key);
    auto app = std::make_unique<TSetupApplication>();
    std::string productCode;
    std::int32_t version = 0;
    std::int32_t productId = 0;
    if (ParseRecordKey(name, productCode, version, productId) && record.Has("Title")) {
      app->ProductCode = std::move(productCode);
      app->Version = version;
      app->ProductID = productId;
      app->Installed = true;
      app->InstallDir = record.String("InstallDir");
      app->LoadFromRecord(record, ui_);
    } else if (record.Has("AltRegKey") && record.Has("Title")) {
      app->Installed = true;
      app->InstallDir = record.String("InstallDir");
      app->Title = record.String("Title");
      app->Version = -1;
      app->LoadFromRecord(record, ui_);
    } else if (record.Has("InstallPath") || record.Has("InstallationPath")) {
      const bool kind1 = record.Has("InstallPath");
      app->Title = name;
      app->Version = -1;
      app->Installed = true;
      app->InstallDir =
          ExcludeTrailingBackslash(record.String(kind1 ? "InstallPath" : "InstallationPath"));
      auto group = std::make_unique<TSetupFileGroup>(app.get());
      group->DestDir = app->InstallDir;
      if (kind1) {
        group->Files = {"oldmain.exe", "oldnext.exe", name + " Profile.dat",
                        "notes.wri",   "notes.doc",   "remover.exe"};
      } else {
        group->Files = {"lexicon.adb", "LX4.dat"};
      }
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
    app->Selected = Silent;
    Applications.push_back(std::move(app));
  }
}

void TSetupDataModule::ReadApplication(const TScript& script, int n) {
  auto app = std::make_unique<TSetupApplication>();
  app->ScriptIndex = n;
  app->LoadFromScript(script, "Application" + std::to_string(n), ProgramDir());
  app->OnExpand = [this](std::string& text) { ExpandDirMacros(text); };
  if (app->OpenBaggage(programPath_)) currentBaggage_ = app->ExpandedBaggage();

  bool languageApp = false;
  if (Language == course::LANG_NONE && app->Language != course::LANG_NONE) {
    Language = app->Language;
    languageApp = true;
  } else if (Language != course::LANG_NONE && LanguageIndex == -1 && app->Language == Language) {
    languageApp = true;
  }

  for (std::size_t i = 0; i < Applications.size(); ++i) {
    TSetupApplication& other = *Applications[i];
    if ((other.ProductCode == app->ProductCode && other.Version == app->Version &&
         other.ProductID == app->ProductID) ||
        (!other.Title.empty() && other.Title == app->AltRegKey)) {
      other.Language = app->Language;
      other.Texts = app->Texts;
      other.ScriptIndex = app->ScriptIndex;
      if (languageApp) LanguageIndex = static_cast<std::int32_t>(i);
      return;
    }
  }
  app->Installed = false;
  app->Selected = true;
  if (languageApp) LanguageIndex = static_cast<std::int32_t>(Applications.size());
  Applications.push_back(std::move(app));
}

void TSetupDataModule::LoadTexts() {
  if (Language == course::LANG_NONE) {
    Language = course::LANG_ENGLISH_US;
    LanguageIndex = -1;
    for (std::size_t i = 0; i < Applications.size(); ++i) {
      if (Applications[i]->Language == course::LANG_ENGLISH_US) {
        LanguageIndex = static_cast<std::int32_t>(i);
        break;
      }
    }
  }
  using namespace course::textid;
  ButtonCancel = LookupText(course::textid::ButtonCancel);
  ButtonContinue = LookupText(course::textid::ButtonContinue);
  MsgCaptionInformation = LookupText(course::textid::MsgCaptionInformation);
  MsgCaptionWarning = LookupText(course::textid::MsgCaptionWarning);
  SConfirmCancel = LookupText(course::textid::SConfirmCancel);
  MsgInstall = LookupText(course::textid::MsgInstall);
  LabelDirectory = LookupText(course::textid::LabelDirectory);
  SNoButtonCaption = LookupText(course::textid::SNoButtonCaption);
  SOutOfDiskSpace = LookupText(course::textid::SOutOfDiskSpace);
  SSetupCompleted = LookupText(course::textid::SSetupCompleted);
  SYesButtonCaption = LookupText(course::textid::SYesButtonCaption);
}

std::string TSetupDataModule::LookupText(std::uint32_t textId) const {
  const std::string placeholder = course::TTextpoolInterface::MarkerText(Language, textId);
  if (LanguageIndex < 0 || static_cast<std::size_t>(LanguageIndex) >= Applications.size()) {
    return placeholder;
  }
  const auto missing = [](const std::string& text) {
    return text.empty() || text.rfind("\xC2\xAB", 0) == 0;  // begins with «
  };
  std::string text = Applications[LanguageIndex]->GetText(textId);
  if (!missing(text)) return text;
  for (std::size_t i = 0; i < Applications.size(); ++i) {
    if (static_cast<std::int32_t>(i) == LanguageIndex) continue;
    if (Applications[i]->Language != Language) continue;
    text = Applications[i]->GetText(textId);
    if (!missing(text)) return text;
  }
  return placeholder;
}

TSetupApplication* TSetupDataModule::FindApplication(std::int32_t scriptIndex) const {
  for (const auto& app : Applications) {
    if (app->ScriptIndex == scriptIndex) return app.get();
  }
  return nullptr;
}

course::TLanguage TSetupDataModule::LanguageFromLangID(std::uint16_t langId) {
  const unsigned primary = langId & 0x1FF;
  const unsigned sub = langId >> 10;
  switch (primary) {
    case 5:
      return course::LANG_CZECH;
    case 6:
      return course::LANG_DANISH;
    case 7:
      return course::LANG_GERMAN;
    case 8:
      return course::LANG_GREEK;
    case 9:
      return sub == 2 ? course::LANG_ENGLISH_UK : course::LANG_ENGLISH_US;
    case 10:
      return course::LANG_SPANISH;
    case 11:
      return course::LANG_FINISH;
    case 12:
      return course::LANG_FRENCH;
    case 16:
      return course::LANG_ITALIAN;
    case 17:
      return course::LANG_JAPANESE;
    case 19:
      return course::LANG_DUTCH;
    case 21:
      return course::LANG_POLISH;
    case 22:
      return course::LANG_PORTUGUESE;
    case 25:
      return course::LANG_RUSSIAN;
    case 29:
      return course::LANG_SWEDISH;
    case 31:
      return course::LANG_TURKISH;
    default:
      return course::LANG_NONE;
  }
}

void TSetupDataModule::ApplyRemoveArguments() {
  std::vector<TSetupApplication*> named;
  for (const std::string& key : RemoveArguments) {
    TSetupApplication* found = nullptr;
    for (const auto& app : Applications) {
      if (app->Installed && platform::CompareTextIgnoreCase(app->RecordKeyName, key) == 0) {
        found = app.get();
        break;
      }
    }
    if (found == nullptr) {
      throw ESetup("No installed application has the record '" + key + "'");
    }
    named.push_back(found);
  }
  for (TSetupApplication* app : named) app->Selected = false;
}

void TSetupDataModule::SelectBaggageOf(TSetupApplication& app) {
  const std::string wanted = app.ExpandedBaggage();
  if (wanted == currentBaggage_) return;
  if (wanted.empty()) {
    BagInitFromCommandLine();
  } else {
    std::vector<std::string> params = {programPath_, "/bag=" + wanted};
    BagInit(params);
  }
  currentBaggage_ = wanted;
}

}  // namespace valise::setup
