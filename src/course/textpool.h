// The text pool "_TXT.ADB" of a product: its user-interface strings by numeric text ID and
// language. The strings of the application-string table are loaded into a cache in the
// product's languages and handed out by ID; a missing string is reported (to a TTextWarnings)
// and replaced by a visible marker text, so that a missing translation never stops the
// program.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "adb/table.h"
#include "course/languages.h"

namespace valise::course {

class TProjectInterface;

// The text a text pool record holds when it has no text in its language.
inline constexpr std::string_view kEmptyText =
    "\xC2\xAB"
    "empty\xC2\xBB";  // «empty»

// Components that show text pool strings attach to the text pool to hear of each new load.
class TTextpoolClient {
 public:
  virtual ~TTextpoolClient() = default;
  virtual void TextpoolChanged() = 0;
};

// Hears of each string a text pool is asked for and does not hold, so that whoever runs the
// program can tell the user (the setup engine shows a warning box).
class TTextWarnings {
 public:
  virtual ~TTextWarnings() = default;
  // `id` is the text ID asked for; TTextpoolInterface::IdentifierOf names it. Must not throw.
  virtual void MissingString(std::uint32_t id) = 0;
};

class TTextpoolInterface {
 public:
  static constexpr const char* kTableName = "_TXT.ADB";
  static constexpr const char* kClassName = "TTextpoolInterface";

  // `project` supplies the languages and is not owned; null means the process-wide project.
  // `table` replaces the plain table component (a subclass that reads its files another way).
  explicit TTextpoolInterface(TProjectInterface* project = nullptr,
                              std::unique_ptr<adb::TATable> table = nullptr);
  ~TTextpoolInterface();
  TTextpoolInterface(const TTextpoolInterface&) = delete;
  TTextpoolInterface& operator=(const TTextpoolInterface&) = delete;

  // Opens "_TXT.ADB" out of the current baggage. With `onlyIfPresent`, does nothing when the
  // baggage has no such file; otherwise a missing file fails as the baggage reports it.
  void Open(bool onlyIfPresent = false);
  // Opens "_TXT.ADB" from a folder of the disk instead of the baggage.
  void OpenFromDisk(std::string_view directory);
  // Closes the table; the cache keeps its strings. Fails with
  // "TTextpoolInterface  has N attached component(s)" while components are attached.
  void Close();
  bool Active() const { return table_->Active(); }

  // Refills the cache with every string of the application-string table, each in the first
  // language or, when the table has no record of it in that language, in the second. A record
  // holding «empty» counts as no text: such a string stays out of the cache. With the table
  // closed the cache stays empty. Attached components are told afterwards.
  void LoadAppStrings(TLanguage first, TLanguage second);
  // The same in the project's translation language, then its course language.
  void LoadAppStringsForProject();

  // The cached string of a text ID. A string that is not cached is reported, to the warnings
  // when they are set and as the debug line "Application string missing (IDENTIFIER)!" in any
  // case, and replaced by the marker text for the project's translation language. Never fails.
  std::string AppString(std::uint32_t id);

  // Where missing strings are reported; not owned, null for the debug line only. Whoever sets
  // it sets null again before the warnings go.
  void SetWarnings(TTextWarnings* warnings) { warnings_ = warnings; }
  TTextWarnings* Warnings() const { return warnings_; }

  // The identifier of a text ID in the application-string table, or "«unknown".
  static std::string IdentifierOf(std::uint32_t id);
  // "«IDENTIFIER|LANGUAGE»" for an ID of the application-string table, else "«unknown|LANGUAGE»".
  static std::string MarkerText(int language, std::uint32_t id);

  // The cache: (text ID, UTF-8 string) sorted by ID.
  const std::vector<std::pair<std::uint32_t, std::string>>& Cache() const { return cache_; }
  // The cached string of an ID, or null.
  const std::string* Cached(std::uint32_t id) const;

  // Clients are not owned; they detach themselves before they go.
  void Attach(TTextpoolClient* client);
  void Detach(TTextpoolClient* client);
  std::size_t AttachedCount() const { return clients_.size(); }

  adb::TATable& Table() { return *table_; }

 private:
  TProjectInterface& ProjectSource() const;
  void AddToCache(std::uint32_t id, std::string text);

  TProjectInterface* project_;
  std::unique_ptr<adb::TATable> table_;
  std::vector<std::pair<std::uint32_t, std::string>> cache_;
  std::vector<TTextpoolClient*> clients_;
  TTextWarnings* warnings_ = nullptr;
};

// The process-wide text pool, created on first use and destroyed at exit. It takes its
// languages from the process-wide project.
TTextpoolInterface& Textpool();

}  // namespace valise::course
