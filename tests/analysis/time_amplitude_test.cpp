#include "analysis/time_amplitude.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <tuple>
#include <vector>

#include "measurement_setup.h"

namespace vx {
namespace {

using test::kHalfWidth;
using test::kPeriodNs;

struct Measured {
  float lead = 0, trail = 0, amplitude = 0;
};

Measured measure(State& st, int block = 0, int channel = 0) {
  Measured m;
  Compute_TimeAndAmplitude(st, st, block, channel, m.lead, m.trail, m.amplitude, 1);
  return m;
}

// A Gaussian pulse of known height and centre: the amplitude and the crossings of both edges
// at half its height (constant fraction) or at the command line's fixed threshold in volts
// (x 1638 counts, lead before trail whatever the sign), more tightly with the spline, and
// more tightly still on the band-limited reconstruction (spline 2 below).
TEST(analysis_time_amplitude, CrossingsOfAKnownPulse) {
  struct Case {
    double height;
    int spline;    // 2: the band-limited edge timing
    double volts;  // the fixed threshold, 0 for the constant fraction
    double time_tol_ns, amp_tol_v;
  };
  const std::vector<Case> cases{
      {1000.0, 1, 0.0, 0.002, 0.0005},   {-1000.0, 1, 0.0, 0.002, 0.0005},
      {1000.0, 0, 0.0, 0.010, 0.005},    {-800.0, 0, 0.0, 0.010, 0.005},
      {1000.0, 1, 0.3, 0.002, 0.0005},   {-1000.0, 1, -0.3, 0.002, 0.0005},
      {1000.0, 2, 0.0, 0.001, 0.0005},   {-800.0, 2, 0.0, 0.001, 0.0005},
      {-1000.0, 2, -0.3, 0.001, 0.0005},
  };
  for (const auto& c : cases) {
    test::MeasurementCore core;
    State& st = core.st;
    st.meas.PerformSplineInterp = c.spline == 1 ? 1 : 0;
    st.acq.TimeMeasSpareOption = c.spline == 2 ? 1 : 0;
    if (c.volts != 0.0) Set_FixedThresholdTiming(st, c.volts);
    const double centre = 300.37, sigma = 3.0, base = c.volts != 0.0 ? 0.0 : 50.0;
    test::fill_gaussian(st.event.FullyOrderedValues[2][1], base, c.height, centre, sigma);
    const Measured m = measure(st, 2, 1);
    const double level = c.volts != 0.0 ? std::abs(c.volts) * 1638.0 : std::abs(c.height) / 2;
    const double half = sigma * std::sqrt(2.0 * std::log(std::abs(c.height) / level));
    SCOPED_TRACE(testing::Message()
                 << "height " << c.height << " spline " << c.spline << " volts " << c.volts);
    EXPECT_NEAR(m.amplitude, c.height * 0.00061, c.amp_tol_v);
    EXPECT_NEAR(m.lead, kPeriodNs * (centre - half), c.time_tol_ns);
    EXPECT_NEAR(m.trail, kPeriodNs * (centre + half), c.time_tol_ns);
  }
}

// A baseline of more bins than the record has is the mean of the whole record, even for
// the largest count a setup can hold.
TEST(analysis_time_amplitude, BaselineOfMoreBinsThanTheRecord) {
  for (const int bins : {2000, 2147483647}) {
    test::MeasurementCore core;
    State& st = core.st;
    st.meas.PerformSplineInterp = 1;
    st.acq.NbOfBinsForBaseline = bins;
    auto& w = st.event.FullyOrderedValues[0][0];
    test::fill_gaussian(w, 50.0, 1000.0, 300.37, 3.0);
    double mean = 0.0;
    for (const float v : w) mean += v / static_cast<double>(w.size());
    EXPECT_NEAR(measure(st).amplitude, (1050.0 - mean) * 0.00061, 0.001) << bins;
  }
}

TEST(analysis_time_amplitude, FixedThresholdUsesRawCountsAndTheChosenEdge) {
  test::MeasurementCore core;
  State& st = core.st;
  st.acq.CFDMethod = 0;
  st.meas.PerformSplineInterp = 0;
  st.meas.PeakInterp = 0;
  st.acq.PulseThreshold[0][0] = 300.0f;
  auto& w = st.event.FullyOrderedValues[0][0];
  w.fill(100.0f);
  w[500] = 200.0f, w[501] = 400.0f, w[502] = 900.0f, w[503] = 600.0f, w[504] = 200.0f;
  // Edge 1, a falling edge on a positive pulse: the first falling crossing leads.
  for (const auto& [edge, lead, trail] : {std::tuple{0, 500.5, 503.75}, {1, 503.75, 500.5}}) {
    st.acq.PulseEdge[0][0] = edge;
    const Measured m = measure(st);
    EXPECT_NEAR(m.amplitude, 900.0 * 0.00061, 1e-6) << edge;  // no baseline subtraction
    EXPECT_NEAR(m.lead, kPeriodNs * lead, 1e-5) << edge;
    EXPECT_NEAR(m.trail, kPeriodNs * trail, 1e-5) << edge;
  }
}

// Crossing positions are built exactly on the raw samples: peak at p = 600 and a step
// to the threshold at x = p - 16.3 or p - 15.7; the limit is 5 ns / 0.3125 ns = 16.
TEST(analysis_time_amplitude, DistanceBetweenCrossingAndPeak) {
  struct Case {
    double before_peak;
    int no_max;
    bool accepted;
  };
  const std::vector<Case> cases{
      {16.3, 0, false}, {15.7, 0, true}, {16.3, 1, true}, {40.2, 1, true}};
  for (const auto& c : cases) {
    test::MeasurementCore core;
    State& st = core.st;
    st.acq.CFDMethod = 0;
    st.meas.PerformSplineInterp = 0;
    st.acq.PulseThreshold[0][0] = 50.0f;
    st.acq.NoMaxPeakThresholdDistance = c.no_max;
    const int p = 600;
    const double x = p - c.before_peak;
    const int i = static_cast<int>(std::floor(x));
    const double f = x - i;
    auto& w = st.event.FullyOrderedValues[0][0];
    w.fill(0.0f);
    w[i + 1] = static_cast<float>(50.0 / f);
    for (int k = i + 2; k < p; ++k) w[k] = 500.0f;
    w[p] = 1000.0f;
    const Measured m = measure(st);
    SCOPED_TRACE(c.before_peak);
    if (c.accepted)
      EXPECT_NEAR(m.lead, kPeriodNs * x, 1e-4);
    else
      EXPECT_EQ(m.lead, -1.0f);
    EXPECT_NEAR(m.trail, kPeriodNs * (p + 0.95), 1e-4);  // right after the peak: always valid
  }
}

// With the spline the limit counts spline points: B * 5 ns / T.
TEST(analysis_time_amplitude, DistanceLimitScalesWithTheSplineFactor) {
  const double sigma = 4.0;  // the 50 % crossing lies 4.71 samples (23.5 points) before the peak
  for (const auto& [limit_ns, accepted] : {std::pair{1.6f, true}, std::pair{1.4f, false}}) {
    test::MeasurementCore core;
    State& st = core.st;
    st.acq.NoMaxPeakThresholdDistance = 0;
    st.acq.MaxPeakThresholdDistance = limit_ns;
    test::fill_gaussian(st.event.FullyOrderedValues[0][0], 0.0, 1000.0, 400.0, sigma);
    const Measured m = measure(st);
    if (accepted)
      EXPECT_NEAR(m.lead, kPeriodNs * (400.0 - kHalfWidth * sigma), 0.002);
    else
      EXPECT_EQ(m.lead, -1.0f);
  }
}

// The band-limited reconstruction reads past neither end of the record and takes no time
// from samples that are not numbers (a flat record: FlatWaveformHasNoCrossing).
TEST(analysis_time_amplitude, BandLimitedTimingStaysWithinTheRecordAndItsNumbers) {
  struct Case {
    const char* what;
    double centre;  // of a 1000-count Gaussian pulse of sigma 3, on a baseline of 50
    int nan_at;     // -1: none
  };
  const Case cases[] = {{"pulse at the start", 1.0, -1},
                        {"pulse at the end", 1022.5, -1},
                        {"not a number at the peak", 500.0, 500},
                        {"not a number first", 500.0, 0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    test::MeasurementCore core;
    State& st = core.st;
    st.acq.TimeMeasSpareOption = 1;
    auto& w = st.event.FullyOrderedValues[0][0];
    test::fill_gaussian(w, 50.0, 1000.0, c.centre, 3.0);
    if (c.nan_at >= 0) w[c.nan_at] = std::numeric_limits<float>::quiet_NaN();
    const Measured m = measure(st);
    for (const float t : {m.lead, m.trail}) {
      if (t != -1.0f) {
        EXPECT_GE(t, 0.0f);
        EXPECT_LE(t, kPeriodNs * 1023);
      }
    }
  }
}

// Without the spline, with it, and on the band-limited reconstruction (timing 2).
TEST(analysis_time_amplitude, FlatWaveformHasNoCrossing) {
  struct Case {
    int cfd;
    float ratio;
    double amplitude;
  };
  for (const auto& c : {Case{1, 0.5f, 0.0}, Case{1, 0.0f, 0.0}, Case{0, 0.5f, 200.0 * 0.00061}}) {
    for (int timing : {0, 1, 2}) {
      SCOPED_TRACE(timing);
      test::MeasurementCore core;
      State& st = core.st;
      st.acq.CFDMethod = c.cfd;
      st.acq.CFDRatio = c.ratio;
      st.acq.PulseThreshold[0][0] = 150.0f;
      st.meas.PerformSplineInterp = timing == 0 ? 0 : 1;
      st.acq.TimeMeasSpareOption = timing == 2 ? 1 : 0;
      st.event.FullyOrderedValues[0][0].fill(200.0f);
      const Measured m = measure(st);
      EXPECT_EQ(m.lead, -1.0f);
      EXPECT_EQ(m.trail, -1.0f);
      EXPECT_FLOAT_EQ(m.amplitude, static_cast<float>(c.amplitude));
    }
  }
}

// The first sample sits above the pulse's baseline: the first-sample rule calls the pulse
// negative (amplitude from the minimum), the baseline rule positive (crossings on the
// rising and falling edges of the real pulse). The pair (0, 1), which crosses too, is
// never examined.
TEST(analysis_time_amplitude, AmplitudeAndCrossingsMayUseDifferentPolarities) {
  test::MeasurementCore core;
  State& st = core.st;
  st.meas.PerformSplineInterp = 0;
  st.meas.PeakInterp = 0;
  auto& w = st.event.FullyOrderedValues[0][0];
  w.fill(0.0f);
  w[0] = 40.0f;
  w[200] = 20.0f, w[201] = 50.0f, w[202] = 20.0f;
  const Measured m = measure(st);
  const double baseline = 40.0 / 32.0;
  EXPECT_NEAR(m.amplitude, (0.0 - baseline) * 0.00061, 1e-7);
  const double thr = 0.5 * (50.0 - baseline) + baseline;
  EXPECT_NEAR(m.lead, kPeriodNs * (200.0 + (thr - 20.0) / 30.0), 1e-4);
  EXPECT_NEAR(m.trail, kPeriodNs * (201.0 + (50.0 - thr) / 30.0), 1e-4);
}

}  // namespace
}  // namespace vx
