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
  std::array<std::uint16_t, kCells> raw;
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
                         raw.data());
      std::memcpy(samples + 2 * record_length_ * i, raw.data(), 2 * record_length_);
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
      const auto dc = static_cast<float>(dac_volts(ch_[c].offset_code) / kVoltsPerCount);
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

void SimulatedBoard::decode_group(const char* g, int b, GroupEvent743& out) {
  const std::uint32_t g0 = format::word(g, 0);
  const std::uint32_t g1 = format::word(g, 1);
  const std::uint32_t n = g0 & 0xFFFF;
  const std::uint32_t first_cell = (g0 >> 16) & 0x3FF;
  const double period = kNominalPeriodPs * (1 << ((g0 >> 26) & 0x3));
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
  const char* samples = g + 4 * format::kGroupHeaderWords;
  std::array<std::uint16_t, kCells> raw;
  std::array<float, kCells> tau;
  for (int i = 0; i < 2; ++i) {
    const Channel& ch = ch_[2 * b + i];
    std::memcpy(raw.data(), samples + 2 * n * i, 2 * n);
    float* y = out.DataChannel[i].data();
    const bool subtract =
        correction_level_ == kCorrectionPedestalOnly || correction_level_ == kCorrectionAll;
    if (subtract && !ch.pedestal_table.empty()) {
      const float* ped = ch.pedestal_table.data();
      for (std::uint32_t k = 0; k < n; ++k) y[k] = raw[k] - ped[(p0 + k) & (kCells - 1)];
    } else {
      for (std::uint32_t k = 0; k < n; ++k) y[k] = raw[k];
    }
    const bool retime =
        correction_level_ == kCorrectionInlOnly || correction_level_ == kCorrectionAll;
    if (retime && !ch.cell_error.empty() && n > 2) {
      // Sample k was taken at k + e[cell] - e[first] periods; move it back onto the nominal
      // grid to first order, with the waveform's slope from its neighbours.
      const float* e = ch.cell_error.data();
      const float e0 = e[p0];
      const int head = std::min<int>(static_cast<int>(n), kCells - p0);
      for (int k = 0; k < head; ++k) tau[k] = e0 - e[p0 + k];
      for (int k = head; k < static_cast<int>(n); ++k) tau[k] = e0 - e[p0 + k - kCells];
      std::array<float, kCells> src;
      std::copy_n(y, n, src.begin());
      y[0] = src[0] + tau[0] * (src[1] - src[0]);
      for (std::uint32_t k = 1; k + 1 < n; ++k) {
        y[k] = src[k] + tau[k] * 0.5f * (src[k + 1] - src[k - 1]);
      }
      y[n - 1] = src[n - 1] + tau[n - 1] * (src[n - 1] - src[n - 2]);
    }
    const int channel = 2 * b + i;
    const int base_n = std::min<int>(charge_baseline_samples_, static_cast<int>(n));
    float baseline = 0.0f;
    if (base_n > 0) {
      for (int k = 0; k < base_n; ++k) baseline += y[k];
      baseline /= static_cast<float>(base_n);
    }
    const int start = std::clamp(ch_[channel].charge_start, 0, static_cast<int>(n));
    const int end = std::min<int>(start + ch_[channel].charge_length, static_cast<int>(n));
    float sum = 0.0f;
    for (int k = start; k < end; ++k) sum += y[k] - baseline;
    out.Baseline[i] = baseline;
    out.Charge[i] = static_cast<float>(sum * kVoltsPerCount * period / 50.0);
  }
}

}  // namespace vx::sim
