#include "analysis/time_histogram.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <span>

#include "analysis/histo_ranges.h"
#include "analysis/measurement_context.h"
#include "app/message_log.h"
#include "platform/gauss_fit.h"
#include "platform/numeric.h"

namespace vx {

namespace {

constexpr double kNoTime = -1.0;
// All equal differences give a range of zero width; it is opened to 1 ps, which the
// automatic bin count (one bin per ps) turns into a single bin.
constexpr double kMinRangeNs = 0.001;

// The lists a difference is made of: leading times and amplitudes of channels A and B.
struct Sources {
  const RunList<float>& time_a;
  const RunList<float>& amplitude_a;
  const RunList<float>& time_b;
  const RunList<float>& amplitude_b;
  bool dropped() const {
    return time_a.dropped() || amplitude_a.dropped() || time_b.dropped() || amplitude_b.dropped();
  }
};

Sources sources_of(const RunState& st, const AcqParams& acq) {
  const MeasurementData& m = st.meas;
  const int a = acq.TimeHistoChannelA, b = acq.TimeHistoChannelB;
  const int ba = a / kChannelsPerBlock, ca = a % kChannelsPerBlock;
  const int bb = b / kChannelsPerBlock, cb = b % kChannelsPerBlock;
  return {m.RiseTimeInstantForHisto[ba][ca], m.PeakAmplitudeForHisto[ba][ca],
          m.RiseTimeInstantForHisto[bb][cb], m.PeakAmplitudeForHisto[bb][cb]};
}

bool channels_valid(const AcqParams& acq) {
  const int a = acq.TimeHistoChannelA, b = acq.TimeHistoChannelB;
  return a >= 0 && b >= 0 && a < kMaxChannels && b < kMaxChannels;
}

bool accepted(const AcqParams& acq, bool distance_filter, double d, double amp_a, double amp_b) {
  if (distance_filter && !(d >= acq.MinPulsesDistance && d <= acq.MaxPulsesDistance)) return false;
  if (acq.EnExcludeBelowAmplitude == 1) {
    const double lo = acq.MinPeakAmplitude;
    if (!(amp_a >= lo && amp_b >= lo)) return false;
  }
  if (acq.EnExcludeAboveAmplitude == 1) {
    const double hi = acq.MaxPeakAmplitude;
    if (!(amp_a <= hi && amp_b <= hi)) return false;
  }
  return true;
}

// The difference of entry k when both channels have an edge there and the filters accept it.
bool accepted_difference(const AcqParams& acq, const Sources& s, bool distance_filter,
                         std::size_t k, double& d) {
  if (!s.time_a.holds(k) || !s.time_b.holds(k) || !s.amplitude_a.holds(k) ||
      !s.amplitude_b.holds(k))
    return false;  // not measured, or no longer kept
  const double ta = s.time_a[k], tb = s.time_b[k];
  // No edge (-1) or channel not measured for that event (NaN).
  if (ta == kNoTime || tb == kNoTime || std::isnan(ta) || std::isnan(tb)) return false;
  d = ta - tb;
  return accepted(acq, distance_filter, d, s.amplitude_a[k], s.amplitude_b[k]);
}

// Calls f(d) for every accepted difference of entries [from, to), in event order.
template <typename F>
void for_each_difference(const RunState& st, const AcqParams& acq, std::size_t from, std::size_t to,
                         F f) {
  const Sources s = sources_of(st, acq);
  const bool distance_filter = st.meas.EnableExcludePulses.load() == 1;
  double d = 0.0;
  for (std::size_t k = from; k < to; ++k)
    if (accepted_difference(acq, s, distance_filter, k, d)) f(d);
}

int time_bins(const MeasurementData& m) {
  return std::clamp(static_cast<int>(m.TimeHistoRange.bins), 1, kMaxTimeHistoBins);
}

TimeHistoSettings settings_of(const RunState& st, const RunConfig& cfg) {
  TimeHistoSettings s;
  s.channel_a = cfg.acq.TimeHistoChannelA;
  s.channel_b = cfg.acq.TimeHistoChannelB;
  s.exclude_pulses = st.meas.EnableExcludePulses.load();
  s.min_distance = cfg.acq.MinPulsesDistance;
  s.max_distance = cfg.acq.MaxPulsesDistance;
  s.exclude_below = cfg.acq.EnExcludeBelowAmplitude;
  s.min_amplitude = cfg.acq.MinPeakAmplitude;
  s.exclude_above = cfg.acq.EnExcludeAboveAmplitude;
  s.max_amplitude = cfg.acq.MaxPeakAmplitude;
  s.auto_bins = cfg.gui.TimeHistoOption1;
  s.auto_range = cfg.gui.TimeHistoOption2;
  if (s.auto_range != 1) {
    s.manual_min = cfg.gui.TimeHistoMin;
    s.manual_max = cfg.gui.TimeHistoMax;
  }
  if (s.auto_bins != 1) s.manual_bins = cfg.gui.TimeHistoNbOfBins;
  return s;
}

// An accepted difference joins the statistics and the latest differences.
void take(MeasurementData& m, double d) {
  m.TimeHistoBuild.stats.add(d);
  m.RecentDistances[static_cast<std::size_t>(m.RecentDistancesTaken % kLastDistancesKept)] = d;
  ++m.RecentDistancesTaken;
}

void update_latest_mean(MeasurementData& m) {
  const auto taken = m.RecentDistancesTaken;
  const int kept = static_cast<int>(std::min<std::int64_t>(taken, kLastDistancesKept));
  double sum = 0.0;
  for (int i = 0; i < kept; ++i) {
    m.LastMeanCrossingDistance[i] =
        m.RecentDistances[static_cast<std::size_t>((taken - 1 - i) % kLastDistancesKept)];
    sum += m.LastMeanCrossingDistance[i];
  }
  m.LastMeanDistance = kept ? sum / static_cast<double>(kept) : 0.0;
  ++m.MeanDistancePoints;
}

// The range and bin count the run's options `o` give the differences whose extremes are lo
// and hi: the records' own where they are not automatic.
TimeHistoBounds range_and_bins(const GuiParams& o, double lo, double hi, std::int64_t count) {
  TimeHistoBounds g = Time_HistoRangeOf(o);
  if (o.TimeHistoOption2 == 1) {
    const float half = static_cast<float>((hi - lo) / 2.0);
    g.min = lo - half;
    g.max = hi + half;
    if (!(g.max - g.min >= kMinRangeNs) && count > 0) {
      const double centre = (lo + hi) / 2.0;
      g.min = centre - kMinRangeNs / 2.0;
      g.max = centre + kMinRangeNs / 2.0;
    }
  }
  if (o.TimeHistoOption1 == 1) {
    // One bin per picosecond of the range, at most kMaxTimeHistoBins.
    const double width_ps =
        o.TimeHistoOption2 == 1 ? (2.0 * hi - 2.0 * lo) * 1000.0 : (g.max - g.min) * 1000.0;
    g.bins = width_ps <= kMaxTimeHistoBins ? static_cast<std::int32_t>(std::trunc(width_ps))
                                           : kMaxTimeHistoBins;
  }
  g.bins = std::clamp(static_cast<int>(g.bins), 1, kMaxTimeHistoBins);
  return g;
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

// The histogram again from the run's lists, with the settings as they are now.
void rebuild(RunState& st, MessageLog& log, const RunConfig& cfg) {
  MeasurementData& m = st.meas;
  HistoBuild& h = m.TimeHistoBuild;
  h = HistoBuild{};
  m.RecentDistancesTaken = 0;
  const Sources s = sources_of(st, cfg.acq);
  const std::size_t from =
      std::max({s.time_a.first(), s.time_b.first(), s.amplitude_a.first(), s.amplitude_b.first()});
  const std::size_t to =
      std::max({static_cast<std::size_t>(m.ListEntries), s.time_a.size(), s.time_b.size()});
  for_each_difference(st, cfg.acq, from, to, [&](double d) { take(m, d); });

  const RunningStats& stats = h.stats;
  m.TimeHistoRange = range_and_bins(cfg.gui, stats.min, stats.max, stats.count);
  const int bins = time_bins(m);
  h.bins = HistogramBins(m.TimeHistoRange.min, m.TimeHistoRange.max, bins);
  std::fill_n(m.ThresholdCrossingDistri.begin(), bins, 0);
  for (int i = 0; i < bins; ++i)
    m.ThresholdCrossingAxis[i] = h.bins.usable() ? h.bins.centre(i) : m.TimeHistoRange.min;
  if (h.bins.usable()) {
    for_each_difference(st, cfg.acq, from, to, [&](double d) {
      const int k = h.bins.bin_of(d);
      if (k >= 0) ++m.ThresholdCrossingDistri[k];
    });
  }
  h.range_min = stats.min;
  h.range_max = stats.max;
  h.built = true;
  h.next_entry = h.rebuilt_at = static_cast<std::int64_t>(to);
  m.TimeHistoBuiltWith = settings_of(st, cfg);
  if (s.dropped()) {
    char text[160];
    std::snprintf(text, sizeof text,
                  "Time histogram rebuilt from the last %lld events of the run: the per-run "
                  "lists no longer hold the earlier ones.\n",
                  static_cast<long long>(to - std::min(from, to)));
    Write_InfoMessage(log, text, 0);
  }
}

// The statistics, the strip-chart point and the plot, from the histogram as it stands.
void publish(RunState& st, FrontEnd& ui) {
  MeasurementData& m = st.meas;
  const RunningStats& stats = m.TimeHistoBuild.stats;
  m.NbOfValidTimes = static_cast<std::int32_t>(std::min<std::int64_t>(stats.count, INT32_MAX));
  TimeHistoResults& r = m.TimeHisto;
  r.mean_ns = stats.count > 0 ? stats.mean : 0.0;
  r.rms_ps = stats.sigma() * 1000.0;
  r.entries = m.NbOfValidTimes;
  update_latest_mean(m);
  // The previous plot goes, fitted curve included: it was fitted on other counts.
  m.TimeHistoPlotted = stats.count > 0;
  r.fitted = false;
  ui.refresh_panel(Panel::TimeHistogram);
}

// The fit with its quality, beside the histogram's own width, in the log.
void log_fit(RunState& st, MessageLog& log, const AcqParams& acq) {
  const TimeHistoResults& r = st.meas.TimeHisto;
  char text[320];
  std::snprintf(text, sizeof text,
                "Time histogram CH%d - CH%d, %d entries: mean %.2f ps, RMS %.2f ps, FWHM %.2f ps; "
                "Gaussian fit from %.1f ps to %.1f ps: centre %.2f ps, sigma %.2f ps, "
                "chi2/ndf %.1f / %d = %.2f\n",
                static_cast<int>(acq.TimeHistoChannelA), static_cast<int>(acq.TimeHistoChannelB),
                r.entries, r.mean_ns * 1000.0, r.rms_ps, static_cast<double>(r.fwhm_ps),
                r.fit_from_ps, r.fit_to_ps, r.fitted_centre_ns * 1000.0, r.fitted_sigma_ps, r.chi2,
                r.ndf, r.ndf > 0 ? r.chi2 / r.ndf : 0.0);
  Write_InfoMessage(log, text, 0);
}

bool warn_without_channels(RunState& st, MessageLog& log, const AcqParams& acq) {
  if (channels_valid(acq)) return false;
  st.meas.NbOfValidTimes = 0;
  Write_InfoMessage(log, "WARNING: At least two channels must be ON to compute Time Histogram!\n",
                    1);
  return true;
}

}  // namespace

void Compute_TimeHisto(Settings& settings, RunState& st, FrontEndLinks& links,
                       const RunConfig& cfg) {
  if (warn_without_channels(st, links.log, cfg.acq)) return;
  rebuild(st, links.log, cfg);
  Store_TimeHistoRange(settings, st);
  publish(st, links.ui);
}

void Update_TimeHisto(RunState& st, MessageLog& log, const RunConfig& cfg) {
  if (!channels_valid(cfg.acq)) return;
  MeasurementData& m = st.meas;
  HistoBuild& h = m.TimeHistoBuild;
  if (!h.built || !(m.TimeHistoBuiltWith == settings_of(st, cfg))) {
    rebuild(st, log, cfg);
    return;
  }
  const bool automatic_range = cfg.gui.TimeHistoOption2 == 1;
  const auto from = static_cast<std::size_t>(h.next_entry);
  for_each_difference(st, cfg.acq, from, static_cast<std::size_t>(m.ListEntries), [&](double d) {
    take(m, d);
    if (automatic_range && (d < h.range_min || d > h.range_max)) h.range_stale = true;
    const int k = h.bins.bin_of(d);
    if (k >= 0) ++m.ThresholdCrossingDistri[k];
  });
  h.next_entry = std::max(h.next_entry, m.ListEntries);
}

void Refresh_TimeHisto(RunState& st, FrontEndLinks& links, const RunConfig& cfg, bool run_end) {
  if (warn_without_channels(st, links.log, cfg.acq)) return;
  Update_TimeHisto(st, links.log, cfg);
  MeasurementData& m = st.meas;
  const HistoBuild& h = m.TimeHistoBuild;
  // Once the lists have let entries go, a rebuild would lose counts: the range stays.
  if (h.range_stale && !sources_of(st, cfg.acq).dropped() &&
      (run_end || (m.ListEntries - h.rebuilt_at) * 8 >= h.rebuilt_at))
    rebuild(st, links.log, cfg);
  publish(st, links.ui);
}

void Compute_TimeHistoParameters(RunState& st, FrontEndLinks& links, const RunConfig& cfg,
                                 int computeFWHM, int computeFit) {
  MeasurementData& m = st.meas;
  const int bins = time_bins(m);
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
    const FitQuality q = Histogram_FitQuality(
        std::span<const double>(counts.data(), bins),
        std::span<const double>(m.GaussFittedThresholdCrossingDistri.data(), bins));
    r.chi2 = q.chi2;
    r.ndf = q.ndf;
    r.fit_from_ps = m.ThresholdCrossingAxis[0] * 1000.0;
    r.fit_to_ps = m.ThresholdCrossingAxis[bins - 1] * 1000.0;
    if (r.fitted) log_fit(st, links.log, cfg.acq);
  }
  links.ui.refresh_panel(Panel::TimeHistogram);
}

}  // namespace vx
