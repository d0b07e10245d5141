// A per-run list: entry k belongs to the k-th measured event of the run. It is kept in
// chunks of fixed size, so growing it never moves what it already holds, and it is bounded:
// once it holds `cap` entries or more, its oldest chunk goes and is reused for the newest
// entries. A list then holds the entries first() ... size() - 1: at least `cap` of them
// (fewer only at the start of the run), fewer than cap + 2 kChunkEntries.
#pragma once

#include <cstddef>
#include <memory>
#include <new>
#include <utility>
#include <vector>

namespace vx {

template <typename T>
class RunList {
 public:
  static constexpr std::size_t kChunkEntries = 4096;

  RunList() = default;
  RunList(RunList&&) noexcept = default;
  RunList& operator=(RunList&&) noexcept = default;
  RunList(const RunList&) = delete;
  RunList& operator=(const RunList&) = delete;

  // One past the newest entry: the run's entries 0 ... size() - 1 were stored.
  std::size_t size() const { return end_; }
  // The oldest entry still held.
  std::size_t first() const { return first_; }
  std::size_t held() const { return end_ - first_; }
  bool empty() const { return end_ == first_; }
  bool holds(std::size_t k) const { return k >= first_ && k < end_; }
  // Entries the chunks in hand can take without allocating, counted from first().
  std::size_t capacity() const { return (chunks_.size() + (spare_ ? 1 : 0)) * kChunkEntries; }
  std::size_t cap() const { return cap_; }
  // Entries went because of the cap.
  bool dropped() const { return dropped_; }

  // Entry k, first() <= k < size().
  T operator[](std::size_t k) const {
    return chunks_[(k - first_) / kChunkEntries][k % kChunkEntries];
  }

  // The bound on what the list holds; at least one entry. Takes effect with the next entry.
  void set_cap(std::size_t entries) { cap_ = entries > 0 ? entries : 1; }

  // Makes sure the next entry can be stored without allocating. Throws std::bad_alloc.
  void reserve_next() {
    if (end_ - first_ < chunks_.size() * kChunkEntries) return;
    add_chunk();
  }

  // Appends one entry. Throws std::bad_alloc when a chunk is needed and none can be had.
  void push_back(T value) {
    reserve_next();
    chunks_[(end_ - first_) / kChunkEntries][end_ % kChunkEntries] = value;
    ++end_;
  }

  // Grows the list to `size` entries, the new ones reading `fill`. Only what the list
  // keeps is written: an empty list starts at the chunk of entry `size`, and entries that
  // the cap would drop at once are skipped (those held then go).
  void resize(std::size_t size, T fill) {
    if (size <= end_) return;
    std::size_t start = end_;
    if (empty()) {
      start = size / kChunkEntries * kChunkEntries;
    } else if (size - end_ >= cap_ + kChunkEntries) {
      start = (size - cap_) / kChunkEntries * kChunkEntries;
      dropped_ = true;
    }
    if (start != end_) {
      release_chunks();
      first_ = end_ = start;
    }
    while (end_ < size) push_back(fill);
  }

  // Frees every chunk; the list is empty and starts again at entry 0.
  void release() {
    release_chunks();
    first_ = end_ = 0;
    dropped_ = false;
  }

 private:
  void release_chunks() {
    std::vector<std::unique_ptr<T[]>>().swap(chunks_);
    spare_.reset();
  }

  // A chunk for the entries from end_ on: the oldest one when the cap lets it go, the
  // spare, or a new one.
  void add_chunk() {
    if (!chunks_.empty() && end_ - first_ - kChunkEntries >= cap_) {
      spare_ = std::move(chunks_.front());
      chunks_.erase(chunks_.begin());
      first_ += kChunkEntries;
      dropped_ = true;
    }
    std::unique_ptr<T[]> chunk =
        spare_ ? std::move(spare_) : std::make_unique_for_overwrite<T[]>(kChunkEntries);
    chunks_.push_back(std::move(chunk));
  }

  std::vector<std::unique_ptr<T[]>> chunks_;
  std::unique_ptr<T[]> spare_;
  std::size_t first_ = 0;  // a multiple of kChunkEntries
  std::size_t end_ = 0;
  std::size_t cap_ = static_cast<std::size_t>(-1) / 2;
  bool dropped_ = false;
};

}  // namespace vx
