#include "analysis/time_amplitude.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <span>

#include "analysis/measurement_context.h"
#include "analysis/waveform_utilities.h"
#include "platform/numeric.h"

namespace vx {

namespace {

constexpr double kNoCrossing = -1.0;

int spline_factor(const State& st) {
  return std::clamp(static_cast<int>(st.acq.NbOfBinsForSpline), 1, kMaxSplineFactor);
}

void ensure_size(std::vector<float>& buffer, std::size_t size) {
  if (buffer.size() < size) buffer.resize(size);
}

// Indices i of the first pairs (v[i], v[i + 1]), i >= 1, that cross thr upward and
// downward; -1 when there is none. The pair (0, 1) is never examined.
struct CrossingPairs {
  std::ptrdiff_t rising = -1;
  std::ptrdiff_t falling = -1;
};

CrossingPairs first_crossing_pairs(std::span<const float> v, float thr, bool want_rising,
                                   bool want_falling) {
  CrossingPairs found;
  const std::size_t n = v.size();
  auto done = [&] {
    return (!want_rising || found.rising >= 0) && (!want_falling || found.falling >= 0);
  };
  auto examine = [&](std::size_t i) {
    const float a = v[i], b = v[i + 1];
    if (found.rising < 0 && a <= thr && b >= thr) found.rising = static_cast<std::ptrdiff_t>(i);
    if (found.falling < 0 && a >= thr && b <= thr) found.falling = static_cast<std::ptrdiff_t>(i);
  };
  // Blocks of pairs are first screened for any pair bracketing the threshold, in a form
  // the compiler vectorises; only blocks that hold one are examined pair by pair.
  constexpr std::size_t kBlock = 16;
  std::size_t i = 1;
  for (; i + kBlock < n && !done(); i += kBlock) {
    unsigned any = 0;  // branch-free so that the compiler vectorises the scan
    for (std::size_t j = 0; j < kBlock; ++j) {
      const float a = v[i + j], b = v[i + j + 1];
      any |= static_cast<unsigned>(std::min(a, b) <= thr) &
             static_cast<unsigned>(std::max(a, b) >= thr);
    }
    if (any)
      for (std::size_t j = 0; j < kBlock; ++j) examine(i + j);
  }
  for (; i + 1 < n && !done(); ++i) examine(i);
  return found;
}

// Crossing position i + f of the pair at i, or kNoCrossing when the distance limit is on
// and the crossing lies too far from the peak index.
double crossing_position(std::span<const float> v, std::ptrdiff_t i, double thr, int peak,
                         bool limited, double limit) {
  if (i < 0) return kNoCrossing;
  const double a = v[i], b = v[i + 1];
  // Both points on the threshold: the crossing is taken at the first.
  double f = 0.0;
  if (a != b) {
    const double xs[2] = {a, b};
    const double ys[2] = {0.0, 1.0};
    f = PolyInterp(xs, ys, thr);
  }
  const double x = static_cast<double>(i) + f;
  if (limited && !(std::fabs(std::trunc(x - peak)) < limit)) return kNoCrossing;
  return x;
}

}  // namespace

void Compute_TimeAndAmplitude(State& st, int block, int channel, float& leadingTime,
                              float& trailingTime, float& amplitude, int computeTrailing) {
  leadingTime = -1.0f;
  trailingTime = -1.0f;
  amplitude = 0.0f;
  if (block < 0 || block >= kMaxSamBlocks || channel < 0 || channel >= kChannelsPerBlock) return;
  const int n = Run_NbOfSamples(st);
  if (n < 2) return;

  MeasurementData& m = st.meas;
  const bool spline = m.PerformSplineInterp.load(std::memory_order_relaxed) == 1;
  const int per = spline ? spline_factor(st) : 1;
  const std::span<const float> raw(st.event.FullyOrderedValues[block][channel].data(),
                                   static_cast<std::size_t>(n));

  // The spline copy has (n - 1) * per + 1 points; measurements look at the first M of
  // them, the fixed-threshold search at all of them.
  std::span<const float> full = raw;
  std::size_t M = raw.size();
  if (spline) {
    M = static_cast<std::size_t>(n - 1) * per;
    ensure_size(m.SplineValues, M + 1);
    Perform_SplineOnWaveform(raw, per, m.SplineValues);
    full = std::span<const float>(m.SplineValues.data(), M + 1);
  }
  const std::span<const float> working = full.first(M);

  const MaxMinResult extremes = MaxMin1D(working);
  int polarity = 0;
  int peak = 0;
  const double P = Search_MinOrMax_In_Waveform(
      working, extremes, m.PeakInterp.load(std::memory_order_relaxed), polarity, peak);

  double thr = 0.0;
  std::span<const float> searched;
  if (st.acq.CFDMethod == 1) {
    std::span<float> out(m.NormalizedValues.data(), m.NormalizedValues.size());
    if (spline) {
      ensure_size(m.NormalizedSplineValues, M);
      out = std::span<float>(m.NormalizedSplineValues.data(), M);
    }
    out = out.first(M);
    float baseline = 0.0f;
    // Any accepted bin count, however large, means at most the whole record.
    const auto bins = std::int64_t{st.acq.NbOfBinsForBaseline} * per;
    const int nb_baseline = static_cast<int>(std::clamp<std::int64_t>(bins, 0, std::int64_t(M)));
    const bool normalised =
        Normalize_WaveFormOnMaxOrMin(working, extremes, out, peak, polarity, nb_baseline, baseline);
    const double ratio = st.acq.CFDRatio;
    thr = polarity == 0 ? ratio : -ratio;
    amplitude = static_cast<float>((P - baseline) * kVoltsPerCount);
    if (!normalised) return;  // a flat waveform has no constant-fraction crossing
    searched = out;
  } else {
    thr = st.acq.PulseThreshold[block][channel];
    polarity = st.acq.PulseEdge[block][channel] == 0 ? 0 : 1;
    amplitude = static_cast<float>(P * kVoltsPerCount);
    searched = full;
  }

  const double period_ns = Measurement_SamplingPeriodPs(st) / 1000.0;
  const bool limited = st.acq.NoMaxPeakThresholdDistance == 0;
  const double limit = per * static_cast<double>(st.acq.MaxPeakThresholdDistance) / period_ns;

  const bool rising_leads = polarity == 0;
  const CrossingPairs pairs =
      first_crossing_pairs(searched, static_cast<float>(thr), rising_leads || computeTrailing == 1,
                           !rising_leads || computeTrailing == 1);
  const double lead = crossing_position(searched, rising_leads ? pairs.rising : pairs.falling, thr,
                                        peak, limited, limit);
  if (lead != kNoCrossing) leadingTime = static_cast<float>(period_ns * lead / per);
  if (computeTrailing == 1) {
    const double trail = crossing_position(searched, rising_leads ? pairs.falling : pairs.rising,
                                           thr, peak, limited, limit);
    if (trail != kNoCrossing) trailingTime = static_cast<float>(period_ns * trail / per);
  }
}

void Set_FixedThresholdTiming(State& st, double volts) {
  constexpr double kCountsPerVolt = 1638.0;
  st.acq.CFDMethod = 0;
  for (int b = 0; b < kMaxSamBlocks; ++b) {
    for (int c = 0; c < kChannelsPerBlock; ++c) {
      st.acq.PulseThreshold[b][c] = static_cast<float>(volts * kCountsPerVolt);
      st.acq.PulseEdge[b][c] = volts < 0.0 ? 1 : 0;
    }
  }
}

void Init_MeasurementResults(State& st) {
  EventResults& r = st.results;
  for (int b = 0; b < kMaxSamBlocks; ++b) {
    for (int c = 0; c < kChannelsPerBlock; ++c) {
      r.RiseTimeInstant[b][c] = -1.0f;
      r.FallTimeInstant[b][c] = -1.0f;
      r.AmplitudeValue[b][c] = 0.0f;
      r.MeasuredBaseline[b][c] = 0.0f;
      r.ComputedCharge[b][c] = 0.0f;
    }
  }
}

void Reserve_MeasurementBuffers(State& st) {
  const std::size_t points = static_cast<std::size_t>(kMaxSamples - 1) * spline_factor(st) + 1;
  ensure_size(st.meas.SplineValues, points);
  ensure_size(st.meas.NormalizedSplineValues, points);
}

}  // namespace vx
