// The directory macros ("<ProgramFilesDir>" and the like) and the references to other
// applications ("[Application2.InstallDir]") of script values.
#include <array>
#include <functional>

#include "platform/shell.h"
#include "platform/text.h"
#include "setup/data_module.h"
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
  for (const Macro& macro : Macros()) {
    for (std::size_t at = text.find(macro.name); at != std::string::npos;
         at = text.find(macro.name)) {
      text.replace(at, macro.name.size(), WithoutTrailingBackslash(macro.value(*this)));
    }
  }
  if (text.find('<') != std::string::npos) InvalidReference(text);

  for (std::size_t p = text.find('['); p != std::string::npos; p = text.find('[')) {
    // Collect the reference up to and including its "]".
    std::string reference;
    for (std::size_t i = p;; ++i) {
      if (i == text.size()) InvalidReference(reference);
      if (i > p && text[i] == '[') InvalidReference(text);
      reference += text[i];
      if (text[i] == ']') break;
    }
    std::size_t at = 1;
    if (!MatchesIgnoreCase(reference, at, "Application")) InvalidReference(reference);
    at += 11;
    const std::int64_t n = ReadNumber(reference, at);
    if (at >= reference.size() || reference[at] != '.') InvalidReference(reference);
    ++at;
    if (n < 1 || n > static_cast<std::int64_t>(Applications.size())) InvalidReference(reference);
    const TSetupApplication* app = FindApplication(static_cast<std::int32_t>(n));
    if (app == nullptr) InvalidReference(reference);

    std::string replacement;
    const auto closes = [&](std::size_t length) {
      if (at + length >= reference.size() || reference[at + length] != ']') {
        InvalidReference(reference);
      }
    };
    if (MatchesIgnoreCase(reference, at, "InstallDir")) {
      closes(10);
      // As the application gives it: expanded, or as recorded for an installed application.
      replacement = app->GetInstallDir();
    } else if (MatchesIgnoreCase(reference, at, "Title")) {
      closes(5);
      replacement = app->Title;
    } else if (MatchesIgnoreCase(reference, at, "ProductCode")) {
      closes(11);
      replacement = app->ProductCode;
    } else if (MatchesIgnoreCase(reference, at, "Release")) {
      // The product's release is kept in the field named `Version`.
      closes(7);
      replacement = std::to_string(app->Version);
    } else if (MatchesIgnoreCase(reference, at, "ProductID")) {
      closes(9);
      replacement = std::to_string(app->ProductID);
    } else if (MatchesIgnoreCase(reference, at, "FileGroup")) {
      at += 9;
      const std::int64_t m = ReadNumber(reference, at);
      if (at >= reference.size() || reference[at] != ']') InvalidReference(reference);
      if (m < 1 || m > static_cast<std::int64_t>(app->FileGroups.size())) {
        InvalidReference(reference);
      }
      replacement = app->FileGroups[m - 1]->DestDir;
      ExpandDirMacros(replacement);
    } else {
      InvalidReference(reference);
    }
    text.replace(p, reference.size(), replacement);
  }
}

}  // namespace valise::setup
