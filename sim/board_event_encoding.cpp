// The simulated board's event encoding: stored triggers become waveform events or charge
// aggregates in the readout buffer, and the library's decoder turns a waveform event back
// into samples with the pedestal and INL corrections loaded from the EEPROMs.
#include <algorithm>
#include <bit>
#include <cstring>

#include "sim/board_constants.h"
#include "sim/eeprom_image.h"
#include "sim/event_format.h"
#include "sim/simulated_board.h"

namespace vx::sim {

void SimulatedBoard::encode_event(const Pending& ev, std::uint32_t groups, bool corrupt,
                                  char* out) {
  const std::uint32_t words = event_words(groups);
  format::put(out, 0, (format::kWaveformTag << 28) | words);
  format::put(out, 1, groups | ((corrupt ? 0u : format::kFormatVersion) << 24));
  format::put(out, 2, ev.counter);
  format::put(out, 3, static_cast<std::uint32_t>(ev.tdc));

  Rng rng(config_.seed, kEventStream, ev.serial);
  const double sine_phase = rng.uniform();
  const double period = period_ps();
  char* g = out + 4 * format::kHeaderWords;
  for (int b = 0; b < blocks_; ++b) {
    if (!(groups & (1u << b))) continue;
    const int first_cell = static_cast<int>(rng.below(kCells));
    format::put(g, 0,
                record_length_ | (static_cast<std::uint32_t>(first_cell) << 16) |
                    (static_cast<std::uint32_t>(frequency_) << 26));
    format::put(g, 1, static_cast<std::uint32_t>(ev.tdc >> 32) | ((ev.counter & 0xFF) << 8));
    format::put(g, 2, ev.hits[2 * b] | (static_cast<std::uint32_t>(ev.hits[2 * b + 1]) << 16));
    format::put(g, 3, ev.micros[2 * b] | (static_cast<std::uint32_t>(ev.micros[2 * b + 1]) << 16));
    char* samples = g + 4 * format::kGroupHeaderWords;
    for (int i = 0; i < 2; ++i) {
      const int c = 2 * b + i;
      if (ch_[c].baseline_dirty) refresh_baseline(c);
      SampleTiming timing;
      // The record starts at the beginning of the 16-cell column that holds the first cell.
      timing.first_cell = first_cell - first_cell % 16;
      timing.samples = static_cast<int>(record_length_);
      timing.period_ps = period;
      timing.cell_time_error = truth_.time_error[c].data();
      const float jitter = rng.gaussian();
      synthesize_channel(inputs_[c], ch_[c].baseline.data(), timing, jitter, sine_phase, rng,
                         samples + 2 * record_length_ * i);
    }
    g += 4 * (format::kGroupHeaderWords + record_length_);
  }
}

std::uint32_t SimulatedBoard::fill_waveforms(char* out, std::uint32_t capacity) {
  const std::uint32_t groups = present_groups();
  const std::uint32_t bytes_each = 4 * event_words(groups);
  std::uint32_t used = 0;
  std::uint32_t n = 0;
  while (!pending_.empty() && n < max_events_blt_ && used + bytes_each <= capacity) {
    const Pending ev = pending_.front();
    pending_.pop_front();
    ++delivered_;
    const bool corrupt = config_.fault.undecodable_event == delivered_;
    encode_event(ev, groups, corrupt, out + used);
    used += bytes_each;
    ++n;
  }
  return used;
}

std::uint32_t SimulatedBoard::fill_charges(char* out, std::uint32_t capacity) {
  std::uint32_t mask = 0;
  for (int b = 0; b < blocks_; ++b) {
    if (present_groups() & (1u << b)) mask |= 3u << (2 * b);
  }
  const auto nch = static_cast<std::uint32_t>(std::popcount(mask));
  const auto fits =
      nch == 0 ? kChargeAggregateMax : (capacity / 4 - format::kHeaderWords) / (2 * nch);
  const auto n = static_cast<std::uint32_t>(
      std::min<std::size_t>({pending_.size(), kChargeAggregateMax, fits}));
  if (n == 0) return 0;

  bool corrupt = false;
  const double period = period_ps();
  const int baseline_samples =
      (registers_[0x8070] & kControlChargeNoBaseline) ? 0 : charge_baseline_samples_;
  std::vector<std::array<float, 16>> charges(n);
  std::vector<std::uint32_t> tags(n);
  for (std::uint32_t i = 0; i < n; ++i) {
    const Pending ev = pending_.front();
    pending_.pop_front();
    ++delivered_;
    corrupt = corrupt || config_.fault.undecodable_event == delivered_;
    tags[i] = static_cast<std::uint32_t>(ev.tdc);
    Rng rng(config_.seed, kEventStream, ev.serial);
    const double sine_phase = rng.uniform();
    for (int c = 0; c < channels(); ++c) {
      if (!(mask & (1u << c))) continue;
      const auto dc = static_cast<float>(dac_volts(ch_[c].offset_code) / kVoltsPerAdcCount);
      const int start = std::clamp(ch_[c].charge_start, 0, static_cast<int>(record_length_));
      const int length =
          std::min<int>(ch_[c].charge_length, static_cast<int>(record_length_) - start);
      charges[i][c] = synthesize_charge(inputs_[c], dc, start, length, baseline_samples, period,
                                        rng.gaussian(), sine_phase, rng);
    }
  }
  const std::uint32_t words = format::kHeaderWords + 2 * nch * n;
  format::put(out, 0, (format::kChargeTag << 28) | words);
  format::put(out, 1, mask | ((corrupt ? 0u : format::kFormatVersion) << 24));
  format::put(out, 2, n);
  format::put(out, 3, 0);
  std::size_t w = format::kHeaderWords;
  for (int c = 0; c < channels(); ++c) {
    if (!(mask & (1u << c))) continue;
    for (std::uint32_t i = 0; i < n; ++i) {
      std::uint32_t bits;
      std::memcpy(&bits, &charges[i][c], 4);
      format::put(out, w++, bits);
      format::put(out, w++, tags[i]);
    }
  }
  return 4 * words;
}

void SimulatedBoard::load_corrections() {
  corrections_loaded_ = false;
  for (int d = 0; d < blocks_ / 2; ++d) {
    const DaughterCorrections corr = corrections_from_eeprom(eeprom_.image(d));
    for (int i = 0; i < 4; ++i) {
      ch_[4 * d + i].pedestal_table = corr.pedestal[i];
      // Table entry i is the time error at the end of cell i, that is cell i + 1's own; the
      // errors scale with the sampling period, so in periods they hold at every frequency.
      auto& cell_error = ch_[4 * d + i].cell_error;
      cell_error.clear();
      if (!corr.inl_ps[i].empty()) {
        cell_error.resize(kCells);
        for (int p = 0; p < kCells; ++p) {
          cell_error[p] = corr.inl_ps[i][(p - 1) & (kCells - 1)] / kNominalPeriodPs;
        }
      }
      corrections_loaded_ = corrections_loaded_ || !corr.pedestal[i].empty();
    }
  }
}

namespace {

// Sample k of a channel's raw samples in the readout buffer.
std::uint16_t raw_sample(const char* raw, int k) {
  std::uint16_t v;
  std::memcpy(&v, raw + 2 * k, 2);
  return v;
}

// y[k] = raw[k] - pedestal of the cell that recorded it, the ring read from cell p0 on.
void subtract_pedestals(const char* raw, const float* ped, int p0, int n, float* y) {
  const int head = std::min(n, kCells - p0);  // samples before the ring wraps
  const float* cell = ped + p0;
  for (int k = 0; k < head; ++k) y[k] = raw_sample(raw, k) - cell[k];
  for (int k = head; k < n; ++k) y[k] = raw_sample(raw, k) - ped[k - head];
}

// Sample k was taken at k + e[cell] - e[first] periods; move it back onto the nominal grid
// by the waveform's Taylor expansion about it, y + d y' + d^2 / 2 y'' for a shift of d
// periods: the slope from the four neighbours and the curvature from the two nearest (the
// slope's error then stays well below the table's own on a nanosecond edge), from fewer
// neighbours next to the record's ends. n > 2.
void retime(const float* src, const float* e, int p0, int n, float* y) {
  std::array<float, kCells> shift;
  const float e0 = e[p0];
  const int head = std::min(n, kCells - p0);  // samples before the ring wraps
  for (int k = 0; k < head; ++k) shift[k] = e0 - e[p0 + k];
  for (int k = head; k < n; ++k) shift[k] = e0 - e[k - head];
  y[0] = src[0] + shift[0] * (src[1] - src[0]);
  y[n - 1] = src[n - 1] + shift[n - 1] * (src[n - 1] - src[n - 2]);
  const auto three_point = [&](int k) {
    const float slope = 0.5f * (src[k + 1] - src[k - 1]);
    const float curvature = src[k + 1] - 2.0f * src[k] + src[k - 1];
    y[k] = src[k] + shift[k] * (slope + 0.5f * shift[k] * curvature);
  };
  three_point(1);
  if (n > 3) three_point(n - 2);
  for (int k = 2; k < n - 2; ++k) {
    const float slope =
        (8.0f * (src[k + 1] - src[k - 1]) - (src[k + 2] - src[k - 2])) * (1.0f / 12.0f);
    const float curvature = src[k + 1] - 2.0f * src[k] + src[k - 1];
    y[k] = src[k] + shift[k] * (slope + 0.5f * shift[k] * curvature);
  }
}

// The charge window of one channel: the sum of y[k] - baseline over [start, end).
struct ChargeWindow {
  const float* y = nullptr;
  float baseline = 0.0f;
  int start = 0;
  int end = 0;
  float sum = 0.0f;
};

// Each channel's sum adds its samples one by one in order, as a plain loop would (so its
// float result is the same), but four channels of the same window run side by side: four
// independent chains of additions, where one would wait for each addition to finish.
void sum_four(std::array<ChargeWindow*, 4> w) {
  static const std::array<float, kCells> unused{};
  std::array<const float*, 4> y;
  std::array<float, 4> base;
  for (int i = 0; i < 4; ++i) {
    y[i] = w[i] ? w[i]->y : unused.data();
    base[i] = w[i] ? w[i]->baseline : 0.0f;
  }
  float s0 = 0.0f, s1 = 0.0f, s2 = 0.0f, s3 = 0.0f;
  for (int k = w[0]->start; k < w[0]->end; ++k) {
    s0 += y[0][k] - base[0];
    s1 += y[1][k] - base[1];
    s2 += y[2][k] - base[2];
    s3 += y[3][k] - base[3];
  }
  const std::array<float, 4> sums = {s0, s1, s2, s3};
  for (int i = 0; i < 4; ++i) {
    if (w[i]) w[i]->sum = sums[i];
  }
}

void sum_windows(ChargeWindow* windows, int count) {
  std::array<bool, 2 * kMaxGroups> done{};
  for (int i = 0; i < count; ++i) {
    if (done[i]) continue;
    std::array<ChargeWindow*, 4> batch{};
    int used = 0;
    for (int j = i; j < count && used < 4; ++j) {
      if (done[j] || windows[j].start != windows[i].start || windows[j].end != windows[i].end) {
        continue;
      }
      batch[used++] = &windows[j];
      done[j] = true;
    }
    sum_four(batch);
  }
}

}  // namespace

double SimulatedBoard::decode_group(const char* g, int b, GroupEvent743& out) {
  const std::uint32_t g0 = format::word(g, 0);
  const std::uint32_t g1 = format::word(g, 1);
  const std::uint32_t n = g0 & 0xFFFF;
  const std::uint32_t first_cell = (g0 >> 16) & 0x3FF;
  out.GrPresent = 1;
  out.ChSize = n;
  out.StartIndexCell = static_cast<std::uint16_t>(first_cell);
  out.EventId = static_cast<std::uint8_t>((g1 >> 8) & 0xFF);
  out.TDC = out.TDC & 0xFFFFFFFFull;  // low bits set by the caller
  out.TDC |= static_cast<std::uint64_t>(g1 & 0xFF) << 32;
  const std::uint32_t g2 = format::word(g, 2);
  const std::uint32_t g3 = format::word(g, 3);
  out.TriggerCount = {static_cast<std::uint16_t>(g2 & 0xFFFF),
                      static_cast<std::uint16_t>(g2 >> 16)};
  out.TimeCount = {static_cast<std::uint16_t>(g3 & 0xFFFF), static_cast<std::uint16_t>(g3 >> 16)};

  const int p0 = static_cast<int>(first_cell - first_cell % 16);
  const int samples_n = static_cast<int>(n);
  const char* samples = g + 4 * format::kGroupHeaderWords;
  const bool subtract =
      correction_level_ == kCorrectionPedestalOnly || correction_level_ == kCorrectionAll;
  const bool inl = correction_level_ == kCorrectionInlOnly || correction_level_ == kCorrectionAll;
  std::array<float, kCells> src;
  for (int i = 0; i < 2; ++i) {
    const Channel& ch = ch_[2 * b + i];
    const char* raw = samples + 2 * n * i;
    const bool retimed = inl && !ch.cell_error.empty() && n > 2;
    float* y = out.DataChannel[i].data();
    // Retiming reads the neighbours of each sample: it needs the corrected samples apart.
    float* level = retimed ? src.data() : y;
    if (subtract && !ch.pedestal_table.empty()) {
      subtract_pedestals(raw, ch.pedestal_table.data(), p0, samples_n, level);
    } else {
      for (int k = 0; k < samples_n; ++k) level[k] = raw_sample(raw, k);
    }
    if (retimed) retime(src.data(), ch.cell_error.data(), p0, samples_n, y);
  }
  return kNominalPeriodPs * (1 << ((g0 >> 26) & 0x3));
}

void SimulatedBoard::compute_group_charges(Event743& ev, std::uint32_t groups,
                                           const std::array<double, kMaxGroups>& period) {
  std::array<ChargeWindow, 2 * kMaxGroups> windows;
  int count = 0;
  for (int b = 0; b < kMaxGroups; ++b) {
    if (!(groups & (1u << b))) continue;
    const GroupEvent743& g = ev.DataGroup[b];
    const int n = static_cast<int>(g.ChSize);
    for (int i = 0; i < 2; ++i) {
      const int channel = 2 * b + i;
      const float* y = g.DataChannel[i].data();
      const int base_n = std::min<int>(charge_baseline_samples_, n);
      float baseline = 0.0f;
      if (base_n > 0) {
        for (int k = 0; k < base_n; ++k) baseline += y[k];
        baseline /= static_cast<float>(base_n);
      }
      ChargeWindow& w = windows[count++];
      w.y = y;
      w.baseline = baseline;
      w.start = std::clamp(ch_[channel].charge_start, 0, n);
      w.end = std::max(w.start, std::min<int>(w.start + ch_[channel].charge_length, n));
    }
  }
  sum_windows(windows.data(), count);
  count = 0;
  for (int b = 0; b < kMaxGroups; ++b) {
    if (!(groups & (1u << b))) continue;
    GroupEvent743& g = ev.DataGroup[b];
    for (int i = 0; i < 2; ++i) {
      const ChargeWindow& w = windows[count++];
      g.Baseline[i] = w.baseline;
      g.Charge[i] = static_cast<float>(w.sum * kVoltsPerAdcCount * period[b] / 50.0);
    }
  }
}

}  // namespace vx::sim
