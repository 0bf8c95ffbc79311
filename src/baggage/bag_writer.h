// Writing baggage containers: stand-alone "KQ" files, baggage appended to an executable, and
// the external ".BAG" twin of an executable. Also a reader of a whole container file for the
// publisher's tools. Paths are Windows paths.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_set>
#include <utility>
#include <vector>

#include "baggage/bag_format.h"

namespace valise {

namespace platform {
class File;
}

class BagWriter {
 public:
  // Entries with their data in memory, in a file, or in a range of a file. Names are UTF-8:
  // at most 12 characters of the ANSI code page, no "\", "/" or ":", none twice (letter case
  // ignored). A bad name throws valise::Error at once.
  void AddData(std::string_view name, std::string data);
  void AddFile(std::string_view name, std::string path);
  void AddRange(std::string_view name, std::string path, std::uint64_t offset, std::uint32_t size);

  // The directory is written sorted by name unless this is turned off (readers must not rely
  // on the order).
  void SetSorted(bool sorted) { sorted_ = sorted; }

  std::size_t Count() const { return items_.size(); }

  // Writes a stand-alone baggage file.
  void WriteStandalone(std::string_view path) const;
  // Writes `output`: a copy of the executable with the baggage appended and its header
  // pointer set. The executable must carry no baggage yet.
  void WriteAttached(std::string_view executable, std::string_view output) const;
  // Writes `output`: a copy of the executable marked as having an external baggage, and the
  // stand-alone baggage as its ".BAG" twin.
  void WriteExternal(std::string_view executable, std::string_view output) const;

  // Checks a name as AddData does; throws valise::Error with the reason.
  static void CheckName(std::string_view name);

 private:
  struct Item {
    std::string name;  // UTF-8
    std::string data;
    std::string path;  // empty: the data is in memory
    std::uint64_t offset = 0;
    std::uint64_t size = 0;
    bool whole = false;  // the whole file at path
  };

  void Add(Item item);
  // The directory for a baggage whose header lies at `base`, in the order it is written, with
  // every item's index; checks every limit before anything is written.
  std::vector<std::pair<TBagEntry, std::size_t>> Layout(std::uint64_t base) const;
  // Writes header, directory and data at the file's position `base`.
  void WriteBody(platform::File& out, std::uint64_t base) const;

  std::vector<Item> items_;
  std::unordered_set<std::string> folded_;  // the names upper-cased, to refuse repeats
  bool sorted_ = true;
};

// Writes `output`: a copy of the program `executable` without its baggage, whether appended or
// in the ".BAG" twin (the header pointer cleared), with the program's attributes (on Linux its
// mode) but for read-only, which a program on a CD has. A program without a baggage is copied as
// it is. Throws Error or OSError naming the file.
void CopyProgramWithoutBaggage(std::string_view executable, std::string_view output);

// A container as a whole: where its data lies and its directory in stored order.
struct BagContainerInfo {
  std::string dataPath;  // the container itself, or its ".BAG" twin
  bool external = false;
  std::uint32_t headerPointer = 0;
  std::uint64_t dataSize = 0;  // size of the file at dataPath
  std::vector<TBagEntry> entries;
};

// Reads a container file; throws valise::Error with the baggage's messages ("Wrong KLAMP
// version!", "Unexpected EOF!", ...) or "<path> carries no baggage".
BagContainerInfo ReadBagContainer(std::string_view path);

}  // namespace valise
