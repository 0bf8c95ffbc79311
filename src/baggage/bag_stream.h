// Reading baggage entries: handles onto entry data, the read-only entry stream, and copying an
// entry to a disk file. Main thread only, except where a function says otherwise.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "platform/files.h"
#include "util/stream.h"

namespace valise {

// Names one open entry; 0 never does. Handles are not reused.
using BagHandle = std::uint32_t;

// Opens an entry by name (a full path is looked up by its file-name part). Throws
// "BagFileOpen: MMIO error at <name>" when it cannot be found or opened.
BagHandle BagFileOpen(std::string_view name);
// True when the entry was closed or the handle was not open.
bool BagFileClose(BagHandle handle);
// Reads up to `count` bytes at the entry's position; false when nothing was read.
bool BagReadBlock(BagHandle handle, void* buffer, std::uint32_t count, std::uint32_t& bytesRead);
// Origin 0 from the beginning, 1 from the position, 2 back from the end; returns the new
// position. The position is not clipped.
std::int64_t BagSeekEx(BagHandle handle, std::int64_t offset, int origin);

// A read-only stream over one entry.
class TBaggageStream : public TStream {
 public:
  explicit TBaggageStream(std::string_view name);
  ~TBaggageStream() override;
  TBaggageStream(const TBaggageStream&) = delete;
  TBaggageStream& operator=(const TBaggageStream&) = delete;

  std::int64_t Read(void* buffer, std::int64_t count) override;
  std::int64_t Write(const void* buffer, std::int64_t count) override;
  std::int64_t Seek(std::int64_t offset, SeekOrigin origin) override;
  std::int64_t Size() override;

  BagHandle Handle() const { return handle_; }

 private:
  BagHandle handle_;
};

// Copies an entry to a disk file. A destination ending in "\" is a folder that receives the
// entry under its own name. A file takes its name only when its copy is complete (see
// platform::File::CreateStaged): no file under its final name is ever incomplete, an existing
// file is replaced only by a complete copy, and a failed copy leaves nothing behind.
bool BagCopyFile(std::string_view entryName, std::string_view destination);

// Where an entry's bytes lie: a window onto an open file. The file can be read from any thread
// (positioned reads), so copies can run beside the main thread, which resolves the source.
struct TBagEntrySource {
  std::string Name;  // the entry name asked for
  std::shared_ptr<platform::File> File;
  std::uint64_t Base = 0;
  std::uint32_t Size = 0;
};

// Resolves an entry as BagCopyFile does (a member of the current baggage, or a file found
// for it when there is no container). Throws as BagFileOpen does. Main thread only.
TBagEntrySource BagEntrySource(std::string_view entryName);

// Copies the entry to `destination` when no file of that name exists: false when one does,
// and nothing is done then. The file takes its name only when complete. A failed copy leaves
// no file behind and throws. Safe to run on several threads at
// once, each with its own destination.
bool BagCopyToNewFile(const TBagEntrySource& source, std::string_view destination);

// The same in two steps, for callers that make the files in one place and copy on other
// threads: BagCreateNewFile makes the staged file for `destination` (platform::File::
// CreateStaged: nothing when a file of that name exists; throws when it cannot be made), and
// BagCopyIntoNewFile, on any thread, copies the entry into it and gives it its name: false when
// a file of that name came meanwhile; a failed copy leaves nothing behind and throws.
std::shared_ptr<platform::File> BagCreateNewFile(std::string_view destination);
bool BagCopyIntoNewFile(const TBagEntrySource& source, std::shared_ptr<platform::File> file);
// BagCopyIntoNewFile in its two steps, for callers that name the files where they made them:
// the bytes (on any thread; throws when the copy fails), then the name (false when a file of
// that name came meanwhile; throws when it cannot be given).
void BagCopyEntryInto(const TBagEntrySource& source, platform::File& file);
bool BagCommitNewFile(platform::File& file);

// Registers (and removes) the multimedia file I/O procedure for the current container kind, so
// that media players can open "container+ENTRY" names. Nothing on systems without it.
void SetCustomMMIOProc();
void RemoveCustomMMIOProc();

}  // namespace valise
