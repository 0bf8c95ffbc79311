#include "course/project.h"

#include <algorithm>
#include <limits>

#include "baggage/baggage.h"
#include "platform/errors.h"
#include "util/integers.h"

namespace valise::course {
namespace {

bool IsSpace(char c) {
  return static_cast<unsigned char>(c) <= ' ' && c != '\0';
}

// The first entry of a comma-separated list in which double quotes may enclose an entry (a
// doubled quote inside stands for one) and blanks separate like commas. False for a list
// without entries.
bool FirstListEntry(std::string_view list, std::string& entry) {
  std::size_t pos = 0;
  while (pos < list.size() && IsSpace(list[pos])) ++pos;
  if (pos == list.size()) return false;
  entry.clear();
  if (list[pos] == '"') {
    ++pos;
    while (pos < list.size()) {
      if (list[pos] == '"') {
        if (pos + 1 < list.size() && list[pos + 1] == '"') {
          entry += '"';
          pos += 2;
          continue;
        }
        break;
      }
      entry += list[pos++];
    }
    return true;
  }
  while (pos < list.size() && static_cast<unsigned char>(list[pos]) > ' ' && list[pos] != ',') {
    entry += list[pos++];
  }
  return true;
}

// The bytes of a memo field read as a stream.
std::string ReadStream(adb::TAField& field) {
  TStream& stream = field.AsBlobStream();
  std::string bytes(static_cast<std::size_t>(stream.Size()), '\0');
  stream.SetPosition(0);
  if (!bytes.empty()) stream.ReadBuffer(bytes.data(), static_cast<std::int64_t>(bytes.size()));
  return bytes;
}

}  // namespace

TLanguage FirstTranslationLanguage(std::string_view list) {
  std::string entry;
  if (!FirstListEntry(list, entry)) return kNoLanguage;
  return static_cast<TLanguage>(StrToInt(entry));
}

std::vector<TProjectField> MissingProjectFields(adb::TATable& table) {
  std::vector<TProjectField> missing;
  for (const TProjectField& field : kProjectFields) {
    if (!field.required || table.FindField(field.name) != nullptr) continue;
    if (field.name == "TRANSLATIONLANGUAGES" && table.FindField("TRANSLATIONLANGUAGE") != nullptr) {
      continue;
    }
    missing.push_back(field);
  }
  return missing;
}

std::unique_ptr<TProjectRecord> ReadProjectRecord(adb::TATable& table) {
  auto record = std::make_unique<TProjectRecord>();
  // Texts are collected as stored bytes first: which code page they are in is known only once
  // the translation languages have been read.
  record->id = table.FieldByName("ID").AsInteger();
  if (adb::TAField* field = table.FindField("ANCESTORID")) record->ancestorId = field->AsInteger();
  std::string title = table.FieldByName("TITLE").AsString();
  std::string version;
  if (adb::TAField* field = table.FindField("VERSION")) version = field->AsString();
  std::string copyright;
  if (adb::TAField* field = table.FindField("COPYRIGHT")) copyright = field->AsString();
  std::string productCode = table.FieldByName("PRODUCTCODE").AsString();
  record->courseLanguage = static_cast<TLanguage>(table.FieldByName("COURSELANGUAGE").AsInteger());
  if (adb::TAField* field = table.FindField("TRANSLATIONLANGUAGES")) {
    record->translationLanguages = field->AsString();
  } else {
    record->translationLanguages =
        std::to_string(table.FieldByName("TRANSLATIONLANGUAGE").AsInteger());
  }
  std::string videoStill = table.FieldByName("VIDEOSTILL").AsString();
  std::string introId = table.FieldByName("INTROID").AsString();
  std::string extroId = table.FieldByName("EXTROID").AsString();
  std::string mapImage = table.FieldByName("MAPIMAGE").AsString();
  if (adb::TAField* field = table.FindField("RELEASE")) {
    record->release = static_cast<std::uint16_t>(field->AsInteger());
  }

  // A malformed language list does not stop the load; only asking for the translation
  // language fails then. Its texts are taken as the system's usual code page.
  int language = LANG_NONE;
  try {
    language = FirstTranslationLanguage(record->translationLanguages);
  } catch (const Error&) {
  }
  record->title = LanguageText(title, language);
  record->version = LanguageText(version, language);
  record->copyright = LanguageText(copyright, language);
  record->productCode = LanguageText(productCode, language);
  record->videoStill = LanguageText(videoStill, language);
  record->introId = LanguageText(introId, language);
  record->extroId = LanguageText(extroId, language);
  record->mapImage = LanguageText(mapImage, language);

  record->translationLanguages = LanguageText(record->translationLanguages, LANG_NONE);

  record->course.LoadFromText(LanguageText(ReadStream(table.FieldByName("COURSE")), language));
  record->options.Parse(LanguageText(table.FieldByName("OPTIONS").AsString(), language));
  return record;
}

TProjectInterface::TProjectInterface(std::unique_ptr<adb::TATable> table)
    : table_(table ? std::move(table) : std::make_unique<adb::TATable>()) {}

TProjectInterface::~TProjectInterface() = default;

void TProjectInterface::Open(bool onlyIfPresent) {
  if (onlyIfPresent && !BagFileExists(kTableName)) return;
  table_->SetExternalTable(false);
  table_->SetDatabaseName("");
  table_->SetTableName(kTableName);
  table_->Open();
}

void TProjectInterface::OpenFromDisk(std::string_view directory) {
  table_->SetExternalTable(true);
  table_->SetDatabaseName(directory);
  table_->SetTableName(kTableName);
  table_->Open();
}

void TProjectInterface::Close() {
  table_->Close();
}

void TProjectInterface::Load(bool notify) {
  if (!table_->Active()) return;
  project_.reset();
  project_ = ReadProjectRecord(*table_);
  if (notify) Notify(project_->id);
}

void TProjectInterface::Unload(bool notify) {
  if (ProjectId() == 0) return;
  project_.reset();
  if (notify) Notify(0);
}

std::string TProjectInterface::Title() const {
  return project_ ? project_->title : std::string();
}

std::string TProjectInterface::ProductCode() const {
  return project_ ? project_->productCode : std::string();
}

std::uint16_t TProjectInterface::Release() const {
  return project_ ? project_->release : 0;
}

std::int32_t TProjectInterface::ProjectId() const {
  return project_ ? project_->id : 0;
}

TLanguage TProjectInterface::CourseLanguage() const {
  return project_ ? project_->courseLanguage : LANG_NONE;
}

TLanguage TProjectInterface::TranslationLanguage() const {
  return project_ ? FirstTranslationLanguage(project_->translationLanguages) : kNoLanguage;
}

void TProjectInterface::Attach(TProjectListener* listener) {
  if (std::find(listeners_.begin(), listeners_.end(), listener) == listeners_.end()) {
    listeners_.push_back(listener);
  }
}

void TProjectInterface::Detach(TProjectListener* listener) {
  std::erase(listeners_, listener);
}

void TProjectInterface::Notify(std::int32_t projectId) {
  // A listener may detach itself while it is told.
  std::vector<TProjectListener*> listeners = listeners_;
  for (TProjectListener* listener : listeners) listener->ProjectChanged(projectId);
}

TProjectInterface& Project() {
  static TProjectInterface project;
  return project;
}

}  // namespace valise::course
