#include "analysis/charge.h"

#include <algorithm>
#include <array>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <utility>

#include "analysis/histo_ranges.h"
#include "analysis/measurement_context.h"
#include "app/message_log.h"
#include "digitizer/board_configuration.h"
#include "platform/numeric.h"

namespace vx {

namespace {

int charge_bins(const GuiParams& gui) {
  return std::clamp(static_cast<int>(gui.ChargeHistoNbOfBins), 1, kMaxChargeHistoBins);
}

// A range of zero width (all charges equal) cannot be cut into bins: it is opened to one
// unit on each side so that the charges land in the middle bin.
void widen_empty_range(double& lo, double& hi) {
  if (!(hi > lo)) {
    const double centre = lo;
    lo = centre - 1.0;
    hi = centre + 1.0;
  }
}

void clear_counts(MeasurementData& m, int b, int c, int bins) {
  std::fill_n(m.ChargeDataDistri[b][c].begin(), bins, 0);
  std::fill_n(m.ChargeDataDistriPerEvent[b][c].begin(), bins, 0);
  m.ChargeMean[b][c] = 0.0;
  m.ChargeSigma[b][c] = 0.0;
}

std::span<const double> firmware_batch(const MeasurementData& m, int b, int c) {
  const auto& values = m.ChargeDataValues[b][c];
  const std::size_t n =
      std::min(values.size(), static_cast<std::size_t>(std::max(0, m.NbOfValidChargeWords[b][c])));
  return {values.data(), n};
}

// Half-width of the provisional range around a single charge value, relative to the value.
constexpr double kPendingHalfWidth = 0.5;

void set_automatic_range(RunState& st, int b, int c, double lo_value, double hi_value) {
  MeasurementData& m = st.meas;
  double lo = lo_value - (hi_value - lo_value) / 2.0;
  double hi = hi_value + (hi_value - lo_value) / 2.0;
  m.ChargeRangePending[b][c] = hi > lo ? 0 : 1;
  if (m.ChargeRangePending[b][c] == 1) {
    const double half = std::abs(lo_value) > 0.0 ? kPendingHalfWidth * std::abs(lo_value) : 1.0;
    lo = lo_value - half;
    hi = lo_value + half;
  }
  m.ChargeRange[b][c] = {static_cast<float>(lo), static_cast<float>(hi)};
}

// The range of a fresh firmware histogram: from the event's charges, or the settings' own.
void set_firmware_range(RunState& st, const AcqParams& options, int b, int c) {
  MeasurementData& m = st.meas;
  const auto batch = firmware_batch(m, b, c);
  const bool automatic = options.ChargeRangeAuto == 1;
  m.ChargeRangePending[b][c] = 0;
  if (!automatic) m.ChargeRange[b][c] = Charge_RangeOf(options, b, c);
  if (batch.empty()) {
    if (automatic) m.ChargeRange[b][c] = ChargeBounds{};
    m.MinChargeValue[b][c] = 0.0;
    m.MaxChargeValue[b][c] = 0.0;
    return;
  }
  const MaxMinResult mm = MaxMin1D(batch);
  if (automatic) set_automatic_range(st, b, c, mm.min, mm.max);
  m.MinChargeValue[b][c] = mm.min;
  m.MaxChargeValue[b][c] = mm.max;
}

// A pending range meets a batch: once the charges differ, the range is set from all of them
// and the charges counted so far (all of one value) move to their bin of the new range.
void settle_pending_range(RunState& st, int b, int c, int bins, const MaxMinResult& batch) {
  MeasurementData& m = st.meas;
  const double value = m.MinChargeValue[b][c];
  const double lo = std::min(value, batch.min), hi = std::max(value, batch.max);
  if (!(hi > lo)) return;
  auto& total = m.ChargeDataDistri[b][c];
  int counted = 0;
  for (int i = 0; i < bins; ++i) counted += std::exchange(total[i], 0);
  set_automatic_range(st, b, c, lo, hi);
  const double one[] = {value};
  std::array<int, kMaxChargeHistoBins> at{};
  Histogram(one, m.ChargeRange[b][c].min, m.ChargeRange[b][c].max, std::span<int>(at.data(), bins),
            std::span<double>(m.ChargeDataAxis[b][c].data(), bins));
  for (int i = 0; i < bins; ++i) total[i] += at[i] * counted;
}

void add_firmware_batch(RunState& st, int b, int c, int bins) {
  MeasurementData& m = st.meas;
  const auto batch = firmware_batch(m, b, c);
  if (batch.empty()) return;
  const MaxMinResult mm = MaxMin1D(batch);
  if (m.ChargeRangePending[b][c] == 1) settle_pending_range(st, b, c, bins, mm);
  m.MaxChargeValue[b][c] = std::max(m.MaxChargeValue[b][c], mm.max);
  m.MinChargeValue[b][c] = std::min(m.MinChargeValue[b][c], mm.min);

  auto& per_event = m.ChargeDataDistriPerEvent[b][c];
  auto& total = m.ChargeDataDistri[b][c];
  auto& axis = m.ChargeDataAxis[b][c];
  const double lo = m.ChargeRange[b][c].min;
  const double hi = m.ChargeRange[b][c].max;
  Histogram(batch, lo, hi, std::span<int>(per_event.data(), bins),
            std::span<double>(axis.data(), bins));
  double entries = 0.0, sum = 0.0;
  for (int i = 0; i < bins; ++i) {
    total[i] += per_event[i];
    entries += total[i];
    sum += axis[i] * total[i];
  }
  if (entries == 0.0) {
    m.ChargeMean[b][c] = 0.0;
    m.ChargeSigma[b][c] = 0.0;
    return;
  }
  const double mean = sum / entries;
  double sq = 0.0;
  for (int i = 0; i < bins; ++i) sq += total[i] * (axis[i] - mean) * (axis[i] - mean);
  m.ChargeMean[b][c] = mean;
  m.ChargeSigma[b][c] = std::sqrt(sq / entries);
}

ChargeHistoSettings software_settings_of(const RunState& st, const RunConfig& cfg, int b, int c) {
  ChargeHistoSettings s;
  s.bins = charge_bins(cfg.gui);
  s.cut = cfg.acq.ChargeCutEnabled[b][c];
  if (s.cut == 1) {
    s.cut_min = st.meas.ChargeRange[b][c].min;
    s.cut_max = st.meas.ChargeRange[b][c].max;
  }
  return s;
}

// Calls f(q) for every charge of entries [from, to) of the channel's list that the
// histogram keeps: measured (not NaN) and, with the cut on, inside the cut.
template <typename F>
void for_each_kept_charge(const RunState& st, const RunConfig& cfg, int b, int c, std::size_t from,
                          std::size_t to, F f) {
  const RunList<float>& list = st.meas.ComputedChargeForHisto[b][c];
  const bool cut = cfg.acq.ChargeCutEnabled[b][c] == 1;
  const double lo_cut = st.meas.ChargeRange[b][c].min;
  const double hi_cut = st.meas.ChargeRange[b][c].max;
  from = std::max(from, list.first());
  to = std::min(to, list.size());
  for (std::size_t k = from; k < to; ++k) {
    const double v = list[k];
    if (std::isnan(v)) continue;  // channel not measured in that event
    if (!cut || (v >= lo_cut && v <= hi_cut)) f(v);
  }
}

// The channel's histogram again from the run's list: range from the extremes of the kept
// charges, widened by half the span on each side.
void rebuild_software_histo(RunState& st, const RunConfig& cfg, int b, int c) {
  MeasurementData& m = st.meas;
  HistoBuild& h = m.ChargeHistoBuild[b][c];
  h = HistoBuild{};
  const std::size_t to =
      std::max(static_cast<std::size_t>(m.ListEntries), m.ComputedChargeForHisto[b][c].size());
  for_each_kept_charge(st, cfg, b, c, 0, to, [&](double v) { h.stats.add(v); });
  const int bins = charge_bins(cfg.gui);
  auto& counts = m.ChargeDataDistri[b][c];
  std::fill_n(counts.begin(), bins, 0);
  if (h.stats.count > 0) {
    const double lo = h.stats.min, hi = h.stats.max;
    double base = lo - (hi - lo) / 2.0;
    double top = hi + (hi - lo) / 2.0;
    widen_empty_range(base, top);
    h.bins = HistogramBins(base, top, bins);
    for (int i = 0; i < bins; ++i)
      m.ChargeDataAxis[b][c][i] = h.bins.usable() ? h.bins.centre(i) : base;
    for_each_kept_charge(st, cfg, b, c, 0, to, [&](double v) {
      const int k = h.bins.bin_of(v);
      if (k >= 0) ++counts[k];
    });
  }
  h.range_min = h.stats.min;
  h.range_max = h.stats.max;
  h.built = true;
  h.next_entry = h.rebuilt_at = static_cast<std::int64_t>(to);
  m.ChargeHistoBuiltWith[b][c] = software_settings_of(st, cfg, b, c);
}

// The charges measured since the last call; a changed setting rebuilds first.
void update_software_histo(RunState& st, const RunConfig& cfg, int b, int c) {
  MeasurementData& m = st.meas;
  HistoBuild& h = m.ChargeHistoBuild[b][c];
  if (!h.built || !(m.ChargeHistoBuiltWith[b][c] == software_settings_of(st, cfg, b, c))) {
    rebuild_software_histo(st, cfg, b, c);
    return;
  }
  auto& counts = m.ChargeDataDistri[b][c];
  for_each_kept_charge(st, cfg, b, c, static_cast<std::size_t>(h.next_entry),
                       static_cast<std::size_t>(m.ListEntries), [&](double v) {
                         h.stats.add(v);
                         if (v < h.range_min || v > h.range_max) h.range_stale = true;
                         const int k = h.bins.bin_of(v);
                         if (k >= 0) ++counts[k];
                       });
  h.next_entry = std::max(h.next_entry, m.ListEntries);
}

void publish_software_histo(MeasurementData& m, int b, int c) {
  const RunningStats& s = m.ChargeHistoBuild[b][c].stats;
  m.NbOfValidChargeWords[b][c] =
      static_cast<std::int32_t>(std::min<std::int64_t>(s.count, INT32_MAX));
  const bool any = s.count > 0;
  m.MinChargeValue[b][c] = any ? s.min : 0.0;
  m.MaxChargeValue[b][c] = any ? s.max : 0.0;
  m.ChargeMean[b][c] = any ? s.mean : 0.0;
  m.ChargeSigma[b][c] = s.sigma();
}

}  // namespace

float Compute_Charge(Settings& st, std::span<const float> w, int nbBaselineSamples, int nbSamples,
                     int start, int length, float& baseline) {
  const int n = std::clamp(nbSamples, 0, static_cast<int>(w.size()));
  const int nb = std::clamp(nbBaselineSamples, 0, n);
  double base_sum = 0.0;
  for (int i = 0; i < nb; ++i) base_sum += w[i];
  const float base = nb > 0 ? static_cast<float>(base_sum / nb) : 0.0f;

  const int first = std::max(start, 0);
  const int end = static_cast<int>(std::min<long long>(static_cast<long long>(first) + length, n));
  float sum = 0.0f;
  for (int i = first; i < end; ++i) sum += w[i] - base;

  baseline = static_cast<float>(base * kVoltsPerAdcCount);
  const double period_ps = Measurement_SamplingPeriodPs(st.sam);
  return static_cast<float>(sum * (kVoltsPerAdcCount * period_ps / 50.0));
}

void Init_ChargeHistos(RunState& st, const RunConfig& cfg) {
  MeasurementData& m = st.meas;
  const int bins = charge_bins(cfg.gui);
  for (int b = 0; b < kMaxSamBlocks; ++b) {
    for (int c = 0; c < kChannelsPerBlock; ++c) {
      clear_counts(m, b, c, bins);
      m.MinChargeValue[b][c] = 0.0;
      m.MaxChargeValue[b][c] = 0.0;
      m.NbOfValidChargeWords[b][c] = 0;
    }
  }
}

void Compute_SoftwareChargeHisto(RunState& st, MessageLog& log, const RunConfig& cfg) {
  std::size_t dropped_from = SIZE_MAX;
  for (int b = 0; b < Run_NbOfBlocks(cfg); ++b) {
    for (int c = 0; c < kChannelsPerBlock; ++c) {
      st.meas.ChargeRange[b][c] = Charge_RangeOf(cfg.acq, b, c);
      rebuild_software_histo(st, cfg, b, c);
      publish_software_histo(st.meas, b, c);
      const auto& list = st.meas.ComputedChargeForHisto[b][c];
      if (list.dropped()) dropped_from = std::min(dropped_from, list.first());
    }
  }
  const auto entries = static_cast<std::size_t>(st.meas.ListEntries);
  if (dropped_from < entries) {
    char text[160];
    std::snprintf(text, sizeof text,
                  "Charge histograms rebuilt from the last %lld events of the run: the per-run "
                  "lists no longer hold the earlier ones.\n",
                  static_cast<long long>(entries - dropped_from));
    Write_InfoMessage(log, text, 0);
  }
}

void Update_SoftwareChargeHistos(RunState& st, const RunConfig& cfg) {
  for (int b = 0; b < Run_NbOfBlocks(cfg); ++b)
    for (int c = 0; c < kChannelsPerBlock; ++c) update_software_histo(st, cfg, b, c);
}

void Refresh_SoftwareChargeHistos(RunState& st, const RunConfig& cfg, bool run_end) {
  MeasurementData& m = st.meas;
  for (int b = 0; b < Run_NbOfBlocks(cfg); ++b) {
    for (int c = 0; c < kChannelsPerBlock; ++c) {
      update_software_histo(st, cfg, b, c);
      const HistoBuild& h = m.ChargeHistoBuild[b][c];
      // Once the list has let entries go, a rebuild would lose counts: the range stays.
      if (h.range_stale && !m.ComputedChargeForHisto[b][c].dropped() &&
          (run_end || (m.ListEntries - h.rebuilt_at) * 8 >= h.rebuilt_at))
        rebuild_software_histo(st, cfg, b, c);
      publish_software_histo(m, b, c);
    }
  }
}

void Accumulate_FirmwareChargeHistos(RunState& st, Settings& settings, FrontEndLinks& links,
                                     const RunConfig& cfg) {
  MeasurementData& m = st.meas;
  const int bins = charge_bins(cfg.gui);
  const int blocks = cfg.blocks();
  const bool first_event = st.EventNumber.load() == 1;
  for (int b = 0; b < blocks; ++b) {
    for (int c = 0; c < kChannelsPerBlock; ++c) {
      if (first_event) {
        clear_counts(m, b, c, bins);
        set_firmware_range(st, cfg.acq, b, c);
      }
      add_firmware_batch(st, b, c, bins);
    }
  }
  if (first_event) links.ui.refresh_panel(Panel::ChargeHistogram);

  if (m.ResetChargeHisto.load() == 1) {
    for (int b = 0; b < blocks; ++b) {
      for (int c = 0; c < kChannelsPerBlock; ++c) {
        clear_counts(m, b, c, kMaxChargeHistoBins);
        set_firmware_range(st, cfg.acq, b, c);
      }
    }
    m.ResetChargeHisto.store(0);
  }
  if (Is_DisplayEvent(settings, st, cfg)) Plot_ChargeHisto(links);
}

void Plot_ChargeHisto(FrontEndLinks& st) {
  st.ui.refresh_panel(Panel::ChargeHistogram);
}

void Select_ChargeMode(BoardPort port, ChargeMode mode) {
  if (mode == ChargeMode::Firmware) {
    port.settings.acq.EnSoftwareChargeHisto = 0;
    for (auto& block : port.settings.sam) block.ChargeModeEnabled = 1;
    for (int b = 0; b < kMaxSamBlocks; ++b)
      for (int c = 0; c < kChannelsPerBlock; ++c) port.settings.acq.ChargeCutEnabled[b][c] = 1;
    Write_InfoMessage(port.links.log, "Firmware Charge Mode is Enabled.", 0);
  } else {
    const int blocks = board_blocks(port);
    for (int b = 0; b < blocks; ++b) port.settings.sam[b].ChargeModeEnabled = 0;
    port.settings.acq.EnSoftwareChargeHisto = mode == ChargeMode::Software ? 1 : 0;
    for (int b = 0; b < kMaxSamBlocks; ++b)
      for (int c = 0; c < kChannelsPerBlock; ++c) port.settings.acq.ChargeCutEnabled[b][c] = 0;
    // The main graph's zoom is reset with the graph itself.
    if (port.links.hooks.recompute_main_graph) port.links.hooks.recompute_main_graph();
  }
  // The control words carry the charge-mode bit.
  Set_AllBoardParameters(port);
  if (mode != ChargeMode::Off)
    port.links.ui.popup(
        PopupKind::Warning, "WARNING",
        "In Charge Mode (Firmware/Software), please define the window for charge "
        "measurements using the dedicated cursors or fill-in the charge parameters!");
}

}  // namespace vx
