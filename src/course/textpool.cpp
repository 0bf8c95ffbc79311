#include "course/textpool.h"

#include <algorithm>

#include "baggage/baggage.h"
#include "course/app_strings.h"
#include "course/project.h"
#include "platform/errors.h"
#include "util/file_utils.h"

namespace valise::course {
namespace {

// «empty» as the single-byte code pages of the tables store it.
constexpr std::string_view kStoredEmptyText =
    "\xAB"
    "empty\xBB";

}  // namespace

TTextpoolInterface::TTextpoolInterface(TProjectInterface* project,
                                       std::unique_ptr<adb::TATable> table)
    : project_(project), table_(table ? std::move(table) : std::make_unique<adb::TATable>()) {}

TTextpoolInterface::~TTextpoolInterface() = default;

TProjectInterface& TTextpoolInterface::ProjectSource() const {
  return project_ != nullptr ? *project_ : Project();
}

void TTextpoolInterface::Open(bool onlyIfPresent) {
  if (onlyIfPresent && !BagFileExists(kTableName)) return;
  table_->SetExternalTable(false);
  table_->SetDatabaseName("");
  table_->SetTableName(kTableName);
  table_->Open();
}

void TTextpoolInterface::OpenFromDisk(std::string_view directory) {
  table_->SetExternalTable(true);
  table_->SetDatabaseName(directory);
  table_->SetTableName(kTableName);
  table_->Open();
}

void TTextpoolInterface::Close() {
  if (!clients_.empty()) {
    throw Error(std::string(kClassName) + "  has " + std::to_string(clients_.size()) +
                " attached component(s)");
  }
  table_->Close();
}

void TTextpoolInterface::LoadAppStrings(TLanguage first, TLanguage second) {
  cache_.clear();
  if (!table_->Active()) return;
  adb::TAField& text = table_->FieldByName("TEXT");
  for (const TAppString& row : AppStrings()) {
    // The key is (text ID, language); IDs above 2^31 are stored as negative integers.
    const auto id = static_cast<int>(row.id);
    TLanguage language = first;
    bool found = table_->FindKey({id, static_cast<int>(first)});
    if (!found) {
      language = second;
      found = table_->FindKey({id, static_cast<int>(second)});
    }
    if (!found) continue;
    std::string stored = text.AsString();
    if (stored == kStoredEmptyText) continue;
    std::string converted = LanguageText(stored, language);
    if (converted == kEmptyText) continue;
    AddToCache(row.id, std::move(converted));
  }
  std::vector<TTextpoolClient*> clients = clients_;
  for (TTextpoolClient* client : clients) client->TextpoolChanged();
}

void TTextpoolInterface::LoadAppStringsForProject() {
  TProjectInterface& project = ProjectSource();
  LoadAppStrings(project.TranslationLanguage(), project.CourseLanguage());
}

void TTextpoolInterface::AddToCache(std::uint32_t id, std::string text) {
  auto at =
      std::lower_bound(cache_.begin(), cache_.end(), id,
                       [](const auto& entry, std::uint32_t key) { return entry.first < key; });
  if (at != cache_.end() && at->first == id) {
    at->second = std::move(text);
  } else {
    cache_.emplace(at, id, std::move(text));
  }
}

const std::string* TTextpoolInterface::Cached(std::uint32_t id) const {
  auto at =
      std::lower_bound(cache_.begin(), cache_.end(), id,
                       [](const auto& entry, std::uint32_t key) { return entry.first < key; });
  return at != cache_.end() && at->first == id ? &at->second : nullptr;
}

std::string TTextpoolInterface::AppString(std::uint32_t id) {
  if (const std::string* cached = Cached(id)) return *cached;
  DebugLog("Application string missing (" + IdentifierOf(id) + ")!");
  if (warnings_ != nullptr) warnings_->MissingString(id);
  // A malformed language list of the project must not turn a missing string into a failure.
  int language = kNoLanguage;
  try {
    language = ProjectSource().TranslationLanguage();
  } catch (const Error&) {
  }
  return MarkerText(language, id);
}

std::string TTextpoolInterface::IdentifierOf(std::uint32_t id) {
  const TAppString* row = FindAppString(id);
  return row != nullptr ? std::string(row->identifier) : std::string("\xC2\xABunknown");
}

std::string TTextpoolInterface::MarkerText(int language, std::uint32_t id) {
  const TAppString* row = FindAppString(id);
  return "\xC2\xAB" + std::string(row != nullptr ? row->identifier : "unknown") + "|" +
         LanguageName(language) + "\xC2\xBB";
}

void TTextpoolInterface::Attach(TTextpoolClient* client) {
  if (std::find(clients_.begin(), clients_.end(), client) == clients_.end()) {
    clients_.push_back(client);
  }
}

void TTextpoolInterface::Detach(TTextpoolClient* client) {
  std::erase(clients_, client);
}

TTextpoolInterface& Textpool() {
  static TTextpoolInterface textpool;
  return textpool;
}

}  // namespace valise::course
