#include "platform/event_loop.h"

#include <chrono>

namespace vx {

void EventLoop::post(std::function<void()> fn) {
  {
    std::lock_guard lock(mutex_);
    tasks_.push_back(std::move(fn));
  }
  cv_.notify_all();
}

int EventLoop::process_pending() {
  int ran = 0;
  for (;;) {
    std::function<void()> task;
    {
      std::lock_guard lock(mutex_);
      if (tasks_.empty()) return ran;
      task = std::move(tasks_.front());
      tasks_.pop_front();
    }
    task();
    ++ran;
  }
}

bool EventLoop::run_until(const std::function<bool()>& pred, double timeout_seconds) {
  using clock = std::chrono::steady_clock;
  const auto deadline = clock::now() + std::chrono::duration_cast<clock::duration>(
                                           std::chrono::duration<double>(timeout_seconds));
  {
    std::lock_guard lock(mutex_);
    quit_ = false;
  }
  for (;;) {
    process_pending();
    if (pred()) return true;
    std::unique_lock lock(mutex_);
    if (quit_) return pred();
    if (clock::now() >= deadline) return false;
    // Wake on a new task, or now and then to re-check pred (set by other threads).
    cv_.wait_until(lock, std::min(deadline, clock::now() + std::chrono::milliseconds(5)),
                   [this] { return !tasks_.empty() || quit_; });
  }
}

void EventLoop::quit() {
  {
    std::lock_guard lock(mutex_);
    quit_ = true;
  }
  cv_.notify_all();
}

}  // namespace vx
