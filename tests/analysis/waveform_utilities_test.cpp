#include "analysis/waveform_utilities.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "platform/spline.h"

namespace vx {
namespace {

TEST(analysis_waveform_utilities, ParabolaThroughOneThreeTwo) {
  const float x[3] = {4.0f, 5.0f, 6.0f}, y[3] = {1.0f, 3.0f, 2.0f};
  float c = 0, b = 0, a = 0;
  ASSERT_EQ(Compute_ParabolaCoefficients(x, y, c, b, a), 1);
  EXPECT_FLOAT_EQ(a, -1.5f);
  EXPECT_FLOAT_EQ(b, 15.5f);
  EXPECT_FLOAT_EQ(c, -37.0f);

  const float same[3] = {4.0f, 4.0f, 6.0f};
  float untouched = 9.0f;
  EXPECT_EQ(Compute_ParabolaCoefficients(same, y, untouched, untouched, untouched), -1);
  EXPECT_EQ(untouched, 9.0f);
}

TEST(analysis_waveform_utilities, ExtremeSearchTable) {
  struct Case {
    const char* what;
    std::vector<float> w;
    int peak_interp;
    float value;
    int polarity, index;
  };
  const std::vector<Case> cases{
      {"1,3,2 refined to the vertex", {0, 0, 0, 0, 1, 3, 2, 0, 0}, 1, 3.0f + 1.0f / 24.0f, 0, 5},
      {"1,3,2 unrefined", {0, 0, 0, 0, 1, 3, 2, 0, 0}, 0, 3.0f, 0, 5},
      {"equal neighbours keep the sample", {0, 0, 2, 5, 2, 0}, 1, 5.0f, 0, 3},
      {"negative pulse refined", {0, 0, -1, -3, -2, 0}, 1, -3.0f - 1.0f / 24.0f, 1, 3},
      {"extreme on the last sample", {0, 1, 2, 4}, 1, 4.0f, 0, 3},
      {"minimum on the last sample", {0, -1, -2, -4}, 1, -4.0f, 1, 3},
      {"flat: the first sample", {3, 3, 3}, 1, 3.0f, 1, 0},
      {"first sample half-way is negative", {5, 10, 0, 5}, 0, 0.0f, 1, 2},
  };
  for (const auto& c : cases) {
    int polarity = -1, index = -1;
    const float v = Search_MinOrMax_In_Waveform(c.w, c.peak_interp, polarity, index);
    EXPECT_NEAR(v, c.value, 1e-5) << c.what;
    EXPECT_EQ(polarity, c.polarity) << c.what;
    EXPECT_EQ(index, c.index) << c.what;
  }

  // On a spline copy the peak index reaches thousands; the vertex must still be exact.
  std::vector<float> w(5116, 0.0f);
  const double vertex = 5000.3, top = 1500.0;
  for (int i = 4995; i <= 5005; ++i)
    w[i] = static_cast<float>(top - 0.25 * (i - vertex) * (i - vertex));
  int polarity = 0, index = 0;
  EXPECT_NEAR(Search_MinOrMax_In_Waveform(w, 1, polarity, index), top, 1e-3);
  EXPECT_EQ(index, 5000);
}

TEST(analysis_waveform_utilities, SplineOfAFullRecordMatchesTheSpline) {
  std::vector<float> w(1024);
  for (int i = 0; i < 1024; ++i)
    w[i] = static_cast<float>(100.0 * std::sin(i * 0.05) +
                              30.0 * std::exp(-(i - 400.0) * (i - 400.0) / 20.0));
  std::vector<float> out(5200, -12345.0f);
  Perform_SplineOnWaveform(w, 5, out);
  for (int k = 0; k < 1024; ++k) ASSERT_EQ(out[5 * k], w[k]) << k;
  EXPECT_EQ(out[5116], -12345.0f);  // exactly (1024 - 1) * 5 + 1 = 5116 points

  // Same values as evaluating the clamped spline with finite-difference end slopes.
  std::vector<double> x(1024), y(1024), y2(1024);
  for (int i = 0; i < 1024; ++i) x[i] = i, y[i] = w[i];
  ASSERT_EQ(Spline(x, y, y[1] - y[0], y[1023] - y[1022], y2), 0);
  for (int j = 0; j < 5116; j += 7) EXPECT_NEAR(out[j], SpInterp(x, y, y2, j / 5.0), 1e-3) << j;
}

TEST(analysis_waveform_utilities, NormalisationTable) {
  struct Case {
    std::vector<float> w;
    int nb_baseline;
    bool ok;
    int polarity, peak;
    float baseline;
    std::vector<float> out;
  };
  const std::vector<Case> cases{
      {{10, 10, 30, 20, 10}, 2, true, 0, 2, 10.0f, {0, 0, 1, 0.5f, 0}},
      {{10, 10, -10, 0, 10}, 2, true, 1, 2, 10.0f, {0, 0, -1, -0.5f, 0}},
      {{4, 4, 4, 4}, 2, false, 1, 0, 4.0f, {0, 0, 0, 0}},  // flat: no height
      {{1, 2, 4, 2}, 0, true, 0, 2, 0.0f, {0.25f, 0.5f, 1, 0.5f}},
      {{0, 2, -2, 0}, 4, true, 1, 2, 0.0f, {0, 1, -1, 0}},  // tie goes negative
  };
  for (const auto& c : cases) {
    std::vector<float> out(c.w.size(), 99.0f);
    int peak = -1, polarity = -1;
    float baseline = -1.0f;
    EXPECT_EQ(Normalize_WaveFormOnMaxOrMin(c.w, out, peak, polarity, c.nb_baseline, baseline),
              c.ok);
    EXPECT_EQ(polarity, c.polarity);
    EXPECT_EQ(peak, c.peak);
    EXPECT_FLOAT_EQ(baseline, c.baseline);
    EXPECT_EQ(out, c.out);
  }
}

TEST(analysis_waveform_utilities, TriggerLocationTable) {
  const std::vector<float> w{0, 0, 5, 10, 5, 0, 0, 0};
  struct Case {
    bool rising;
    int start, end, reference;
    int found, offset;
  };
  const std::vector<Case> cases{
      {true, 0, 6, 3, 1, -2},  // rising through 5 at samples 1-2: position 1
      {false, 0, 6, 0, 1, 3},  // falling through 5 at samples 3-4
      {true, 3, 6, 0, 0, 6},   // nothing rising after the peak: offset from the end index
      {true, 0, 0, 4, 0, -4},  // end index 0 never scans
      {true, 0, 50, 0, 1, 1},  // a window past the record is cut
  };
  for (const auto& c : cases) {
    int found = -1, offset = -1;
    Search_TriggerLocationInWaveForm(c.rising, w, 5.0f, c.start, c.end, c.reference, found, offset);
    EXPECT_EQ(found, c.found) << c.rising << " " << c.start << " " << c.end;
    EXPECT_EQ(offset, c.offset) << c.rising << " " << c.start << " " << c.end;
  }
}

}  // namespace
}  // namespace vx
