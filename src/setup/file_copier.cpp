#include "setup/file_copier.h"

#include <algorithm>
#include <memory>

#include "baggage/bag_stream.h"
#include "platform/files.h"
#include "platform/text.h"
#include "setup/application.h"
#include "setup/plan.h"
#include "setup/records.h"
#include "setup/setup_ui.h"
#include "util/file_utils.h"

namespace valise::setup {

namespace {

bool IsMember(std::string_view source) {
  return !source.empty() && source.front() == '@';
}

}  // namespace

TFileCopier::TFileCopier(std::size_t membersToCopy, TSetupUI& ui) : ui_(ui) {
  if (membersToCopy < kWorthThreads) return;
  createHere_ = platform::ConcurrentFileCreations() == 1;
  copies_.emplace(createHere_ ? kByteCopiers : platform::ConcurrentFileCreations());
}

void TFileCopier::BeginGroup(const TSetupFileGroup& group, std::string groupName,
                             TSetupRegistry& registry, const std::vector<TPlannedFile>& files,
                             std::size_t recordedAhead) {
  group_ = &group;
  groupName_ = std::move(groupName);
  registry_ = &registry;
  files_ = &files;
  recorded_ = std::min(recordedAhead, files.size());
  if (recorded_ < files.size()) RecordAhead();
}

void TFileCopier::RecordAhead() {
  const std::size_t end = std::min(files_->size(), recorded_ + batch_);
  for (; recorded_ < end; ++recorded_) {
    registry_->WriteString(groupName_ + "File" + std::to_string(recorded_ + 1),
                           (*files_)[recorded_].Name);
  }
  registry_->Flush();
  batch_ = std::min(batch_ * 4, kLargestBatch);
}

void TFileCopier::FinishOldest() {
  // The copy leaves both queues before its outcome is known: when it failed, the failure
  // passes on with the queues still in step, and the copies behind it can still be finished.
  const Ahead oldest = std::move(ahead_.front());
  ahead_.pop_front();
  aheadNames_.erase(oldest.upperName);
  DebugLog("Copying " + oldest.file->Source + " to " + oldest.file->Destination);
  // Not done: a file of that name came meanwhile and is replaced one at a time.
  bool done = copies_->TakeOldest().done;
  if (done && oldest.made) done = BagCommitNewFile(*oldest.made);
  if (!done) group_->InstallFile(oldest.file->Source, oldest.file->Destination);
}

void TFileCopier::FinishAll() {
  while (!ahead_.empty()) FinishOldest();
}

bool TFileCopier::CopyAhead(std::size_t index, const TPlannedFile& file) {
  std::string upperName = platform::UpperCase(file.Name);
  if (!aheadNames_.insert(upperName).second) return false;
  TBagEntrySource source = BagEntrySource(std::string_view(file.Source).substr(1));
  // A copy takes its name only when complete, and its name is recorded already: work never
  // started or never taken leaves nothing to undo.
  if (createHere_) {
    std::shared_ptr<platform::File> made = BagCreateNewFile(file.Destination);
    if (!made) {
      // The file exists: it is replaced as one file at a time.
      aheadNames_.erase(upperName);
      return false;
    }
    // The bytes are copied beside; the file is named here, where it was made, so that one
    // thread changes the folder.
    copies_->Push([source = std::move(source), made]() {
      BagCopyEntryInto(source, *made);
      return TWorkResult{true};
    });
    ahead_.push_back({index, &file, std::move(upperName), std::move(made)});
    copies_->MakeRoom([this] { FinishOldest(); });
    return true;
  } else {
    copies_->Push([source = std::move(source), destination = file.Destination] {
      // Not done: the file was there already and is replaced one file at a time.
      return TWorkResult{BagCopyToNewFile(source, destination)};
    });
  }
  ahead_.push_back({index, &file, std::move(upperName), nullptr});
  copies_->MakeRoom([this] { FinishOldest(); });
  return true;
}

void TFileCopier::Add(std::size_t index, const TPlannedFile& file) {
  ui_.ProcessMessages();
  if (index >= recorded_) RecordAhead();
  if (copies_ && IsMember(file.Source)) {
    try {
      if (CopyAhead(index, file)) return;
    } catch (...) {
      // A member that is missing or a file that cannot be made: the copies before it are
      // completed first.
      FinishAll();
      throw;
    }
  }
  FinishAll();
  DebugLog("Copying " + file.Source + " to " + file.Destination);
  group_->InstallFile(file.Source, file.Destination);
}

void TFileCopier::EndGroup() {
  FinishAll();
  group_ = nullptr;
  registry_ = nullptr;
  files_ = nullptr;
}

}  // namespace valise::setup
