#include "analysis/band_limited_timing.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <numbers>

#include "analysis/waveform_utilities.h"
#include "app/dac_conversions.h"

namespace vx {

namespace {

// Points of the reconstruction per sample interval: the crossing is interpolated linearly
// between them, which moves it by well under a femtosecond on a nanosecond edge.
constexpr int kPhases = 64;
constexpr int kHalfWidth = 8;  // samples each side of the interpolated point
constexpr int kTaps = 2 * kHalfWidth;
// At phase 0 the filter passes 0.1 cycle per sample within 0.03 % and 0.15 at 0.99, half
// at the cut-off, 0.25, and less than -68 dB from 0.4; it keeps 0.67 of white noise's RMS.
constexpr double kCutoff = 0.25;  // cycles per sample: half the Nyquist frequency
constexpr double kKaiserBeta = 6.0;
constexpr double kPeakInterpolation = 1e-12;  // below this curvature the vertex is not refined

// The filter's taps for each phase: point k + p / kPhases takes samples k - 7 ... k + 8.
// Each phase's taps sum to 1, so that a level (the baseline, the threshold) is kept exactly.
struct Taps {
  std::array<std::array<double, kTaps>, kPhases> h{};
  Taps() {
    const double i0_beta = std::cyl_bessel_i(0.0, kKaiserBeta);
    for (int p = 0; p < kPhases; ++p) {
      double sum = 0.0;
      for (int m = 0; m < kTaps; ++m) {
        const double d = static_cast<double>(p) / kPhases - (m - (kHalfWidth - 1));
        const double x = 2.0 * kCutoff * d;
        const double sinc =
            x == 0.0 ? 1.0 : std::sin(std::numbers::pi * x) / (std::numbers::pi * x);
        const double q = d / kHalfWidth;
        const double window =
            std::fabs(q) < 1.0
                ? std::cyl_bessel_i(0.0, kKaiserBeta * std::sqrt(1.0 - q * q)) / i0_beta
                : 0.0;
        h[p][m] = 2.0 * kCutoff * sinc * window;
        sum += h[p][m];
      }
      for (double& v : h[p]) v /= sum;
    }
  }
};

const Taps& taps() {
  static const Taps t;
  return t;
}

// The reconstruction of one waveform, addressed by absolute phase a = k * kPhases + p
// (beyond the record's ends the end samples are taken as held).
struct Reconstruction {
  const float* w;
  int n;
  const Taps& t;

  double at(std::int64_t a) const {
    const auto k = static_cast<int>(a / kPhases);
    const auto p = static_cast<int>(a % kPhases);
    const std::array<double, kTaps>& h = t.h[static_cast<std::size_t>(p)];
    const int first = k - (kHalfWidth - 1);
    double sum = 0.0;
    if (first >= 0 && first + kTaps <= n) {
      const float* x = w + first;
      for (int m = 0; m < kTaps; ++m) sum += h[static_cast<std::size_t>(m)] * x[m];
    } else {
      for (int m = 0; m < kTaps; ++m)
        sum += h[static_cast<std::size_t>(m)] * w[std::clamp(first + m, 0, n - 1)];
    }
    return sum;
  }
};

// The crossing of `level` nearest to the absolute phase `from` (where the reconstruction
// lies beyond the level, on the side `side` gives: +1 above, -1 below), searching
// backward (step -1) or forward (+1), as a position in samples; NaN when the record ends
// first. The crossing is bracketed on whole samples, then between neighbouring phases,
// then interpolated linearly.
double crossing(const Reconstruction& f, std::int64_t from, int step, double level, int side) {
  const auto beyond = [&](double v) { return side * (v - level) > 0.0; };
  const std::int64_t last = static_cast<std::int64_t>(f.n - 1) * kPhases;
  std::int64_t inside = from;  // a phase known to lie beyond the level
  std::int64_t a = step < 0 ? (from % kPhases == 0 ? from - kPhases : from - from % kPhases)
                            : from - from % kPhases + kPhases;
  double v = 0.0;
  for (;; a += step * kPhases) {
    if (a < 0 || a > last) return std::numeric_limits<double>::quiet_NaN();
    v = f.at(a);
    if (!beyond(v)) break;
    inside = a;
  }
  std::int64_t outside = a;
  double v_out = v;
  double v_in = f.at(inside);
  while (std::llabs(inside - outside) > 1) {
    const std::int64_t mid = (inside + outside) / 2;
    const double vm = f.at(mid);
    if (beyond(vm)) {
      inside = mid;
      v_in = vm;
    } else {
      outside = mid;
      v_out = vm;
    }
  }
  // Linear between the two phases; the outside one may sit exactly on the level.
  const double fraction = v_in == v_out ? 0.0 : (level - v_out) / (v_in - v_out);
  return (static_cast<double>(outside) + fraction * static_cast<double>(inside - outside)) /
         kPhases;
}

}  // namespace

void Time_BandLimited(const MeasurementSettings& s, const ChannelJob& job, ChannelResult& r) {
  const int n = s.samples;
  if (n < 2) return;
  const float* w = job.waveform;
  const Reconstruction f{w, n, taps()};

  // Baseline and polarity as the constant fraction takes them; a fixed threshold's edge
  // gives the polarity itself.
  double base = 0.0;
  const int nb = static_cast<int>(std::clamp<std::int64_t>(s.baseline_bins, 0, n));
  for (int i = 0; i < nb; ++i) base += w[i];
  if (nb > 0) base /= nb;
  float largest = 0.0f, smallest = 0.0f;
  Float_Extremes(w, static_cast<std::size_t>(n), largest, smallest);
  if (largest == smallest) {
    // A flat record: no edge, and the amplitude the standard timing gives it.
    r.amplitude = static_cast<float>((s.cfd ? largest - base : largest) * kVoltsPerAdcCount);
    return;
  }
  const bool negative = s.cfd ? (largest - base) <= (base - smallest) : job.edge != 0;
  const int side = negative ? -1 : 1;
  const float wanted = negative ? smallest : largest;
  const int extreme = static_cast<int>(std::find(w, w + n, wanted) - w);
  if (extreme == n) return;  // not a number among the samples

  // The reconstruction's extreme within a sample of the extreme sample: on every quarter
  // of a sample, then on the phase nearest the vertex of the parabola through the best
  // quarter and its neighbours, walking on from there while the values still rise.
  const std::int64_t centre = static_cast<std::int64_t>(extreme) * kPhases;
  const std::int64_t lowest = 0, highest = static_cast<std::int64_t>(n - 1) * kPhases;
  const auto value = [&](std::int64_t a) { return side * f.at(std::clamp(a, lowest, highest)); };
  constexpr int kCoarse = kPhases / 4;
  std::int64_t best = centre;
  double best_v = value(centre);
  for (std::int64_t a = centre - kPhases; a <= centre + kPhases; a += kCoarse) {
    if (a == centre || a < lowest || a > highest) continue;
    const double v = value(a);
    if (v > best_v) best_v = v, best = a;
  }
  const double before = value(best - kCoarse), after = value(best + kCoarse);
  const double bend = before - 2.0 * best_v + after;
  if (bend < 0.0) {
    const double offset = 0.5 * (before - after) / bend * kCoarse;
    const std::int64_t guess =
        std::clamp(best + static_cast<std::int64_t>(std::lround(offset)),
                   std::max(lowest, best - kCoarse), std::min(highest, best + kCoarse));
    const double v = value(guess);
    if (v > best_v) best_v = v, best = guess;
  }
  for (const int step : {-1, 1}) {
    for (std::int64_t a = best + step; a >= lowest && a <= highest; a += step) {
      const double v = value(a);
      if (!(v > best_v)) break;
      best_v = v, best = a;
    }
  }
  // Between phases: the vertex of the parabola through the best and its neighbours.
  double peak = best_v;
  if (best > lowest && best < highest) {
    const double before = side * f.at(best - 1), after = side * f.at(best + 1);
    const double curvature = before - 2.0 * best_v + after;
    if (curvature < -kPeakInterpolation) {
      const double x = 0.5 * (before - after) / curvature;
      peak = best_v - 0.25 * (before - after) * x;
    }
  }
  const double P = side * peak;
  if (!std::isfinite(P) || !std::isfinite(base)) return;

  double level = 0.0;
  if (s.cfd) {
    r.amplitude = static_cast<float>((P - base) * kVoltsPerAdcCount);
    const double height = side * (P - base);
    if (!(height > 0.0)) return;  // a flat waveform has no constant-fraction crossing
    level = base + s.cfd_ratio * (P - base);
  } else {
    r.amplitude = static_cast<float>(P * kVoltsPerAdcCount);
    level = job.threshold;
    if (!(side * (P - level) > 0.0)) return;  // the threshold is never passed
  }

  // Distances to the peak are limited in samples as the standard method limits them in
  // points of its searched waveform.
  const double peak_x = static_cast<double>(best) / kPhases;
  const double limit = s.limit / s.per;
  const auto timed = [&](double x, float& out) {
    if (std::isnan(x)) return;
    if (s.limited && !(std::fabs(x - peak_x) < limit)) return;
    out = static_cast<float>(s.period_ns * x);
  };
  timed(crossing(f, best, -1, level, side), r.leading);
  if (job.compute_trailing) timed(crossing(f, best, 1, level, side), r.trailing);
}

}  // namespace vx
