#include "platform/numeric.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <vector>

namespace vx {

namespace {

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

template <typename T>
MeanAndSigma std_dev(std::span<const T> v) {
  MeanAndSigma r;
  if (v.empty()) return r;
  double sum = 0.0;
  for (T x : v) sum += x;
  r.mean = sum / static_cast<double>(v.size());
  double sq = 0.0;
  for (T x : v) {
    const double d = x - r.mean;
    sq += d * d;
  }
  r.sigma = std::sqrt(sq / static_cast<double>(v.size()));
  return r;
}

}  // namespace

MaxMinResult MaxMin1D(std::span<const double> values) {
  return max_min(values);
}
MaxMinResult MaxMin1D(std::span<const float> values) {
  return max_min(values);
}

double Mean(std::span<const double> values) {
  return std_dev(values).mean;
}

MeanAndSigma StdDev(std::span<const double> values) {
  return std_dev(values);
}
MeanAndSigma StdDev(std::span<const float> values) {
  return std_dev(values);
}

void RunningStats::add(double v) {
  ++count;
  if (count == 1) {
    mean = min = max = v;
    m2 = 0.0;
    return;
  }
  const double d = v - mean;
  mean += d / static_cast<double>(count);
  m2 += d * (v - mean);
  if (v < min) min = v;
  if (v > max) max = v;
}

double RunningStats::sigma() const {
  return count > 0 ? std::sqrt(m2 / static_cast<double>(count)) : 0.0;
}

HistogramBins::HistogramBins(double base, double top, int bins) : base_(base), top_(top) {
  const double width = bins > 0 ? (top - base) / static_cast<double>(bins) : 0.0;
  if (bins > 0 && width > 0.0 && std::isfinite(width)) {
    width_ = width;
    bins_ = bins;
  }
}

int Histogram(std::span<const double> values, double base, double top, std::span<int> counts,
              std::span<double> axis) {
  const std::size_t bins = std::min(counts.size(), axis.size());
  for (std::size_t i = 0; i < bins; ++i) counts[i] = 0;
  const HistogramBins cut(base, top, static_cast<int>(bins));
  if (!cut.usable()) {
    for (std::size_t i = 0; i < bins; ++i) axis[i] = base;
    return -1;
  }
  for (std::size_t i = 0; i < bins; ++i) axis[i] = cut.centre(static_cast<int>(i));
  int counted = 0;
  for (double v : values) {
    const int k = cut.bin_of(v);
    if (k < 0) continue;
    ++counts[static_cast<std::size_t>(k)];
    ++counted;
  }
  return counted;
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

}  // namespace vx
