// Brings the files of an application's groups to their destinations and records each one in
// the open installation record once it is complete, in the group's order. New baggage members
// are copied on the file work's threads, a few ahead of the record; everything else (a member
// whose file exists, a file from the disk) waits for those before it. When a copy fails, the
// copies before it are finished and recorded first, as when one file follows the other, and a
// copy ahead that is never recorded is removed again.
#pragma once

#include <cstddef>
#include <deque>
#include <optional>
#include <string>
#include <unordered_set>

#include "setup/file_work.h"

namespace valise::setup {

class TSetupFileGroup;
class TSetupRegistry;
class TSetupUI;
struct TPlannedFile;

class TFileCopier {
 public:
  // `membersToCopy`: the application installs baggage members, which are worth copying on
  // threads. The copy strategy is decided here: new members are written on as many threads as
  // files are best made at once; where that is one, the files are made on this thread and one
  // thread beside it copies the bytes.
  TFileCopier(bool membersToCopy, TSetupUI& ui);

  // Starts a group: its files are brought in with its update method and recorded as
  // "<groupName>File<n>".
  void BeginGroup(const TSetupFileGroup& group, std::string groupName, TSetupRegistry& registry);
  // Brings the group's n-th file (from 0) to its destination, or starts its copy.
  void Add(std::size_t index, const TPlannedFile& file);
  // Finishes and records every copy of the group still running.
  void EndGroup();

 private:
  struct Ahead {
    std::size_t index;
    const TPlannedFile* file;
    std::string upperName;
  };

  // Starts the copy of a new member ahead of the record; false when the file exists already.
  bool CopyAhead(std::size_t index, const TPlannedFile& file);
  void FinishOldest();
  void FinishAll();
  // Records the file in the group (and logs its copy).
  void Record(std::size_t index, const TPlannedFile& file);

  TSetupUI& ui_;
  std::optional<TFileWork> copies_;
  bool createHere_ = false;
  const TSetupFileGroup* group_ = nullptr;
  TSetupRegistry* registry_ = nullptr;
  std::string groupName_;
  std::deque<Ahead> ahead_;
  // Upper case: one copy per destination at a time.
  std::unordered_set<std::string> aheadNames_;
};

}  // namespace valise::setup
