#include "platform/spline.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace vx {
namespace {

// A clamped spline given the exact end slopes reproduces any cubic.
TEST(platform_spline, ReproducesACubicWithExactEndSlopes) {
  auto f = [](double x) { return 0.5 * x * x * x - 2.0 * x * x + x - 3.0; };
  auto df = [](double x) { return 1.5 * x * x - 4.0 * x + 1.0; };
  std::vector<double> x, y;
  for (double v : {-2.0, -1.3, 0.0, 0.4, 1.7, 2.0, 3.5}) {
    x.push_back(v);
    y.push_back(f(v));
  }
  std::vector<double> y2(x.size());
  ASSERT_EQ(Spline(x, y, df(x.front()), df(x.back()), y2), 0);
  for (double at = -2.0; at <= 3.5; at += 0.05) EXPECT_NEAR(SpInterp(x, y, y2, at), f(at), 1e-9);
  for (std::size_t i = 0; i < x.size(); ++i) EXPECT_NEAR(y2[i], 3.0 * x[i] - 4.0, 1e-9);
}

TEST(platform_spline, UnitSpacingSolvesTheSameSystem) {
  for (std::size_t n : {2u, 3u, 17u, 1024u, 40u}) {
    std::vector<double> x(n), y(n), general(n), unit(n);
    for (std::size_t i = 0; i < n; ++i) {
      x[i] = static_cast<double>(i);
      y[i] = 500.0 * std::sin(0.37 * i) + 20.0 * std::cos(1.9 * i);
    }
    ASSERT_EQ(Spline(x, y, 3.0, -7.0, general), 0);
    ASSERT_EQ(SplineUnitSpacing(y, 3.0, -7.0, unit), 0);
    for (std::size_t i = 0; i < n; ++i) ASSERT_NEAR(unit[i], general[i], 1e-9) << n << " " << i;
  }
  // Tables it cannot solve: equal abscissas, a single point.
  std::vector<double> y2(3);
  EXPECT_EQ(Spline(std::vector<double>{0, 1, 1}, std::vector<double>{0, 1, 2}, 0, 0, y2), -1);
  std::vector<double> one(1);
  EXPECT_EQ(Spline(std::vector<double>{0}, std::vector<double>{1}, 0, 0, one), -1);
}

}  // namespace
}  // namespace vx
