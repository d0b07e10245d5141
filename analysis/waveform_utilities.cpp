#include "analysis/waveform_utilities.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

#include "analysis/floats4.h"
#include "platform/spline.h"

namespace vx {

void Float_Extremes(const float* w, std::size_t n, float& largest, float& smallest) {
  largest = smallest = w[0];
  std::size_t i = 0;
  if (n >= 8) {
    Floats4 his = Load_Floats4(w), los = his;
    for (i = 4; i + 4 <= n; i += 4) {
      const Floats4 x = Load_Floats4(w + i);
      his = x > his ? x : his;
      los = x < los ? x : los;
    }
    for (int j = 0; j < 4; ++j) {
      largest = std::max(largest, his[j]);
      smallest = std::min(smallest, los[j]);
    }
  }
  for (; i < n; ++i) {
    largest = std::max(largest, w[i]);
    smallest = std::min(smallest, w[i]);
  }
}

float Search_MinOrMax_In_Waveform(std::span<const float> waveform, int peakInterp, int& polarity,
                                  int& index) {
  return Search_MinOrMax_In_Waveform(waveform, MaxMin1D(waveform), peakInterp, polarity, index);
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

  return Refine_PeakValue(i, w[i - 1], w[i], w[i + 1], provisional);
}

float Refine_PeakValue(int i, float before, float at, float after, float provisional) {
  // Double precision: on a spline copy the indices reach several thousands and single
  // precision coefficients would misplace the vertex by a sizeable part of a point.
  const double x[3] = {i - 1.0, static_cast<double>(i), i + 1.0};
  const double y[3] = {before, at, after};
  double c = 0.0, b = 0.0, a = 0.0;
  if (Compute_ParabolaCoefficients(x, y, c, b, a) != 1 || a == 0.0) return provisional;
  const double xv = -b / (2.0 * a);
  const double value = y[0] * (xv - x[1]) * (xv - x[2]) / ((x[0] - x[1]) * (x[0] - x[2])) +
                       y[1] * (xv - x[0]) * (xv - x[2]) / ((x[1] - x[0]) * (x[1] - x[2])) +
                       y[2] * (xv - x[0]) * (xv - x[1]) / ((x[2] - x[0]) * (x[2] - x[1]));
  return static_cast<float>(value);
}

namespace {

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

}  // namespace

int Compute_ParabolaCoefficients(const float x[3], const float y[3], float& c, float& b, float& a) {
  return parabola(x, y, c, b, a);
}

int Compute_ParabolaCoefficients(const double x[3], const double y[3], double& c, double& b,
                                 double& a) {
  return parabola(x, y, c, b, a);
}

namespace {

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

}  // namespace

void Spline_IntervalWeights(std::size_t per, double* wa, double* wb, double* wc, double* wd) {
  for (std::size_t r = 0; r < per; ++r) {
    const double t = static_cast<double>(r) / static_cast<double>(per);
    const double u = 1.0 - t;
    wa[r] = u;
    wb[r] = t;
    wc[r] = (u * u * u - u) / 6.0;
    wd[r] = (t * t * t - t) / 6.0;
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
  Spline_IntervalWeights(per, wa.data(), wb.data(), wc.data(), wd.data());
  evaluate(y.data(), y2.data(), n, per, wa.data(), wb.data(), wc.data(), wd.data(), w, out.data());
  out[last] = w[n - 1];
}

bool Normalize_WaveFormOnMaxOrMin(std::span<const float> waveform, std::span<float> out,
                                  int& peakIndex, int& polarity, int nbBaseline, float& baseline) {
  return Normalize_WaveFormOnMaxOrMin(waveform, MaxMin1D(waveform), out, peakIndex, polarity,
                                      nbBaseline, baseline);
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

void Search_TriggerLocationInWaveForm(bool rising, std::span<const float> w, float threshold,
                                      int start, int end, int reference, int& found, int& offset) {
  found = 0;
  int position = end;
  if (end != 0) {
    // The scan needs w[i + 1]; a window reaching the last sample stops one short of it.
    const int last = std::min(end, static_cast<int>(w.size()) - 2);
    for (int i = std::max(start, 0); i <= last; ++i) {
      const bool hit = rising ? (w[i] <= threshold && w[i + 1] >= threshold)
                              : (w[i] >= threshold && w[i + 1] <= threshold);
      if (hit) {
        position = i;
        found = 1;
        break;
      }
    }
  }
  offset = position - reference;
}

void Build_PhysicallyOrderedValues(std::span<const float> time_ordered, std::uint32_t first_cell,
                                   std::span<float> out) {
  constexpr std::uint32_t kCells = kMaxSamples;
  std::fill(out.begin(), out.end(), std::numeric_limits<float>::quiet_NaN());
  const std::uint32_t start = first_cell - first_cell % 16;
  const std::size_t n = std::min<std::size_t>(time_ordered.size(), kCells);
  for (std::size_t k = 0; k < n; ++k) {
    const std::size_t p = (k + start) % kCells;
    if (p < out.size()) out[p] = time_ordered[k];
  }
}

}  // namespace vx
