#include "platform/spline.h"

#include <algorithm>
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
