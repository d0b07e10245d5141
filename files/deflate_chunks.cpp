#include "files/deflate_chunks.h"

#include <libdeflate.h>

#include <stdexcept>

namespace vx {

DeflateChunks::DeflateChunks(ThreadPool& pool, std::size_t chunk_bytes, int level, int in_flight,
                             Sink sink)
    : pool_(pool),
      sink_(std::move(sink)),
      chunk_bytes_(chunk_bytes),
      level_(level),
      stored_(level <= 0) {
  const int slots = stored_ ? 1 : std::max(in_flight, 1);
  for (int i = 0; i < slots; ++i)
    slots_.push_back(Slot{{}, {}, {nullptr, libdeflate_free_compressor}, {}, 0});
}

// A slot's compressor and buffers are made at its first use: a short run uses one slot.
void DeflateChunks::prepare(Slot& s) {
  if (stored_) {
    if (s.raw.empty()) s.raw.assign(chunk_bytes_, 0);
    return;
  }
  if (s.compressor) return;
  s.compressor.reset(libdeflate_alloc_compressor(level_));
  if (!s.compressor) throw std::bad_alloc();
  s.raw.assign(chunk_bytes_, 0);
  s.packed.resize(libdeflate_zlib_compress_bound(s.compressor.get(), chunk_bytes_));
}

DeflateChunks::~DeflateChunks() {
  // The pool's tasks use the slots' buffers: they finish before the slots go.
  for (Slot& s : slots_)
    if (s.packed_size.valid()) s.packed_size.wait();
}

char* DeflateChunks::buffer() {
  Slot& s = slots_[next_];
  if (s.packed_size.valid()) write(s);
  prepare(s);
  return s.raw.data();
}

void DeflateChunks::submit() {
  Slot& s = slots_[next_];
  if (stored_) {
    sink_(s.raw.data(), s.raw.size(), submitted_++);
    return;
  }
  if (s.packed_size.valid()) write(s);
  prepare(s);
  s.index = submitted_++;
  auto task = std::make_shared<std::packaged_task<std::size_t()>>([&s] {
    return libdeflate_zlib_compress(s.compressor.get(), s.raw.data(), s.raw.size(), s.packed.data(),
                                    s.packed.size());
  });
  s.packed_size = task->get_future();
  pool_.schedule([task] { (*task)(); });
  next_ = (next_ + 1) % slots_.size();
}

void DeflateChunks::drain() {
  for (std::size_t i = 0; i < slots_.size(); ++i) {
    Slot& s = slots_[(next_ + i) % slots_.size()];
    if (s.packed_size.valid()) write(s);
  }
}

void DeflateChunks::write(Slot& s) {
  const std::size_t size = s.packed_size.get();
  if (size == 0) throw std::runtime_error("deflate failed");
  sink_(s.packed.data(), size, s.index);
}

}  // namespace vx
