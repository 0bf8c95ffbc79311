#include "setup/data_module.h"

#include "course/project.h"
#include "course/textpool.h"
#include "platform/files.h"
#include "platform/text.h"
#include "setup/error_place.h"
#include "setup/uninstall_entry.h"
#include "util/file_utils.h"

namespace valise::setup {

TTextWarningsToUI::TTextWarningsToUI(TSetupUI& ui) : ui_(ui) {
  course::Textpool().SetWarnings(this);
}

TTextWarningsToUI::~TTextWarningsToUI() {
  if (course::Textpool().Warnings() == this) course::Textpool().SetWarnings(nullptr);
}

void TTextWarningsToUI::MissingString(std::uint32_t id) {
  try {
    ui_.WarnMissingString(course::TTextpoolInterface::IdentifierOf(id));
  } catch (...) {
    // A warning never stops the program: the marker text stands in the window.
  }
}

TSetupDataModule::TSetupDataModule(TSetupUI& ui, TCommandLine commandLine)
    : CommandLine(std::move(commandLine)), ui_(ui), baggage_(CommandLine.BaggageArguments()) {}

TSetupDataModule::~TSetupDataModule() {
  try {
    if (course::Project().Active()) course::Project().Close();
    if (course::Textpool().Active()) course::Textpool().Close();
  } catch (const Error&) {
    // Closing tables read from the baggage releases memory only.
  }
  Applications.clear();
}

void TSetupDataModule::Create() {
  LanguageIndex = -1;
  Applications.clear();
  // A silent run that installs has nothing to go on without its script. (A removal needs only
  // the records, and the window lists the recorded applications.)
  const bool installs = CommandLine.Silent && CommandLine.RemoveArguments.empty();
  if (installs) CheckScriptReadable(CommandLine.ScriptFile);
  ReadScript(CommandLine.ScriptFile);
  if (installs && FindApplication(1) == nullptr) {
    throw ESetup("The setup script " + CommandLine.ScriptFile +
                 " offers no application (no section [Application1])");
  }
  LoadTexts();
  ApplyRemoveArguments();
}

void TSetupDataModule::CheckScriptReadable(const std::string& fileName) {
  const std::optional<std::uint32_t> attributes = platform::GetFileAttributes(fileName);
  if (!attributes) {
    throw ESetup("Cannot read the setup script " + fileName + ": " +
                 platform::LastOSError().what());
  }
  if (*attributes & platform::kAttrDirectory) {
    throw ESetup("Cannot read the setup script " + fileName + ": it is a folder");
  }
  if (!platform::File::OpenRead(fileName)) {
    throw ESetup("Cannot read the setup script " + fileName + ": " +
                 platform::LastOSError().what());
  }
}

void TSetupDataModule::ReadScript(const std::string& fileName) {
  Applications.clear();
  const TScript script(fileName);
  Globals = ReadGlobals(script);
  // A plan only reads.
  if (!CommandLine.Plan) TakeRecordsLock();
  Applications = Records().Scan(ui_);
  for (const auto& app : Applications) app->Selected = CommandLine.Silent;
  Language = Globals.Language;
  if (Language == course::LANG_NONE) {
    Language = LanguageFromLangID(platform::UserDefaultLangID());
    if (Language == course::LANG_NONE) {
      Language = LanguageFromLangID(platform::SystemDefaultLangID());
    }
  }
  // A remove-only run takes the applications from their records alone: the script's sections
  // would look for source files and baggage that need not be there any more.
  for (int n = 1;
       !CommandLine.RemovesOnly() && script.SectionExists("Application" + std::to_string(n)); ++n) {
    ReadApplication(script, n);
  }
  const auto expand = [this](std::string& text) { ExpandDirMacros(text); };
  for (const auto& owned : Applications) {
    for (TSetupApplication* app : {owned.get(), owned->Offered.get()}) {
      if (app == nullptr) continue;
      for (const auto& group : app->FileGroups) group->OnExpand = expand;
      for (const auto& link : app->ShellLinks) link->OnExpand = expand;
    }
  }
}

void TSetupDataModule::TakeRecordsLock() {
  const std::string name =
      std::string(RootName(Globals.RegRoot)) + "\\" + PlatformKeyPath(Globals.RegBaseKey);
  if (recordsLock_ && recordsLockName_ == name) return;
  recordsLock_.reset();
  recordsLock_ = platform::RunLock::Take(
      name, Globals.RegRoot != platform::RegRoot::CurrentUser,
      [&] { DebugLog("Waiting for another setup run on the records " + name + " to end..."); });
  recordsLockName_ = name;
}

void TSetupDataModule::ReadApplication(const TScript& script, int n) {
  auto app = std::make_unique<TSetupApplication>();
  app->ScriptIndex = n;
  try {
    app->LoadFromScript(script, "Application" + std::to_string(n), ProgramDir());
    app->OnExpand = [this](std::string& text) { ExpandDirMacros(text); };
    WithErrorPlace([&] { return KeyPlace("Baggage", app->Baggage); },
                   [&] { app->OpenBaggage(baggage_); });
    CheckRecordKey(*app);
  } catch (...) {
    AddErrorPlace(ApplicationPlace(*app));
    throw;
  }

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
      if (other.Incomplete) {
        // Completed where the record says it went.
        app->InstallDir = other.InstallDir;
        app->InstallDirChosen = true;
        app->Incomplete = true;
        app->Selected = true;
        other.Offered = std::move(app);
      }
      return;
    }
  }
  app->Installed = false;
  app->Selected = true;
  if (languageApp) LanguageIndex = static_cast<std::int32_t>(Applications.size());
  Applications.push_back(std::move(app));
}

void TSetupDataModule::CheckRecordKey(const TSetupApplication& app) {
  const std::string where = "Application" + std::to_string(app.ScriptIndex) +
                            (app.Title.empty() ? "" : " '" + app.Title + "'");
  if (!app.AltRegKey.empty()) {
    if (app.AltRegKey.find('\\') != std::string::npos) {
      throw ESetup(where + ": the record key '" + app.AltRegKey + "' holds a backslash");
    }
    return;
  }
  // The record is found again only by a name that reads back as the same identity.
  const std::string name = app.RecordKey();
  std::string productCode;
  std::int32_t version = 0;
  std::int32_t productId = 0;
  if (app.ProductCode.find('\\') != std::string::npos ||
      !ParseRecordKey(name, productCode, version, productId) || productCode != app.ProductCode ||
      version != app.Version || productId != app.ProductID) {
    throw ESetup(where + ": the record key '" + name +
                 "' cannot be read back (a product code without \"_\" and \"\\\", a release "
                 "and an ID from 0 to 2147483647)");
  }
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
  std::vector<TTextSource> sources;
  sources.reserve(Applications.size());
  for (const auto& app : Applications) sources.push_back({app->Language, &app->Texts});
  Texts = ChooseWindowTexts(sources, Language, LanguageIndex, &Globals.Texts);
}

TSetupApplication* TSetupDataModule::FindApplication(std::int32_t scriptIndex) const {
  for (const auto& app : Applications) {
    if (app->ScriptIndex == scriptIndex) return app.get();
  }
  return nullptr;
}

void TSetupDataModule::ApplyRemoveArguments() {
  NotInstalledKeys.clear();
  if (CommandLine.RemoveArguments.empty()) return;
  // An uninstall command never installs: what is not installed stays so. The window opens with
  // the installed applications selected but for the named ones, so that Continue removes
  // those (a silent run has them selected already).
  for (const auto& app : Applications) app->Selected = app->Installed;
  for (const std::string& key : CommandLine.RemoveArguments) {
    TSetupApplication* found = nullptr;
    for (const auto& app : Applications) {
      if (app->Installed && platform::CompareTextIgnoreCase(app->RecordKeyName, key) == 0) {
        found = app.get();
        break;
      }
    }
    if (found == nullptr) {
      // Its entry in the list of installed programs says it is installed: its record lies below
      // another records key (the script with the product's "RegBaseKey" is missing). Reported
      // as "not installed", the run would pass for a removal.
      if (HasUninstallEntry(key)) {
        throw ESetup("The record '" + key + "' is not below " +
                     std::string(RootName(Globals.RegRoot)) + "\\" +
                     PlatformKeyPath(Globals.RegBaseKey) +
                     ", yet the list of installed programs names it: remove it with the "
                     "product's setup script (/inf=)");
      }
      DebugLog("Not installed: no installed application has the record '" + key + "'");
      NotInstalledKeys.push_back(key);
      continue;
    }
    found->Selected = false;
  }
}

void TSetupDataModule::SelectBaggageOf(const TSetupApplication& app) {
  baggage_.Select(app.ExpandedBaggage());
}

}  // namespace valise::setup
