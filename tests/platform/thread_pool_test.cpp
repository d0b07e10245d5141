#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "platform/clock.h"
#include "platform/event_loop.h"
#include "platform/thread_pool.h"

namespace vx {
namespace {

// The acquisition worker waits on the writer worker: the pool must run both at once.
TEST(ThreadPool, ALongTaskNeverHoldsBackTheNextOne) {
  ThreadPool pool(4);
  std::atomic<int> handed_over{0};
  std::atomic<int> done{0};
  pool.schedule([&] {
    EXPECT_TRUE(wait_for_flag([&] { return handed_over.load() == 1; }, 5.0));
    done.fetch_add(1);
  });
  pool.schedule([&] {
    handed_over = 1;
    done.fetch_add(1);
  });
  pool.wait_idle();
  EXPECT_EQ(done.load(), 2);
}

TEST(ThreadPool, ManyShortTasksAllRun) {
  std::atomic<int> count{0};
  {
    ThreadPool pool(3);
    for (int i = 0; i < 500; ++i) pool.schedule([&] { count.fetch_add(1); });
    pool.wait_idle();
  }
  EXPECT_EQ(count.load(), 500);
}

TEST(EventLoop, TasksPostedFromWorkersRunInOrderOnTheLoopThread) {
  EventLoop loop;
  std::vector<int> seen;
  const auto loop_thread = std::this_thread::get_id();
  bool all_on_loop = true;
  std::thread worker([&] {
    for (int i = 0; i < 100; ++i) {
      loop.post([&, i] {
        seen.push_back(i);
        all_on_loop = all_on_loop && std::this_thread::get_id() == loop_thread;
      });
    }
  });
  EXPECT_TRUE(loop.run_until([&] { return seen.size() == 100; }, 5.0));
  worker.join();
  EXPECT_TRUE(all_on_loop);
  for (int i = 0; i < 100; ++i) EXPECT_EQ(seen[i], i);
}

TEST(WaitForFlag, TimesOut) {
  EXPECT_FALSE(wait_for_flag([] { return false; }, 0.01));
}

}  // namespace
}  // namespace vx
