#include "baggage/baggage.h"

#include <algorithm>
#include <unordered_map>

#include "baggage/bag_reader.h"
#include "baggage/bag_state.h"
#include "platform/errors.h"
#include "platform/files.h"
#include "platform/messages.h"
#include "platform/text.h"

namespace valise {
namespace bagdetail {

BagState& State() {
  static BagState state;
  return state;
}

namespace {

bool IsSeparator(char c) {
  return c == '\\' || c == '/' || c == ':';
}

// The first `count` characters of a UTF-8 text.
std::string Utf8Prefix(std::string_view text, std::size_t count) {
  std::size_t chars = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80) {
      if (chars == count) return std::string(text.substr(0, i));
      ++chars;
    }
  }
  return std::string(text);
}

bool Contains(std::string_view text, std::string_view part) {
  return text.find(part) != std::string_view::npos;
}

bool FileExists(std::string_view path) {
  if (path.empty()) return false;
  const auto attributes = platform::GetFileAttributes(path);
  return attributes && (*attributes & platform::kAttrDirectory) == 0;
}

bool DirectoryExists(std::string_view path) {
  std::string_view bare = path;
  // "C:\" keeps its backslash; any other folder is asked for without it.
  if (bare.size() > 3 && bare.back() == '\\') bare.remove_suffix(1);
  const auto attributes = platform::GetFileAttributes(bare);
  return attributes && (*attributes & platform::kAttrDirectory) != 0;
}

// Removes the first and the last character when the text starts with a quote.
void Unquote(std::string& text) {
  if (!text.empty() && (text.front() == '"' || text.front() == '\'')) {
    text = text.size() >= 2 ? text.substr(1, text.size() - 2) : std::string();
  }
}

// A name the on-demand probe may look for: one plain file name, no wildcards.
bool ProbeableName(std::string_view name) {
  if (name.empty() || name == "." || name == "..") return false;
  return std::none_of(name.begin(), name.end(), [](char c) {
    return IsSeparator(c) || c == '*' || c == '?' || static_cast<unsigned char>(c) < 0x20;
  });
}

void OpenContainer() {
  using bagformat::FileSource;
  BagState& s = State();
  s.BagDir.clear();
  CloseAllEntries();

  auto file = platform::File::OpenRead(s.BagContainer, platform::File::Share::Read);
  if (!file) throw Error("Error accessing " + ExtractFileExt(s.BagContainer) + " file!");
  FileSource source(*file);
  bagformat::Probe probe = bagformat::ProbePrefix(source);
  s.BagExternal = probe.External();
  if (s.BagExternal) {
    file.reset();
    const std::string twin = ChangeFileExt(s.BagContainer, ".BAG");
    file = platform::File::OpenRead(twin, platform::File::Share::Read);
    if (!file) throw Error("Error opening " + twin + "!");
    FileSource twinSource(*file);
    probe = bagformat::ProbePrefix(twinSource);
    if (!probe.ok) throw Error("Invalid external baggage " + twin + "!");
  }
  if (probe.ok) {
    if (!probe.HeaderValid()) throw Error("Wrong KLAMP version!");
    FileSource dataSource(*file);
    s.BagDir = bagformat::ReadDirectory(dataSource, probe);
    if (!s.BagDir.empty()) bagformat::SortDirectory(s.BagDir);
    s.BagHasContainerFile = true;
  }
  file.reset();
  if (!ContainerMode()) TBagReaderThread::Start();
}

}  // namespace

bool FindPlainFile(std::string_view path, std::uint64_t& size) {
  const auto attributes = platform::GetFileAttributes(path);
  if (!attributes || (*attributes & (platform::kAttrDirectory | platform::kAttrHidden |
                                     platform::kAttrSystem)) != 0) {
    return false;
  }
  auto file = platform::File::OpenRead(path, platform::File::Share::ReadWrite);
  if (!file) return false;
  size = file->Size();
  return true;
}

}  // namespace bagdetail

using bagdetail::ContainerMode;
using bagdetail::State;
using bagdetail::Utf8Prefix;

void BagInit(std::vector<std::string>& params) {
  using bagdetail::Contains;
  bagdetail::BagState& s = State();
  s.BagHasContainerFile = false;
  BagDone();
  s.BagExplicit = false;
  s.BagLooseDir.clear();
  s.BagExternal = false;

  for (std::string& item : params) item = platform::UpperCase(item);
  s.BagKind = TBagKind::Plain;
  if (params.empty()) params.push_back(platform::UpperCase(platform::ProgramPath()));

  for (std::size_t i = 1; i < params.size(); ++i) {
    std::string item = params[i];
    bagdetail::Unquote(item);
    const bool bagSwitch = Contains(item, "/BAG=") || Contains(item, "/BAGGAGE=");
    // A document given alone on the command line is the baggage.
    if (!bagSwitch && Contains(item, ".KQD")) item = "/BAG=" + item;
    if (!Contains(item, "/BAG=") && !Contains(item, "/BAGGAGE=")) continue;

    std::string value = Utf8Prefix(std::string_view(item).substr(item.find('=') + 1), 255);
    bagdetail::Unquote(value);
    if (!Contains(value, ".BAG") && !Contains(value, ".EXE") && !Contains(value, ".KQD") &&
        !Contains(value, ".SCR")) {
      if (value.empty() || value.back() != '\\') value += '\\';
      s.BagLooseDir = value;
      if (!bagdetail::DirectoryExists(value)) throw Error("Baggage directory does not exist!");
      s.BagExplicit = true;
    } else {
      params[0] = value;
      s.BagKind = Contains(value, ".SCR")   ? TBagKind::ScreenSaver
                  : Contains(value, ".KQD") ? TBagKind::Document
                                            : TBagKind::Plain;
      s.BagLooseDir = std::string(ExtractFilePath(value)) + "BAG\\";
      s.BagExplicit = true;
    }
  }

  s.BagContainer = params[0];
  s.DataPathFor.clear();
  if (!s.BagExplicit) s.BagLooseDir = std::string(ExtractFilePath(s.BagContainer)) + "BAG\\";
  bagdetail::OpenContainer();
  SetCustomMMIOProc();
}

std::optional<std::string> BagStartupError(std::vector<std::string> params) {
  try {
    BagInit(params);
    return std::nullopt;
  } catch (const Error& error) {
    return std::string(error.what());
  }
}

bool BagStartup(std::vector<std::string> params) {
  const std::optional<std::string> error = BagStartupError(std::move(params));
  if (!error) return true;
  platform::ShowMessageBox(*error, kBagStartupCaption, platform::MessageIcon::Error,
                           platform::MessageButtons::Ok);
  return false;
}

void BagDone() {
  bagdetail::BagState& s = State();
  TBagReaderThread::Stop();
  bagdetail::CloseAllEntries();
  s.BagDir.clear();
  RemoveCustomMMIOProc();
}

bool BagHasContainer() {
  return ContainerMode();
}

namespace {

int FindEntryUncached(bagdetail::BagState& s, const std::string& key) {
  if (!ContainerMode() && !s.BagDirComplete) {
    // Until the reader hands its listing over, each name is probed for on its own.
    const std::string upper = platform::UpperCase(key);
    for (std::size_t i = 0; i < s.BagDir.size(); ++i) {
      if (s.BagDir[i].Name == upper) return static_cast<int>(i);
    }
    std::uint64_t size = 0;
    if (bagdetail::ProbeableName(upper) && bagdetail::FindPlainFile(s.BagLooseDir + upper, size)) {
      s.BagDir.push_back(
          {upper, static_cast<std::uint32_t>(std::min<std::uint64_t>(size, UINT32_MAX)), 0});
      return static_cast<int>(s.BagDir.size() - 1);
    }
  }
  if (key.empty() || s.BagDir.empty()) return -1;
  std::int64_t low = 0;
  std::int64_t high = static_cast<std::int64_t>(s.BagDir.size()) - 1;
  while (low <= high) {
    const std::int64_t middle = (low + high) / 2;
    const int order = platform::CompareTextIgnoreCase(s.BagDir[middle].Name, key);
    if (order > 0) {
      high = middle - 1;
    } else if (order < 0) {
      low = middle + 1;
    } else {
      return static_cast<int>(middle);
    }
  }
  return -1;
}

}  // namespace

int BagFindEntry(std::string_view name) {
  // Entries are found by the very bytes of their name through an index, which a case-blind
  // search of the sorted directory (a dozen comparisons of the system's, each converting both
  // names) would find too; other spellings take that search. The index is made again when the
  // directory is another one, and every hit is checked against the entry itself.
  struct ExactIndex {
    const TBagEntry* data = nullptr;
    std::size_t size = 0;
    std::unordered_map<std::string, std::size_t> byName;
  };
  thread_local ExactIndex exact;
  bagdetail::BagState& s = State();
  const std::string key = bagdetail::Utf8Prefix(name, bagformat::kMaxNameLength);
  if (key.empty()) return FindEntryUncached(s, key);
  for (int attempt = 0; attempt < 2; ++attempt) {
    if (attempt == 1 || exact.data != s.BagDir.data() || exact.size != s.BagDir.size()) {
      exact.byName.clear();
      for (std::size_t i = 0; i < s.BagDir.size(); ++i) exact.byName.emplace(s.BagDir[i].Name, i);
      exact.data = s.BagDir.data();
      exact.size = s.BagDir.size();
    }
    const auto found = exact.byName.find(key);
    if (found == exact.byName.end()) break;
    if (found->second < s.BagDir.size() && s.BagDir[found->second].Name == key) {
      return static_cast<int>(found->second);
    }
  }
  return FindEntryUncached(s, key);
}

bool BagFileExists(std::string_view path) {
  const std::string name = std::string(ExtractFileName(path));
  if (BagFindEntry(name) >= 0) return true;
  if (ContainerMode()) return false;
  return bagdetail::FileExists(State().BagLooseDir + name) || bagdetail::FileExists(path);
}

std::uint32_t BagFileSize(std::string_view name) {
  const int index = BagFindEntry(name);
  return index < 0 ? 0 : State().BagDir[index].Size;
}

std::string BagDirectory() {
  return State().BagLooseDir;
}

std::string BagExeName() {
  if (!ContainerMode()) throw Error("BagExeName: No baggage in .EXE file");
  const bagdetail::BagState& s = State();
  return s.BagExternal ? bagdetail::ChangeFileExt(s.BagContainer, ".BAG") : s.BagContainer;
}

std::string BagFileName(std::string_view path) {
  if (path.empty()) throw Error("BagFileName: File name empty");
  const std::string name = std::string(ExtractFileName(path));
  if (BagFindEntry(name) >= 0) return State().BagLooseDir + name;
  const std::string notFound = "File " + std::string(path) + " not found.";
  if (ContainerMode()) throw Error(notFound);
  if (bagdetail::FileExists(path)) return std::string(path);
  const std::string beside = std::string(ExtractFilePath(platform::ProgramPath())) + name;
  if (bagdetail::FileExists(beside)) return beside;
  throw Error(notFound);
}

bool BagIsContainerFile(std::string_view path) {
  auto file = platform::File::OpenRead(path, platform::File::Share::Read);
  if (!file) return false;
  bagformat::FileSource source(*file);
  bagformat::Probe probe = bagformat::ProbePrefix(source);
  if (!probe.ok) return false;
  if (probe.External()) {
    file.reset();
    const std::string twin = bagdetail::ChangeFileExt(path, ".BAG");
    file = platform::File::OpenRead(twin, platform::File::Share::Read);
    if (!file) throw Error("Error opening " + twin + "!");
    bagformat::FileSource twinSource(*file);
    probe = bagformat::ProbePrefix(twinSource);
    if (!probe.ok) throw Error("Invalid external baggage " + twin + "!");
  }
  return probe.HeaderValid();
}

const std::vector<TBagEntry>& BagEntries() {
  return State().BagDir;
}
std::string BagContainerPath() {
  return State().BagContainer;
}
TBagKind BagContainerKind() {
  return State().BagKind;
}
bool BagIsExternal() {
  return State().BagExternal;
}
bool BagIsExplicit() {
  return State().BagExplicit;
}
bool BagIsDirComplete() {
  return State().BagDirComplete;
}

}  // namespace valise
