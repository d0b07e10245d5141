#include "platform/thread_pool.h"

namespace vx {

ThreadPool::ThreadPool(std::size_t max_threads) : max_threads_(max_threads) {}

ThreadPool::~ThreadPool() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  wake_.notify_all();
  for (auto& t : workers_) t.join();
}

void ThreadPool::schedule(std::function<void()> task) {
  std::lock_guard lock(mutex_);
  queue_.push_back(std::move(task));
  if (idle_workers_ < queue_.size() && workers_.size() < max_threads_) {
    workers_.emplace_back([this] { worker_loop(); });
  } else {
    wake_.notify_one();
  }
}

void ThreadPool::wait_idle() {
  std::unique_lock lock(mutex_);
  idle_.wait(lock, [this] { return queue_.empty() && running_ == 0; });
}

void ThreadPool::worker_loop() {
  std::unique_lock lock(mutex_);
  for (;;) {
    ++idle_workers_;
    wake_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
    --idle_workers_;
    if (queue_.empty()) return;  // stopping with nothing left to do
    auto task = std::move(queue_.front());
    queue_.pop_front();
    ++running_;
    lock.unlock();
    task();
    lock.lock();
    --running_;
    if (queue_.empty() && running_ == 0) idle_.notify_all();
  }
}

}  // namespace vx
