#include "reference/reference_measurement_pass.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <limits>
#include <new>
#include <vector>

#include "analysis/fft_noise.h"
#include "analysis/measurement_context.h"
#include "analysis/measurement_pass.h"
#include "platform/fft.h"
#include "platform/numeric.h"

namespace vx::reference {

namespace {

constexpr int kMaxSplineFactor = 100;

bool keeps_time_lists(const State& st) {
  return st.acq.EnTimeJitter == 1;
}
bool keeps_charge_lists(const State& st) {
  return st.acq.EnSoftwareChargeHisto == 1;
}

template <typename T>
int first_index_of(std::span<const T> v, T value) {
  const auto it = std::find(v.begin(), v.end(), value);
  return it == v.end() ? 0 : static_cast<int>(it - v.begin());
}

template <typename T>
MaxMinResult max_min(std::span<const T> v) {
  MaxMinResult r;
  const std::size_t n = v.size();
  if (n == 0) return r;
  // Extremes first, in independent lanes the compiler can vectorise, then the first
  // occurrence of each.
  constexpr std::size_t kLanes = 16;
  T hi = v[0];
  T lo = v[0];
  std::size_t i = 0;
  if (n >= 2 * kLanes) {
    std::array<T, kLanes> his, los;
    for (std::size_t j = 0; j < kLanes; ++j) his[j] = los[j] = v[j];
    for (i = kLanes; i + kLanes <= n; i += kLanes) {
      for (std::size_t j = 0; j < kLanes; ++j) {
        const T x = v[i + j];
        his[j] = x > his[j] ? x : his[j];
        los[j] = x < los[j] ? x : los[j];
      }
    }
    for (std::size_t j = 0; j < kLanes; ++j) {
      if (his[j] > hi) hi = his[j];
      if (los[j] < lo) lo = los[j];
    }
  }
  for (; i < n; ++i) {
    if (v[i] > hi) hi = v[i];
    if (v[i] < lo) lo = v[i];
  }
  r.max = hi;
  r.max_index = first_index_of(v, hi);
  r.min = lo;
  r.min_index = first_index_of(v, lo);
  return r;
}

MaxMinResult MaxMin1D(std::span<const float> values) {
  return max_min(values);
}

double PolyInterp(std::span<const double> x, std::span<const double> y, double at) {
  const std::size_t n = x.size();
  if (n == 0 || y.size() != n) return std::numeric_limits<double>::quiet_NaN();
  // Small tables (the usual two or three points) stay on the stack.
  std::array<double, 16> small{};
  std::vector<double> large;
  double* p = small.data();
  if (n > small.size()) {
    large.assign(y.begin(), y.end());
    p = large.data();
  } else {
    for (std::size_t i = 0; i < n; ++i) p[i] = y[i];
  }
  for (std::size_t m = 1; m < n; ++m) {
    for (std::size_t i = 0; i + m < n; ++i) {
      const double dx = x[i] - x[i + m];
      if (dx == 0.0) return std::numeric_limits<double>::quiet_NaN();
      p[i] = ((at - x[i + m]) * p[i] + (x[i] - at) * p[i + 1]) / dx;
    }
  }
  return p[0];
}

// The clamped spline on unit spacing.
int SplineUnitSpacing(std::span<const double> y, double first_slope, double last_slope,
                      std::span<double> second_derivs) {
  const std::size_t n = y.size();
  if (n < 2 || second_derivs.size() != n) return -1;
  // With unit spacing sig = 0.5 everywhere: p[i] = 0.5 * e[i - 1] + 2 and e[i] = -0.5 / p[i],
  // the same sequence whatever n and the data.
  thread_local std::vector<double> e{-0.5}, inv_p{0.0};
  while (e.size() < n) {
    const double p = 0.5 * e.back() + 2.0;
    inv_p.push_back(1.0 / p);
    e.push_back(-0.5 / p);
  }
  thread_local std::vector<double> u;
  if (u.size() < n) u.resize(n);
  double* y2 = second_derivs.data();

  u[0] = 3.0 * ((y[1] - y[0]) - first_slope);
  // u[i] = (3 (y[i+1] - 2 y[i] + y[i-1]) - 0.5 u[i-1]) / p[i], written so that the chain
  // from one point to the next is a single multiply-add (-0.5 / p[i] is e[i]).
  for (std::size_t i = 1; i + 1 < n; ++i)
    u[i] = 3.0 * ((y[i + 1] - y[i]) - (y[i] - y[i - 1])) * inv_p[i] + e[i] * u[i - 1];
  const double un = 3.0 * (last_slope - (y[n - 1] - y[n - 2]));
  y2[n - 1] = (un - 0.5 * u[n - 2]) / (0.5 * e[n - 2] + 1.0);
  for (std::size_t k = n - 1; k-- > 0;) y2[k] = e[k] * y2[k + 1] + u[k];
  return 0;
}

template <typename T>
int parabola(const T x[3], const T y[3], T& c, T& b, T& a) {
  if (x[0] == x[1] || x[1] == x[2] || x[0] == x[2]) return -1;
  const T d0 = (x[0] - x[1]) * (x[0] - x[2]);
  const T d1 = (x[1] - x[2]) * (x[1] - x[0]);
  const T d2 = (x[2] - x[1]) * (x[2] - x[0]);
  a = y[0] / d0 + y[1] / d1 + y[2] / d2;
  b = -(x[1] + x[2]) * y[0] / d0 - (x[0] + x[2]) * y[1] / d1 - (x[0] + x[1]) * y[2] / d2;
  c = x[1] * x[2] * y[0] / d0 + x[0] * x[2] * y[1] / d1 + x[0] * x[1] * y[2] / d2;
  return 1;
}

float Search_MinOrMax_In_Waveform(std::span<const float> w, const MaxMinResult& extremes,
                                  int peakInterp, int& polarity, int& index) {
  const int n = static_cast<int>(w.size());
  if (n == 0) {
    polarity = 0;
    index = 0;
    return 0.0f;
  }
  const double first = w[0];
  polarity = (extremes.max - first) <= (first - extremes.min) ? 1 : 0;
  const int i = polarity == 1 ? extremes.min_index : extremes.max_index;
  index = i;
  const float provisional = static_cast<float>(polarity == 1 ? extremes.min : extremes.max);
  if (i <= 0 || i >= n - 1 || peakInterp == 0) return provisional;

  // Double precision: on a spline copy the indices reach several thousands and single
  // precision coefficients would misplace the vertex by a sizeable part of a point.
  const double x[3] = {i - 1.0, static_cast<double>(i), i + 1.0};
  const double y[3] = {w[i - 1], w[i], w[i + 1]};
  double c = 0.0, b = 0.0, a = 0.0;
  if (parabola<double>(x, y, c, b, a) != 1 || a == 0.0) return provisional;
  const double xv = -b / (2.0 * a);
  const double value = y[0] * (xv - x[1]) * (xv - x[2]) / ((x[0] - x[1]) * (x[0] - x[2])) +
                       y[1] * (xv - x[0]) * (xv - x[2]) / ((x[1] - x[0]) * (x[1] - x[2])) +
                       y[2] * (xv - x[0]) * (xv - x[1]) / ((x[2] - x[0]) * (x[2] - x[1]));
  return static_cast<float>(value);
}

// Points k * per + r, r = 1 ... per - 1, of every interval k; point k * per is sample k.
template <std::size_t kPer>
void evaluate_fixed(const double* y, const double* y2, std::size_t n, const double* wa,
                    const double* wb, const double* wc, const double* wd, std::span<const float> w,
                    float* o) {
  for (std::size_t k = 0; k + 1 < n; ++k) {
    const double y0 = y[k], y1 = y[k + 1], s0 = y2[k], s1 = y2[k + 1];
    float* p = o + k * kPer;
    p[0] = w[k];
    for (std::size_t r = 1; r < kPer; ++r)
      p[r] = static_cast<float>(wa[r] * y0 + wb[r] * y1 + wc[r] * s0 + wd[r] * s1);
  }
}

void evaluate(const double* y, const double* y2, std::size_t n, std::size_t per, const double* wa,
              const double* wb, const double* wc, const double* wd, std::span<const float> w,
              float* o) {
  switch (per) {
    case 2:
      return evaluate_fixed<2>(y, y2, n, wa, wb, wc, wd, w, o);
    case 4:
      return evaluate_fixed<4>(y, y2, n, wa, wb, wc, wd, w, o);
    case 5:
      return evaluate_fixed<5>(y, y2, n, wa, wb, wc, wd, w, o);
    case 8:
      return evaluate_fixed<8>(y, y2, n, wa, wb, wc, wd, w, o);
    case 10:
      return evaluate_fixed<10>(y, y2, n, wa, wb, wc, wd, w, o);
    default:
      break;
  }
  for (std::size_t k = 0; k + 1 < n; ++k) {
    const double y0 = y[k], y1 = y[k + 1], s0 = y2[k], s1 = y2[k + 1];
    float* p = o + k * per;
    p[0] = w[k];
    for (std::size_t r = 1; r < per; ++r)
      p[r] = static_cast<float>(wa[r] * y0 + wb[r] * y1 + wc[r] * s0 + wd[r] * s1);
  }
}

void Perform_SplineOnWaveform(std::span<const float> w, int factor, std::span<float> out) {
  const std::size_t n = w.size();
  if (n == 0 || out.empty()) return;
  const std::size_t per = static_cast<std::size_t>(std::clamp(factor, 1, kMaxSplineFactor));
  const std::size_t last = (n - 1) * per;
  if (n == 1 || out.size() <= last) {
    // Too short to interpolate, or nowhere to put the points: copy what fits.
    out[0] = w[0];
    return;
  }

  thread_local std::vector<double> y, y2;
  if (y.size() < n) {
    y.resize(n);
    y2.resize(n);
  }
  for (std::size_t i = 0; i < n; ++i) y[i] = w[i];
  SplineUnitSpacing(std::span<const double>(y.data(), n), y[1] - y[0], y[n - 1] - y[n - 2],
                    std::span<double>(y2.data(), n));

  // The points sit at fixed fractions of unit intervals, so the spline's interpolation
  // weights are the same in every interval: compute them once per call.
  thread_local std::vector<double> wa, wb, wc, wd;
  if (wa.size() < per) {
    wa.resize(per);
    wb.resize(per);
    wc.resize(per);
    wd.resize(per);
  }
  for (std::size_t r = 0; r < per; ++r) {
    const double t = static_cast<double>(r) / static_cast<double>(per);
    const double u = 1.0 - t;
    wa[r] = u;
    wb[r] = t;
    wc[r] = (u * u * u - u) / 6.0;
    wd[r] = (t * t * t - t) / 6.0;
  }
  evaluate(y.data(), y2.data(), n, per, wa.data(), wb.data(), wc.data(), wd.data(), w, out.data());
  out[last] = w[n - 1];
}

bool Normalize_WaveFormOnMaxOrMin(std::span<const float> w, const MaxMinResult& extremes,
                                  std::span<float> out, int& peakIndex, int& polarity,
                                  int nbBaseline, float& baseline) {
  const std::size_t n = std::min(w.size(), out.size());
  const int nb = std::clamp(nbBaseline, 0, static_cast<int>(n));
  double base = 0.0;
  for (int i = 0; i < nb; ++i) base += static_cast<double>(w[i]) / nb;
  baseline = static_cast<float>(base);

  polarity = (extremes.max - base) <= (base - extremes.min) ? 1 : 0;
  peakIndex = polarity == 1 ? extremes.min_index : extremes.max_index;
  const double height = polarity == 1 ? base - extremes.min : extremes.max - base;
  if (!(height > 0.0)) {
    std::fill(out.begin(), out.begin() + static_cast<std::ptrdiff_t>(n), 0.0f);
    return false;
  }
  const float* __restrict in = w.data();
  float* __restrict o = out.data();
  const double scale = 1.0 / height;
  // Fixed-size blocks let the compiler vectorise; the remainder goes one by one.
  constexpr std::size_t kBlock = 16;
  std::size_t i = 0;
  for (; i + kBlock <= n; i += kBlock)
    for (std::size_t j = 0; j < kBlock; ++j)
      o[i + j] = static_cast<float>((in[i + j] - base) * scale);
  for (; i < n; ++i) o[i] = static_cast<float>((in[i] - base) * scale);
  return true;
}

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

constexpr int kChargeBaselineSamples = 16;
constexpr double kNotMeasured = std::numeric_limits<double>::quiet_NaN();

// The list type follows the production lists; what is stored where does not change.
template <typename List>
void store(State& st, List& list, std::size_t k, double value) {
  try {
    if (list.size() < k) list.resize(k, kNotMeasured);
    if (list.size() == k) list.push_back(value);
  } catch (const std::bad_alloc&) {
    st.meas.ListGrowthFailed = true;
  }
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

float Compute_Charge(State& st, std::span<const float> w, int nbBaselineSamples, int nbSamples,
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

  baseline = static_cast<float>(base * kVoltsPerCount);
  const double period_ps = Measurement_SamplingPeriodPs(st);
  return static_cast<float>(sum * (kVoltsPerCount * period_ps / 50.0));
}

void Compute_FFT(State& st, Spectra& spectra) {
  MeasurementData& m = st.meas;
  const int n = Run_NbOfSamples(st);
  // RecordLength / 2 is an integer halving; a record too short for it falls back to the
  // event's own length so that the division stays defined.
  int half = st.sys.RecordLength / 2;
  if (half <= 0) half = n / 2;
  if (n < 2 || half <= 0) return;
  const std::span<double> re(spectra.real.data(), n), im(spectra.imaginary.data(), n);
  for (int b = 0; b < Run_NbOfBlocks(st); ++b) {
    for (int c = 0; c < kChannelsPerBlock; ++c) {
      if (!Is_ChannelEnabled(st, b, c)) continue;
      const auto& samples = st.event.FullyOrderedValues[b][c];
      std::copy_n(samples.begin(), n, re.begin());
      if (ReFFT(m.FftPlans, re, im) != 0) continue;
      auto& out = spectra.db[b][c];
      for (int k = 0; k < n; ++k) {
        const double magnitude = std::sqrt(re[k] * re[k] + im[k] * im[k]);
        spectra.magnitude[k] = magnitude;
        out[k] = magnitude > 0.0 ? std::max(static_cast<float>(20.0 * std::log10(magnitude / half)),
                                            kSpectrumFloorDb)
                                 : kSpectrumFloorDb;
      }
    }
  }
}

void Compute_EventMeasurements(State& st) {
  if (!Measurements_Needed(st)) return;
  MeasurementData& m = st.meas;
  EventResults& r = st.results;
  const int samples = st.sys.RecordLength;
  const bool time_lists = keeps_time_lists(st);
  const bool charge_lists = keeps_charge_lists(st);
  const auto entry = static_cast<std::size_t>(m.ListEntries);

  for (int b = 0; b < Run_NbOfBlocks(st); ++b) {
    const int nb_baseline = st.sam[b].ChargeNoBaseline == 1 ? 0 : kChargeBaselineSamples;
    for (int c = 0; c < kChannelsPerBlock; ++c) {
      if (!Is_ChannelEnabled(st, b, c)) continue;
      float lead = -1.0f, trail = -1.0f, amplitude = 0.0f;
      Compute_TimeAndAmplitude(st, b, c, lead, trail, amplitude, 1);
      r.RiseTimeInstant[b][c] = lead;
      r.FallTimeInstant[b][c] = trail;
      r.AmplitudeValue[b][c] = amplitude;

      float baseline = 0.0f;
      const auto& w = st.event.FullyOrderedValues[b][c];
      r.ComputedCharge[b][c] =
          Compute_Charge(st, std::span<const float>(w.data(), w.size()), nb_baseline, samples,
                         st.sam[b].ChargeStartIndex[c], st.sam[b].ChargeLength[c], baseline);
      r.MeasuredBaseline[b][c] = baseline;
      m.AmplitudeSum[b][c] += amplitude;
      m.ChargeSum[b][c] += r.ComputedCharge[b][c];
      ++m.MeasuredEvents[b][c];

      if (time_lists) {
        store(st, m.RiseTimeInstantForHisto[b][c], entry, lead);
        store(st, m.PeakAmplitudeForHisto[b][c], entry, amplitude);
      }
      if (charge_lists) store(st, m.ComputedChargeForHisto[b][c], entry, r.ComputedCharge[b][c]);
    }
  }
  if (time_lists || charge_lists) ++m.ListEntries;
}

}  // namespace vx::reference
