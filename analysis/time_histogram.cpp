#include "analysis/time_histogram.h"

#include <algorithm>
#include <cmath>
#include <span>

#include "analysis/measurement_context.h"
#include "platform/gauss_fit.h"
#include "platform/numeric.h"

namespace vx {

namespace {

constexpr double kNoTime = -1.0;
// All equal differences give a range of zero width; it is opened to 1 ps, which the
// automatic bin count (one bin per ps) turns into a single bin.
constexpr double kMinRangeNs = 0.001;

struct ChannelLists {
  const std::vector<double>* time;
  const std::vector<double>* amplitude;
};

ChannelLists lists_of(const MeasurementData& m, int flat) {
  const int b = flat / kChannelsPerBlock, c = flat % kChannelsPerBlock;
  return {&m.RiseTimeInstantForHisto[b][c], &m.PeakAmplitudeForHisto[b][c]};
}

bool accepted(const State& st, bool distance_filter, double d, double amp_a, double amp_b) {
  if (distance_filter && !(d >= st.acq.MinPulsesDistance && d <= st.acq.MaxPulsesDistance))
    return false;
  if (st.acq.EnExcludeBelowAmplitude == 1) {
    const double lo = st.acq.MinPeakAmplitude;
    if (!(amp_a >= lo && amp_b >= lo)) return false;
  }
  if (st.acq.EnExcludeAboveAmplitude == 1) {
    const double hi = st.acq.MaxPeakAmplitude;
    if (!(amp_a <= hi && amp_b <= hi)) return false;
  }
  return true;
}

void collect_differences(State& st, int channel_a, int channel_b) {
  MeasurementData& m = st.meas;
  const ChannelLists a = lists_of(m, channel_a), b = lists_of(m, channel_b);
  std::size_t n = a.time->size();
  for (const auto* list : {a.amplitude, b.time, b.amplitude}) n = std::min(n, list->size());
  const bool distance_filter = m.EnableExcludePulses.load() == 1;
  auto& out = m.ThresholdCrossingDistance;
  out.clear();
  for (std::size_t k = 0; k < n; ++k) {
    const double ta = (*a.time)[k], tb = (*b.time)[k];
    // No edge (-1) or channel not measured for that event (NaN).
    if (ta == kNoTime || tb == kNoTime || std::isnan(ta) || std::isnan(tb)) continue;
    const double d = ta - tb;
    if (accepted(st, distance_filter, d, (*a.amplitude)[k], (*b.amplitude)[k])) out.push_back(d);
  }
  m.NbOfValidTimes = static_cast<std::int32_t>(out.size());
}

void update_latest_mean(MeasurementData& m) {
  const auto& d = m.ThresholdCrossingDistance;
  const std::size_t kept = std::min<std::size_t>(d.size(), kLastDistancesKept);
  double sum = 0.0;
  for (std::size_t i = 0; i < kept; ++i) {
    m.LastMeanCrossingDistance[i] = d[d.size() - 1 - i];
    sum += m.LastMeanCrossingDistance[i];
  }
  m.LastMeanDistance = kept ? sum / static_cast<double>(kept) : 0.0;
  ++m.MeanDistancePoints;
}

// Automatic range and bin count from the extremes of the differences.
void set_range_and_bins(State& st, double lo, double hi) {
  GuiParams& g = st.gui;
  if (g.TimeHistoOption2 == 1) {
    const float half = static_cast<float>((hi - lo) / 2.0);
    g.TimeHistoMin = lo - half;
    g.TimeHistoMax = hi + half;
    if (!(g.TimeHistoMax - g.TimeHistoMin >= kMinRangeNs) && st.meas.NbOfValidTimes > 0) {
      const double centre = (lo + hi) / 2.0;
      g.TimeHistoMin = centre - kMinRangeNs / 2.0;
      g.TimeHistoMax = centre + kMinRangeNs / 2.0;
    }
  }
  if (g.TimeHistoOption1 == 1) {
    // One bin per picosecond of the range, at most kMaxTimeHistoBins.
    const double width_ps = g.TimeHistoOption2 == 1 ? (2.0 * hi - 2.0 * lo) * 1000.0
                                                    : (g.TimeHistoMax - g.TimeHistoMin) * 1000.0;
    g.TimeHistoNbOfBins = width_ps <= kMaxTimeHistoBins
                              ? static_cast<std::int32_t>(std::trunc(width_ps))
                              : kMaxTimeHistoBins;
  }
  g.TimeHistoNbOfBins = std::clamp(static_cast<int>(g.TimeHistoNbOfBins), 1, kMaxTimeHistoBins);
}

int time_bins(const State& st) {
  return std::clamp(static_cast<int>(st.gui.TimeHistoNbOfBins), 1, kMaxTimeHistoBins);
}

// Position (ps) where the counts pass h between bins inner and outer, inner holding at
// least h; equal counts (no slope to follow) put it at the outer bin.
double half_max_position(const MeasurementData& m, const double* counts, int inner, int outer,
                         double h) {
  const double xo = m.ThresholdCrossingAxis[outer] * 1000.0;
  const double xi = m.ThresholdCrossingAxis[inner] * 1000.0;
  if (counts[outer] == counts[inner]) return xo;
  const double xs[2] = {counts[outer], counts[inner]};
  const double ys[2] = {xo, xi};
  return PolyInterp(xs, ys, h);
}

float full_width_half_max(const MeasurementData& m, const double* counts, int bins) {
  double peak = 0.0;
  for (int i = 0; i < bins; ++i) peak = std::max(peak, counts[i]);
  if (!(peak > 0.0)) return 0.0f;
  const double h = peak / 2.0;
  // Without a crossing on one side, the outermost bin centre stands for that edge.
  double left = m.ThresholdCrossingAxis[0] * 1000.0;
  for (int k = 1; k < bins; ++k) {
    if (counts[k] >= h) {
      left = half_max_position(m, counts, k, k - 1, h);
      break;
    }
  }
  double right = m.ThresholdCrossingAxis[bins - 1] * 1000.0;
  for (int k = bins - 2; k >= 0; --k) {
    if (counts[k] >= h) {
      right = half_max_position(m, counts, k, k + 1, h);
      break;
    }
  }
  return static_cast<float>(right - left);
}

}  // namespace

void Compute_TimeHisto(State& st) {
  MeasurementData& m = st.meas;
  m.NbOfValidTimes = 0;
  const int channel_a = st.acq.TimeHistoChannelA;
  const int channel_b = st.acq.TimeHistoChannelB;
  if (channel_a < 0 || channel_b < 0 || channel_a >= kMaxChannels || channel_b >= kMaxChannels) {
    Write_InfoMessage(st, "WARNING: At least two channels must be ON to compute Time Histogram!\n",
                      1);
    return;
  }
  collect_differences(st, channel_a, channel_b);
  const auto& d = m.ThresholdCrossingDistance;

  TimeHistoResults& r = m.TimeHisto;
  const MeanAndSigma s = StdDev(d);
  r.mean_ns = s.mean;
  r.rms_ps = s.sigma * 1000.0;
  r.entries = m.NbOfValidTimes;
  update_latest_mean(m);

  const MaxMinResult mm = MaxMin1D(d);
  set_range_and_bins(st, mm.min, mm.max);

  // The previous plot goes, fitted curve included: it was fitted on other counts.
  m.TimeHistoPlotted = false;
  r.fitted = false;
  if (!d.empty()) {
    const int bins = time_bins(st);
    Histogram(d, st.gui.TimeHistoMin, st.gui.TimeHistoMax,
              std::span<int>(m.ThresholdCrossingDistri.data(), bins),
              std::span<double>(m.ThresholdCrossingAxis.data(), bins));
    m.TimeHistoPlotted = true;
  }
  st.ui.refresh_panel(Panel::TimeHistogram);
}

void Compute_TimeHistoParameters(State& st, int computeFWHM, int computeFit) {
  MeasurementData& m = st.meas;
  const int bins = time_bins(st);
  std::array<double, kMaxTimeHistoBins + 1> counts{};
  for (int i = 0; i < bins; ++i) counts[i] = m.ThresholdCrossingDistri[i];

  TimeHistoResults& r = m.TimeHisto;
  if (computeFWHM == 1) r.fwhm_ps = full_width_half_max(m, counts.data(), bins);
  if (computeFit == 1) {
    const GaussFitResult fit =
        GaussFit(std::span<const double>(m.ThresholdCrossingAxis.data(), bins),
                 std::span<const double>(counts.data(), bins),
                 std::span<double>(m.GaussFittedThresholdCrossingDistri.data(), bins));
    r.fitted = fit.status == 0;
    r.fitted_centre_ns = fit.centre;
    r.fitted_sigma_ps = fit.sigma * 1000.0;
    r.fitted_fwhm_ps = fit.sigma * 2.36 * 1000.0;
  }
  st.ui.refresh_panel(Panel::TimeHistogram);
}

}  // namespace vx
