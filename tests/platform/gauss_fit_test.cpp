#include "platform/gauss_fit.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace vx {
namespace {

TEST(platform_gauss_fit, RecoversAKnownGaussian) {
  struct Case {
    double amplitude, centre, sigma, x0, step;
  };
  for (const Case& c : {Case{120.0, 3.2, 0.045, 3.0, 0.001}, Case{7.0, -40.0, 12.0, -100.0, 1.0}}) {
    std::vector<double> x, y;
    for (int i = 0; i < 400; ++i) {
      const double xi = c.x0 + i * c.step;
      const double z = (xi - c.centre) / c.sigma;
      // A small deterministic ripple so that the data are not exactly the model.
      x.push_back(xi);
      y.push_back(c.amplitude * std::exp(-0.5 * z * z) + 0.01 * c.amplitude * std::sin(i * 1.7));
    }
    std::vector<double> fitted(x.size());
    const GaussFitResult r = GaussFit(x, y, fitted);
    ASSERT_EQ(r.status, 0);
    EXPECT_NEAR(r.amplitude, c.amplitude, 0.01 * c.amplitude);
    EXPECT_NEAR(r.centre, c.centre, 0.01 * c.sigma);
    EXPECT_NEAR(r.sigma, c.sigma, 0.01 * c.sigma);
    EXPECT_LT(r.residue, 1e-3 * c.amplitude * c.amplitude);
    const std::size_t peak = static_cast<std::size_t>((c.centre - c.x0) / c.step);
    EXPECT_NEAR(fitted[peak], c.amplitude, 0.02 * c.amplitude);
  }
  // No signal, or too few points: no result.
  const std::vector<double> x{0, 1, 2, 3}, zeros{0, 0, 0, 0};
  std::vector<double> fitted(4, 5.0);
  const GaussFitResult r = GaussFit(x, zeros, fitted);
  EXPECT_LT(r.status, 0);
  EXPECT_EQ(r.sigma, 0.0);
  EXPECT_EQ(fitted, std::vector<double>(4, 0.0));
  EXPECT_LT(GaussFit(std::vector<double>{0, 1}, std::vector<double>{1, 2}, {}).status, 0);
}

}  // namespace
}  // namespace vx
