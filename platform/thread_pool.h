// The small pool the workers run on (connection, acquisition, data writer, rate scan).
// A task never waits in a queue behind a long-running one: when no worker is idle a new
// one is started, up to a cap that the system's five kinds of thread never reach.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace vx {

class ThreadPool {
 public:
  explicit ThreadPool(std::size_t max_threads = 16);
  ~ThreadPool();
  ThreadPool(const ThreadPool&) = delete;
  ThreadPool& operator=(const ThreadPool&) = delete;

  // Runs task on a pool thread as soon as possible; returns at once.
  void schedule(std::function<void()> task);
  // Blocks until no task is queued or running.
  void wait_idle();

 private:
  void worker_loop();

  std::mutex mutex_;
  std::condition_variable wake_;
  std::condition_variable idle_;
  std::deque<std::function<void()>> queue_;
  std::vector<std::thread> workers_;
  std::size_t max_threads_;
  std::size_t idle_workers_ = 0;
  std::size_t running_ = 0;
  bool stopping_ = false;
};

}  // namespace vx
