#include "setup/application.h"

#include "baggage/baggage.h"
#include "course/project.h"
#include "course/textpool.h"
#include "setup/current_baggage.h"
#include "setup/error_place.h"
#include "setup/plan.h"
#include "setup/records.h"

namespace valise::setup {

std::string TSetupApplication::ExpandMacros(std::string_view raw) const {
  std::string text(raw);
  if (OnExpand) OnExpand(text);
  return text;
}

std::string TSetupApplication::GetInstallDir() const {
  return FromRecord || InstallDirChosen ? InstallDir : ExpandMacros(InstallDir);
}

std::string TSetupApplication::ExpandedBaggage() const {
  return Baggage.empty() ? std::string() : ExpandMacros(Baggage);
}

namespace {

// Where a product table of the current baggage failed: missing, lacking fields (all of them
// at once), or unreadable.
std::string TablePlace(const TCurrentBaggage& baggage, const char* table, adb::TATable* opened) {
  if (!BagFileExists(table)) return baggage.Place() + " has no table " + table;
  std::string place = "the table " + std::string(table) + " of " + baggage.Place();
  std::string fields;
  if (opened != nullptr && opened->Active()) {
    for (const course::TProjectField& field : course::MissingProjectFields(*opened)) {
      fields += (fields.empty() ? "" : ", ") + std::string(field.name);
    }
  }
  return place + (fields.empty() ? " cannot be read" : " lacks the fields " + fields);
}

}  // namespace

bool TSetupApplication::OpenBaggage(TCurrentBaggage& baggage) {
  if (Baggage.empty()) return false;
  baggage.Select(ExpandedBaggage());

  course::TProjectInterface& project = course::Project();
  try {
    project.Close();
    project.Open(false);
    project.Load(false);
  } catch (...) {
    AddErrorPlace(TablePlace(baggage, course::TProjectInterface::kTableName, &project.Table()));
    throw;
  }
  Language = project.TranslationLanguage();

  course::TTextpoolInterface& textpool = course::Textpool();
  try {
    textpool.Close();
    textpool.Open(false);
    textpool.LoadAppStringsForProject();
  } catch (...) {
    AddErrorPlace(TablePlace(baggage, course::TTextpoolInterface::kTableName, nullptr));
    throw;
  }
  for (const TWindowTexts::Field& field : TWindowTexts::kFields) {
    Texts.*field.text = textpool.AppString(field.id);
  }

  if (Title.empty()) Title = project.Title();
  ProductCode = project.ProductCode();
  Version = static_cast<std::int16_t>(project.Release());
  ProductID = project.ProjectId();
  ProductVersion = project.Project() != nullptr ? project.Project()->version : std::string();
  return true;
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

std::size_t PlannedMembers(const TPlannedApplication& planned) {
  std::size_t members = 0;
  for (const TPlannedGroup& group : planned.Groups) {
    for (const TPlannedFile& file : group.Files) {
      if (!file.Source.empty() && file.Source.front() == '@') ++members;
    }
  }
  return members;
}

void TSetupApplication::AddRemovalLink(std::string path) {
  auto link = std::make_unique<TSetupShellLink>();
  link->Folder = std::move(path);
  link->Remove = true;
  ShellLinks.push_back(std::move(link));
}

}  // namespace valise::setup
