// The parts of the file interface that both backends build from their own calls.
#include <vector>

#include "platform/errors.h"
#include "platform/files.h"

namespace valise::platform {

std::vector<FindEntry> FindFiles(std::string_view pattern) {
  std::vector<FindEntry> entries;
  FindFiles(pattern, [&](const FindEntry& entry) {
    entries.push_back(entry);
    return true;
  });
  return entries;
}

std::string ReadWholeFile(std::string_view path) {
  std::unique_ptr<File> file = File::OpenRead(path, File::Share::ReadWrite);
  if (!file) ThrowLastOSError("open", path);
  std::string bytes;
  bytes.reserve(static_cast<std::size_t>(file->Size()));
  std::vector<char> buffer(64 * 1024);
  while (const std::size_t n = file->Read(buffer.data(), buffer.size()))
    bytes.append(buffer.data(), n);
  return bytes;
}

}  // namespace valise::platform
