// The directory macros ("<ProgramFilesDir>" and the like) and the references to other
// applications ("[Application2.InstallDir]") of script values.
#include <algorithm>
#include <array>
#include <functional>

#include "platform/shell.h"
#include "platform/text.h"
#include "setup/data_module.h"
#include "setup/error_place.h"
#include "util/file_utils.h"

namespace valise::setup {

namespace {

std::string WithoutTrailingBackslash(std::string text) {
  while (text.size() > 3 && text.back() == '\\') text.pop_back();
  return text;
}

struct Macro {
  std::string_view name;
  std::function<std::string(const TSetupDataModule&)> value;
};

const std::array<Macro, 14>& Macros() {
  static const std::array<Macro, 14> macros = {{
      {"<CommonFilesDir>", [](const TSetupDataModule&) { return GetCommonFilesDir(); }},
      {"<FontDir>",
       [](const TSetupDataModule&) { return GetSpecialFolder(platform::kFolderFonts); }},
      {"<ProgramFilesDir>", [](const TSetupDataModule&) { return GetProgramFilesDir(); }},
      {"<SrcDir>", [](const TSetupDataModule& dm) { return dm.ProgramDir(); }},
      {"<SrcDisk>", [](const TSetupDataModule& dm) { return ExtractFileDrive(dm.ProgramPath()); }},
      {"<WinDir>", [](const TSetupDataModule&) { return GetWindowsDir(); }},
      {"<WinDisk>", [](const TSetupDataModule&) { return ExtractFileDrive(GetWindowsDir()); }},
      {"<WinSysDir>", [](const TSetupDataModule&) { return GetSystemDir(); }},
      {"<WinSysDisk>", [](const TSetupDataModule&) { return ExtractFileDrive(GetSystemDir()); }},
      {"<ProgramsMenuFolder>",
       [](const TSetupDataModule&) { return GetSpecialFolder(platform::kFolderPrograms); }},
      {"<StartMenuFolder>",
       [](const TSetupDataModule&) { return GetSpecialFolder(platform::kFolderStartMenu); }},
      {"<DesktopFolder>",
       [](const TSetupDataModule&) { return GetSpecialFolder(platform::kFolderDesktop); }},
      {"<StartupFolder>",
       [](const TSetupDataModule&) { return GetSpecialFolder(platform::kFolderStartup); }},
      {"<SendToFolder>",
       [](const TSetupDataModule&) { return GetSpecialFolder(platform::kFolderSendTo); }},
  }};
  return macros;
}

bool MatchesIgnoreCase(std::string_view text, std::size_t at, std::string_view word) {
  return text.size() - at >= word.size() &&
         platform::CompareTextIgnoreCase(text.substr(at, word.size()), word) == 0;
}

[[noreturn]] void InvalidReference(std::string_view text) {
  throw ESetup("Invalid directory reference '" + std::string(text) + "'");
}

// What is wrong with the "<" of a script value: each name there that is no macro, with the
// macro it differs from only in letter case, or else the list of the macros.
std::string UnknownMacros(std::string_view text) {
  std::string place;
  for (std::size_t p = text.find('<'); p != std::string_view::npos; p = text.find('<', p + 1)) {
    const std::size_t close = text.find('>', p);
    const std::string_view name =
        text.substr(p, close == std::string_view::npos ? std::string_view::npos : close - p + 1);
    const auto& macros = Macros();
    if (std::any_of(macros.begin(), macros.end(),
                    [&](const Macro& macro) { return name == macro.name; })) {
      continue;
    }
    std::string hint = "macro names are case-sensitive; the macros are ";
    for (const Macro& macro : macros) {
      hint += std::string(macro.name) + (&macro == &macros.back() ? "" : ", ");
    }
    for (const Macro& macro : macros) {
      if (platform::CompareTextIgnoreCase(name, macro.name) == 0) {
        hint = "macro names are case-sensitive: write " + std::string(macro.name);
      }
    }
    if (!place.empty()) place += "; ";
    place += std::string(name) + " is no directory macro (" + hint + ")";
  }
  return place;
}

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

// The run of digits at `at` (at least one, else the reference is invalid), moving `at` past it.
std::int64_t ReadNumber(const std::string& reference, std::size_t& at) {
  if (at >= reference.size() || !IsDigit(reference[at])) InvalidReference(reference);
  std::int64_t number = 0;
  while (at < reference.size() && IsDigit(reference[at])) {
    number = std::min<std::int64_t>(number * 10 + (reference[at++] - '0'), INT32_MAX);
  }
  return number;
}

}  // namespace

void TSetupDataModule::ExpandDirMacros(std::string& text) const {
  // A reference that leads back to itself ([Application1.InstallDir] inside application 1's
  // directory) would expand for ever; past this depth it is an invalid reference.
  constexpr int kMaxDepth = 16;
  if (expandDepth_ >= kMaxDepth) InvalidReference(text);
  ++expandDepth_;
  struct Leave {
    int& depth;
    ~Leave() { --depth; }
  } leave{expandDepth_};

  // The text in pieces: what the script wrote is scanned; what a macro or a folder reference
  // put in is a folder's name and is never scanned again, so that a folder whose name holds
  // "[" or "<" stays as it is. A title or product code put in by a reference is scanned for
  // further references, as it always was.
  struct Piece {
    std::string text;
    bool scanned;
  };
  std::vector<Piece> pieces;
  const auto joined = [&] {
    std::string all;
    for (const Piece& piece : pieces) all += piece.text;
    return all;
  };
  std::string raw;
  for (std::size_t p = 0; p < text.size();) {
    const Macro* found = nullptr;
    if (text[p] == '<') {
      for (const Macro& macro : Macros()) {
        // Macro names are matched with their letter case.
        if (text.compare(p, macro.name.size(), macro.name) == 0) {
          found = &macro;
          break;
        }
      }
    }
    if (found == nullptr) {
      raw += text[p++];
      continue;
    }
    pieces.push_back({std::move(raw), true});
    raw.clear();
    pieces.push_back({WithoutTrailingBackslash(found->value(*this)), false});
    p += found->name.size();
  }
  pieces.push_back({std::move(raw), true});
  for (const Piece& piece : pieces) {
    if (piece.scanned && piece.text.find('<') != std::string::npos) {
      ThrowWithPlace(ESetup("Invalid directory reference '" + joined() + "'"), UnknownMacros(text));
    }
  }

  // A title that names itself would insert itself for ever.
  constexpr int kMaxReferences = 1000;
  for (int round = 0;; ++round) {
    auto piece = std::find_if(pieces.begin(), pieces.end(), [](const Piece& candidate) {
      return candidate.scanned && candidate.text.find('[') != std::string::npos;
    });
    if (piece == pieces.end()) break;
    if (round == kMaxReferences) InvalidReference(joined());
    const std::size_t p = piece->text.find('[');
    // Collect the reference up to and including its "]".
    std::string reference;
    for (std::size_t i = p;; ++i) {
      if (i == piece->text.size()) InvalidReference(reference);
      if (i > p && piece->text[i] == '[') InvalidReference(joined());
      reference += piece->text[i];
      if (piece->text[i] == ']') break;
    }
    bool folder = false;
    std::string value = ReferenceValue(reference, folder);
    std::string after = piece->text.substr(p + reference.size());
    piece->text.resize(p);
    const auto at = std::next(piece);
    pieces.insert(pieces.insert(at, {std::move(after), true}), {std::move(value), !folder});
  }
  text = joined();
}

std::string TSetupDataModule::ReferenceValue(const std::string& reference, bool& folder) const {
  std::size_t at = 1;
  if (!MatchesIgnoreCase(reference, at, "Application")) InvalidReference(reference);
  at += 11;
  const std::int64_t n = ReadNumber(reference, at);
  if (at >= reference.size() || reference[at] != '.') InvalidReference(reference);
  ++at;
  if (n < 1 || n > static_cast<std::int64_t>(Applications.size())) InvalidReference(reference);
  const TSetupApplication* app = FindApplication(static_cast<std::int32_t>(n));
  if (app == nullptr) InvalidReference(reference);

  const auto closes = [&](std::size_t length) {
    if (at + length >= reference.size() || reference[at + length] != ']') {
      InvalidReference(reference);
    }
  };
  folder = false;
  if (MatchesIgnoreCase(reference, at, "InstallDir")) {
    closes(10);
    folder = true;
    return WithErrorPlace(
        [&] {
          return "in [Application" + std::to_string(n) + "] " +
                 KeyPlace("InstallDir", app->InstallDir);
        },
        [&] { return app->GetInstallDir(); });
  }
  if (MatchesIgnoreCase(reference, at, "Title")) {
    closes(5);
    return app->Title;
  }
  if (MatchesIgnoreCase(reference, at, "ProductCode")) {
    closes(11);
    return app->ProductCode;
  }
  if (MatchesIgnoreCase(reference, at, "Release")) {
    // The product's release is kept in the field named `Version`.
    closes(7);
    return std::to_string(app->Version);
  }
  if (MatchesIgnoreCase(reference, at, "ProductID")) {
    closes(9);
    return std::to_string(app->ProductID);
  }
  if (MatchesIgnoreCase(reference, at, "FileGroup")) {
    at += 9;
    const std::int64_t m = ReadNumber(reference, at);
    if (at >= reference.size() || reference[at] != ']') InvalidReference(reference);
    if (m < 1 || m > static_cast<std::int64_t>(app->FileGroups.size())) {
      InvalidReference(reference);
    }
    // A folder of an installed application is used as recorded; one of the script is expanded.
    std::string dir = app->FileGroups[m - 1]->DestDir;
    if (!app->FromRecord) {
      WithErrorPlace(
          [&] {
            return "in [Application" + std::to_string(n) + ".FileGroup" + std::to_string(m) + "] " +
                   KeyPlace("DestDir", app->FileGroups[m - 1]->DestDir);
          },
          [&] { ExpandDirMacros(dir); });
    }
    folder = true;
    return dir;
  }
  InvalidReference(reference);
}

}  // namespace valise::setup
