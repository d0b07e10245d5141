#include "files/record_format.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <memory>
#include <utility>

#include "analysis/fft_noise.h"
#include "analysis/measurement_context.h"
#include "app/run_from_file.h"
#include "digitizer/board_configuration.h"
#include "platform/format_text.h"

namespace vx {

namespace {

constexpr std::uint64_t kPow10[] = {1,      10,      100,      1000,      10000,
                                    100000, 1000000, 10000000, 100000000, 1000000000};

// "00" to "99": two digits at a time.
constexpr auto kDigitPairs = [] {
  std::array<char, 200> pairs{};
  for (int i = 0; i < 100; ++i) {
    pairs[static_cast<std::size_t>(2 * i)] = static_cast<char>('0' + i / 10);
    pairs[static_cast<std::size_t>(2 * i + 1)] = static_cast<char>('0' + i % 10);
  }
  return pairs;
}();

int digit_count(std::uint64_t v) {
  int n = 1;
  while (v >= 100) {
    v /= 100;
    n += 2;
  }
  return v >= 10 ? n + 1 : n;
}

// The n lowest decimal digits of v, written backwards from end (zeros where v has none).
void put_digits(char* end, std::uint64_t v, int n) {
  for (; n >= 2; n -= 2) {
    end -= 2;
    std::memcpy(end, &kDigitPairs[static_cast<std::size_t>(2 * (v % 100))], 2);
    v /= 100;
  }
  if (n == 1) *--end = static_cast<char>('0' + v % 10);
}

std::size_t write_digits(char* out, std::uint64_t v) {
  const int n = digit_count(v);
  put_digits(out + n, v, n);
  return static_cast<std::size_t>(n);
}

// The N digits of v < 10^N, each pair taken from v itself rather than from the previous
// quotient, so that the divisions (multiplications by constants) run side by side.
template <int N>
void put_fixed_digits(char* out, std::uint64_t v) {
  [&]<std::size_t... I>(std::index_sequence<I...>) {
    ((std::memcpy(out + N - 2 * (I + 1), &kDigitPairs[2 * ((v / kPow10[2 * I]) % 100)], 2)), ...);
  }
  (std::make_index_sequence<N / 2>{});
  if constexpr (N % 2 == 1) out[0] = static_cast<char>('0' + v / kPow10[N - 1]);
}

// |value| * 10^P rounded (q, below 2^64) as "%<width>.<P>f" writes it. The length is known
// before the first character: the padding goes first, then every digit to its place.
template <int P>
std::size_t write_scaled(char* out, std::uint64_t q, bool negative, int width) {
  constexpr std::uint64_t p = kPow10[P];
  const std::uint64_t int_part = q / p;
  const std::uint64_t frac_part = q - int_part * p;
  const int int_digits = digit_count(int_part);
  const std::size_t len = static_cast<std::size_t>(negative) +
                          static_cast<std::size_t>(int_digits) + (P > 0 ? std::size_t{P} + 1 : 0);
  const std::size_t pad = width > 0 && len < static_cast<std::size_t>(width)
                              ? static_cast<std::size_t>(width) - len
                              : 0;
  std::memset(out, ' ', pad);
  char* o = out + pad;
  if (negative) *o++ = '-';
  o += int_digits;
  put_digits(o, int_part, int_digits);
  if constexpr (P > 0) {
    *o = '.';
    put_fixed_digits<P>(o + 1, frac_part);
  }
  return pad + len;
}

std::size_t pad_left(char* out, std::size_t len, int width) {
  if (width <= 0 || len >= static_cast<std::size_t>(width)) return len;
  const std::size_t pad = static_cast<std::size_t>(width) - len;
  std::memmove(out + pad, out, len);
  std::memset(out, ' ', pad);
  return len + pad;
}

std::size_t fixed_by_to_chars(char* out, double v, int precision) {
  const auto r = std::to_chars(out, out + kMaxFixedChars, v, std::chars_format::fixed, precision);
  return r.ec == std::errc() ? static_cast<std::size_t>(r.ptr - out) : 0;
}

// Rounds |v| * 10^precision to an integer exactly (ties to even, as printf does), when v
// has no more than 53 integer bits. Returns false for values it does not handle.
bool scaled_magnitude(double v, int precision, unsigned __int128& q) {
  std::uint64_t bits;
  std::memcpy(&bits, &v, sizeof bits);
  const int exp_bits = static_cast<int>((bits >> 52) & 0x7FF);
  const std::uint64_t frac = bits & ((std::uint64_t{1} << 52) - 1);
  if (exp_bits == 0x7FF) return false;
  const std::uint64_t m = exp_bits == 0 ? frac : frac | (std::uint64_t{1} << 52);
  const int e = exp_bits == 0 ? -1074 : exp_bits - 1075;
  if (e > 0) return false;
  const unsigned __int128 scaled = static_cast<unsigned __int128>(m) * kPow10[precision];
  const int s = -e;
  if (s == 0) {
    q = scaled;
  } else if (s >= 127) {
    q = 0;  // scaled < 2^83: far below one half
  } else {
    // Without a branch: adding half - 1, and one more when the truncated value is odd,
    // carries into the integer part exactly when the rest is above one half, or is one
    // half with an odd integer part.
    const unsigned __int128 half_less_one = (static_cast<unsigned __int128>(1) << (s - 1)) - 1;
    const unsigned __int128 odd = (scaled >> s) & 1;
    q = (scaled + half_less_one + odd) >> s;
  }
  return true;
}

// The same rounding by one multiplication, where it can be trusted: |v| * 10^precision
// computed in double is within half an ulp of the exact product, so unless the product
// lies that close to a half, rounding it to the nearest integer (ties to even, the default
// rounding) gives the exact answer. Returns false where it cannot tell, or for values past
// 2^53 after scaling, NaN and infinities.
bool scaled_magnitude_fast(double v, int precision, std::uint64_t& q) {
  static constexpr double kPow10d[] = {1e0, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6, 1e7, 1e8, 1e9};
  const double a = std::fabs(v) * kPow10d[precision];
  if (!(a < 0x1p52)) return false;
  // Adding 2^52 leaves no fraction bits: the sum is rounded to an integer, to the nearest
  // (ties to even), and subtracting 2^52 again is exact.
  const double r = (a + 0x1p52) - 0x1p52;
  // a - r is exact: r is the integer nearest a, within half of it.
  if (!(std::fabs(std::fabs(a - r) - 0.5) > a * 0x1p-52)) return false;
  q = static_cast<std::uint64_t>(r);
  return true;
}

// The integer part of samples in volts and of spectra in dB has at most three digits,
// which takes no loop and no division beyond the fraction's; anything else goes the
// general way.
inline std::size_t fixed6(char* out, double v, int width) {
  std::uint64_t q = 0;
  if (!scaled_magnitude_fast(v, 6, q) || q >= 1000 * kPow10[6]) [[unlikely]]
    return write_fixed(out, v, 6, width);
  const std::uint64_t int_part = q / kPow10[6];
  const std::uint64_t frac = q - int_part * kPow10[6];
  const std::size_t negative = std::signbit(v) ? 1 : 0;
  const std::size_t int_digits = int_part >= 100 ? 3 : int_part >= 10 ? 2 : 1;
  const std::size_t len = negative + int_digits + 7;
  const std::size_t w = width > 0 ? static_cast<std::size_t>(width) : 0;
  const std::size_t pad = len < w ? w - len : 0;
  char* o = out;
  for (std::size_t i = 0; i < pad; ++i) *o++ = ' ';
  *o = '-';
  o += negative;
  if (int_digits == 3) {
    *o++ = static_cast<char>('0' + int_part / 100);
    std::memcpy(o, &kDigitPairs[2 * (int_part % 100)], 2);
    o += 2;
  } else if (int_digits == 2) {
    std::memcpy(o, &kDigitPairs[2 * int_part], 2);
    o += 2;
  } else {
    *o++ = static_cast<char>('0' + int_part);
  }
  *o = '.';
  // The six digits two at a time by fixed-point arithmetic: frac / 10^4 with 32 bits of
  // fraction, whose fraction times 100 holds the next two digits, and again (exact for every
  // frac below 10^6 with this multiplier).
  std::uint64_t y = frac * 429497u;  // 2^32 / 10^4, rounded up
  for (int pair = 0; pair < 3; ++pair) {
    std::memcpy(o + 1 + 2 * pair, &kDigitPairs[2 * (y >> 32)], 2);
    y = (y & 0xFFFFFFFFu) * 100u;
  }
  return pad + len;
}

}  // namespace

std::size_t write_fixed6_value(char* out, double v, int width) {
  return fixed6(out, v, width);
}

namespace {

std::int32_t clamp_to_i32(double v) {
  if (!(v > -2147483648.0)) return std::numeric_limits<std::int32_t>::min();
  if (!(v < 2147483647.0)) return std::numeric_limits<std::int32_t>::max();
  return static_cast<std::int32_t>(v);
}

std::uint32_t clamp_to_u32(double v) {
  if (!(v > 0.0)) return 0;
  if (!(v < 4294967295.0)) return std::numeric_limits<std::uint32_t>::max();
  return static_cast<std::uint32_t>(v);
}

std::string_view time_chain(const SavedEvent& ev) {
  const auto& c = ev.EventTimeChain;
  return {c.data(), strnlen(c.data(), c.size())};
}

// " date = %d.%d.%d time = %dh.%dm.%ds.%dms == TDC From FPGA = %llu == TDC Corrected = %s ===\n"
// after the Unix time, shared by the event and measurement time lines.
void time_line_tail(const SavedEvent& ev, RecordWriter& w, std::int64_t millisecond) {
  const RunData& r = ev.Stamp;
  w.text(" date = ");
  w.integer(r.Year);
  w.text(".");
  w.integer(r.Month);
  w.text(".");
  w.integer(r.Day);
  w.text(" time = ");
  w.integer(r.Hour);
  w.text("h.");
  w.integer(r.Minute);
  w.text("m.");
  w.integer(r.Second);
  w.text("s.");
  w.integer(millisecond);
  w.text("ms == TDC From FPGA = ");
  w.unsigned_integer(ev.EventTDC[0]);
  w.text(" == TDC Corrected = ");
  w.text(time_chain(ev));
  w.text(" ===\n");
}

void time_line(const SavedEvent& ev, RecordWriter& w) {
  w.text("=== UnixTime = ");
  w.fixed(ev.Stamp.EpochTime, 3, 12);
  time_line_tail(ev, w, clamp_to_i32(ev.Stamp.Millisecond));
}

template <typename Fn>
void for_each_enabled_channel(const std::int32_t* enabled, int blocks, Fn fn) {
  for (int b = 0; b < blocks; ++b)
    for (int c = 0; c < kChannelsPerBlock; ++c)
      if (enabled[2 * b + c] == 1) fn(b, c);
}

template <typename Fn>
void for_each_written_channel(const GuiParams& gui, int blocks, Fn fn) {
  for_each_enabled_channel(gui.ChannelEnabled, blocks, fn);
}

template <typename Fn>
void for_each_written_channel(const SavedEvent& ev, int blocks, Fn fn) {
  for_each_enabled_channel(ev.ChannelEnabled.data(), std::clamp(blocks, 0, kMaxSamBlocks), fn);
}

// In blocks of a fixed length, which the compiler turns into vector instructions.
void binary_samples(const float* counts, std::int16_t* tenths, int n) {
  constexpr int kBlock = 16;
  int k = 0;
  for (; k + kBlock <= n; k += kBlock)
    for (int j = 0; j < kBlock; ++j) tenths[k + j] = binary_sample(counts[k + j]);
  for (; k < n; ++k) tenths[k] = binary_sample(counts[k]);
}

// An event captured into a scratch copy, for the records made from the state.
template <typename Append>
void append_from_state(const RunState& st, const RunOutput& output, const RunConfig& cfg,
                       const DecodedEvent& event, ByteBuffer& out, CopiedData what, Append append) {
  const auto ev = std::make_unique<SavedEvent>();
  Capture_SavedEvent(st, output, cfg, event, *ev, what);
  append(*ev, out);
}

}  // namespace

std::size_t write_fixed(char* out, double v, int precision, int width) {
  unsigned __int128 q = 0;
  std::uint64_t fast = 0;
  if (precision >= 0 && precision <= 9 && scaled_magnitude_fast(v, precision, fast)) {
    q = fast;
  } else if (precision < 0 || precision > 9 || !scaled_magnitude(v, precision, q)) {
    const std::size_t len = fixed_by_to_chars(out, v, std::clamp(precision, 0, 60));
    return pad_left(out, len, width);
  }
  const bool negative = std::signbit(v);
  if ((q >> 64) == 0) {
    const auto q64 = static_cast<std::uint64_t>(q);
    switch (precision) {
      case 0:
        return write_scaled<0>(out, q64, negative, width);
      case 1:
        return write_scaled<1>(out, q64, negative, width);
      case 2:
        return write_scaled<2>(out, q64, negative, width);
      case 3:
        return write_scaled<3>(out, q64, negative, width);
      case 4:
        return write_scaled<4>(out, q64, negative, width);
      case 5:
        return write_scaled<5>(out, q64, negative, width);
      case 6:
        return write_scaled<6>(out, q64, negative, width);
      case 7:
        return write_scaled<7>(out, q64, negative, width);
      case 8:
        return write_scaled<8>(out, q64, negative, width);
      default:
        return write_scaled<9>(out, q64, negative, width);
    }
  }
  // Values of 2^64 and more after scaling: rare enough for the plain way.
  const std::uint64_t p = kPow10[precision];
  std::size_t len = 0;
  if (negative) out[len++] = '-';
  len += write_digits(out + len, static_cast<std::uint64_t>(q / p));
  if (precision > 0) {
    out[len++] = '.';
    put_digits(out + len + static_cast<std::size_t>(precision), static_cast<std::uint64_t>(q % p),
               precision);
    len += static_cast<std::size_t>(precision);
  }
  return pad_left(out, len, width);
}

char* RecordWriter::room(std::size_t n) {
  if (b_.size + n > b_.data.size())
    b_.data.resize(std::max({b_.data.size() * 2, b_.size + n, std::size_t{65536}}));
  return b_.data.data() + b_.size;
}

void RecordWriter::text(std::string_view s) {
  bytes(s.data(), s.size());
}

void RecordWriter::integer(std::int64_t v) {
  char* out = room(24);
  std::size_t len = 0;
  std::uint64_t magnitude = static_cast<std::uint64_t>(v);
  if (v < 0) {
    out[len++] = '-';
    magnitude = ~magnitude + 1;
  }
  b_.size += len + write_digits(out + len, magnitude);
}

void RecordWriter::unsigned_integer(std::uint64_t v) {
  b_.size += write_digits(room(24), v);
}

void RecordWriter::fixed(double v, int precision, int width) {
  b_.size += write_fixed(room(kMaxFixedChars + static_cast<std::size_t>(std::max(width, 0))), v,
                         precision, width);
}

void RecordWriter::bytes(const void* p, std::size_t n) {
  if (n == 0) return;
  std::memcpy(room(n), p, n);
  b_.size += n;
}

int samples_in_live_event(const SystemParams& sys) {
  return std::clamp(int{sys.RecordLength}, 0, kMaxSamples);
}

int acquired_channel_count(const RunConfig& cfg) {
  int n = 0;
  for_each_written_channel(cfg.gui, cfg.blocks(), [&](int, int) { ++n; });
  return n;
}

double edge_time_ns(float time_in_record, std::uint64_t tdc) {
  return static_cast<double>(time_in_record) + static_cast<double>(tdc) * 5.0;
}

std::int16_t binary_sample(float counts) {
  // Truncated toward zero by the conversion, after the clamp; NaN is 0. Written without
  // branches so that a channel's samples convert in vector instructions.
  double tenths = static_cast<double>(counts) * 10.0;
  tenths = tenths == tenths ? tenths : 0.0;
  tenths = std::min(std::max(tenths, -32768.0), 32767.0);
  return static_cast<std::int16_t>(static_cast<std::int32_t>(tenths));
}

CopiedData copied_for_data_file(const RunOutput& st, const RunConfig& cfg) {
  if (cfg.acq.SaveDataInFile != 1) return CopiedData::None;
  return st.files.DataFormat == EventFormat::Spectra ? CopiedData::Spectra : CopiedData::Samples;
}

void Capture_SavedEvent(const RunState& st, const RunOutput& output, const RunConfig& cfg,
                        const DecodedEvent& e, SavedEvent& ev, CopiedData what) {
  ev.EventNumber = st.EventNumber.load();
  ev.Blocks = cfg.blocks();
  ev.MeasurementBlocks = cfg.replaying() ? cfg.acq.NbOfChannelsInFile / 2 : cfg.sys.NbOfSAMBlocks;
  ev.NbOfSamples = samples_in_live_event(cfg.sys);
  ev.Measured = cfg.acq.MeasurementsEnabled == 1;
  std::copy_n(cfg.gui.ChannelEnabled, kMaxChannels, ev.ChannelEnabled.begin());
  ev.Stamp = st.run;
  ev.Results = st.results;
  ev.TrigCount = e.TrigCount;
  ev.TimeCount = e.TimeCount;
  ev.EventID = e.EventID;
  ev.EventFCR = e.EventFCR;
  ev.EventTDC = e.EventTDC;
  ev.EventTimeChain = e.EventTimeChain;
  ev.Format = output.files.DataFormat;
  ev.DataRecordReady = false;
  ev.MeasuredByFormatter = false;
  ev.SpectraPending = what == CopiedData::SamplesForSpectra;
  if (ev.SpectraPending) {
    // What the loop's own spectra are taken over (Compute_FFT).
    ev.SpectrumSamples = Run_NbOfSamples(cfg);
    ev.SpectrumHalf = Spectrum_Reference(cfg, ev.SpectrumSamples);
  }
  if (what == CopiedData::None) return;
  for_each_written_channel(ev, ev.Blocks, [&](int b, int c) {
    if (what == CopiedData::Samples)
      std::copy_n(e.FullyOrderedValues[b][c].begin(), ev.NbOfSamples, ev.Values[b][c].begin());
    else if (what == CopiedData::SamplesForSpectra)
      std::copy_n(e.FullyOrderedValues[b][c].begin(), ev.SpectrumSamples, ev.Values[b][c].begin());
    else
      ev.Spectra[b][c] = st.meas.Spectra[b][c];
  });
}

void Compute_SavedSpectra(SavedEvent& ev, FftPlanCache& plans) {
  if (!ev.SpectraPending) return;
  const int n = ev.SpectrumSamples;
  for_each_written_channel(ev, ev.Blocks, [&](int b, int c) {
    ChannelSpectrum& s = ev.Spectra[b][c];
    s.samples = 0;  // no spectrum (all zeros in the record) unless one is made now
    if (n < 2 || ev.SpectrumHalf <= 0) return;
    const std::span<const float> samples(ev.Values[b][c].data(), static_cast<std::size_t>(n));
    Transform_Channel(plans, samples, ev.SpectrumHalf, s);
  });
  ev.SpectraPending = false;
}

void append_ascii_event(const SavedEvent& ev, ByteBuffer& out) {
  RecordWriter w(out);
  const EventResults& r = ev.Results;
  const bool measured = ev.Measured;
  const int samples = ev.NbOfSamples;
  w.text("=== EVENT ");
  w.integer(ev.EventNumber);
  w.text(" ===\n");
  time_line(ev, w);
  for_each_written_channel(ev, ev.Blocks, [&](int b, int c) {
    w.text("=== CH: ");
    w.integer(2 * b + c);
    w.text(" EVENTID: ");
    w.integer(static_cast<std::int32_t>(ev.EventID[b]));
    w.text(" FCR: ");
    w.integer(static_cast<std::int32_t>(ev.EventFCR[b]));
    w.text(" Baseline: ");
    w.fixed(measured ? r.MeasuredBaseline[b][c] : 0.0, 6, 7);
    w.text(" V Amplitude: ");
    w.fixed(measured ? r.AmplitudeValue[b][c] : 0.0, 6, 7);
    w.text(" V Charge: ");
    w.fixed(measured ? r.ComputedCharge[b][c] : 0.0, 3, 8);
    w.text(" pC LeadingEdgeTime: ");
    w.fixed(measured ? edge_time_ns(r.RiseTimeInstant[b][c], ev.EventTDC[b]) : 0.0, 3,
            measured ? 0 : 6);
    w.text(" ns TrailingEdgeTime: ");
    w.fixed(measured ? edge_time_ns(r.FallTimeInstant[b][c], ev.EventTDC[b]) : 0.0, 3,
            measured ? 0 : 6);
    w.text(" ns TrigCount: ");
    w.integer(ev.TrigCount[b][c]);
    w.text(" TimeCount ");
    w.integer(ev.TimeCount[b][c]);
    w.text(" ===\n");
    const float* v = ev.Values[b][c].data();
    char* line = out.data.data();
    // One value is at most 12 characters here ("-2000.000000 "); room for the whole line.
    std::size_t size = out.size;
    const std::size_t need = static_cast<std::size_t>(samples) * (kMaxFixedChars + 8) + 1;
    if (size + need > out.data.size()) {
      out.data.resize(std::max(out.data.size() * 2, size + need));
      line = out.data.data();
    }
    for (int k = 0; k < samples; ++k) {
      size += fixed6(line + size, static_cast<double>(v[k]) * kVoltsPerAdcCount, 7);
      line[size++] = ' ';
    }
    line[size++] = '\n';
    out.size = size;
  });
}

void append_fft_event(const SavedEvent& ev, ByteBuffer& out) {
  RecordWriter w(out);
  w.text("=== EVENT : ");
  w.integer(ev.EventNumber);
  w.text(" === \n");
  time_line(ev, w);
  for_each_written_channel(ev, ev.Blocks, [&](int b, int c) {
    w.text("CH: ");
    w.integer(2 * b + c);
    w.text(" ");
    std::array<float, kFftValuesInFile> db;
    Spectrum_DbValues(ev.Spectra[b][c], db);
    // One value is at most 12 characters here ("-400.000000 "); room for the whole line.
    char* line = w.room(db.size() * (kMaxFixedChars + 8) + 1);
    std::size_t size = 0;
    for (const float v : db) {
      size += fixed6(line + size, v, 7);
      line[size++] = ' ';
    }
    line[size++] = '\n';
    w.advance(size);
  });
}

void append_binary_event(const SavedEvent& ev, ByteBuffer& out) {
  RecordWriter w(out);
  const EventResults& r = ev.Results;
  const RunData& run = ev.Stamp;
  const bool measured = ev.Measured;
  const int samples = ev.NbOfSamples;
  w.value<std::int32_t>(ev.EventNumber);
  w.value<double>(run.EpochTime);
  for (std::int32_t v : {run.Year, run.Month, run.Day, run.Hour, run.Minute, run.Second})
    w.value(v);
  w.value<std::uint32_t>(clamp_to_u32(run.Millisecond));
  w.value<std::uint64_t>(ev.EventTDC[0]);
  w.bytes(ev.EventTimeChain.data(), 23);
  for_each_written_channel(ev, ev.Blocks, [&](int b, int c) {
    w.value<std::int32_t>(2 * b + c);
    w.value<std::int32_t>(static_cast<std::int32_t>(ev.EventID[b]));
    w.value<std::int32_t>(static_cast<std::int32_t>(ev.EventFCR[b]));
    w.value<float>(measured ? r.MeasuredBaseline[b][c] : 0.0f);
    w.value<float>(measured ? r.ComputedCharge[b][c] : 0.0f);
    w.value<double>(measured ? edge_time_ns(r.RiseTimeInstant[b][c], ev.EventTDC[b]) : 0.0);
    w.value<double>(measured ? edge_time_ns(r.FallTimeInstant[b][c], ev.EventTDC[b]) : 0.0);
    w.value<float>(measured ? r.AmplitudeValue[b][c] : 0.0f);
    w.value<std::int32_t>(ev.TrigCount[b][c]);
    w.value<std::int32_t>(ev.TimeCount[b][c]);
    std::int16_t tenths[kMaxSamples];
    const float* v = ev.Values[b][c].data();
    binary_samples(v, tenths, samples);
    w.bytes(tenths, sizeof(std::int16_t) * static_cast<std::size_t>(samples));
  });
}

void append_measurement_event(const SavedEvent& ev, ByteBuffer& out) {
  RecordWriter w(out);
  const EventResults& r = ev.Results;
  w.text("=== Event ");
  w.integer(ev.EventNumber);
  w.text(" UnixTime = ");
  w.fixed(ev.Stamp.EpochTime, 3, 12);
  time_line_tail(ev, w, static_cast<std::int32_t>(clamp_to_u32(ev.Stamp.Millisecond)));
  for_each_written_channel(ev, ev.MeasurementBlocks, [&](int b, int c) {
    w.integer(2 * b + c);
    w.text(" ");
    w.fixed(r.MeasuredBaseline[b][c], 6, 7);
    w.text(" ");
    w.fixed(r.AmplitudeValue[b][c], 6, 7);
    w.text(" ");
    w.fixed(r.ComputedCharge[b][c], 3, 8);
    w.text(" ");
    w.fixed(edge_time_ns(r.RiseTimeInstant[b][c], ev.EventTDC[b]), 3, 0);
    w.text(" ");
    w.fixed(edge_time_ns(r.FallTimeInstant[b][c], ev.EventTDC[b]), 3, 0);
    w.text("\n");
  });
}

void append_ascii_event(const RunState& st, const RunOutput& output, const RunConfig& cfg,
                        const DecodedEvent& event, ByteBuffer& out) {
  append_from_state(st, output, cfg, event, out, CopiedData::Samples,
                    [](const SavedEvent& ev, ByteBuffer& b) { append_ascii_event(ev, b); });
}

void append_fft_event(const RunState& st, const RunOutput& output, const RunConfig& cfg,
                      const DecodedEvent& event, ByteBuffer& out) {
  append_from_state(st, output, cfg, event, out, CopiedData::Spectra,
                    [](const SavedEvent& ev, ByteBuffer& b) { append_fft_event(ev, b); });
}

void append_binary_event(const RunState& st, const RunOutput& output, const RunConfig& cfg,
                         const DecodedEvent& event, ByteBuffer& out) {
  append_from_state(st, output, cfg, event, out, CopiedData::Samples,
                    [](const SavedEvent& ev, ByteBuffer& b) { append_binary_event(ev, b); });
}

void append_measurement_event(const RunState& st, const RunOutput& output, const RunConfig& cfg,
                              const DecodedEvent& event, ByteBuffer& out, int blocks) {
  append_from_state(st, output, cfg, event, out, CopiedData::None,
                    [blocks](SavedEvent& ev, ByteBuffer& b) {
                      ev.MeasurementBlocks = blocks;
                      append_measurement_event(ev, b);
                    });
}

std::string other_parameters_line(const RunConfig& cfg) {
  // The standard edge timing leaves the line as files have always had it.
  const EdgeTiming timing = EdgeTiming_Of(cfg.acq.TimeMeasSpareOption);
  if (timing == EdgeTiming::kStandard) return "=== Other Parameters ===\n";
  return std::string("=== Other Parameters == ") + kEdgeTimingLabel + EdgeTiming_Name(timing) +
         " ===\n";
}

std::string common_header(const RunConfig& cfg) {
  const float gain = cfg.sam[0].BoardGain;
  return std::string("=== DATA FILE SAVED WITH SOFTWARE VERSION: ") + kSoftwareVersion + " ===\n" +
         format_text("=== CAEN DIGITIZER BOARD TYPE x743 WITH %d CHANNELS AND GAIN: %3.1f ===\n",
                     cfg.sys.NbOfChannels, static_cast<double>(gain)) +
         other_parameters_line(cfg);
}

std::string data_header_line(const RunConfig& cfg, bool spectra) {
  if (spectra) {
    return format_text(
        "=== FFT DATA [%d Values] normalized and in dB == NB OF CHANNELS ACQUIRED: %d ===\n",
        kFftValuesInFile, acquired_channel_count(cfg));
  }
  return format_text(
      "=== DATA SAMPLES [%d] in Volts == NB OF CHANNELS ACQUIRED: %d == Sampling Period: %3.1f ps "
      "== INL Correction: %1d ===\n",
      cfg.sys.RecordLength, acquired_channel_count(cfg),
      sampling_period_from_index(cfg.sam[0].FrequencyIndex), cfg.acq.INLCorrectionEnabled);
}

std::string measurement_header_line() {
  return "=== ChannelNb MeasuredBaseline[Volts] Amplitude[Volts] Charge[pC] LeadingEdgeTime[ns] "
         "TrailingEdgeTime[ns] === \n";
}

}  // namespace vx
