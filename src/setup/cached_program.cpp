#include "setup/cached_program.h"

#include <chrono>

#include "baggage/bag_writer.h"
#include "course/textpool.h"
#include "platform/files.h"
#include "platform/shell.h"
#include "platform/text.h"
#include "platform/utf.h"
#include "setup/application.h"
#include "setup/records.h"
#include "util/file_utils.h"
#include "util/paths.h"

namespace valise::setup {

namespace {

// The folder's own name for a records key.
std::string FolderName(std::string_view baseKey) {
  std::string key = PlatformKeyPath(baseKey);
  constexpr std::string_view kSoftware = "Software\\";
  if (key.size() > kSoftware.size() &&
      platform::CompareTextIgnoreCase(std::string_view(key).substr(0, kSoftware.size()),
                                      kSoftware) == 0) {
    key.erase(0, kSoftware.size());
  }
  std::string name;
  for (const char c : key) {
    if (c == '\\') {
      name += ' ';
    } else if (static_cast<unsigned char>(c) < 0x20 ||
               std::string_view("<>:\"/|?*").find(c) != std::string_view::npos) {
      name += '_';
    } else {
      name += c;
    }
  }
  while (!name.empty() && (name.back() == ' ' || name.back() == '.')) name.pop_back();
  while (!name.empty() && name.front() == ' ') name.erase(0, 1);
  return (name.empty() ? std::string("Valise") : name) + " Setup";
}

bool SamePath(std::string_view a, std::string_view b) {
  return platform::CompareTextIgnoreCase(a, b) == 0;
}

}  // namespace

std::string CachedProgramFolder(platform::RegRoot root, std::string_view baseKey) {
  const std::string data =
      GetSpecialFolder(root == platform::RegRoot::CurrentUser ? platform::kFolderLocalAppData
                                                              : platform::kFolderCommonAppData);
  if (data.empty()) return {};
  return IncludeTrailingBackslash(data) + FolderName(baseKey);
}

std::string KeepCachedProgram(std::string_view program, platform::RegRoot root,
                              std::string_view baseKey, course::TLanguage language,
                              const TWindowTexts& texts) {
  const std::string folder = CachedProgramFolder(root, baseKey);
  if (folder.empty()) throw ESetup("The system names no application data folder");
  if (!DirExists(folder) && !platform::CreateDirectory(folder)) {
    platform::ThrowLastOSError("create", folder);
  }
  const std::string copy = folder + "\\" + std::string(kCachedProgramName);
  const std::string script = folder + "\\" + std::string(kCachedScriptName);
  DebugLog("Keeping the setup program as " + copy);
  if (!SamePath(platform::GetFullPathName(program), copy)) CopyProgramWithoutBaggage(program, copy);
  std::string text =
      "; Kept by the setup program beside its copy, for removing what it installed.\r\n"
      "[Globals]\r\nRegBaseKey=" +
      std::string(RootName(root)) + "\\" + PlatformKeyPath(baseKey) + "\r\n";
  if (language != course::LANG_NONE) text += "Language=" + std::to_string(language) + "\r\n";
  std::string kept;
  for (const TWindowTexts::Field& field : TWindowTexts::kFields) {
    const std::string& value = texts.*field.text;
    if (IsMissingText(value)) continue;
    const std::string written = TextToScriptValue(value);
    const std::string key = course::TTextpoolInterface::IdentifierOf(field.id);
    if (written.empty()) {
      DebugLog("The window text " + key + " is too long for the removal script");
      continue;
    }
    kept += key + "=" + written + "\r\n";
  }
  if (!kept.empty()) text += "[Texts]\r\n" + kept;
  // UTF-16 with its byte order mark, little-endian: the profile functions read it as such.
  std::string bytes = "\xFF\xFE";
  for (const char16_t unit : platform::Utf8ToUtf16(text)) {
    bytes += static_cast<char>(unit & 0xFF);
    bytes += static_cast<char>(unit >> 8);
  }
  const std::string partial = script + ".~partial";
  {
    const auto file = platform::File::Create(partial);
    if (!file) platform::ThrowLastOSError("write", script);
    file->Write(bytes.data(), bytes.size());
  }
  if (!platform::MoveFile(partial, script, true)) {
    platform::DeleteFile(partial);
    platform::ThrowLastOSError("write", script);
  }
  return copy;
}

void RemoveCachedProgram(platform::RegRoot root, std::string_view baseKey,
                         std::string_view runningProgram) {
  try {
    const std::string folder = CachedProgramFolder(root, baseKey);
    if (folder.empty() || !DirExists(folder)) return;
    DebugLog("Removing the kept setup program " + folder);
    platform::DeleteFileInFolder(folder, kCachedScriptName);
    const std::string program = folder + "\\" + std::string(kCachedProgramName);
    const platform::DeleteResult deleted = platform::DeleteFileInFolder(folder, kCachedProgramName);
    if (!deleted.removed() && SamePath(platform::GetFullPathName(runningProgram), program)) {
      // A running program cannot be deleted on Windows, but it can be moved out of the way.
      const auto ticks = std::chrono::steady_clock::now().time_since_epoch().count();
      const std::string moved =
          platform::GetTempDirectory() + "\\valise-setup-" + std::to_string(ticks) + ".exe";
      if (platform::MoveFile(program, moved, false)) {
        if (!platform::DeleteAtRestart(moved)) {
          DebugLog("Left in place: " + moved + ": " + platform::LastOSError().what());
        }
      } else if (!platform::DeleteAtRestart(program) || !platform::DeleteAtRestart(folder)) {
        DebugLog("Left in place: " + program + ": " + platform::LastOSError().what());
      }
    }
    // Windows keeps the current folder of a program in use: the run started from here.
    if (SamePath(ExcludeTrailingBackslash(platform::GetCurrentDirectory()), folder)) {
      platform::SetCurrentDirectory(ExcludeTrailingBackslash(ExtractFilePath(folder)));
    }
    if (!platform::RemoveDirectory(folder) && DirExists(folder)) {
      DebugLog("Left in place: " + folder + ": " + platform::LastOSError().what());
    }
  } catch (const std::exception& error) {
    DebugLog(std::string("Left in place: the kept setup program: ") + error.what());
  }
}

}  // namespace valise::setup
