// A bounded ring of slots between one producer and one consumer thread. The producer
// claims the next free slot, fills it and publishes it; the consumer takes the oldest
// published slot, uses it and releases it. A slot belongs to one side at a time: from
// claim to publish to the producer, from next to release to the consumer, so its contents
// are never touched under the lock. Both sides block on condition variables: the producer
// only while every slot is taken, the consumer only while none is published.
#pragma once

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
  explicit SlotRing(std::size_t capacity) : capacity_(capacity) {}

  // Makes the slots (the first time) and empties the ring. Only while neither side uses it.
  void reset() {
    std::lock_guard lock(mutex_);
    if (slots_.empty()) slots_.resize(capacity_);
    head_ = tail_ = 0;
    closed_ = false;
  }
  std::size_t capacity() const { return capacity_; }
  // Slots published and not yet released.
  std::size_t in_flight() {
    std::lock_guard lock(mutex_);
    return static_cast<std::size_t>(head_ - tail_);
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
    {
      std::lock_guard lock(mutex_);
      ++head_;
    }
    consumer_.notify_one();
  }
  // Producer: waits until the consumer has released every published slot.
  void wait_empty() {
    std::unique_lock lock(mutex_);
    producer_.wait(lock, [&] { return tail_ == head_; });
  }

  // Consumer: the oldest published slot, or nullptr when none comes within the timeout or
  // the ring is closed and empty.
  T* next(std::chrono::microseconds timeout) {
    std::unique_lock lock(mutex_);
    consumer_.wait_for(lock, timeout, [&] { return head_ != tail_ || closed_; });
    return head_ != tail_ ? &slots_[tail_ % capacity_] : nullptr;
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

 private:
  const std::size_t capacity_;
  std::vector<T> slots_;
  std::mutex mutex_;
  std::condition_variable producer_;
  std::condition_variable consumer_;
  std::uint64_t head_ = 0;  // slots published so far
  std::uint64_t tail_ = 0;  // slots released so far
  bool closed_ = false;
  double waited_ = 0.0;
  std::int64_t waits_ = 0;
};

}  // namespace vx
