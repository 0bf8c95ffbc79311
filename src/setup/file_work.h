// File work (copies out of the baggage, deletions) run on a few threads beside the main
// thread. Most of that time is spent waiting on the file system (and under Wine on its server):
// pieces of work that overlap finish sooner than pieces done one after the other. Results are
// taken in the order the work was asked for, so that the installation record is still written,
// and the log still told, file by file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <exception>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "platform/thread.h"

namespace valise::setup {

// What a piece of work tells when it returns: whether it did what it was for, and when it did
// not, the system's error code of what stopped it (0 when it simply had nothing to do).
struct TWorkResult {
  bool done = false;
  std::uint32_t error = 0;
};

class TFileWork {
 public:
  // Threads and how much work may be waiting for its result: the work waits on the file
  // system more than on the processor, so a few more threads than a small machine's two cores
  // keep both busy. Removing 10,000 files from one folder took 1.5 s one after the other and
  // 0.75-0.85 s on four threads (copies: see ConcurrentFileCreations).
  static constexpr std::size_t kThreads = 4;
  static constexpr std::size_t kAhead = 16;

  explicit TFileWork(std::size_t threads = kThreads);
  // Waits for the work still running. Work whose result was never taken is undone: its file
  // is removed again (see Push).
  ~TFileWork();
  TFileWork(const TFileWork&) = delete;
  TFileWork& operator=(const TFileWork&) = delete;

  // Where the file of a piece of work comes from: the work makes it when it returns true, or
  // the caller made it before pushing the work (and the work removes it when it fails).
  enum class FileMade { ByWork, Before };

  // Starts `work`, which returns what it did and throws when it failed. `file`, when given,
  // is the new file the work is about.
  void Push(std::function<TWorkResult()> work, std::string file = {},
            FileMade made = FileMade::ByWork);
  // The work whose result has not been taken.
  std::size_t Pending() const { return order_.size(); }
  // Waits for the oldest work and returns its result; rethrows its failure.
  TWorkResult TakeOldest();
  // When kAhead pieces of work wait for their results, calls `finishOldest` (which takes the
  // oldest result) until half are left. The caller then pushes in a run: waking an idle
  // thread costs a call into the system, pushing to busy ones does not.
  template <typename Finish>
  void MakeRoom(Finish&& finishOldest) {
    if (Pending() < kAhead) return;
    while (Pending() > kAhead / 2) finishOldest();
  }

 private:
  struct Job {
    std::function<TWorkResult()> work;
    std::string file;
    FileMade made = FileMade::ByWork;
    bool started = false;
    bool done = false;
    TWorkResult result;
    std::exception_ptr failure;
  };

  void Run();
  // Does a job's work and keeps its result; true when somebody waits for it.
  bool Finish(Job& job);

  std::vector<std::thread> threads_;
  platform::Mutex mutex_;
  platform::Condition wake_;      // work is waiting, or the threads stop
  platform::Condition finished_;  // work is done
  std::deque<std::shared_ptr<Job>> waiting_;
  std::deque<std::shared_ptr<Job>> order_;
  const Job* awaited_ = nullptr;  // the work TakeOldest waits for
  bool destroying_ = false;       // the destructor waits for all running work
  bool stopping_ = false;
};

}  // namespace valise::setup
