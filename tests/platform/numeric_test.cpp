#include "platform/numeric.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <vector>

namespace vx {
namespace {

TEST(platform_numeric, MaxMin1DReportsFirstOccurrenceOfEachExtreme) {
  const std::vector<double> v{2.0, 5.0, -1.0, 5.0, -1.0, 0.0};
  const MaxMinResult r = MaxMin1D(v);
  EXPECT_EQ(r.max, 5.0);
  EXPECT_EQ(r.max_index, 1);
  EXPECT_EQ(r.min, -1.0);
  EXPECT_EQ(r.min_index, 2);
  EXPECT_EQ(MaxMin1D(std::span<const double>{}).max_index, -1);
}

TEST(platform_numeric, StdDevDividesByCount) {
  const std::vector<double> v{2, 4, 4, 4, 5, 5, 7, 9};
  const MeanAndSigma r = StdDev(v);
  EXPECT_DOUBLE_EQ(r.mean, 5.0);
  EXPECT_DOUBLE_EQ(r.sigma, 2.0);
  EXPECT_DOUBLE_EQ(Mean(v), 5.0);
  const MeanAndSigma empty = StdDev(std::span<const double>{});
  EXPECT_EQ(empty.mean, 0.0);
  EXPECT_EQ(empty.sigma, 0.0);
}

TEST(platform_numeric, HistogramCountsEqualIntervalsWithTopInLastBin) {
  const std::vector<double> v{0.0, 0.5, 1.0, 2.49, 2.5, 3.99, 4.0, -0.01, 4.01};
  std::array<int, 4> counts{};
  std::array<double, 4> axis{};
  EXPECT_EQ(Histogram(v, 0.0, 4.0, counts, axis), 7);
  EXPECT_EQ(counts, (std::array<int, 4>{2, 1, 2, 2}));
  EXPECT_EQ(axis, (std::array<double, 4>{0.5, 1.5, 2.5, 3.5}));
  // An empty interval is refused, with the counts cleared.
  EXPECT_EQ(Histogram(v, 1.0, 1.0, counts, axis), -1);
  EXPECT_EQ(counts, (std::array<int, 4>{0, 0, 0, 0}));
  EXPECT_EQ(Histogram(v, 2.0, 1.0, counts, axis), -1);
}

TEST(platform_numeric, PolyInterpMatchesThePolynomialThroughThePoints) {
  struct Case {
    std::vector<double> x, y;
    double at, expected;
  };
  const std::vector<Case> cases{
      {{2.0, 6.0}, {0.0, 1.0}, 3.0, 0.25},  // linear: crossing fraction
      {{4.0, 5.0, 6.0}, {1.0, 3.0, 2.0}, 31.0 / 6.0, 3.0 + 1.0 / 24.0},  // parabola vertex
      {{0, 1, 2, 3}, {0, 1, 8, 27}, 1.5, 3.375},                         // cubic reproduced exactly
  };
  for (const auto& c : cases) EXPECT_NEAR(PolyInterp(c.x, c.y, c.at), c.expected, 1e-12);
  const std::vector<double> same{1.0, 1.0}, y{0.0, 1.0};
  EXPECT_TRUE(std::isnan(PolyInterp(same, y, 1.0)));
}

}  // namespace
}  // namespace vx
