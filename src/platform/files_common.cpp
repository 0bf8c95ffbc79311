// The parts of the file interface that both backends build from their own calls.
#include <atomic>
#include <chrono>
#include <cstdio>
#include <random>
#include <utility>
#include <vector>

#include "platform/errors.h"
#include "platform/files.h"
#include "platform/staged_file.h"

namespace valise::platform {

namespace {

std::string FolderPrefix(std::string_view folder) {
  std::string prefix(folder);
  if (!prefix.empty() && prefix.back() != '\\' && prefix.back() != '/' && prefix.back() != ':')
    prefix += '\\';
  return prefix;
}

// A staged file written under a temporary name beside its final one and renamed by Commit.
class TemporarilyNamedFile final : public File {
 public:
  TemporarilyNamedFile(std::string_view path, std::unique_ptr<File> file, std::string temporary,
                       bool replace)
      : File(path), file_(std::move(file)), temporary_(std::move(temporary)), replace_(replace) {}
  ~TemporarilyNamedFile() override {
    if (!file_) return;
    file_.reset();
    DeleteFile(temporary_);
  }

  std::size_t Read(void* buffer, std::size_t size) override { return file_->Read(buffer, size); }
  std::size_t ReadAt(std::uint64_t position, void* buffer, std::size_t size) override {
    return file_->ReadAt(position, buffer, size);
  }
  void Write(const void* buffer, std::size_t size) override { file_->Write(buffer, size); }
  void Seek(std::uint64_t position) override { file_->Seek(position); }
  std::uint64_t Position() const override { return file_->Position(); }
  std::uint64_t Size() const override { return file_->Size(); }
  std::optional<std::size_t> CopyRangeFrom(File& source, std::uint64_t position,
                                           std::size_t size) override {
    return file_->CopyRangeFrom(source, position, size);
  }
  void Sync() override { file_->Sync(); }
  void SetLastWriteTime(FileTime time) override { file_->SetLastWriteTime(time); }

  bool Commit() override {
    if (!file_) return true;
    file_.reset();
    if (MoveFile(temporary_, path(), replace_)) return true;
    const std::uint32_t error = LastError();
    DeleteFile(temporary_);
    SetLastError(error == kErrorFileExists ? kErrorAlreadyExists : error);
    return false;
  }

 private:
  std::unique_ptr<File> file_;
  std::string temporary_;
  bool replace_;
};

}  // namespace

std::string NewTemporaryName() {
  // Names are taken from a start of the process's own, so that two runs beside each other
  // seldom meet.
  static std::atomic<std::uint32_t> next{static_cast<std::uint32_t>(
      std::random_device{}() ^
      static_cast<std::uint32_t>(std::chrono::steady_clock::now().time_since_epoch().count()))};
  char name[16];
  std::snprintf(name, sizeof name, "~VL%06X.TMP", next.fetch_add(1) & 0xFFFFFFu);
  return name;
}

std::unique_ptr<File> CreateTemporaryFile(std::string_view folder, std::string& path) {
  const std::string prefix = FolderPrefix(folder);
  // A name in use is passed over.
  for (int attempt = 0; attempt < 64; ++attempt) {
    path = prefix + NewTemporaryName();
    std::unique_ptr<File> file = File::CreateNew(path);
    if (file || LastError() != kErrorFileExists) return file;
  }
  return nullptr;
}

std::unique_ptr<File> CreateStagedUnderTemporaryName(std::string_view path, bool replace) {
  const std::string_view::size_type end = path.find_last_of("\\/:");
  const std::string_view folder =
      end == std::string_view::npos ? std::string_view() : path.substr(0, end + 1);
  std::string temporary;
  std::unique_ptr<File> file = CreateTemporaryFile(folder, temporary);
  if (!file) return nullptr;
  return std::make_unique<TemporarilyNamedFile>(path, std::move(file), std::move(temporary),
                                                replace);
}

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
