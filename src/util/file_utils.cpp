#include "util/file_utils.h"

#include <cstdio>
#include <optional>
#include <vector>

#include "platform/debug.h"
#include "platform/messages.h"
#include "platform/registry.h"
#include "platform/shell.h"
#include "platform/utf.h"
#include "util/paths.h"

namespace valise {
namespace {

constexpr std::int32_t kEFail = static_cast<std::int32_t>(0x80004005u);
// Paths the shell accepts have fewer UTF-16 units than this.
constexpr std::size_t kMaxPath = 260;

// The "Software\Microsoft\Windows\CurrentVersion" string value of the local machine, as
// stored (an expandable string is not expanded); empty when missing or of another type.
std::string CurrentVersionString(std::string_view name) {
  try {
    std::optional<platform::RegKey> key = platform::RegKey::Open(
        platform::RegRoot::LocalMachine, "Software\\Microsoft\\Windows\\CurrentVersion");
    if (!key) return {};
    std::optional<platform::RegValue> value = key->Read(name);
    if (!value) return {};
    if (value->type != platform::RegType::String &&
        value->type != platform::RegType::ExpandString) {
      return {};
    }
    return value->text;
  } catch (const Error&) {
    return {};
  }
}

// The first entry a search for the path finds, or nothing (LastError set). Odd input (an empty
// path, an embedded null character, a pattern the system refuses) finds nothing.
std::optional<platform::FindEntry> FindFirst(std::string_view path) {
  if (path.empty() || path.find('\0') != std::string_view::npos) {
    platform::SetLastError(platform::kErrorFileNotFound);
    return std::nullopt;
  }
  std::optional<platform::FindEntry> first;
  try {
    platform::FindFiles(path, [&](const platform::FindEntry& entry) {
      first = entry;
      return false;
    });
  } catch (const OSError& error) {
    platform::SetLastError(error.code());
    return std::nullopt;
  } catch (const Error&) {
    platform::SetLastError(platform::kErrorInvalidName);
    return std::nullopt;
  }
  if (!first && platform::LastError() == platform::kErrorSuccess) {
    platform::SetLastError(platform::kErrorFileNotFound);
  }
  return first;
}

// Length of a UTF-8 text in UTF-16 units, as the shell measures paths.
std::size_t Utf16Length(std::string_view text) {
  return platform::Utf8ToUtf16(text).size();
}

template <typename Function>
auto OrEmpty(Function function) -> decltype(function()) {
  try {
    return function();
  } catch (const Error&) {
    return {};
  }
}

}  // namespace

std::string GetCommonFilesDir() {
  return CurrentVersionString("CommonFilesDir");
}

std::string GetProgramFilesDir() {
  return CurrentVersionString("ProgramFilesDir");
}

std::string GetWindowsDir() {
  return OrEmpty([] { return platform::GetWindowsDirectory(); });
}

std::string GetSystemDir() {
  return OrEmpty([] { return platform::GetSystemDirectory(); });
}

std::string GetSpecialFolder(int folder) {
  return OrEmpty([folder] { return platform::GetSpecialFolderPath(folder); });
}

bool DirExists(std::string_view path) {
  if (path.empty() || path.find('\0') != std::string_view::npos) return false;
  try {
    const std::optional<std::uint32_t> attributes = platform::GetFileAttributes(path);
    return attributes && (*attributes & platform::kAttrDirectory) != 0;
  } catch (const Error&) {
    return false;
  }
}

bool PathExists(std::string_view path) {
  if (FindFirst(path)) return true;
  // A search cannot find a folder by a name that ends in a backslash, nor a drive's root; the
  // folder is there all the same.
  return !path.empty() && (IsPathSeparator(path.back()) || path.back() == ':') && DirExists(path);
}

std::int64_t GetFileSizeByName(std::string_view path) {
  // A plain path is asked for directly: a search costs three calls into the system.
  const bool plain = !path.empty() && path.find_first_of("*?") == std::string_view::npos &&
                     !IsPathSeparator(path.back()) && path.back() != ':' &&
                     path.find('\0') == std::string_view::npos;
  const std::optional<platform::FindEntry> entry =
      plain ? platform::GetFileInfo(path) : FindFirst(path);
  if (!entry) return -1;
  return static_cast<std::int64_t>(entry->size);
}

platform::FileTime GetFileCreationTime(std::string_view path) {
  const std::optional<platform::FindEntry> entry = FindFirst(path);
  if (!entry) platform::ThrowLastOSError();
  return entry->creationTime;
}

bool IsDirEmpty(std::string_view dir) {
  std::string pattern(dir);
  // Without the backslash the pattern would match the folder's siblings instead.
  if (!pattern.empty() && !IsPathSeparator(pattern.back()) && pattern.back() != ':')
    pattern += '\\';
  pattern += "*.*";
  return !FindFirst(pattern);
}

namespace {

std::string FolderWithBackslash(std::string_view folder) {
  std::string path(folder);
  if (!path.empty() && !IsPathSeparator(path.back()) && path.back() != ':') path += '\\';
  return path;
}

bool IsHexDigit(char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

bool HasPrefixIgnoreCase(std::string_view text, std::string_view prefix) {
  if (text.size() < prefix.size()) return false;
  for (std::size_t i = 0; i < prefix.size(); ++i) {
    const char c = text[i];
    if ((c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c) != prefix[i]) return false;
  }
  return true;
}

}  // namespace

bool IsTemporaryFileName(std::string_view name) {
  if (name.size() < 8 || !HasPrefixIgnoreCase(name.substr(name.size() - 4), ".TMP")) return false;
  if (HasPrefixIgnoreCase(name, "~VB")) return true;
  if (name.size() != 13 || !HasPrefixIgnoreCase(name, "~VL")) return false;
  for (std::size_t i = 3; i < 9; ++i) {
    if (!IsHexDigit(name[i])) return false;
  }
  return true;
}

void DeleteTemporaryFiles(std::string_view folder) {
  const std::string prefix = FolderWithBackslash(folder);
  std::vector<std::string> found;
  platform::FindFiles(prefix + "~V*.TMP", [&](const platform::FindEntry& entry) {
    if (!(entry.attributes & platform::kAttrDirectory) && IsTemporaryFileName(entry.name)) {
      found.push_back(entry.name);
    }
    return true;
  });
  for (const std::string& name : found) {
    if (platform::DeleteFile(prefix + name)) DebugLog("Deleted the leftover " + prefix + name);
  }
}

bool ForceDirs(std::string_view path) {
  if (path.empty()) throw EJclFileUtilsError("Unable to create directory");
  std::string dir(path);
  while (!dir.empty() && IsPathSeparator(dir.back())) dir.pop_back();
  // A root ("C:", "\") always exists.
  if (dir.empty() || (dir.size() == 2 && dir[1] == ':')) return true;
  if (DirExists(dir)) return true;
  const std::string parent(ExtractFilePath(dir));
  if (!parent.empty()) {
    if (parent == dir) return true;
    if (!ForceDirs(parent)) return false;
  }
  try {
    // Someone else may have created it meanwhile: what counts is that it exists.
    return platform::CreateDirectory(dir) || DirExists(dir);
  } catch (const Error&) {
    return false;
  }
}

bool RemoveDirAndWait(std::string_view dir, std::uint32_t milliseconds) {
  bool removed = false;
  try {
    removed = !dir.empty() && platform::RemoveDirectory(dir);
  } catch (const Error&) {
    removed = false;
  }
  if (removed) WaitPumping(milliseconds);
  return removed;
}

void WriteShellLinkFile(const TShellLink& link, std::string_view fileName) {
  // A longer name would have to be cut, and the link would land under another name.
  if (fileName.empty() || Utf16Length(fileName) >= kMaxPath) {
    throw OSError(platform::kErrorFilenameExcedRange,
                  "Cannot write the shell link " + std::string(fileName) + ": " +
                      platform::SystemErrorMessage(platform::kErrorFilenameExcedRange));
  }
  platform::ShellLinkData data;
  data.arguments = link.Arguments;
  data.showCommand = link.ShowCmd;
  data.workingDirectory = link.WorkingDirectory;
  data.target = link.Target;
  data.description = link.Description;
  data.hotKey = link.HotKey;
  data.iconLocation = link.IconLocation;
  data.iconIndex = link.IconIndex;
  platform::WriteShellLink(data, fileName);
}

std::int32_t CreateShellLink(const TShellLink& link, std::string_view fileName) {
  try {
    WriteShellLinkFile(link, fileName);
    return 0;
  } catch (const OSError& error) {
    return static_cast<std::int32_t>(0x80070000u | (error.code() & 0xFFFFu));
  } catch (const Error&) {
    return kEFail;
  }
}

std::string GetShellLinkTarget(std::string_view fileName) {
  if (fileName.empty()) return {};
  try {
    std::string target = platform::ReadShellLink(fileName).target;
    const std::size_t null = target.find('\0');
    if (null != std::string::npos) target.resize(null);
    return target;
  } catch (const Error&) {
    return {};
  }
}

bool ShellExecuteFile(std::string_view file, std::string_view parameters, std::string_view verb,
                      int showCommand) {
  try {
    return platform::ShellExecute(file, parameters, verb, showCommand);
  } catch (const Error&) {
    return false;
  }
}

bool BrowseForDirectory(std::string_view caption, std::string_view root, std::string& directory,
                        bool showStatusText) {
  std::string_view initial = directory;
  if (!initial.empty() && initial.back() == '\\') initial.remove_suffix(1);
  try {
    std::optional<std::string> chosen =
        platform::BrowseForDirectory(caption, root, initial, showStatusText);
    if (!chosen) return false;
    directory = std::move(*chosen);
    return true;
  } catch (const Error&) {
    return false;
  }
}

void WaitPumping(std::uint32_t milliseconds) {
  if (milliseconds > 10000) {
    platform::Beep();
    return;
  }
  platform::WaitPumping(milliseconds);
}

void DebugLog(std::string_view text) {
  try {
    std::string line(text);
    line += "\r\n";
    platform::DebugOutput(line);
  } catch (...) {
    // The log never stops the work it describes.
  }
}

}  // namespace valise
