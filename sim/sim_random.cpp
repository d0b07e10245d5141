#include "sim/sim_random.h"

#include <numbers>

namespace vx::sim {
namespace {

double inverse_normal_cdf(double p) {
  // Start from a logistic approximation and polish with Newton steps on erfc.
  double x = std::log(p / (1.0 - p)) / 1.702;
  for (int i = 0; i < 60; ++i) {
    const double cdf = 0.5 * std::erfc(-x / std::sqrt(2.0));
    const double pdf = std::exp(-0.5 * x * x) / std::sqrt(2.0 * std::numbers::pi);
    const double step = (cdf - p) / pdf;
    x -= step;
    if (std::fabs(step) < 1e-13) break;
  }
  return x;
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
