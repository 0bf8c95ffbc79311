#include "baggage/bag_writer.h"

#include <algorithm>
#include <memory>

#include "baggage/bag_state.h"
#include "platform/bytes.h"
#include "platform/errors.h"
#include "platform/files.h"
#include "platform/text.h"

namespace valise {
namespace {

using namespace bagformat;

constexpr std::size_t kCopyBuffer = 64 * 1024;

std::unique_ptr<platform::File> OpenOrThrow(std::string_view path) {
  auto file = platform::File::OpenRead(path, platform::File::Share::Read);
  if (!file) platform::ThrowLastOSError("open", path);
  return file;
}

// Copies `size` bytes from the file's `offset` to the output's position.
void CopyBytes(platform::File& from, std::uint64_t offset, std::uint64_t size, platform::File& to,
               const std::string& what) {
  from.Seek(offset);
  std::vector<char> buffer(kCopyBuffer);
  while (size > 0) {
    const std::size_t n = from.Read(buffer.data(), std::min<std::uint64_t>(size, kCopyBuffer));
    if (n == 0) throw Error(what + " ended before its expected size");
    to.Write(buffer.data(), n);
    size -= n;
  }
}

// Writes to a temporary file beside the target and puts it in place when complete.
class AtomicOutput {
 public:
  explicit AtomicOutput(std::string_view path)
      : path_(path), temporary_(std::string(path) + ".~partial") {
    file_ = platform::File::Create(temporary_);
    if (!file_) platform::ThrowLastOSError("create", path_);
  }
  ~AtomicOutput() {
    if (file_ || !committed_) {
      file_.reset();
      if (!committed_) platform::DeleteFile(temporary_);
    }
  }
  platform::File& file() { return *file_; }
  void Commit() {
    file_.reset();
    if (!platform::MoveFile(temporary_, path_, true)) platform::ThrowLastOSError("write", path_);
    committed_ = true;
  }

 private:
  std::string path_;
  std::string temporary_;
  std::unique_ptr<platform::File> file_;
  bool committed_ = false;
};

void PutPrefix(unsigned char* prefix, const char* signature, std::uint32_t pointer) {
  prefix[0] = static_cast<unsigned char>(signature[0]);
  prefix[1] = static_cast<unsigned char>(signature[1]);
  platform::StoreU32(prefix + kPointerOffset, pointer);
}

// Reads an executable's prefix; refuses files that are not executables or carry a baggage.
std::string CheckedExecutable(std::string_view executable) {
  std::string bytes = platform::ReadWholeFile(executable);
  if (bytes.size() < kPrefixSize || bytes[0] != 'M' || bytes[1] != 'Z') {
    throw Error(std::string(executable) + " is not an executable (no \"MZ\" header)");
  }
  if (platform::LoadU32(bytes.data() + kPointerOffset) != 0) {
    throw Error(std::string(executable) +
                " already carries a baggage; attach to a fresh copy of the program");
  }
  return bytes;
}

}  // namespace

void BagWriter::CheckName(std::string_view name) {
  const std::string quoted = "\"" + std::string(name) + "\"";
  if (name.empty()) throw Error("An entry name must not be empty");
  if (name.find_first_of("\\/:") != std::string_view::npos || name == "." || name == "..") {
    throw Error("The entry name " + quoted + " must be a plain file name");
  }
  const std::string ansi = platform::Utf8ToAnsi(name);
  if (platform::AnsiToUtf8(ansi) != name) {
    throw Error("The entry name " + quoted + " has characters outside the ANSI code page");
  }
  if (ansi.size() > kMaxNameLength) {
    throw Error("The entry name " + quoted + " is longer than 12 characters");
  }
}

void BagWriter::Add(Item item) {
  CheckName(item.name);
  if (!folded_.insert(platform::UpperCase(item.name)).second) {
    throw Error("The entry name \"" + item.name + "\" is given twice");
  }
  items_.push_back(std::move(item));
}

void BagWriter::AddData(std::string_view name, std::string data) {
  Item item;
  item.name = std::string(name);
  item.size = data.size();
  item.data = std::move(data);
  Add(std::move(item));
}

void BagWriter::AddFile(std::string_view name, std::string path) {
  Item item;
  item.name = std::string(name);
  item.path = std::move(path);
  item.whole = true;
  Add(std::move(item));
}

void BagWriter::AddRange(std::string_view name, std::string path, std::uint64_t offset,
                         std::uint32_t size) {
  Item item;
  item.name = std::string(name);
  item.path = std::move(path);
  item.offset = offset;
  item.size = size;
  Add(std::move(item));
}

std::vector<std::pair<TBagEntry, std::size_t>> BagWriter::Layout(std::uint64_t base) const {
  constexpr std::uint64_t kLimit = 0xFFFFFFFFull;
  std::vector<std::pair<TBagEntry, std::size_t>> layout;
  layout.reserve(items_.size());
  for (std::size_t i = 0; i < items_.size(); ++i) {
    TBagEntry entry;
    entry.Name = items_[i].name;
    layout.emplace_back(std::move(entry), i);
  }
  if (sorted_) {
    std::stable_sort(layout.begin(), layout.end(), [](const auto& a, const auto& b) {
      return platform::CompareTextIgnoreCase(a.first.Name, b.first.Name) < 0;
    });
  }
  // Data follows the directory in the directory's order.
  std::uint64_t at = base + kHeaderSize + kEntrySize * std::uint64_t{items_.size()};
  for (auto& [entry, index] : layout) {
    const Item& item = items_[index];
    std::uint64_t size = item.size;
    if (item.whole) {
      size = OpenOrThrow(item.path)->Size();
    }
    if (at + size > kLimit + 1 || size > kLimit) {
      throw Error("The baggage would pass 4 GiB at entry \"" + item.name +
                  "\": its offsets are 32-bit; nothing was written");
    }
    entry.Offset = static_cast<std::uint32_t>(at);
    entry.Size = static_cast<std::uint32_t>(size);
    at += size;
  }
  if (base > kLimit) throw Error("The baggage would start beyond 4 GiB; nothing was written");
  return layout;
}

void BagWriter::WriteBody(platform::File& out, std::uint64_t base) const {
  const auto layout = Layout(base);
  std::vector<unsigned char> head(kHeaderSize + kEntrySize * layout.size());
  std::copy(kMagic, kMagic + 4, head.begin());
  platform::StoreU16(head.data() + 4, kVersion);
  platform::StoreU32(head.data() + 10, static_cast<std::uint32_t>(layout.size()));
  for (std::size_t i = 0; i < layout.size(); ++i) {
    unsigned char* raw = head.data() + kHeaderSize + i * kEntrySize;
    const std::string ansi = platform::Utf8ToAnsi(layout[i].first.Name);
    raw[0] = static_cast<unsigned char>(ansi.size());
    std::copy(ansi.begin(), ansi.end(), raw + 1);
    platform::StoreU32(raw + 13, layout[i].first.Size);
    platform::StoreU32(raw + 17, layout[i].first.Offset);
  }
  out.Seek(base);
  out.Write(head.data(), head.size());
  // A header with nothing after it reads as no baggage: an empty directory gets one byte.
  if (layout.empty()) {
    const char pad = 0;
    out.Write(&pad, 1);
  }
  for (const auto& [entry, index] : layout) {
    const Item& item = items_[index];
    if (item.path.empty()) {
      out.Write(item.data.data(), item.data.size());
    } else {
      auto from = OpenOrThrow(item.path);
      CopyBytes(*from, item.offset, entry.Size, out, item.path);
    }
  }
}

void BagWriter::WriteStandalone(std::string_view path) const {
  Layout(kPrefixSize);  // refuses before the file is created
  AtomicOutput output(path);
  unsigned char prefix[kPrefixSize] = {};
  PutPrefix(prefix, "KQ", kPrefixSize);
  output.file().Write(prefix, kPrefixSize);
  WriteBody(output.file(), kPrefixSize);
  output.Commit();
}

void BagWriter::WriteAttached(std::string_view executable, std::string_view output) const {
  std::string bytes = CheckedExecutable(executable);
  const std::uint64_t base = bytes.size();
  Layout(base);
  platform::StoreU32(bytes.data() + kPointerOffset, static_cast<std::uint32_t>(base));
  AtomicOutput out(output);
  out.file().Write(bytes.data(), bytes.size());
  WriteBody(out.file(), base);
  out.Commit();
}

void BagWriter::WriteExternal(std::string_view executable, std::string_view output) const {
  std::string bytes = CheckedExecutable(executable);
  const std::string twin = bagdetail::ChangeFileExt(output, ".BAG");
  if (platform::CompareTextIgnoreCase(twin, output) == 0) {
    throw Error("The program " + std::string(output) + " must not itself end in .BAG");
  }
  WriteStandalone(twin);
  platform::StoreU32(bytes.data() + kPointerOffset, kExternalPointer);
  AtomicOutput out(output);
  out.file().Write(bytes.data(), bytes.size());
  out.Commit();
}

void CopyProgramWithoutBaggage(std::string_view executable, std::string_view output) {
  Probe probe;
  std::uint64_t size = 0;
  {
    const auto file = OpenOrThrow(executable);
    FileSource source(*file);
    probe = ProbePrefix(source);
    size = file->Size();
  }
  const bool external = probe.External();
  const bool attached = probe.ok && !external && probe.HeaderValid();
  const std::string partial = std::string(output) + ".~partial";
  try {
    if (attached || external) {
      // Only the program's bytes are read: its baggage may be far larger than the program.
      const auto in = OpenOrThrow(executable);
      const auto out = platform::File::CreateLike(partial, executable);
      if (!out) platform::ThrowLastOSError("write", partial);
      CopyBytes(*in, 0, attached ? probe.pointer : size, *out, std::string(executable));
      const unsigned char none[4] = {};
      out->Seek(kPointerOffset);
      out->Write(none, sizeof none);
    } else if (!platform::CopyFile(executable, partial, false)) {
      platform::ThrowLastOSError("copy", executable);
    }
    if (!platform::MoveFile(partial, output, true)) platform::ThrowLastOSError("write", output);
  } catch (...) {
    platform::DeleteFile(partial);
    throw;
  }
}

BagContainerInfo ReadBagContainer(std::string_view path) {
  BagContainerInfo info;
  info.dataPath = std::string(path);
  auto file = OpenOrThrow(path);
  FileSource source(*file);
  Probe probe = ProbePrefix(source);
  if (probe.External()) {
    info.external = true;
    info.dataPath = bagdetail::ChangeFileExt(path, ".BAG");
    file = platform::File::OpenRead(info.dataPath, platform::File::Share::Read);
    if (!file) throw Error("Error opening " + info.dataPath + "!");
    FileSource twinSource(*file);
    probe = ProbePrefix(twinSource);
    if (!probe.ok) throw Error("Invalid external baggage " + info.dataPath + "!");
  }
  if (!probe.ok) throw Error(std::string(path) + " carries no baggage");
  // The reader's own texts name no file; a publisher going through many containers is told
  // which one is damaged.
  if (!probe.HeaderValid()) throw Error(info.dataPath + ": Wrong KLAMP version!");
  FileSource dataSource(*file);
  info.headerPointer = probe.pointer;
  info.dataSize = file->Size();
  try {
    info.entries = ReadDirectory(dataSource, probe);
  } catch (const OSError&) {
    throw;
  } catch (const Error& error) {
    throw Error(info.dataPath + ": " + error.what());
  }
  return info;
}

}  // namespace valise
