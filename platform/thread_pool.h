// The small pool the workers run on (connection, acquisition, data writer, rate scan).
// A task never waits in a queue behind a long-running one: when no worker is idle a new
// one is started, up to a cap that the system's five kinds of thread never reach.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>  // kept for includers that rely on it
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

  // Runs part(context, 0) on the calling thread and part(context, 1 ... parts - 1) on pool
  // threads, and returns when every part has returned. A helper counts as idle again
  // before its part is reported done, so a batch that follows reuses the same helpers,
  // and a steady stream of batches allocates nothing. When the pool could not serve the
  // parts at once (all its threads busy at the cap), the caller runs them all.
  using BatchPart = void (*)(void* context, std::size_t part);
  void run_batch(std::size_t parts, BatchPart part, void* context);

 private:
  struct Batch;
  struct Job {
    std::function<void()> task;
    Batch* batch = nullptr;  // a part of a batch instead of a task
    std::size_t part = 0;
  };

  void push(Job job);
  Job pop();
  void worker_loop();

  std::mutex mutex_;
  std::condition_variable wake_;
  std::condition_variable idle_;
  std::condition_variable batch_done_;
  // Queued jobs, a ring that only grows: queueing and running jobs allocate nothing.
  std::vector<Job> ring_;
  std::size_t head_ = 0;
  std::size_t queued_ = 0;
  std::vector<std::thread> workers_;
  std::size_t max_threads_;
  std::size_t idle_workers_ = 0;
  std::size_t running_ = 0;
  bool stopping_ = false;
};

}  // namespace vx
