#include "smallcol/smallcol.h"

#include <algorithm>
#include <cstdio>
#include <limits>

#include "platform/bytes.h"
#include "platform/errors.h"
#include "platform/files.h"
#include "platform/text.h"

namespace valise::smallcol {
namespace {

constexpr std::uint32_t kRecordSize = 8;
// More than this many bytes of files make the designer confirm the size.
constexpr std::uint64_t kLargeTotalSize = 4 * 1024 * 1024;

bool LessIgnoreCase(const TCollStringList::Line& a, const TCollStringList::Line& b) {
  return platform::CompareTextIgnoreCase(a.Name, b.Name) < 0;
}

// The lines of a text: each ends at CR LF, CR or LF; a final line needs no end.
std::vector<std::string_view> SplitLines(std::string_view text) {
  std::vector<std::string_view> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = start;
    while (end < text.size() && text[end] != '\r' && text[end] != '\n') ++end;
    lines.push_back(text.substr(start, end - start));
    if (end < text.size() && text[end] == '\r') ++end;
    if (end < text.size() && text[end] == '\n') ++end;
    start = end;
  }
  return lines;
}

// A bounds-checked view of the blob. Reading past its end is truncation; values that
// contradict each other inside the blob are corruption.
class Reader {
 public:
  explicit Reader(std::string_view bytes) : bytes_(bytes) {}

  [[noreturn]] static void Truncated(const char* part) {
    throw Error(std::string("Invalid small files collection: truncated ") + part);
  }
  [[noreturn]] static void Corrupt(const std::string& part) {
    throw Error("Invalid small files collection: corrupt " + part);
  }

  std::size_t Position() const { return position_; }

  std::string_view Take(std::uint64_t count, const char* part) {
    if (count > bytes_.size() - position_) Truncated(part);
    const std::string_view taken = bytes_.substr(position_, static_cast<std::size_t>(count));
    position_ += static_cast<std::size_t>(count);
    return taken;
  }
  std::uint32_t U32(const char* part) { return platform::LoadU32(Take(4, part).data()); }

 private:
  std::string_view bytes_;
  std::size_t position_ = 0;
};

}  // namespace

// --- The list ---------------------------------------------------------------------------------

std::size_t TCollStringList::Add(std::string_view name) {
  std::size_t index = lines_.size();
  if (sorted_) {
    if (Find(name, index)) return index;
    lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(index), Line{std::string(name), {}});
  } else {
    lines_.push_back(Line{std::string(name), {}});
  }
  Changed();
  return index;
}

void TCollStringList::Delete(std::size_t index) {
  if (index >= lines_.size()) throw Error("List index out of bounds");
  lines_.erase(lines_.begin() + static_cast<std::ptrdiff_t>(index));
  Changed();
}

bool TCollStringList::Find(std::string_view name, std::size_t& index) const {
  const auto found = std::lower_bound(
      lines_.begin(), lines_.end(), name, [](const Line& line, std::string_view value) {
        return platform::CompareTextIgnoreCase(line.Name, value) < 0;
      });
  index = static_cast<std::size_t>(found - lines_.begin());
  return found != lines_.end() && platform::CompareTextIgnoreCase(found->Name, name) == 0;
}

void TCollStringList::SetSorted(bool sorted) {
  if (sorted && !sorted_) std::stable_sort(lines_.begin(), lines_.end(), LessIgnoreCase);
  sorted_ = sorted;
}

// --- The blob ---------------------------------------------------------------------------------

SmallFilesBlob DecodeSmallFilesBlob(std::string_view bytes, std::size_t* consumed) {
  Reader reader(bytes);
  SmallFilesBlob blob;
  const std::uint32_t textLength = reader.U32("name length");
  if (textLength != 0) {
    const std::string_view text = reader.Take(textLength, "name text");
    // A null byte cannot be part of a name; the text would end there for any reader of it.
    if (text.find('\0') != std::string_view::npos) Reader::Corrupt("name text");
    const std::vector<std::string_view> names = SplitLines(text);
    // Each record takes 8 bytes: more names than the rest could hold is truncation, checked
    // before anything is allocated for them.
    const std::uint64_t recordBytes = std::uint64_t{kRecordSize} * names.size();
    const std::string_view records = reader.Take(recordBytes, "file records");
    blob.lines.reserve(names.size());
    for (std::size_t i = 0; i < names.size(); ++i) {
      Reader record(records.substr(i * kRecordSize, kRecordSize));
      TCollStringList::Line line{platform::AnsiToUtf8(names[i]), {}};
      line.Record.Offset = record.U32("file records");
      line.Record.Size = record.U32("file records");
      blob.lines.push_back(std::move(line));
    }
    if (!blob.lines.empty()) {
      const TCollRecord& last = blob.lines.back().Record;
      const std::uint64_t dataSize = std::uint64_t{last.Offset} + last.Size;
      blob.data = reader.Take(dataSize, "data area");
      // The data area's size comes from the last record alone; any other record must lie
      // inside it, or a file would be copied from beyond the blob.
      for (const TCollStringList::Line& line : blob.lines) {
        if (std::uint64_t{line.Record.Offset} + line.Record.Size > dataSize) {
          Reader::Corrupt("record of " + line.Name);
        }
      }
    }
  }
  if (consumed) *consumed = reader.Position();
  return blob;
}

// --- The collection ---------------------------------------------------------------------------

TSmallFilesCollection::TSmallFilesCollection() {
  fileList_.SetOnChange([this] { ListChanged(); });
}

void TSmallFilesCollection::Clear() {
  data_.Clear();
  fileList_.Clear();
}

void TSmallFilesCollection::ListChanged() {
  if (!loading_ && !readingBlob_) ReloadContents();
}

void TSmallFilesCollection::LoadBinaryData(TStream& input) {
  Clear();
  // The blob is read whole from the stream's position; what follows it is left unread.
  const std::int64_t start = input.Position();
  const std::int64_t available = std::max<std::int64_t>(input.Size() - start, 0);
  TMemoryStream bytes;
  bytes.SetSize(available);
  input.ReadBuffer(bytes.Memory(), available);
  std::size_t consumed = 0;
  SmallFilesBlob blob = DecodeSmallFilesBlob(bytes.View(), &consumed);
  input.SetPosition(start + static_cast<std::int64_t>(consumed));

  readingBlob_ = true;
  fileList_.SetSorted(false);
  for (TCollStringList::Line& line : blob.lines) {
    const std::size_t index = fileList_.Add(line.Name);
    fileList_.Record(index) = line.Record;
  }
  data_.WriteBuffer(blob.data.data(), static_cast<std::int64_t>(blob.data.size()));
  data_.SetPosition(0);
  fileList_.SetSorted(true);
  readingBlob_ = false;
}

void TSmallFilesCollection::StoreBinaryData(TStream& output) const {
  std::string blob;
  std::string text;
  for (const TCollStringList::Line& line : fileList_) {
    text += platform::Utf8ToAnsi(line.Name);
    text += "\r\n";
  }
  if (text.size() > std::numeric_limits<std::uint32_t>::max()) {
    throw Error("The names of the small files collection are too long");
  }
  platform::AppendU32(blob, static_cast<std::uint32_t>(text.size()));
  blob += text;
  if (!text.empty()) {
    // A reader sizes the data area by the last record. After a blob whose files did not lie in
    // name order was loaded (and sorted), the last record need not end the data area, and the
    // area written as it is would come back cut short. So the files are written in list order
    // without gaps, which a collection read from a folder has anyway.
    std::string data;
    for (const TCollStringList::Line& line : fileList_) {
      if (data.size() + line.Record.Size > std::numeric_limits<std::uint32_t>::max()) {
        throw Error("The files of the small files collection are too big");
      }
      platform::AppendU32(blob, static_cast<std::uint32_t>(data.size()));
      platform::AppendU32(blob, line.Record.Size);
      data += data_.View().substr(line.Record.Offset, line.Record.Size);
    }
    blob += data;
  }
  output.WriteBuffer(blob.data(), static_cast<std::int64_t>(blob.size()));
}

std::unique_ptr<TMemoryStream> TSmallFilesCollection::GetFileStream(std::string_view name) const {
  std::size_t index = 0;
  bool found = fileList_.Find(name, index);
  const std::string upper = platform::UpperCase(name);
  if (!found) {
    for (index = 0; index < fileList_.Count(); ++index) {
      if (platform::UpperCase(fileList_[index].Name) == upper) {
        found = true;
        break;
      }
    }
  }
  if (!found) throw Error("File " + upper + " not found (TSmallFilesCollection)");
  const TCollRecord& record = fileList_[index].Record;
  const std::string_view data = data_.View();
  // Loaded blobs and reloads keep every record inside the data area; checked all the same.
  if (std::uint64_t{record.Offset} + record.Size > data.size()) {
    throw Error("File " + upper + " lies outside the data area (TSmallFilesCollection)");
  }
  auto stream = std::make_unique<TMemoryStream>(data.substr(record.Offset, record.Size));
  stream->SetPosition(0);
  return stream;
}

// --- Design time ------------------------------------------------------------------------------

void TSmallFilesCollection::SetFilePath(std::string_view path, const TConfirm& confirm) {
  if (!fileList_.Empty()) {
    const std::string wanted = platform::UpperCase(path);
    const std::string current = platform::UpperCase(filePath_);
    if (wanted == current ||
        (!current.empty() && wanted == std::string_view(current).substr(0, current.size() - 1))) {
      return;
    }
    if (!confirm("Reset path and clear file list?")) return;
  }
  Clear();
  filePath_ = std::string(path);
  if (!filePath_.empty() && filePath_.back() != '\\') filePath_ += '\\';
  if (filePath_.empty()) return;

  std::uint64_t total = 0;
  loading_ = true;
  try {
    for (const platform::FindEntry& entry : platform::FindFiles(filePath_ + "*.*")) {
      if ((entry.attributes & platform::kAttrDirectory) != 0) continue;
      if (entry.name.find_first_of("\r\n") != std::string::npos) {
        throw Error("The file name \"" + entry.name + "\" cannot be stored");
      }
      fileList_.Add(platform::UpperCase(entry.name));
      total += entry.size;
    }
  } catch (...) {
    loading_ = false;
    Clear();
    throw;
  }
  loading_ = false;
  if (total > kLargeTotalSize) {
    char question[80];
    std::snprintf(question, sizeof question, "Total Size is %.2f MByte. Continue?",
                  static_cast<double>(total) / 1048576.0);
    if (!confirm(question)) fileList_.Clear();
  }
  ReloadContents();
}

void TSmallFilesCollection::InfoAndRefresh(const TConfirm& confirm) {
  const std::string path = filePath_;
  Clear();
  SetFilePath(path, confirm);
}

void TSmallFilesCollection::ReloadContents() {
  data_.Clear();
  for (std::size_t i = 0; i < fileList_.Count(); ++i) {
    const std::string path = filePath_ + fileList_[i].Name;
    auto file = platform::File::OpenRead(path, platform::File::Share::Read);
    if (!file) platform::ThrowLastOSError();
    const std::uint64_t size = file->Size();
    const std::uint64_t offset = static_cast<std::uint64_t>(data_.Size());
    if (offset + size > std::numeric_limits<std::uint32_t>::max()) {
      throw Error("The files of " + filePath_ + " are too big for a small files collection");
    }
    data_.SetSize(static_cast<std::int64_t>(offset + size));
    std::uint64_t done = 0;
    while (done < size) {
      const std::size_t n = file->Read(
          data_.Memory() + offset + done,
          static_cast<std::size_t>(std::min<std::uint64_t>(size - done, std::uint64_t{1} << 20)));
      if (n == 0) throw Error("Unexpected end of file " + path);
      done += n;
    }
    fileList_.Record(i) =
        TCollRecord{static_cast<std::uint32_t>(offset), static_cast<std::uint32_t>(size)};
  }
  data_.SetPosition(0);
}

}  // namespace valise::smallcol
