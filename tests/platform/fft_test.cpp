#include "platform/fft.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <thread>
#include <vector>

namespace vx {
namespace {

TEST(platform_fft, PureToneLandsOnItsBinWithConjugateMirror) {
  FftPlanCache plans;
  for (int n : {1024, 1000, 7}) {
    const int bin = n == 7 ? 2 : 37;
    const double amplitude = 3.0, phase = 0.6;
    std::vector<double> re(n), im(n);
    for (int j = 0; j < n; ++j)
      re[j] = 0.25 + amplitude * std::cos(2.0 * std::numbers::pi * bin * j / n + phase);
    ASSERT_EQ(ReFFT(plans, re, im), 0);
    EXPECT_NEAR(re[0], 0.25 * n, 1e-9 * n);
    for (int k = 1; k < n; ++k) {
      const double mag = std::hypot(re[k], im[k]);
      const bool tone = k == bin || k == n - bin;
      EXPECT_NEAR(mag, tone ? amplitude * n / 2.0 : 0.0, 1e-8 * n) << "n=" << n << " k=" << k;
    }
    EXPECT_NEAR(std::atan2(im[bin], re[bin]), phase, 1e-9);
    EXPECT_NEAR(im[n - bin], -im[bin], 1e-9 * n);
  }
}

// The bins of a real sequence alone give the very magnitudes of the full transform.
TEST(platform_fft, MagnitudesOfTheExistingBinsAreThoseOfTheFullTransform) {
  FftPlanCache plans;
  for (int n : {1024, 1000, 7, 1}) {
    std::vector<float> x(n);
    for (int j = 0; j < n; ++j) x[j] = static_cast<float>(std::sin(0.37 * j * j) * 100.0 + j);
    std::vector<double> re(x.begin(), x.end()), im(n);
    ASSERT_EQ(ReFFT(plans, re, im), 0);
    std::vector<double> magnitude(n / 2 + 1, -1.0);
    ASSERT_EQ(ReFFT_Magnitudes(plans, x, magnitude), 0);
    for (int k = 0; k <= n / 2; ++k)
      EXPECT_EQ(magnitude[k], std::sqrt(re[k] * re[k] + im[k] * im[k])) << n << " " << k;
    std::vector<double> too_short(n / 2);
    EXPECT_EQ(ReFFT_Magnitudes(plans, x, too_short), -1);
  }
}

TEST(platform_fft, ConcurrentCallsShareOnePlanCache) {
  FftPlanCache plans;
  auto work = [&plans](int n, double* result) {
    std::vector<double> re(n, 1.0), im(n);
    for (int rep = 0; rep < 50; ++rep) {
      std::fill(re.begin(), re.end(), 1.0);
      ReFFT(plans, re, im);
    }
    *result = re[0];
  };
  double a = 0, b = 0, c = 0;
  std::thread t1(work, 512, &a), t2(work, 256, &b), t3(work, 512, &c);
  t1.join();
  t2.join();
  t3.join();
  EXPECT_DOUBLE_EQ(a, 512.0);
  EXPECT_DOUBLE_EQ(b, 256.0);
  EXPECT_DOUBLE_EQ(c, 512.0);
  std::vector<double> re(4), im(3);
  EXPECT_EQ(ReFFT(plans, re, im), -1);
}

}  // namespace
}  // namespace vx
