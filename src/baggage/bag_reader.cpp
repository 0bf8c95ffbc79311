#include "baggage/bag_reader.h"

#include <algorithm>
#include <thread>

#include "baggage/bag_state.h"
#include "platform/files.h"
#include "platform/messages.h"
#include "platform/text.h"
#include "platform/thread.h"

namespace valise {
namespace {

constexpr std::size_t kGrowBy = 512;
constexpr std::uint32_t kAttrVolume = 0x08;
std::atomic<std::size_t> lastCapacity{0};

std::string FirstCharacters(const std::string& text, std::size_t count) {
  std::size_t chars = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80) {
      if (chars == count) return text.substr(0, i);
      ++chars;
    }
  }
  return text;
}

}  // namespace

TBagReaderThread::TBagReaderThread(std::string looseDir) : looseDir_(std::move(looseDir)) {}

std::size_t TBagReaderThread::LastCapacity() {
  return lastCapacity.load();
}

void TBagReaderThread::Start() {
  bagdetail::BagState& s = bagdetail::State();
  s.BagDirComplete = false;
  auto reader = std::make_shared<TBagReaderThread>(s.BagLooseDir);
  s.Reader = reader;
  // The thread owns the reader; it is freed when the thread ends.
  std::thread([reader] {
    platform::SetCurrentThreadIdlePriority();
    reader->Execute();
  }).detach();
}

void TBagReaderThread::Stop() {
  bagdetail::BagState& s = bagdetail::State();
  if (!s.Reader) return;
  s.Reader->terminated_ = true;
  s.Reader.reset();
  s.BagDirComplete = true;
}

void TBagReaderThread::Execute() {
  Entries.clear();
  Count = 0;
  Entries.resize(kGrowBy);
  const std::uint32_t skip =
      platform::kAttrDirectory | platform::kAttrHidden | platform::kAttrSystem | kAttrVolume;
  platform::FindFiles(looseDir_ + "*.*", [&](const platform::FindEntry& found) {
    if (terminated_) return false;
    if ((found.attributes & skip) != 0) return true;
    if (static_cast<std::size_t>(Count) + 1 > Entries.size()) {
      Entries.resize(Entries.size() + kGrowBy);
    }
    TBagEntry& entry = Entries[Count];
    entry.Name = FirstCharacters(platform::UpperCase(found.name), bagformat::kMaxNameLength);
    entry.Size = static_cast<std::uint32_t>(std::min<std::uint64_t>(found.size, UINT32_MAX));
    entry.Offset = 0;
    ++Count;
    return !terminated_;
  });
  if (terminated_) return;
  lastCapacity = Entries.size();
  Entries.resize(Count);
  if (Count > 0) bagformat::SortDirectory(Entries);

  // The hand-over runs on the main thread, which alone touches the module state; a stop that
  // came first (a new baggage was selected) makes it deliver nothing.
  platform::RunOnMainThread(
      [this] {
        bagdetail::BagState& s = bagdetail::State();
        if (terminated_) {
          Entries.clear();
          return;
        }
        s.BagDir = std::move(Entries);
        Entries.clear();
        s.BagDirComplete = true;
        if (s.Reader.get() == this) s.Reader.reset();
      },
      &terminated_);
}

}  // namespace valise
