#include "setup/file_work.h"

#include <system_error>

#include "platform/files.h"

namespace valise::setup {

TFileWork::TFileWork(std::size_t threads) {
  try {
    for (std::size_t i = 0; i < threads; ++i) threads_.emplace_back([this] { Run(); });
  } catch (const std::system_error&) {
    // Fewer threads, or none: then the work is done as it is pushed.
  }
}

TFileWork::~TFileWork() {
  std::unique_lock lock(mutex_);
  // Work not yet started is dropped; work running is waited for.
  waiting_.clear();
  destroying_ = true;
  for (const std::shared_ptr<Job>& job : order_) {
    if (job->started) finished_.wait(lock, [&] { return job->done; });
  }
  stopping_ = true;
  lock.unlock();
  wake_.notify_all();
  for (std::thread& thread : threads_) thread.join();
  for (const std::shared_ptr<Job>& job : order_) {
    // Work never started still holds the file it was given: it is closed first.
    job->work = nullptr;
    const bool fileLeft = job->result.done || (job->made == FileMade::Before && !job->started);
    if (fileLeft && !job->file.empty()) platform::DeleteFile(job->file);
  }
}

void TFileWork::Push(std::function<TWorkResult()> work, std::string file, FileMade made) {
  auto job = std::make_shared<Job>();
  job->work = std::move(work);
  job->file = std::move(file);
  job->made = made;
  if (threads_.empty()) {
    job->started = true;
    Finish(*job);
    order_.push_back(std::move(job));
    return;
  }
  {
    std::lock_guard lock(mutex_);
    waiting_.push_back(job);
  }
  order_.push_back(std::move(job));
  wake_.notify_one();
}

TWorkResult TFileWork::TakeOldest() {
  const std::shared_ptr<Job> job = order_.front();
  {
    std::unique_lock lock(mutex_);
    awaited_ = job.get();
    finished_.wait(lock, [&] { return job->done; });
    awaited_ = nullptr;
  }
  order_.pop_front();
  if (job->failure) std::rethrow_exception(job->failure);
  return job->result;
}

void TFileWork::Run() {
  for (;;) {
    std::shared_ptr<Job> job;
    {
      std::unique_lock lock(mutex_);
      wake_.wait(lock, [&] { return stopping_ || !waiting_.empty(); });
      if (waiting_.empty()) return;
      job = std::move(waiting_.front());
      waiting_.pop_front();
      job->started = true;
    }
    // Only the work waited for wakes the waiter: waking costs a call into the system (under
    // Wine a round trip to its server).
    if (Finish(*job)) finished_.notify_all();
  }
}

bool TFileWork::Finish(Job& job) {
  TWorkResult result;
  std::exception_ptr failure;
  try {
    result = job.work();
  } catch (...) {
    failure = std::current_exception();
  }
  std::lock_guard lock(mutex_);
  job.result = result;
  job.failure = failure;
  job.done = true;
  return awaited_ == &job || stopping_ || destroying_;
}

}  // namespace valise::setup
