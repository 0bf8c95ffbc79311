// Brings the files of an application's groups to their destinations and records them in the
// open installation record ahead of the copy: before a batch of files is started, their names
// are written in the group's order and stored, so that after a crash at any moment every file
// on disk is named in the record (a name whose file never came counts as removed). Batches
// grow as the group goes on, so that a big group costs only a few stores. New baggage members
// are copied on the file work's threads; everything else (a member whose file exists, a file
// from the disk) waits for those before it. When a copy fails, the copies before it are
// finished first, as when one file follows the other.
#pragma once

#include <cstddef>
#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <unordered_set>
#include <vector>

#include "platform/files.h"
#include "setup/file_work.h"

namespace valise::setup {

class TSetupFileGroup;
class TSetupRegistry;
class TSetupUI;
struct TPlannedFile;

class TFileCopier {
 public:
  // `membersToCopy`: how many baggage members the application installs. From kWorthThreads on,
  // new members are copied on threads: on as many as files are best made at once; where that
  // is one, the files are made (and named) on this thread and kByteCopiers threads beside it
  // copy the bytes. Fewer members are copied here, one after the other: starting threads and
  // handing work to them costs more than a few small files.
  TFileCopier(std::size_t membersToCopy, TSetupUI& ui);

  static constexpr std::size_t kWorthThreads = TFileWork::kAhead;
  // Copying the bytes is most of the work of a new file (the page cache's memory is written),
  // and the thread that makes and names the files has time to spare: two threads copying keep
  // a two-core machine busy.
  static constexpr std::size_t kByteCopiers = 2;

  // Starts a group: its files are brought in with its update method and recorded as
  // "<groupName>File<n>": the first `recordedAhead` are stored in the record already, and the
  // copier records the others, a batch at a time, before it makes them. `files` stays alive
  // until EndGroup.
  void BeginGroup(const TSetupFileGroup& group, std::string groupName, TSetupRegistry& registry,
                  const std::vector<TPlannedFile>& files, std::size_t recordedAhead);
  // Brings the group's n-th file (from 0) to its destination, or starts its copy.
  void Add(std::size_t index, const TPlannedFile& file);
  // Finishes every copy of the group still running.
  void EndGroup();

 private:
  static constexpr std::size_t kFirstBatch = 64;
  static constexpr std::size_t kLargestBatch = 4096;

  struct Ahead {
    std::size_t index;
    const TPlannedFile* file;
    std::string upperName;
    // The file made here for the copy, named here when the copy is complete; null when the
    // work makes and names it.
    std::shared_ptr<platform::File> made;
  };

  // Starts the copy of a new member ahead of the record; false when the file exists already.
  bool CopyAhead(std::size_t index, const TPlannedFile& file);
  void FinishOldest();
  void FinishAll();
  // Records the next batch of the group's files and stores the record.
  void RecordAhead();

  TSetupUI& ui_;
  std::optional<TFileWork> copies_;
  bool createHere_ = false;
  const TSetupFileGroup* group_ = nullptr;
  TSetupRegistry* registry_ = nullptr;
  std::string groupName_;
  const std::vector<TPlannedFile>* files_ = nullptr;
  // The group's files below this index are recorded.
  std::size_t recorded_ = 0;
  // How many files the next batch records; grows through the application's groups.
  std::size_t batch_ = kFirstBatch;
  std::deque<Ahead> ahead_;
  // Upper case: one copy per destination at a time.
  std::unordered_set<std::string> aheadNames_;
};

}  // namespace valise::setup
