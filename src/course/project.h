// The project table "_PRJ.ADB" of a product: its first record names the product (ID, title,
// product code, release), its languages, its course structure and its options.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "adb/table.h"
#include "course/course_structure.h"
#include "course/languages.h"
#include "course/options.h"

namespace valise::course {

// The values of a project table's record. Texts are UTF-8, converted from the code page of
// the project's translation language.
struct TProjectRecord {
  std::int32_t id = 0;
  std::int32_t ancestorId = 0;
  std::string title;
  std::string version;
  std::string copyright;
  std::string productCode;
  TLanguage courseLanguage = LANG_NONE;
  // Language numbers separated by commas (or blanks); entries may be in double quotes.
  std::string translationLanguages;
  std::string videoStill;
  std::string introId;
  std::string extroId;
  std::string mapImage;
  std::uint16_t release = 0;
  TCourseStructure course;
  TOptionList options;
};

// The first entry of a translation-language list as a number; kNoLanguage for an empty list.
// A malformed entry fails with "'ENTRY' is not a valid integer value".
TLanguage FirstTranslationLanguage(std::string_view list);

// A field of the project table as ReadProjectRecord reads it: its name, how its value is taken
// ("integer", "text": a string or memo field, "memo": a memo field read as a stream) and
// whether the reader fails without it.
struct TProjectField {
  std::string_view name;
  std::string_view kind;
  bool required;
};
// Every field ReadProjectRecord reads, in its order. A table without TRANSLATIONLANGUAGES is
// read with a TRANSLATIONLANGUAGE integer field in its place.
inline constexpr TProjectField kProjectFields[] = {
    {"ID", "integer", true},
    {"ANCESTORID", "integer", false},
    {"TITLE", "text", true},
    {"VERSION", "text", false},
    {"COPYRIGHT", "text", false},
    {"PRODUCTCODE", "text", true},
    {"COURSELANGUAGE", "integer", true},
    {"TRANSLATIONLANGUAGES", "text", true},
    {"VIDEOSTILL", "text", true},
    {"INTROID", "text", true},
    {"EXTROID", "text", true},
    {"MAPIMAGE", "text", true},
    {"RELEASE", "integer", false},
    {"COURSE", "memo", true},
    {"OPTIONS", "text", true},
};
// The required fields an open project table lacks, all of them, in the reader's order.
std::vector<TProjectField> MissingProjectFields(adb::TATable& table);

// Reads a project record from the current record of an open project table. Fields are read in
// a fixed order; a missing required field fails with the table's FieldByName error, a field of
// the wrong type with the field's conversion error, a bad OPTIONS text or COURSE memo with the
// reader's message.
std::unique_ptr<TProjectRecord> ReadProjectRecord(adb::TATable& table);

// Told when a project interface loads or unloads a project.
class TProjectListener {
 public:
  virtual ~TProjectListener() = default;
  // `projectId` is the new project's ID after a load, 0 after an unload.
  virtual void ProjectChanged(std::int32_t projectId) = 0;
};

class TProjectInterface {
 public:
  static constexpr const char* kTableName = "_PRJ.ADB";

  // `table` replaces the plain table component (a subclass that reads its files another way).
  explicit TProjectInterface(std::unique_ptr<adb::TATable> table = nullptr);
  ~TProjectInterface();
  TProjectInterface(const TProjectInterface&) = delete;
  TProjectInterface& operator=(const TProjectInterface&) = delete;

  // Opens "_PRJ.ADB" out of the current baggage. With `onlyIfPresent`, does nothing when the
  // baggage has no such file; otherwise a missing file fails as the baggage reports it.
  void Open(bool onlyIfPresent = false);
  // Opens "_PRJ.ADB" from a folder of the disk instead of the baggage.
  void OpenFromDisk(std::string_view directory);
  void Close();
  bool Active() const { return table_->Active(); }

  // When the table is open: releases the loaded record and reads a new one from the current
  // record; with `notify`, tells the listeners the new project's ID. Nothing when the table
  // is closed. After a failure no project is loaded.
  void Load(bool notify = false);
  // When the loaded project's ID is not 0: releases it and, with `notify`, tells the
  // listeners.
  void Unload(bool notify = false);

  // The loaded record, or null.
  const TProjectRecord* Project() const { return project_.get(); }
  // Empty, or 0, when no project is loaded.
  std::string Title() const;
  std::string ProductCode() const;
  std::uint16_t Release() const;
  std::int32_t ProjectId() const;
  TLanguage CourseLanguage() const;
  // The first of the translation languages; kNoLanguage when there is none or no project is
  // loaded. Fails when that entry is not a number.
  TLanguage TranslationLanguage() const;

  // Listeners are not owned; they detach themselves before they go.
  void Attach(TProjectListener* listener);
  void Detach(TProjectListener* listener);
  std::size_t AttachedCount() const { return listeners_.size(); }

  adb::TATable& Table() { return *table_; }

 private:
  void Notify(std::int32_t projectId);

  std::unique_ptr<adb::TATable> table_;
  std::unique_ptr<TProjectRecord> project_;
  std::vector<TProjectListener*> listeners_;
};

// The process-wide project interface, created on first use and destroyed at exit.
TProjectInterface& Project();

}  // namespace valise::course
