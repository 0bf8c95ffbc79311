// The baggage module's state, shared by the locator, the entry streams and the reader. Touched
// on the main thread only.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "baggage/bag_stream.h"
#include "baggage/baggage.h"
#include "util/paths.h"

namespace valise {
namespace platform {
class File;
}
class TBagReaderThread;

namespace bagdetail {

// One open entry: a window onto a file from Base to Base + Size. Entries of a container share
// the container's one open file and read it at their own positions.
struct TBagHandleRec {
  BagHandle Handle = 0;
  std::shared_ptr<platform::File> File;
  std::uint32_t Base = 0;
  std::uint32_t Size = 0;
  std::int64_t Position = 0;  // relative to Base
};

struct BagState {
  std::vector<TBagEntry> BagDir;
  std::string BagContainer;
  std::string BagLooseDir;
  bool BagHasContainerFile = false;
  bool BagExternal = false;
  bool BagExplicit = false;
  bool BagDirComplete = true;
  TBagKind BagKind = TBagKind::Plain;

  std::vector<std::unique_ptr<TBagHandleRec>> OpenEntries;  // in the order of opening
  BagHandle LastHandle = 0;  // handles are never reused, not even across baggages

  std::shared_ptr<TBagReaderThread> Reader;

  // The container's data file under the spelling it has on disk, found once per baggage: the
  // upper-cased path would have every letter's case looked up again for each entry opened.
  std::string DataPathFor;
  std::string DataPath;
  // The data file stays open from the first entry opened until the baggage is closed, so that
  // copying many small entries does not open and close it for each one.
  std::shared_ptr<platform::File> DataFile;
  std::uint64_t DataFileSize = 0;
};

BagState& State();

inline bool ContainerMode() {
  return State().BagHasContainerFile || State().BagExternal;
}

// The parts of a path (util/paths.h).
using valise::ChangeFileExt;
using valise::ExtractFileExt;
using valise::ExtractFilePath;
// A plain file (not a directory, hidden or system entry) of that exact path: its size.
bool FindPlainFile(std::string_view path, std::uint64_t& size);

// Closes every open entry from the last opened to the first, and the container's data file.
void CloseAllEntries();

}  // namespace bagdetail
}  // namespace valise
