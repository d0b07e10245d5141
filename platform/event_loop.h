// A minimal user-interface event loop for the headless front ends: tasks posted from
// any thread run in order on the thread that drives the loop.
#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>

namespace vx {

class EventLoop {
 public:
  void post(std::function<void()> fn);
  // Runs every task queued so far (and those they queue); returns how many ran.
  int process_pending();
  // Runs tasks until pred holds (checked after each wake-up) or the timeout expires.
  bool run_until(const std::function<bool()>& pred, double timeout_seconds);
  void quit();

 private:
  std::mutex mutex_;
  std::condition_variable cv_;
  std::deque<std::function<void()>> tasks_;
  bool quit_ = false;
};

}  // namespace vx
