#include "analysis/channel_measurement.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

#include "analysis/band_limited_timing.h"
#include "analysis/floats4.h"
#include "analysis/measurement_context.h"
#include "analysis/waveform_utilities.h"
#include "app/field_ranges.h"
#include "platform/numeric.h"
#include "platform/spline.h"

// The scans below are written for the vectoriser; the project's -O2 only vectorises loops
// that need no run-time checks, so this file asks for the full treatment. Vectorising never
// reorders floating-point sums here: results are those of the plain loops.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC optimize("O3")
#endif

namespace vx {

namespace {

// The spline's bins per sample as a setup may hold them; the interpolation's buffers hold
// kMaxSplineFactor.
constexpr IntRange kSplineBins = int_range_of<&AcqParams::NbOfBinsForSpline>();
static_assert(kSplineBins.lo >= 1 && kSplineBins.hi <= kMaxSplineFactor);

constexpr double kNoCrossing = -1.0;
constexpr std::size_t kLanes = kSplineLanes;  // channels whose spline solves overlap

// The spline copy is evaluated only where the peak search, the baseline and the crossings
// look. Whether an interval can hold the extreme or a crossing is decided from bounds on
// its points: between samples k and k + 1 a point differs from the chord by the
// curvature terms, each weight of a second derivative staying below 1 / (9 sqrt 3) =
// 0.06415 in magnitude. The bounds are widened to cover rounding (to double, then to
// float) many times over, so that a skipped interval provably holds nothing.
constexpr double kCurvatureWeight = 0.0643;
constexpr double kRoundingSlack = 2e-6;
constexpr double kNormalisationSlack = 1e-5;
// Samples beyond this (or not finite) take the plain path: a full spline copy.
constexpr float kLargestBoundedSample = 1e30f;

// First pairs (v[i], v[i + 1]), i >= 1, crossing thr upward and downward, with their
// values; index -1 when there is none.
struct CrossingPairs {
  std::ptrdiff_t rising = -1;
  std::ptrdiff_t falling = -1;
  float rising_values[2] = {};
  float falling_values[2] = {};
  bool want_rising = true;
  bool want_falling = true;

  bool done() const { return (!want_rising || rising >= 0) && (!want_falling || falling >= 0); }
  void examine(std::size_t i, float a, float b, float thr) {
    if (rising < 0 && a <= thr && b >= thr) {
      rising = static_cast<std::ptrdiff_t>(i);
      rising_values[0] = a;
      rising_values[1] = b;
    }
    if (falling < 0 && a >= thr && b <= thr) {
      falling = static_cast<std::ptrdiff_t>(i);
      falling_values[0] = a;
      falling_values[1] = b;
    }
  }
};

void scan_pairs(std::span<const float> v, float thr, CrossingPairs& found) {
  const std::size_t n = v.size();
  // Blocks of pairs are first screened for any pair bracketing the threshold, in a form
  // the compiler vectorises; only blocks that hold one are examined pair by pair.
  constexpr std::size_t kBlock = 16;
  std::size_t i = 1;
  for (; i + kBlock < n && !found.done(); i += kBlock) {
    unsigned any = 0;
    for (std::size_t j = 0; j < kBlock; ++j) {
      const float a = v[i + j], b = v[i + j + 1];
      any |= static_cast<unsigned>(std::min(a, b) <= thr) &
             static_cast<unsigned>(std::max(a, b) >= thr);
    }
    if (any)
      for (std::size_t j = 0; j < kBlock; ++j) found.examine(i + j, v[i + j], v[i + j + 1], thr);
  }
  for (; i + 1 < n && !found.done(); ++i) found.examine(i, v[i], v[i + 1], thr);
}

// Crossing position i + f of the pair (a, b) at i, or kNoCrossing when there is none or the
// distance limit is on and the crossing lies too far from the peak index.
double crossing_position(std::ptrdiff_t i, const float (&values)[2], double thr, int peak,
                         const MeasurementSettings& s) {
  if (i < 0) return kNoCrossing;
  const double a = values[0], b = values[1];
  // Both points on the threshold: the crossing is taken at the first.
  double f = 0.0;
  if (a != b) {
    const double xs[2] = {a, b};
    const double ys[2] = {0.0, 1.0};
    f = PolyInterp(xs, ys, thr);
  }
  const double x = static_cast<double>(i) + f;
  if (s.limited && !(std::fabs(std::trunc(x - peak)) < s.limit)) return kNoCrossing;
  return x;
}

void set_times(const MeasurementSettings& s, const CrossingPairs& pairs, bool rising_leads,
               double thr, int peak, bool trailing, ChannelResult& r) {
  const double lead = rising_leads
                          ? crossing_position(pairs.rising, pairs.rising_values, thr, peak, s)
                          : crossing_position(pairs.falling, pairs.falling_values, thr, peak, s);
  if (lead != kNoCrossing) r.leading = static_cast<float>(s.period_ns * lead / s.per);
  if (!trailing) return;
  const double trail = rising_leads
                           ? crossing_position(pairs.falling, pairs.falling_values, thr, peak, s)
                           : crossing_position(pairs.rising, pairs.rising_values, thr, peak, s);
  if (trail != kNoCrossing) r.trailing = static_cast<float>(s.period_ns * trail / s.per);
}

std::size_t baseline_points(const MeasurementSettings& s, std::size_t M) {
  // Any accepted bin count, however large, means at most the whole record.
  const std::int64_t bins = s.baseline_bins * s.per;
  return static_cast<std::size_t>(std::clamp<std::int64_t>(bins, 0, static_cast<std::int64_t>(M)));
}

struct Workspace {
  std::vector<double> u, second;  // kLanes interleaved lanes
  std::vector<float> interval;    // one interval's points, both ends included
  std::vector<float> full, normalized;
  std::vector<double> wa, wb, wc, wd;
  std::size_t weights_per = 0;

  Workspace()
      : u(kLanes * kMaxSamples), second(kLanes * kMaxSamples), normalized(kMaxSamples + 8) {}

  void set_weights(std::size_t per) {
    if (per == weights_per) return;
    for (auto* w : {&wa, &wb, &wc, &wd}) w->resize(per);
    interval.resize(per + 1);
    Spline_IntervalWeights(per, wa.data(), wb.data(), wc.data(), wd.data());
    weights_per = per;
  }
};

Workspace& workspace() {
  thread_local Workspace ws;
  return ws;
}

// The spline copy of one waveform, point j lying at sample time j / per, evaluated on
// demand exactly as the full copy would hold it.
struct LazySpline {
  const float* w;
  const double* second;   // the lane's second derivatives, kLanes apart
  double largest_second;  // a bound on their magnitudes
  std::size_t per;
  const Workspace& ws;

  float interior(std::size_t k, std::size_t r) const {
    const double y0 = w[k], y1 = w[k + 1];
    const double s0 = second[kLanes * k], s1 = second[kLanes * (k + 1)];
    return static_cast<float>(ws.wa[r] * y0 + ws.wb[r] * y1 + ws.wc[r] * s0 + ws.wd[r] * s1);
  }
  float at(std::size_t j) const {
    const std::size_t k = j / per, r = j % per;
    return r == 0 ? w[k] : interior(k, r);
  }
  // Points k * per ... (k + 1) * per.
  void interval(std::size_t k, float* out) const {
    out[0] = w[k];
    for (std::size_t r = 1; r < per; ++r) out[r] = interior(k, r);
    out[per] = w[k + 1];
  }
};

// Time and amplitude on a waveform held in full: the raw samples, or the spline copy.
// full has M points, or M + 1 with the spline (the fixed threshold searches them all).
void time_on_full(const MeasurementSettings& s, const ChannelJob& job, std::span<const float> full,
                  std::size_t M, Workspace& ws, ChannelResult& r) {
  const std::span<const float> working = full.first(M);
  const MaxMinResult extremes = MaxMin1D(working);
  int polarity = 0;
  int peak = 0;
  const double P = Search_MinOrMax_In_Waveform(working, extremes, s.peak_interp, polarity, peak);

  double thr = 0.0;
  std::span<const float> searched = full;
  if (s.cfd) {
    if (ws.normalized.size() < M) ws.normalized.resize(M);
    const std::span<float> out(ws.normalized.data(), M);
    float baseline = 0.0f;
    const int nb = static_cast<int>(baseline_points(s, M));
    const bool normalised =
        Normalize_WaveFormOnMaxOrMin(working, extremes, out, peak, polarity, nb, baseline);
    thr = polarity == 0 ? s.cfd_ratio : -s.cfd_ratio;
    r.amplitude = static_cast<float>((P - baseline) * kVoltsPerAdcCount);
    if (!normalised) return;  // a flat waveform has no constant-fraction crossing
    searched = out;
  } else {
    thr = job.threshold;
    polarity = job.edge == 0 ? 0 : 1;
    r.amplitude = static_cast<float>(P * kVoltsPerAdcCount);
  }
  const bool rising_leads = polarity == 0;
  CrossingPairs pairs;
  pairs.want_rising = rising_leads || job.compute_trailing;
  pairs.want_falling = !rising_leads || job.compute_trailing;
  scan_pairs(searched, static_cast<float>(thr), pairs);
  set_times(s, pairs, rising_leads, thr, peak, job.compute_trailing, r);
}

// Floats no larger (smaller) than a double: comparisons with them stay on the safe side.
float float_below(double x) {
  float f = static_cast<float>(x);
  if (static_cast<double>(f) > x) f = std::nextafter(f, -std::numeric_limits<float>::infinity());
  return f;
}
float float_above(double x) {
  float f = static_cast<float>(x);
  if (static_cast<double>(f) < x) f = std::nextafter(f, std::numeric_limits<float>::infinity());
  return f;
}

// Whether some pair (w[k], w[k + 1]) of the block of kScreen pairs from k0 reaches at least
// `low` at its upper end and at most `high` at its lower end. Branch-free, so vectorised.
constexpr std::size_t kScreen = 16;
bool block_may_hold(const float* w, std::size_t k0, float low, float high) {
  using Ints4 = int __attribute__((vector_size(16)));
  const Floats4 lows = {low, low, low, low}, highs = {high, high, high, high};
  Ints4 any = {0, 0, 0, 0};
  for (std::size_t j = 0; j < kScreen; j += 4) {
    const Floats4 a = Load_Floats4(w + k0 + j), b = Load_Floats4(w + k0 + j + 1);
    const Floats4 upper = a > b ? a : b, lower = a < b ? a : b;
    any |= (upper >= lows) & (lower <= highs);
  }
  return (any[0] | any[1] | any[2] | any[3]) != 0;
}

// Calls visit(k) for every interval k < intervals, in order, whose pair of samples may
// reach [low, high] (blocks where none can are skipped whole), while keep_going().
template <typename Visit, typename Going>
void for_candidate_intervals(const float* w, std::size_t intervals, double low, double high,
                             Visit visit, Going keep_going) {
  const float low_f = float_below(low), high_f = float_above(high);
  std::size_t k = 0;
  for (; k + kScreen <= intervals && keep_going(); k += kScreen) {
    if (!block_may_hold(w, k, low_f, high_f)) continue;
    for (std::size_t j = 0; j < kScreen && keep_going(); ++j) visit(k + j);
  }
  for (; k < intervals && keep_going(); ++k) {
    const float a = w[k], b = w[k + 1];
    if (std::max(a, b) >= low_f && std::min(a, b) <= high_f) visit(k);
  }
}

// The same on the spline copy, evaluated only where needed. Sample k of n and its interval
// to k + 1 hold points k * per ... (k + 1) * per; the peak search looks at the first
// M = (n - 1) per points.
void time_on_lazy_spline(const MeasurementSettings& s, const ChannelJob& job, const LazySpline& sp,
                         std::size_t n, Workspace& ws, ChannelResult& r) {
  const std::size_t per = sp.per;
  const std::size_t M = (n - 1) * per;
  const std::size_t intervals = n - 1;
  const float* w = job.waveform;
  float* tmp = ws.interval.data();

  // Bounds of interval k's points: its samples' range widened by `slack` (at most `widest`).
  auto slack = [&](std::size_t k) {
    const double curvature =
        std::fabs(sp.second[kLanes * k]) + std::fabs(sp.second[kLanes * (k + 1)]);
    return kCurvatureWeight * curvature +
           kRoundingSlack *
               (std::fabs(static_cast<double>(w[k])) + std::fabs(static_cast<double>(w[k + 1])));
  };
  auto high_bound = [&](std::size_t k) { return std::max<double>(w[k], w[k + 1]) + slack(k); };
  auto low_bound = [&](std::size_t k) { return std::min<double>(w[k], w[k + 1]) - slack(k); };

  float sample_max = 0.0f, sample_min = 0.0f;  // samples among the M points
  Float_Extremes(w, intervals, sample_max, sample_min);
  const float all_max = std::max(sample_max, w[n - 1]);
  const float all_min = std::min(sample_min, w[n - 1]);
  const double magnitude =
      std::max(std::fabs(static_cast<double>(all_max)), std::fabs(static_cast<double>(all_min)));
  const double widest =
      kCurvatureWeight * 2.0 * sp.largest_second + kRoundingSlack * 2.0 * magnitude;
  // The extremes of the M points lie between the samples' own and the bounds.
  const double top = all_max + widest;
  const double bottom = all_min - widest;
  const auto always = [] { return true; };

  // A polarity decision that holds over those ranges needs only the chosen extreme
  // exactly; otherwise both are found. The comparisons round monotonically, so a decision
  // on the ranges' ends is the decision on the exact values.
  auto decide = [&](double ref) {
    if ((top - ref) <= (ref - sample_min)) return 1;
    if ((sample_max - ref) > (ref - bottom)) return 0;
    return -1;
  };
  MaxMinResult extremes;
  bool have_max = false, have_min = false;
  // Only intervals whose bound reaches the samples' extreme can hold the exact one; they
  // are evaluated in order, so that the first occurrence wins.
  auto find_extreme = [&](bool maximum) {
    if (maximum ? have_max : have_min) return;
    float best =
        maximum ? -std::numeric_limits<float>::infinity() : std::numeric_limits<float>::infinity();
    std::size_t index = 0;
    const double low = maximum ? sample_max - widest : -std::numeric_limits<double>::infinity();
    const double high = maximum ? std::numeric_limits<double>::infinity() : sample_min + widest;
    auto visit = [&](std::size_t k) {
      if (maximum ? high_bound(k) < sample_max : low_bound(k) > sample_min) return;
      sp.interval(k, tmp);
      for (std::size_t q = 0; q < per; ++q) {
        const float v = tmp[q];
        if (maximum ? v > best : v < best) {
          best = v;
          index = k * per + q;
        }
      }
    };
    for_candidate_intervals(w, intervals, low, high, visit, always);
    if (maximum) {
      extremes.max = best;
      extremes.max_index = static_cast<int>(index);
      have_max = true;
    } else {
      extremes.min = best;
      extremes.min_index = static_cast<int>(index);
      have_min = true;
    }
  };
  auto find_extremes = [&](int polarity) {
    if (polarity != 1) find_extreme(true);
    if (polarity != 0) find_extreme(false);
  };

  // Peak value, polarity by the first point (the first sample).
  const double first = w[0];
  int polarity = decide(first);
  find_extremes(polarity);
  if (polarity < 0) polarity = (extremes.max - first) <= (first - extremes.min) ? 1 : 0;
  int peak = polarity == 1 ? extremes.min_index : extremes.max_index;
  const float provisional = static_cast<float>(polarity == 1 ? extremes.min : extremes.max);
  double P = provisional;
  if (peak > 0 && static_cast<std::size_t>(peak) + 1 < M && s.peak_interp != 0) {
    const auto i = static_cast<std::size_t>(peak);
    P = Refine_PeakValue(peak, sp.at(i - 1), sp.at(i), sp.at(i + 1), provisional);
  }

  CrossingPairs pairs;
  const auto searching = [&] { return !pairs.done(); };
  if (s.cfd) {
    const std::size_t nb = baseline_points(s, M);
    double base = 0.0;
    for (std::size_t k = 0; k * per < nb; ++k) {
      sp.interval(k, tmp);
      for (std::size_t q = 0; q < per && k * per + q < nb; ++q)
        base += static_cast<double>(tmp[q]) / static_cast<int>(nb);
    }
    const float baseline = static_cast<float>(base);
    polarity = decide(base);
    find_extremes(polarity);
    if (polarity < 0) polarity = (extremes.max - base) <= (base - extremes.min) ? 1 : 0;
    peak = polarity == 1 ? extremes.min_index : extremes.max_index;
    const double height = polarity == 1 ? base - extremes.min : extremes.max - base;
    const double thr = polarity == 0 ? s.cfd_ratio : -s.cfd_ratio;
    r.amplitude = static_cast<float>((P - baseline) * kVoltsPerAdcCount);
    if (!(height > 0.0)) return;  // a flat waveform has no constant-fraction crossing

    const double scale = 1.0 / height;
    const float thr_f = static_cast<float>(thr);
    // The normalisation is monotonic: an interval lying wholly below (above) the raw level
    // that maps to the threshold has all its normalised points below (above) it.
    const double level = base + thr * height;
    const double spread = height * (1.0 + std::fabs(thr)) + std::fabs(base);
    const double widest_margin = kNormalisationSlack * (spread + 2.0 * (magnitude + widest));
    const bool rising_leads = polarity == 0;
    pairs.want_rising = rising_leads || job.compute_trailing;
    pairs.want_falling = !rising_leads || job.compute_trailing;
    float g[kMaxSplineFactor + 1];
    auto visit = [&](std::size_t k) {
      const double hi = high_bound(k), lo = low_bound(k);
      const double margin = kNormalisationSlack * (spread + std::fabs(lo) + std::fabs(hi));
      if (hi + margin < level || lo - margin > level) return;
      sp.interval(k, tmp);
      for (std::size_t q = 0; q <= per; ++q)
        g[q] = static_cast<float>((static_cast<double>(tmp[q]) - base) * scale);
      for (std::size_t q = 0; q < per; ++q) {
        const std::size_t j = k * per + q;
        if (j == 0 || j + 1 >= M) continue;
        pairs.examine(j, g[q], g[q + 1], thr_f);
      }
    };
    for_candidate_intervals(w, intervals, level - widest - widest_margin,
                            level + widest + widest_margin, visit, searching);
    set_times(s, pairs, rising_leads, thr, peak, job.compute_trailing, r);
    return;
  }

  // Fixed threshold on the raw spline points, all M + 1 of them.
  const bool rising_leads = job.edge == 0;
  const double thr = job.threshold;
  const float thr_f = job.threshold;
  r.amplitude = static_cast<float>(P * kVoltsPerAdcCount);
  pairs.want_rising = rising_leads || job.compute_trailing;
  pairs.want_falling = !rising_leads || job.compute_trailing;
  auto visit = [&](std::size_t k) {
    if (high_bound(k) < thr_f || low_bound(k) > thr_f) return;
    sp.interval(k, tmp);
    for (std::size_t q = 0; q < per; ++q) {
      const std::size_t j = k * per + q;
      if (j == 0) continue;
      pairs.examine(j, tmp[q], tmp[q + 1], thr_f);
    }
  };
  for_candidate_intervals(w, intervals, thr - widest, thr + widest, visit, searching);
  set_times(s, pairs, rising_leads, thr, peak, job.compute_trailing, r);
}

// Charges of up to kLanes channels; the sums run side by side, each in its own order.
void measure_charges(const MeasurementSettings& s, const ChannelJob* jobs, std::size_t lanes,
                     ChannelResult* results) {
  const int n = std::clamp(s.charge_samples, 0, kMaxSamples);
  const float* w[kLanes];
  float base[kLanes] = {};
  int first[kLanes] = {};
  int end[kLanes] = {};
  float sum[kLanes] = {};
  int common = std::numeric_limits<int>::max();
  for (std::size_t l = 0; l < kLanes; ++l) {
    const ChannelJob& job = jobs[l < lanes ? l : 0];
    w[l] = job.waveform;
    const int nb = std::clamp(job.charge_baseline_samples, 0, n);
    double base_sum = 0.0;
    for (int i = 0; i < nb; ++i) base_sum += w[l][i];
    base[l] = nb > 0 ? static_cast<float>(base_sum / nb) : 0.0f;
    first[l] = std::max(job.charge_start, 0);
    end[l] = static_cast<int>(
        std::min<long long>(static_cast<long long>(first[l]) + job.charge_length, n));
    common = std::min(common, std::max(0, end[l] - first[l]));
  }
  for (int i = 0; i < common; ++i)
    for (std::size_t l = 0; l < kLanes; ++l) sum[l] += w[l][first[l] + i] - base[l];
  for (std::size_t l = 0; l < lanes; ++l) {
    for (int i = first[l] + common; i < end[l]; ++i) sum[l] += w[l][i] - base[l];
    if (!jobs[l].charge) continue;
    results[l].baseline = static_cast<float>(base[l] * kVoltsPerAdcCount);
    results[l].charge = static_cast<float>(sum[l] * (kVoltsPerAdcCount * s.period_ps / 50.0));
  }
}

bool bounded(const float* w, std::size_t n) {
  constexpr std::size_t kBlock = 16;
  unsigned out[kBlock] = {};
  std::size_t i = 0;
  for (; i + kBlock <= n; i += kBlock)
    for (std::size_t j = 0; j < kBlock; ++j)
      out[j] |= static_cast<unsigned>(!(std::fabs(w[i + j]) <= kLargestBoundedSample));
  for (; i < n; ++i) out[0] |= static_cast<unsigned>(!(std::fabs(w[i]) <= kLargestBoundedSample));
  unsigned any = 0;
  for (std::size_t j = 0; j < kBlock; ++j) any |= out[j];
  return any == 0;
}

// Time and amplitude of up to kLanes channels.
void measure_times(const MeasurementSettings& s, const ChannelJob* jobs, std::size_t lanes,
                   ChannelResult* results, Workspace& ws) {
  const std::size_t n = static_cast<std::size_t>(s.samples);
  if (n < 2) return;
  if (s.edge_timing == EdgeTiming::kBandLimited) {
    for (std::size_t l = 0; l < lanes; ++l) Time_BandLimited(s, jobs[l], results[l]);
    return;
  }
  const auto per = static_cast<std::size_t>(s.per);
  if (!s.spline || per == 1) {
    // Without up-sampling (or with one point per sample) the copy is the samples.
    const std::size_t M = s.spline ? n - 1 : n;
    for (std::size_t l = 0; l < lanes; ++l)
      time_on_full(s, jobs[l], std::span<const float>(jobs[l].waveform, n), M, ws, results[l]);
    return;
  }

  ws.set_weights(per);
  const float* w[kLanes];
  for (std::size_t l = 0; l < kLanes; ++l) w[l] = jobs[l < lanes ? l : 0].waveform;
  bool lazy[kLanes] = {};
  for (std::size_t l = 0; l < lanes; ++l) lazy[l] = bounded(w[l], n);
  double differences[kLanes] = {};
  SplineUnitSpacingLanes(w, n, ws.u, ws.second, differences);
  for (std::size_t l = 0; l < lanes; ++l) {
    if (lazy[l]) {
      // The second derivatives are bounded by three times the largest second difference
      // (the system is diagonally dominant); the factor covers their rounding.
      const double largest_second = 3.0 * (1.0 + 1e-6) * differences[l];
      const LazySpline sp{jobs[l].waveform, ws.second.data() + l, largest_second, per, ws};
      time_on_lazy_spline(s, jobs[l], sp, n, ws, results[l]);
      continue;
    }
    // Samples too large for the bounds, or not numbers: the full copy.
    const std::size_t M = (n - 1) * per;
    if (ws.full.size() < M + 1) ws.full.resize(M + 1);
    Perform_SplineOnWaveform(std::span<const float>(jobs[l].waveform, n), s.per, ws.full);
    time_on_full(s, jobs[l], std::span<const float>(ws.full.data(), M + 1), M, ws, results[l]);
  }
}

}  // namespace

MeasurementSettings Snapshot_MeasurementSettings(const RunState& st, const RunConfig& cfg) {
  MeasurementSettings s;
  s.samples = Run_NbOfSamples(cfg);
  s.charge_samples = cfg.sys.RecordLength;
  s.spline = st.meas.PerformSplineInterp.load(std::memory_order_relaxed) == 1;
  s.per = s.spline ? std::clamp(static_cast<int>(cfg.acq.NbOfBinsForSpline), kSplineBins.lo,
                                kSplineBins.hi)
                   : 1;
  s.cfd = cfg.acq.CFDMethod == 1;
  s.cfd_ratio = cfg.acq.CFDRatio;
  s.baseline_bins = cfg.acq.NbOfBinsForBaseline;
  s.peak_interp = st.meas.PeakInterp.load(std::memory_order_relaxed);
  s.edge_timing = EdgeTiming_Of(cfg.acq.TimeMeasSpareOption);
  const float period_ps = Measurement_SamplingPeriodPs(cfg.sam);
  s.period_ps = period_ps;
  s.period_ns = period_ps / 1000.0;
  s.limited = cfg.acq.NoMaxPeakThresholdDistance == 0;
  s.limit = s.per * static_cast<double>(cfg.acq.MaxPeakThresholdDistance) / s.period_ns;
  return s;
}

void Measure_Channels(const MeasurementSettings& settings, std::span<const ChannelJob> jobs,
                      std::span<ChannelResult> results) {
  Workspace& ws = workspace();
  const std::size_t count = std::min(jobs.size(), results.size());
  for (std::size_t first = 0; first < count; first += kLanes) {
    const std::size_t lanes = std::min(kLanes, count - first);
    for (std::size_t l = 0; l < lanes; ++l) results[first + l] = ChannelResult{};
    measure_times(settings, jobs.data() + first, lanes, results.data() + first, ws);
    measure_charges(settings, jobs.data() + first, lanes, results.data() + first);
  }
}

}  // namespace vx
