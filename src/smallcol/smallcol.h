// The small files collection: a handful of small files (the setup window's logo images) kept in
// one stored blob, the "BinaryData" of the component, and handed out one by one as memory
// streams.
//
// The blob (all integers little-endian):
//   u32 L                 the length of the name text
//   L bytes               every name followed by CR LF, in the list's order (ANSI code page)
//   N x (u32, u32)        per name, in the same order: Offset and Size in the data area
//   D bytes               the data area; D is Offset + Size of the last record
// A blob with L = 0 is the four length bytes alone.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "util/stream.h"

namespace valise::smallcol {

// Where one file's bytes lie in the data area.
struct TCollRecord {
  std::uint32_t Offset = 0;
  std::uint32_t Size = 0;
};

// The names of the stored files, each with its record, kept sorted without regard to case
// (the user's locale) unless sorting is switched off. Adding a name that is already there
// (in any case) does nothing while the list is sorted. After Add and Delete the owner's change
// handler runs.
class TCollStringList {
 public:
  struct Line {
    std::string Name;  // UTF-8
    TCollRecord Record;
  };

  std::size_t Count() const { return lines_.size(); }
  bool Empty() const { return lines_.empty(); }
  const Line& operator[](std::size_t index) const { return lines_.at(index); }
  TCollRecord& Record(std::size_t index) { return lines_.at(index).Record; }
  auto begin() const { return lines_.begin(); }
  auto end() const { return lines_.end(); }

  // Adds a name with an empty record; returns its index.
  std::size_t Add(std::string_view name);
  void Delete(std::size_t index);
  void Clear() { lines_.clear(); }
  // The sorted list's search: the index of the first line equal to `name` without regard to
  // case. Only meaningful while the list is sorted.
  bool Find(std::string_view name, std::size_t& index) const;

  bool Sorted() const { return sorted_; }
  // Switching sorting on sorts the lines (records move with their lines; equal names keep
  // their order).
  void SetSorted(bool sorted);

  void SetOnChange(std::function<void()> onChange) { onChange_ = std::move(onChange); }

 private:
  void Changed() {
    if (onChange_) onChange_();
  }

  std::vector<Line> lines_;
  bool sorted_ = true;
  std::function<void()> onChange_;
};

// Asks the designer a Yes/No question; true means Yes.
using TConfirm = std::function<bool(const std::string& question)>;

class TSmallFilesCollection {
 public:
  TSmallFilesCollection();
  TSmallFilesCollection(const TSmallFilesCollection&) = delete;
  TSmallFilesCollection& operator=(const TSmallFilesCollection&) = delete;

  const TCollStringList& FileList() const { return fileList_; }
  // Stored with the component; nothing consults it.
  std::vector<std::string> ExcludeTypes;
  // The folder the stored files are read from while designing; ends with "\" when not empty.
  const std::string& FilePath() const { return filePath_; }
  // The size of the data area in bytes.
  std::int64_t TotalSize() const { return static_cast<std::int64_t>(data_.View().size()); }

  // Whether the component stores its "BinaryData": only when it holds files.
  bool HasBinaryData() const { return !fileList_.Empty(); }
  // Rebuilds the list, the records and the data area from a blob at the stream's position;
  // the stream is left after the blob. Throws Error ("Invalid small files collection: ...")
  // for a truncated or corrupt blob, and then holds no files.
  void LoadBinaryData(TStream& input);
  // Writes the blob: the names in list order, and the files in that order without gaps, so
  // that the last record ends the data area.
  void StoreBinaryData(TStream& output) const;

  // A new stream with a copy of one file's bytes, positioned at 0. The name is looked up
  // without regard to case. Throws Error ("File %s not found (TSmallFilesCollection)").
  std::unique_ptr<TMemoryStream> GetFileStream(std::string_view name) const;

  // Design time. Setting the folder clears the collection and reads every plain file of the
  // folder under its upper-cased name; offsets follow the sorted names without gaps. While
  // files are held, the same folder (with or without its final character) changes nothing and
  // another one needs a Yes to "Reset path and clear file list?"; more than 4 MiB of files
  // needs a Yes to "Total Size is %.2f MByte. Continue?", else the list stays empty. A file
  // that cannot be read fails with the file system's error.
  void SetFilePath(std::string_view path, const TConfirm& confirm);
  // Reads the current folder again from scratch.
  void InfoAndRefresh(const TConfirm& confirm);

 private:
  void Clear();
  void ListChanged();
  // Fills the data area from the files of FilePath in list order.
  void ReloadContents();

  TCollStringList fileList_;
  std::string filePath_;
  TMemoryStream data_;
  bool loading_ = false;      // the collection fills its list itself
  bool readingBlob_ = false;  // the collection is being loaded from its blob
};

// The blob's parts, as a reader of stored bytes sees them: names in the blob's order (not
// sorted), their records and the data area. Throws Error ("Invalid small files collection:
// truncated ..." or "... corrupt ...") for bad input; `consumed` receives the blob's length.
struct SmallFilesBlob {
  std::vector<TCollStringList::Line> lines;
  std::string_view data;
};
SmallFilesBlob DecodeSmallFilesBlob(std::string_view bytes, std::size_t* consumed = nullptr);

}  // namespace valise::smallcol
