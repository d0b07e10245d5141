#include "analysis/time_amplitude.h"

#include <algorithm>
#include <cmath>
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

// Position i + f of the first crossing of thr between adjacent points, the pair (0, 1)
// excluded, or kNoCrossing. When the distance limit is on, a first crossing too far from
// the peak index ends the search without a result.
double find_crossing(std::span<const float> v, double thr, bool rising, int peak, bool limited,
                     double limit) {
  const std::size_t n = v.size();
  for (std::size_t i = 1; i + 1 < n; ++i) {
    const double a = v[i], b = v[i + 1];
    const bool hit = rising ? (a <= thr && b >= thr) : (a >= thr && b <= thr);
    if (!hit) continue;
    // Both points on the threshold: the crossing is taken at the first.
    double f = 0.0;
    if (a != b) {
      const double xs[2] = {a, b};
      const double ys[2] = {0.0, 1.0};
      f = PolyInterp(xs, ys, thr);
    }
    const double x = static_cast<double>(i) + f;
    if (limited) {
      const double d = std::fabs(std::trunc(x - peak));
      if (!(d < limit)) return kNoCrossing;
    }
    return x;
  }
  return kNoCrossing;
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
    const int nb_baseline = static_cast<int>(st.acq.NbOfBinsForBaseline) * per;
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

  const double lead = find_crossing(searched, thr, polarity == 0, peak, limited, limit);
  if (lead != kNoCrossing) leadingTime = static_cast<float>(period_ns * lead / per);
  if (computeTrailing == 1) {
    const double trail = find_crossing(searched, thr, polarity != 0, peak, limited, limit);
    if (trail != kNoCrossing) trailingTime = static_cast<float>(period_ns * trail / per);
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
