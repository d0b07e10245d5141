#include "platform/thread_pool.h"

#include <algorithm>

namespace vx {

struct ThreadPool::Batch {
  BatchPart part;
  void* context;
  std::size_t pending;  // parts on pool threads not yet reported, guarded by mutex_
};

ThreadPool::ThreadPool(std::size_t max_threads) : max_threads_(max_threads) {}

ThreadPool::~ThreadPool() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  wake_.notify_all();
  for (auto& t : workers_) t.join();
}

void ThreadPool::push(Job job) {
  if (queued_ == ring_.size()) {
    std::vector<Job> larger(ring_.empty() ? 8 : 2 * ring_.size());
    for (std::size_t i = 0; i < queued_; ++i)
      larger[i] = std::move(ring_[(head_ + i) % ring_.size()]);
    ring_ = std::move(larger);
    head_ = 0;
  }
  ring_[(head_ + queued_) % ring_.size()] = std::move(job);
  ++queued_;
  if (idle_workers_ < queued_ && workers_.size() < max_threads_) {
    // A starting worker counts as idle at once: it is on its way to the queue.
    ++idle_workers_;
    workers_.emplace_back([this] { worker_loop(); });
  } else {
    wake_.notify_one();
  }
}

ThreadPool::Job ThreadPool::pop() {
  Job job = std::move(ring_[head_]);
  ring_[head_] = Job{};
  head_ = (head_ + 1) % ring_.size();
  --queued_;
  return job;
}

void ThreadPool::schedule(std::function<void()> task) {
  std::lock_guard lock(mutex_);
  push(Job{std::move(task), nullptr, 0});
}

void ThreadPool::run_batch(std::size_t parts, BatchPart part, void* context) {
  if (parts == 0) return;
  Batch batch{part, context, parts - 1};
  {
    std::unique_lock lock(mutex_);
    // Parts are handed out only when a worker is sure to take them (an idle one, or one
    // that may still be started); a pool at its cap runs the batch on the caller alone.
    const std::size_t takers =
        idle_workers_ + (max_threads_ - std::min(max_threads_, workers_.size()));
    if (takers < queued_ + parts - 1) {
      lock.unlock();
      for (std::size_t i = 0; i < parts; ++i) part(context, i);
      return;
    }
    for (std::size_t i = 1; i < parts; ++i) push(Job{{}, &batch, i});
  }
  part(context, 0);
  std::unique_lock lock(mutex_);
  batch_done_.wait(lock, [&] { return batch.pending == 0; });
}

void ThreadPool::wait_idle() {
  std::unique_lock lock(mutex_);
  idle_.wait(lock, [this] { return queued_ == 0 && running_ == 0; });
}

void ThreadPool::worker_loop() {
  std::unique_lock lock(mutex_);
  Batch* finished = nullptr;
  for (;;) {
    // This worker counts as idle here (since its start, or since its last job ended), so a
    // part is reported only once its caller's next batch can find the worker.
    if (finished != nullptr && --finished->pending == 0) batch_done_.notify_all();
    finished = nullptr;
    wake_.wait(lock, [this] { return stopping_ || queued_ != 0; });
    --idle_workers_;
    if (queued_ == 0) return;  // stopping with nothing left to do
    Job job = pop();
    ++running_;
    lock.unlock();
    if (job.batch != nullptr) {
      job.batch->part(job.batch->context, job.part);
    } else {
      job.task();
    }
    job.task = nullptr;  // whatever the task holds goes before it counts as done
    lock.lock();
    --running_;
    ++idle_workers_;
    finished = job.batch;
    if (queued_ == 0 && running_ == 0) idle_.notify_all();
  }
}

}  // namespace vx
