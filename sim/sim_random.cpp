#include "sim/sim_random.h"

#include <numbers>

namespace vx::sim {
namespace {

// Acklam's rational approximation (relative error about 1e-9), polished by one Newton step.
double inverse_normal_cdf(double p) {
  static constexpr double a[] = {-3.969683028665376e+01, 2.209460984245205e+02,
                                 -2.759285104469687e+02, 1.383577518672690e+02,
                                 -3.066479806614716e+01, 2.506628277459239e+00};
  static constexpr double b[] = {-5.447609879822406e+01, 1.615858368580409e+02,
                                 -1.556989798598866e+02, 6.680131188771972e+01,
                                 -1.328068155288572e+01};
  static constexpr double c[] = {-7.784894002430293e-03, -3.223964580411365e-01,
                                 -2.400758277161838e+00, -2.549732539343734e+00,
                                 4.374664141464968e+00,  2.938163982698783e+00};
  static constexpr double d[] = {7.784695709041462e-03, 3.224671290700398e-01,
                                 2.445134137142996e+00, 3.754408661907416e+00};
  constexpr double kLow = 0.02425;
  double x;
  if (p < kLow || p > 1.0 - kLow) {
    const double q = std::sqrt(-2.0 * std::log(p < kLow ? p : 1.0 - p));
    x = (((((c[0] * q + c[1]) * q + c[2]) * q + c[3]) * q + c[4]) * q + c[5]) /
        ((((d[0] * q + d[1]) * q + d[2]) * q + d[3]) * q + 1.0);
    if (p > 1.0 - kLow) x = -x;
  } else {
    const double q = p - 0.5;
    const double r = q * q;
    x = (((((a[0] * r + a[1]) * r + a[2]) * r + a[3]) * r + a[4]) * r + a[5]) * q /
        (((((b[0] * r + b[1]) * r + b[2]) * r + b[3]) * r + b[4]) * r + 1.0);
  }
  const double cdf = 0.5 * std::erfc(-x / std::numbers::sqrt2);
  const double pdf = std::exp(-0.5 * x * x) / std::sqrt(2.0 * std::numbers::pi);
  return x - (cdf - p) / pdf;
}

std::array<float, 65536> build_table() {
  std::array<double, 65536> q{};
  double sum_sq = 0.0;
  for (std::size_t i = 0; i < q.size(); ++i) {
    q[i] = inverse_normal_cdf((static_cast<double>(i) + 0.5) / 65536.0);
    sum_sq += q[i] * q[i];
  }
  // The table's tails are cut near 4.3 sigma; rescale so its variance is exactly 1.
  const double scale = 1.0 / std::sqrt(sum_sq / 65536.0);
  std::array<float, 65536> out{};
  for (std::size_t i = 0; i < q.size(); ++i) out[i] = static_cast<float>(q[i] * scale);
  return out;
}

}  // namespace

const std::array<float, 65536>& gaussian_table() {
  static const std::array<float, 65536> table = build_table();
  return table;
}

}  // namespace vx::sim
