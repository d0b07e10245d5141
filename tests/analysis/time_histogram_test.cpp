#include "analysis/time_histogram.h"
#include "support/packed_value.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numeric>
#include <vector>

#include "measurement_setup.h"
#include "support/run_lists.h"

namespace vx {
namespace {

// A run whose lists hold the given leading times of channels 0 and 1 (block 0) and
// amplitudes of 0.1 V unless given.
struct analysis_time_histogram : testing::Test {
  test::MeasurementCore core;
  State& st = core.st;
  void SetUp() override { st.acq.EnTimeJitter = 1; }
  void run(const std::vector<double>& ta, const std::vector<double>& tb,
           std::vector<double> amp_a = {}, std::vector<double> amp_b = {}) {
    auto& m = st.meas;
    if (amp_a.empty()) amp_a.assign(ta.size(), 0.1);
    if (amp_b.empty()) amp_b.assign(tb.size(), 0.1);
    test::set_list(m.RiseTimeInstantForHisto[0][0], ta);
    test::set_list(m.RiseTimeInstantForHisto[0][1], tb);
    test::set_list(m.PeakAmplitudeForHisto[0][0], amp_a);
    test::set_list(m.PeakAmplitudeForHisto[0][1], amp_b);
    Compute_TimeHisto(st, st, st, Freeze_RunConfig(st));
  }
  void manual(double min, double max, int bins) {
    st.gui.TimeHistoOption1 = 0;
    st.gui.TimeHistoOption2 = 0;
    st.gui.TimeHistoMin = min;
    st.gui.TimeHistoMax = max;
    st.gui.TimeHistoNbOfBins = bins;
  }
  int entries() const {
    const auto& d = st.meas.ThresholdCrossingDistri;
    return std::accumulate(d.begin(), d.begin() + st.gui.TimeHistoNbOfBins, 0);
  }
};

TEST_F(analysis_time_histogram, AutomaticRangeAndBins) {
  struct Case {
    std::vector<double> differences;
    double lo, hi;
    int bins;
  };
  const std::vector<Case> cases{
      {{10.0, 10.25, 10.125}, 9.875, 10.375, 500},  // 0.25 ns span: 0.5 ns range, 1 bin/ps
      {{-0.3125, 0.3125}, -0.625, 0.625, 1000},     // wider than 0.5 ns: capped
      {{2.0, 2.0, 2.0}, 1.9995, 2.0005, 1},         // equal: opened to 1 ps, one bin
  };
  for (const auto& c : cases) {
    std::vector<double> tb(c.differences.size(), 20.0), ta;
    for (double d : c.differences) ta.push_back(20.0 + d);
    run(ta, tb);
    // The half-span is kept in single precision.
    EXPECT_NEAR(VX_VALUE(st.gui.TimeHistoMin), c.lo, 1e-7);
    EXPECT_NEAR(VX_VALUE(st.gui.TimeHistoMax), c.hi, 1e-7);
    EXPECT_EQ(VX_VALUE(st.gui.TimeHistoNbOfBins), c.bins);
    EXPECT_EQ(entries(), static_cast<int>(c.differences.size()));
    EXPECT_TRUE(st.meas.TimeHistoPlotted);
  }
}

TEST_F(analysis_time_histogram, ManualRangeAndBinsAreKept) {
  manual(-1.0, 1.0, 4);
  run({1.2, 1.6, 0.1, 3.0}, {1.0, 1.0, 1.0, 1.0});  // 0.2, 0.6, -0.9, 2.0 (outside)
  EXPECT_EQ(VX_VALUE(st.gui.TimeHistoNbOfBins), 4);
  const auto& d = st.meas.ThresholdCrossingDistri;
  EXPECT_EQ(std::vector(d.begin(), d.begin() + 4), (std::vector<int>{1, 0, 1, 1}));
  EXPECT_EQ(st.meas.NbOfValidTimes, 4);

  st.gui.TimeHistoNbOfBins = 0;  // a bin count of 0 still gives a histogram
  run({1.2}, {1.0});
  EXPECT_EQ(VX_VALUE(st.gui.TimeHistoNbOfBins), 1);
  EXPECT_EQ(st.meas.ThresholdCrossingDistri[0], 1);
}

TEST_F(analysis_time_histogram, MissingEdgesAndFiltersExcludeEvents) {
  st.meas.EnableExcludePulses = 1;
  st.acq.MinPulsesDistance = -1.0f;
  st.acq.MaxPulsesDistance = 1.0f;
  st.acq.EnExcludeBelowAmplitude = 1;
  st.acq.MinPeakAmplitude = 0.05f;
  st.acq.EnExcludeAboveAmplitude = 1;
  st.acq.MaxPeakAmplitude = 0.5f;
  run({-1.0, 5.0, 5.5, 9.0, 5.25, 5.375, 5.4375, 5.125}, {4.0, -1.0, 5.0, 5.0, 5.0, 5.0, 5.0, 5.0},
      {0.1, 0.1, 0.1, 0.1, 0.01, 0.1, 0.9, 0.1}, {0.1, 0.1, 0.1, 0.1, 0.1, 0.02, 0.1, 0.1});
  // Kept: 5.5 - 5.0 and 5.125 - 5.0; out: a missing edge on either side, a distance of
  // 4 ns, an amplitude below the minimum on either channel, one above the maximum.
  ASSERT_EQ(st.meas.NbOfValidTimes, 2);
  EXPECT_EQ(st.meas.LastMeanCrossingDistance[0], 0.125);  // newest first
  EXPECT_EQ(st.meas.LastMeanCrossingDistance[1], 0.5);
  EXPECT_NEAR(st.meas.TimeHisto.mean_ns, 0.3125, 1e-12);
  EXPECT_NEAR(st.meas.TimeHisto.rms_ps, 187.5, 1e-9);

  st.meas.EnableExcludePulses = 0;
  st.acq.EnExcludeBelowAmplitude = 0;
  st.acq.EnExcludeAboveAmplitude = 0;
  run({-1.0, 5.0}, {4.0, -1.0});
  EXPECT_EQ(st.meas.NbOfValidTimes, 0);
  EXPECT_EQ(st.meas.TimeHisto.mean_ns, 0.0);
  EXPECT_EQ(st.meas.TimeHisto.rms_ps, 0.0);
  EXPECT_FALSE(st.meas.TimeHistoPlotted);
}

TEST_F(analysis_time_histogram, StripChartMeanOfTheLatestHundred) {
  std::vector<double> ta, tb;
  for (int k = 0; k < 150; ++k) {
    ta.push_back(k < 50 ? 100.0 : 2.0 + k / 128.0);
    tb.push_back(0.0);
  }
  run(ta, tb);
  double expected = 0.0;
  for (int k = 50; k < 150; ++k) expected += 2.0 + k / 128.0;
  EXPECT_NEAR(st.meas.LastMeanDistance, expected / 100.0, 1e-9);
  EXPECT_NEAR(st.meas.LastMeanCrossingDistance[0], 2.0 + 149 / 128.0, 1e-12);  // newest first

  run({1.0, 3.0}, {0.0, 0.0});
  EXPECT_NEAR(st.meas.LastMeanDistance, 2.0, 1e-12);
}

TEST_F(analysis_time_histogram, NegativeChannelWarns) {
  st.acq.TimeHistoChannelB = -1;
  run({1.0}, {2.0});
  EXPECT_EQ(st.meas.NbOfValidTimes, 0);
  EXPECT_TRUE(core.ui.has_message(
      MessageTab::Warnings,
      "WARNING: At least two channels must be ON to compute Time Histogram!\n"));
}

// Differences drawn deterministically from a Gaussian of sigma 20 ps: FWHM near
// 2.3548 sigma, fitted sigma near 20 ps and fitted FWHM exactly 2.36 fitted sigmas.
TEST_F(analysis_time_histogram, WidthAndGaussianFit) {
  std::vector<double> ta, tb;
  const int n = 20000;
  for (int k = 0; k < n; ++k) {
    // Inverse of the normal distribution at evenly spaced probabilities.
    const double p = (k + 0.5) / n;
    double lo = -8.0, hi = 8.0;
    for (int it = 0; it < 60; ++it) {
      const double mid = 0.5 * (lo + hi);
      (0.5 * std::erfc(-mid / std::sqrt(2.0)) < p ? lo : hi) = mid;
    }
    ta.push_back(7.0 + 0.020 * 0.5 * (lo + hi));
    tb.push_back(2.0);
  }
  manual(4.8, 5.2, 100);
  run(ta, tb);
  Compute_TimeHistoParameters(st, st, Freeze_RunConfig(st), 1, 1);
  const TimeHistoResults& r = st.meas.TimeHisto;
  EXPECT_NEAR(r.fwhm_ps, 2.3548 * 20.0, 3.0);
  ASSERT_TRUE(r.fitted);
  EXPECT_NEAR(r.fitted_centre_ns, 5.0, 0.001);
  EXPECT_NEAR(r.fitted_sigma_ps, 20.0, 0.5);
  EXPECT_DOUBLE_EQ(r.fitted_fwhm_ps, r.fitted_sigma_ps * 2.36);
  EXPECT_NEAR(st.meas.GaussFittedThresholdCrossingDistri[50], st.meas.ThresholdCrossingDistri[50],
              0.05 * st.meas.ThresholdCrossingDistri[50]);
}

TEST_F(analysis_time_histogram, WidthOfAHandMadeHistogram) {
  manual(0.0, 0.006, 6);  // six bins of 1 ps, centres 0.5 ... 5.5 ps
  struct Case {
    std::vector<int> counts;
    double fwhm_ps;
  };
  const std::vector<Case> cases{
      {{0, 2, 8, 6, 1, 0}, (3.5 + 2.0 / 5.0) - (1.5 + 2.0 / 6.0)},  // edges between bins
      {{8, 8, 2, 0, 0, 0}, 1.5 + 4.0 / 6.0 - 0.5},  // no rise on the left: the first bin
      {{0, 0, 0, 0, 0, 0}, 0.0},
  };
  for (const auto& c : cases) {
    std::copy(c.counts.begin(), c.counts.end(), st.meas.ThresholdCrossingDistri.begin());
    for (int i = 0; i < 6; ++i) st.meas.ThresholdCrossingAxis[i] = 0.0005 + 0.001 * i;
    Compute_TimeHistoParameters(st, st, Freeze_RunConfig(st), 1, 0);
    EXPECT_NEAR(st.meas.TimeHisto.fwhm_ps, c.fwhm_ps, 1e-4);
  }
}

}  // namespace
}  // namespace vx
