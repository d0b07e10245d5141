#include "platform/gauss_fit.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
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

// 74 000 entries in 50 bins: Poisson counts drawn around a Gaussian fit it to a chi-square
// of about one per degree of freedom; a sharper-peaked shape with wider tails (a Laplace
// distribution of the same RMS) fits far worse, although its sigma looks plausible.
TEST(platform_gauss_fit, ChiSquarePerDegreeTellsAGaussianFromAnotherShape) {
  struct Case {
    bool gaussian;
    double low, high;  // the chi-square per degree of freedom expected
  };
  for (const Case& c : {Case{true, 0.6, 1.5}, Case{false, 5.0, 1e9}}) {
    std::mt19937 random(11);
    std::normal_distribution<double> normal(0.0, 10.0);
    std::exponential_distribution<double> exponential(std::sqrt(2.0) / 10.0);
    std::vector<double> x(50), counts(50, 0.0), fitted(50);
    for (int i = 0; i < 50; ++i) x[i] = -49.0 + 2.0 * i;
    for (int n = 0; n < 74000; ++n) {
      const double v =
          c.gaussian ? normal(random) : (n % 2 == 0 ? 1.0 : -1.0) * exponential(random);
      const int bin = static_cast<int>(std::floor((v + 50.0) / 2.0));
      if (bin >= 0 && bin < 50) ++counts[bin];
    }
    const GaussFitResult r = GaussFit(x, counts, fitted);
    ASSERT_EQ(r.status, 0);
    const FitQuality q = Histogram_FitQuality(counts, fitted);
    EXPECT_EQ(q.ndf, 47);
    EXPECT_GT(q.per_ndf(), c.low) << c.gaussian;
    EXPECT_LT(q.per_ndf(), c.high) << c.gaussian;
    if (c.gaussian) {
      EXPECT_NEAR(r.sigma, 10.0, 0.2);
    }
  }
  // An exact curve: nothing left; an empty bin counts with a variance of one.
  const std::vector<double> counts{4, 9, 0}, same{4, 9, 0}, off{4, 9, 2};
  EXPECT_EQ(Histogram_FitQuality(counts, same).chi2, 0.0);
  EXPECT_EQ(Histogram_FitQuality(counts, off).chi2, 4.0);
}

}  // namespace
}  // namespace vx
