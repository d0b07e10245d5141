#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <set>
#include <thread>

#include "platform/clock.h"
#include "platform/event_loop.h"
#include "platform/slot_ring.h"
#include "platform/thread_pool.h"

namespace vx {
namespace {

// With a middle stage, the consumer gets each slot only once the preparer is done with it,
// in the producer's order, while the three threads run at once through a ring that fills.
TEST(SlotRing, TheMiddleStageSeesEverySlotBeforeTheConsumerInOrder) {
  struct Slot {
    int value = 0;
    int prepared = 0;  // the value as the preparer saw it
  };
  SlotRing<Slot> ring(4);
  ring.reset(true);
  for (int i = 1; i <= 2; ++i) {
    ring.claim() = Slot{i, 0};
    ring.publish();
  }
  EXPECT_EQ(ring.next(std::chrono::microseconds(0)), nullptr) << "nothing prepared yet";
  Slot* first = ring.next_to_prepare(std::chrono::microseconds(0));
  ASSERT_NE(first, nullptr);
  first->prepared = first->value;
  ring.prepared();
  const Slot* taken = ring.next(std::chrono::microseconds(0));
  ASSERT_NE(taken, nullptr);
  EXPECT_EQ(taken->value, 1);
  ring.release();
  EXPECT_EQ(ring.next(std::chrono::microseconds(0)), nullptr) << "the second is not prepared";

  constexpr int kSlots = 2000;
  std::thread preparer([&] {
    for (int n = 2; n <= kSlots;) {
      Slot* s = ring.next_to_prepare(std::chrono::milliseconds(100));
      if (s == nullptr) continue;
      s->prepared = s->value;
      ring.prepared();
      ++n;
    }
  });
  std::thread consumer([&] {
    for (int n = 2; n <= kSlots;) {
      const Slot* s = ring.next(std::chrono::milliseconds(100));
      if (s == nullptr) continue;
      EXPECT_EQ(s->value, n);
      EXPECT_EQ(s->prepared, n);
      ring.release();
      ++n;
    }
  });
  for (int n = 3; n <= kSlots; ++n) {
    ring.claim() = Slot{n, 0};
    ring.publish();
  }
  ring.wait_empty();
  preparer.join();
  consumer.join();
}

// The acquisition worker waits on the writer worker: the pool must run both at once, and
// every one of many short tasks queued behind them.
TEST(ThreadPool, ALongTaskNeverHoldsBackTheNextOne) {
  std::atomic<int> handed_over{0};
  std::atomic<int> done{0};
  {
    ThreadPool pool(3);
    pool.schedule([&] {
      EXPECT_TRUE(wait_for_flag([&] { return handed_over.load() == 1; }, 5.0));
      done.fetch_add(1);
    });
    pool.schedule([&] {
      handed_over = 1;
      done.fetch_add(1);
    });
    for (int i = 0; i < 500; ++i) pool.schedule([&] { done.fetch_add(1); });
    pool.wait_idle();
  }
  EXPECT_EQ(done.load(), 502);
}

// A batch runs every part once, its first on the caller, and returns only when all are
// done; batch after batch, the same helpers serve (they count as idle before reporting).
TEST(ThreadPool, BatchesRunEveryPartOnceOnReusedHelpers) {
  ThreadPool pool(8);
  struct Batch {
    std::array<std::atomic<int>, 3> runs{};
    std::array<std::thread::id, 3> thread{};
  };
  std::set<std::thread::id> helpers;
  const auto caller = std::this_thread::get_id();
  for (int round = 0; round < 200; ++round) {
    Batch batch;
    pool.run_batch(
        3,
        [](void* context, std::size_t part) {
          auto& b = *static_cast<Batch*>(context);
          b.runs[part].fetch_add(1);
          b.thread[part] = std::this_thread::get_id();
        },
        &batch);
    for (auto& r : batch.runs) ASSERT_EQ(r.load(), 1);
    ASSERT_EQ(batch.thread[0], caller);
    for (std::size_t part = 1; part < 3; ++part) {
      ASSERT_NE(batch.thread[part], caller);
      helpers.insert(batch.thread[part]);
    }
  }
  EXPECT_LE(helpers.size(), 2u);
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
