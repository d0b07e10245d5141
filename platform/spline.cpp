#include "platform/spline.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace vx {

// GSL's interpolation offers only natural and periodic cubic splines, so the clamped one
// is solved here: a tridiagonal system in the second derivatives.
int Spline(std::span<const double> x, std::span<const double> y, double first_slope,
           double last_slope, std::span<double> second_derivs) {
  const std::size_t n = x.size();
  if (n < 2 || y.size() != n || second_derivs.size() != n) return -1;
  for (std::size_t i = 1; i < n; ++i)
    if (!(x[i] > x[i - 1])) return -1;

  thread_local std::vector<double> u;
  if (u.size() < n) u.resize(n);
  double* y2 = second_derivs.data();

  y2[0] = -0.5;
  u[0] = (3.0 / (x[1] - x[0])) * ((y[1] - y[0]) / (x[1] - x[0]) - first_slope);
  for (std::size_t i = 1; i + 1 < n; ++i) {
    const double sig = (x[i] - x[i - 1]) / (x[i + 1] - x[i - 1]);
    const double p = sig * y2[i - 1] + 2.0;
    y2[i] = (sig - 1.0) / p;
    const double slope_diff =
        (y[i + 1] - y[i]) / (x[i + 1] - x[i]) - (y[i] - y[i - 1]) / (x[i] - x[i - 1]);
    u[i] = (6.0 * slope_diff / (x[i + 1] - x[i - 1]) - sig * u[i - 1]) / p;
  }
  const double h = x[n - 1] - x[n - 2];
  const double qn = 0.5;
  const double un = (3.0 / h) * (last_slope - (y[n - 1] - y[n - 2]) / h);
  y2[n - 1] = (un - qn * u[n - 2]) / (qn * y2[n - 2] + 1.0);
  for (std::size_t k = n - 1; k-- > 0;) y2[k] = y2[k] * y2[k + 1] + u[k];
  return 0;
}

namespace {

// With unit spacing sig = 0.5 everywhere: p[i] = 0.5 * e[i - 1] + 2 and e[i] = -0.5 / p[i],
// the same sequence whatever n and the data, so it is kept from call to call.
struct UnitSpacingTable {
  std::vector<double> e{-0.5}, inv_p{0.0};
};

const UnitSpacingTable& unit_spacing_table(std::size_t n) {
  thread_local UnitSpacingTable t;
  while (t.e.size() < n) {
    const double p = 0.5 * t.e.back() + 2.0;
    t.inv_p.push_back(1.0 / p);
    t.e.push_back(-0.5 / p);
  }
  return t;
}

}  // namespace

int SplineUnitSpacing(std::span<const double> y, double first_slope, double last_slope,
                      std::span<double> second_derivs) {
  const std::size_t n = y.size();
  if (n < 2 || second_derivs.size() != n) return -1;
  const UnitSpacingTable& t = unit_spacing_table(n);
  const double* e = t.e.data();
  const double* inv_p = t.inv_p.data();
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

namespace {

using Doubles2 = double __attribute__((vector_size(16)));

// Samples i of lanes 2 v and 2 v + 1, in double precision.
Doubles2 pair_at(const float* const* w, std::size_t v, std::size_t i) {
  return Doubles2{static_cast<double>(w[2 * v][i]), static_cast<double>(w[2 * v + 1][i])};
}

Doubles2 magnitude(Doubles2 x) {
  return x < 0.0 ? -x : x;
}

}  // namespace

int SplineUnitSpacingLanes(const float* const* waveforms, std::size_t n, std::span<double> u,
                           std::span<double> second_derivs, double* largest_difference) {
  constexpr std::size_t L = kSplineLanes;
  constexpr std::size_t V = L / 2;  // pairs of lanes, one vector each
  if (n < 2 || u.size() < L * n || second_derivs.size() < L * n) return -1;
  const UnitSpacingTable& t = unit_spacing_table(n);
  const double* e = t.e.data();
  const double* inv_p = t.inv_p.data();
  double* U = u.data();
  double* S = second_derivs.data();
  auto load = [](const double* p) {
    Doubles2 x;
    std::memcpy(&x, p, sizeof x);
    return x;
  };
  auto store = [](double* p, Doubles2 x) { std::memcpy(p, &x, sizeof x); };

  // Each lane's arithmetic is that of SplineUnitSpacing with the slopes of the end pairs,
  // element by element: the vectors only run two lanes side by side, and the lanes' chains
  // overlap in time.
  Doubles2 before[V], here[V], prev[V], largest[V];
  for (std::size_t v = 0; v < V; ++v) {
    before[v] = pair_at(waveforms, v, 0);
    here[v] = pair_at(waveforms, v, 1);
    const Doubles2 first_slope = here[v] - before[v];
    prev[v] = 3.0 * ((here[v] - before[v]) - first_slope);
    largest[v] = Doubles2{0.0, 0.0};
    store(U + 2 * v, prev[v]);
  }
  for (std::size_t i = 1; i + 1 < n; ++i) {
    const double ei = e[i], pi = inv_p[i];
    for (std::size_t v = 0; v < V; ++v) {
      const Doubles2 after = pair_at(waveforms, v, i + 1);
      const Doubles2 difference = (after - here[v]) - (here[v] - before[v]);
      const Doubles2 m = magnitude(difference);
      largest[v] = m > largest[v] ? m : largest[v];
      prev[v] = 3.0 * difference * pi + ei * prev[v];
      store(U + L * i + 2 * v, prev[v]);
      before[v] = here[v];
      here[v] = after;
    }
  }
  Doubles2 next[V];
  for (std::size_t v = 0; v < V; ++v) {
    // here: samples n - 1, before: samples n - 2.
    const Doubles2 last_slope = here[v] - before[v];
    const Doubles2 un = 3.0 * (last_slope - (here[v] - before[v]));
    next[v] = (un - 0.5 * load(U + L * (n - 2) + 2 * v)) / (0.5 * e[n - 2] + 1.0);
    store(S + L * (n - 1) + 2 * v, next[v]);
  }
  for (std::size_t k = n - 1; k-- > 0;) {
    const double ek = e[k];
    for (std::size_t v = 0; v < V; ++v) {
      next[v] = ek * next[v] + load(U + L * k + 2 * v);
      store(S + L * k + 2 * v, next[v]);
    }
  }
  if (largest_difference != nullptr)
    for (std::size_t v = 0; v < V; ++v) {
      largest_difference[2 * v] = largest[v][0];
      largest_difference[2 * v + 1] = largest[v][1];
    }
  return 0;
}

double SpInterp(std::span<const double> x, std::span<const double> y,
                std::span<const double> second_derivs, double at) {
  const std::size_t n = x.size();
  if (n == 0) return 0.0;
  if (n == 1) return y[0];
  // Interval [klo, klo + 1] holding `at`, clamped to the end intervals.
  auto it = std::upper_bound(x.begin(), x.end(), at);
  std::size_t khi = static_cast<std::size_t>(it - x.begin());
  khi = std::clamp<std::size_t>(khi, 1, n - 1);
  const std::size_t klo = khi - 1;
  const double h = x[khi] - x[klo];
  const double a = (x[khi] - at) / h;
  const double b = (at - x[klo]) / h;
  return a * y[klo] + b * y[khi] +
         ((a * a * a - a) * second_derivs[klo] + (b * b * b - b) * second_derivs[khi]) * (h * h) /
             6.0;
}

}  // namespace vx
