// File versions on the posix backend: the version resource is read out of the PE file by the
// shared reader, through the platform's own files.
#include <algorithm>
#include <memory>

#include "platform/errors.h"
#include "platform/files.h"
#include "platform/pe_version.h"
#include "platform/version.h"

namespace valise::platform {
namespace {

class FileSource : public ByteSource {
 public:
  explicit FileSource(File& file) : file_(file), size_(file.Size()) {}

  std::uint64_t Size() const override { return size_; }

  std::string Read(std::uint64_t offset, std::size_t size) override {
    std::string bytes;
    if (offset >= size_) return bytes;
    bytes.resize(static_cast<std::size_t>(std::min<std::uint64_t>(size, size_ - offset)));
    file_.Seek(offset);
    std::size_t done = 0;
    while (done < bytes.size()) {
      const std::size_t count = file_.Read(bytes.data() + done, bytes.size() - done);
      if (count == 0) break;
      done += count;
    }
    bytes.resize(done);
    return bytes;
  }

 private:
  File& file_;
  std::uint64_t size_;
};

}  // namespace

std::optional<FileVersion> GetFileVersion(std::string_view path) {
  // A malformed file has no usable version, exactly like a file without one: callers decide
  // the same way for both.
  try {
    std::unique_ptr<File> file = File::OpenRead(path);
    if (!file) return std::nullopt;
    FileSource source(*file);
    return ReadPeFileVersion(source);
  } catch (const Error&) {
    return std::nullopt;
  }
}

}  // namespace valise::platform
