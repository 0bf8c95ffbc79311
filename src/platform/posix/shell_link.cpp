// Shell links on the posix backend: the link file is written and read by the shared format
// code, through the platform's own files, so that a link lands where the Windows path names it.
#include <memory>

#include "platform/errors.h"
#include "platform/files.h"
#include "platform/shell.h"
#include "platform/shell_link_format.h"

namespace valise::platform {
namespace {

constexpr std::string_view kOperation = "write the shell link";

bool IsAbsolute(std::string_view path) {
  const bool unc = path.size() >= 2 && path[0] == '\\' && path[1] == '\\';
  const bool drive = path.size() >= 3 && path[1] == ':' && (path[2] == '\\' || path[2] == '/');
  return unc || drive;
}

// What the file system knows of an existing target; zero when there is none.
ShellLinkTargetInfo TargetInfo(const std::string& target) {
  ShellLinkTargetInfo info;
  if (target.empty() || target.find_first_of("*?") != std::string::npos) return info;
  FindFiles(target, [&](const FindEntry& entry) {
    info.attributes = entry.attributes;
    info.size = static_cast<std::uint32_t>(entry.size);
    info.creationTime = entry.creationTime;
    info.accessTime = entry.lastWriteTime;
    info.writeTime = entry.lastWriteTime;
    return false;
  });
  return info;
}

}  // namespace

void WriteShellLink(const ShellLinkData& link, std::string_view linkPath) {
  // A relative target is taken against the current directory, as the shell's link object
  // takes it when the target is set.
  ShellLinkData stored = link;
  if (!stored.target.empty() && !IsAbsolute(stored.target)) {
    stored.target = GetFullPathName(stored.target);
  }
  std::string bytes;
  try {
    bytes = EncodeShellLink(stored, TargetInfo(stored.target));
  } catch (const Error& error) {
    throw Error("Cannot " + std::string(kOperation) + " " + std::string(linkPath) + ": " +
                error.what());
  }
  std::unique_ptr<File> file = File::Create(linkPath);
  if (!file) ThrowLastOSError(kOperation, linkPath);
  try {
    file->Write(bytes.data(), bytes.size());
  } catch (const OSError& error) {
    file.reset();
    DeleteFile(linkPath);
    ThrowOSError(error.code(), kOperation, linkPath);
  }
}

ShellLinkData ReadShellLink(std::string_view linkPath) {
  return DecodeShellLink(ReadWholeFile(linkPath));
}

}  // namespace valise::platform
