// Chunks compressed with deflate (zlib format, as HDF5's deflate filter stores them) on
// pool threads, handed to a sink in their order. A few chunks are in flight at once, so
// memory stays bounded and compression keeps several cores busy. At level 0 the chunks go
// to the sink as they are, at once, on the caller's thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <future>
#include <memory>
#include <vector>

#include "platform/thread_pool.h"

struct libdeflate_compressor;

namespace vx {

class DeflateChunks {
 public:
  using Sink = std::function<void(const void* data, std::size_t size, std::uint64_t index)>;
  DeflateChunks(ThreadPool& pool, std::size_t chunk_bytes, int level, int in_flight, Sink sink);
  ~DeflateChunks();
  DeflateChunks(const DeflateChunks&) = delete;
  DeflateChunks& operator=(const DeflateChunks&) = delete;

  // Where the next chunk is gathered: chunk_bytes long, its earlier contents left as they were.
  char* buffer();
  // Compresses the gathered chunk; the sink gets the oldest ones as their slots are needed.
  void submit();
  // Hands every submitted chunk to the sink.
  void drain();

 private:
  struct Slot {
    std::vector<char> raw, packed;
    std::unique_ptr<libdeflate_compressor, void (*)(libdeflate_compressor*)> compressor;
    std::future<std::size_t> packed_size;
    std::uint64_t index = 0;
  };
  void write(Slot& slot);
  void prepare(Slot& slot);

  ThreadPool& pool_;
  Sink sink_;
  std::size_t chunk_bytes_;
  int level_;
  std::vector<Slot> slots_;
  bool stored_ = false;  // level 0: no compression
  std::size_t next_ = 0;
  std::uint64_t submitted_ = 0;
};

}  // namespace vx
