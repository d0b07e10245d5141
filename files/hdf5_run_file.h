// One run in an HDF5 file: the samples [event][channel][sample], the event table, the
// stored measurements [event][channel] and the run header as attributes. Events are
// gathered in batches of a chunk and written chunk by chunk, so memory stays bounded.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "app/state.h"
#include "platform/thread_pool.h"

namespace vx {

class DeflateChunks;

// The values of a run file's four header lines.
struct RunHeaderValues {
  std::string software_version;
  int board_channels = 0;
  float gain = 0.0f;
  int samples = 0;
  int channels_acquired = 0;
  float sampling_period_ps = 0.0f;
  int inl_correction = 0;
  std::string edge_timing = "standard";  // as the header's third line names it
};

struct Hdf5RunLayout {
  bool binary = true;         // int16 tenths of counts; otherwise float32 volts
  int samples = 0;            // per channel
  std::vector<int> channels;  // flat channel numbers, in the order of the file's records
  bool measurements = false;  // write /measurements
  std::string measurement_source;
  std::string source_file;
  RunHeaderValues header;
  int deflate_level = 1;  // of the samples and tables, 0 for none
  // At most this many events will be appended (0: unknown): a short run gets chunks of its
  // size instead of the full batch, and no buffers of half a megabyte.
  std::uint64_t events_at_most = 0;
};

// An HDF5 call failed; what() names the object being written.
class Hdf5Error : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class Hdf5RunFile {
 public:
  // Creates (or truncates) the file and its datasets; the pool's threads (threads of them)
  // compress the samples, unless the layout asks for none. Throws Hdf5Error.
  Hdf5RunFile(const std::filesystem::path& path, Hdf5RunLayout layout, ThreadPool& pool,
              int threads);
  ~Hdf5RunFile();
  Hdf5RunFile(const Hdf5RunFile&) = delete;
  Hdf5RunFile& operator=(const Hdf5RunFile&) = delete;

  // Takes the event the reader holds in the run's part (samples, time, counters, stored
  // measurements).
  void append(const RunState& st);
  // Writes what is pending and closes the file. Throws Hdf5Error.
  void finish();
  std::uint64_t events() const { return written_ + pending_; }
  int batch_events() const { return batch_; }

 private:
  struct Handles;
  void flush();

  Hdf5RunLayout layout_;
  std::unique_ptr<Handles> h_;
  int batch_ = 1;
  int pending_ = 0;
  std::uint64_t written_ = 0;   // rows of the tables on disk
  std::uint64_t appended_ = 0;  // events taken
  std::uint64_t samples_extent_ = 0;
  std::size_t chunk_bytes_ = 0;
  std::unique_ptr<DeflateChunks> chunks_;
  std::vector<char> event_rows_;
  std::vector<char> measurement_rows_;
};

}  // namespace vx
