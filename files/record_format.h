// The bytes of the run data files: text built with the exact output of the printf formats
// that define it (without printf), the binary event layout, and the headers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "app/dac_conversions.h"
#include "app/edge_timing.h"
#include "app/run_config.h"
#include "app/saved_event.h"
#include "app/state.h"

namespace vx {

inline constexpr int kFftValuesInFile = 512;
// Event number, Unix time, six date and time fields, millisecond, time stamp and the
// 23-character time text: 4 + 8 + 6 × 4 + 4 + 8 + 23 bytes.
inline constexpr std::size_t kBinaryEventHeaderSize = 71;
inline constexpr std::size_t kBinaryChannelHeaderSize = 48;

// Writes v as printf's "%<width>.<precision>f" would, into out, which must hold
// kMaxFixedChars + width bytes. Returns the number of characters.
inline constexpr std::size_t kMaxFixedChars = 360;
std::size_t write_fixed(char* out, double v, int precision, int width);
// write_fixed(out, v, 6, width), faster where the integer part has at most three digits.
std::size_t write_fixed6_value(char* out, double v, int width);

// Appends to a byte buffer, growing it as needed.
class RecordWriter {
 public:
  explicit RecordWriter(ByteBuffer& buffer) : b_(buffer) {}
  void text(std::string_view s);
  void integer(std::int64_t v);            // "%d", "%lld"
  void unsigned_integer(std::uint64_t v);  // "%u", "%llu"
  void fixed(double v, int precision, int width = 0);
  void bytes(const void* p, std::size_t n);
  template <typename T>
  void value(T v) {
    bytes(&v, sizeof v);
  }
  // Writing in place: room for n bytes at the end, then the count of those written.
  char* room(std::size_t n);
  void advance(std::size_t n) { b_.size += n; }

 private:
  ByteBuffer& b_;
};

// Channels written for an event: blocks below the given count, enabled channels only.
int samples_in_live_event(const SystemParams& sys);
int acquired_channel_count(const RunConfig& cfg);

// Edge time in ns from the start of the run: a time within the record plus the block's
// time stamp at 5 ns per count.
double edge_time_ns(float time_in_record, std::uint64_t tdc);

// Samples kept in binary files as tenths of a count, saturated to the 16-bit range.
std::int16_t binary_sample(float counts);

// What of the current event a SavedEvent gets beside its stamps, headers and results.
// SamplesForSpectra: the samples, for the spectra the formatter computes from them.
enum class CopiedData { None, Samples, Spectra, SamplesForSpectra };
// Copies an event with the run's stamps and results (acquisition thread) into the writer's
// slot.
void Capture_SavedEvent(const RunState& st, const RunOutput& output, const RunConfig& cfg,
                        const DecodedEvent& event, SavedEvent& ev, CopiedData what);
// The data a run's data files need of each event.
CopiedData copied_for_data_file(const RunOutput& st, const RunConfig& cfg);

// The spectra of an event captured with CopiedData::SamplesForSpectra, the same as the loop
// would have computed (formatter thread).
void Compute_SavedSpectra(SavedEvent& ev, FftPlanCache& plans);

void append_ascii_event(const SavedEvent& ev, ByteBuffer& out);
void append_fft_event(const SavedEvent& ev, ByteBuffer& out);
void append_binary_event(const SavedEvent& ev, ByteBuffer& out);
void append_measurement_event(const SavedEvent& ev, ByteBuffer& out);

// The same records of an event with the run's stamps and results, under the run's settings.
void append_ascii_event(const RunState& st, const RunOutput& output, const RunConfig& cfg,
                        const DecodedEvent& event, ByteBuffer& out);
void append_fft_event(const RunState& st, const RunOutput& output, const RunConfig& cfg,
                      const DecodedEvent& event, ByteBuffer& out);
void append_binary_event(const RunState& st, const RunOutput& output, const RunConfig& cfg,
                         const DecodedEvent& event, ByteBuffer& out);
void append_measurement_event(const RunState& st, const RunOutput& output, const RunConfig& cfg,
                              const DecodedEvent& event, ByteBuffer& out, int blocks);

// Header lines: 1 to 3 are common to both files, 4 belongs to the data file, 5 to the
// measurement file. Line 3 names the edge timing after kEdgeTimingLabel when it is not the
// standard one.
// Both describe the settings of cfg; the data line files that hold spectra (true) or samples
// (false).
inline constexpr const char* kEdgeTimingLabel = "Edge Timing: ";
std::string common_header(const RunConfig& cfg);
std::string data_header_line(const RunConfig& cfg, bool spectra);
std::string measurement_header_line();

}  // namespace vx
