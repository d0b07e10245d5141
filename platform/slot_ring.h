// A bounded ring of slots between one producer and one consumer thread. The producer
// claims the next free slot, fills it and publishes it; the consumer takes the oldest
// published slot, uses it and releases it. A slot belongs to one side at a time: from
// claim to publish to the producer, from next to release to the consumer, so its contents
// are never touched under the lock. Both sides block on condition variables: the producer
// only while every slot is taken, the consumer only while none is published.
// A ring reset with a middle stage has a third thread between them: each published slot
// goes first to the preparer (from next_to_prepare to prepared), and reaches the consumer
// only then, in the same order.
// A side that waits for slots is woken once a few have come (kWakeBatch), not for each: a
// wake-up costs a system call and a switch, as much as handling a small slot. Its waits are
// bounded by their timeouts, and the producer's own wait for an empty ring wakes it.
#pragma once

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <vector>

namespace vx {

template <typename T>
class SlotRing {
 public:
  static constexpr std::uint64_t kWakeBatch = 8;

  explicit SlotRing(std::size_t capacity) : capacity_(capacity) {}

  // Makes the slots (the first time) and empties the ring, with or without the middle
  // stage. Only while no side uses it.
  void reset(bool middle_stage = false) {
    std::lock_guard lock(mutex_);
    if (slots_.empty()) slots_.resize(capacity_);
    head_ = prepared_ = tail_ = 0;
    staged_ = middle_stage;
    closed_ = false;
  }
  bool staged() {
    std::lock_guard lock(mutex_);
    return staged_;
  }
  std::size_t capacity() const { return capacity_; }
  // Slots published and not yet released.
  std::size_t in_flight() {
    std::lock_guard lock(mutex_);
    return static_cast<std::size_t>(head_ - tail_);
  }
  // Slots published and not yet through the middle stage (with one).
  std::size_t unprepared() {
    std::lock_guard lock(mutex_);
    return staged_ ? static_cast<std::size_t>(head_ - prepared_) : 0;
  }

  // Producer: the next free slot, waiting while the ring is full (the time waited is
  // added to the account that take_waits() hands out).
  T& claim() {
    std::unique_lock lock(mutex_);
    if (head_ - tail_ == capacity_) {
      const auto since = std::chrono::steady_clock::now();
      producer_.wait(lock, [&] { return head_ - tail_ < capacity_; });
      waited_ += std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
      ++waits_;
    }
    return slots_[head_ % capacity_];
  }
  // Producer: the claimed slot is ready for the consumer.
  void publish() {
    bool staged = false;
    bool wake = false;
    {
      std::lock_guard lock(mutex_);
      ++head_;
      staged = staged_;
      wake = staged ? preparer_waiting_ && head_ - prepared_ >= wake_after()
                    : consumer_waiting_ && head_ - tail_ >= wake_after();
    }
    if (wake) (staged ? preparer_ : consumer_).notify_one();
  }
  // Producer: waits until the consumer has released every published slot.
  void wait_empty() {
    std::unique_lock lock(mutex_);
    preparer_.notify_one();
    consumer_.notify_one();
    producer_.wait(lock, [&] { return tail_ == head_; });
  }

  // Middle stage: the oldest published slot not yet prepared, or nullptr when none comes
  // within the timeout or the ring is closed and every slot is prepared.
  T* next_to_prepare(std::chrono::microseconds timeout) {
    std::unique_lock lock(mutex_);
    if (head_ == prepared_ && !closed_) {
      preparer_waiting_ = true;
      preparer_.wait_for(lock, timeout, [&] { return head_ != prepared_ || closed_; });
      preparer_waiting_ = false;
    }
    return head_ != prepared_ ? &slots_[prepared_ % capacity_] : nullptr;
  }
  // Middle stage: the slot from next_to_prepare() goes on to the consumer.
  void prepared() {
    bool wake = false;
    {
      std::lock_guard lock(mutex_);
      ++prepared_;
      wake = consumer_waiting_ && prepared_ - tail_ >= wake_after();
    }
    if (wake) consumer_.notify_one();
  }

  // Consumer: the oldest published (and, with the middle stage, prepared) slot, or nullptr
  // when none comes within the timeout or the ring is closed and empty.
  T* next(std::chrono::microseconds timeout) {
    std::unique_lock lock(mutex_);
    if (ready() == tail_ && !closed_) {
      consumer_waiting_ = true;
      consumer_.wait_for(lock, timeout, [&] { return ready() != tail_ || closed_; });
      consumer_waiting_ = false;
    }
    return ready() != tail_ ? &slots_[tail_ % capacity_] : nullptr;
  }
  // Consumer: the slot from next() is free again.
  void release() {
    {
      std::lock_guard lock(mutex_);
      ++tail_;
    }
    producer_.notify_one();
  }
  // Producer: nothing more comes until the next reset(); the consumer stops waiting.
  void close() {
    std::lock_guard lock(mutex_);
    closed_ = true;
    preparer_.notify_one();
    consumer_.notify_one();
  }
  bool closed() {
    std::lock_guard lock(mutex_);
    return closed_;
  }

  struct Waits {
    double seconds = 0.0;
    std::int64_t count = 0;
  };
  // The producer's waits on a full ring since the last call.
  Waits take_waits() {
    std::lock_guard lock(mutex_);
    const Waits w{waited_, waits_};
    waited_ = 0.0;
    waits_ = 0;
    return w;
  }
  // The same, left in the account.
  Waits waits() {
    std::lock_guard lock(mutex_);
    return {waited_, waits_};
  }

 private:
  // Slots the consumer may take up to (the lock held).
  std::uint64_t ready() const { return staged_ ? prepared_ : head_; }
  // Slots queued for a waiting side before it is woken: a batch, fewer in a small ring.
  std::uint64_t wake_after() const {
    return std::min<std::uint64_t>(kWakeBatch, std::max<std::size_t>(capacity_ / 4, 1));
  }

  const std::size_t capacity_;
  std::vector<T> slots_;
  std::mutex mutex_;
  std::condition_variable producer_;
  std::condition_variable consumer_;
  std::condition_variable preparer_;
  std::uint64_t head_ = 0;      // slots published so far
  std::uint64_t prepared_ = 0;  // slots through the middle stage so far (when staged)
  std::uint64_t tail_ = 0;      // slots released so far
  bool staged_ = false;
  bool closed_ = false;
  bool preparer_waiting_ = false;
  bool consumer_waiting_ = false;
  double waited_ = 0.0;
  std::int64_t waits_ = 0;
};

}  // namespace vx
