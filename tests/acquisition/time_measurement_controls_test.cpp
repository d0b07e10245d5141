#include "acquisition/time_measurement_controls.h"
#include "support/packed_value.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <vector>

#include "analysis/measurement_setup.h"
#include "analysis/time_amplitude.h"
#include "support/test_state.h"

namespace vx {
namespace {

struct TimeMeasurementControls : testing::Test {
  test::TestCore core;
  State& st = core.state;
  void SetUp() override { test::set_measurement_defaults(st); }
};

// Channel 3 is block 1, channel 1. A negative Gaussian pulse (300 counts deep, sigma 3
// samples, centre at sample 200) is timed at the threshold set in volts on the panel.
TEST_F(TimeMeasurementControls, FixedThresholdAndDistanceLimitReachTheMeasurement) {
  auto& w = st.event.FullyOrderedValues[1][1];
  test::fill_gaussian(w, 0.0, -300.0, 200.0, 3.0);
  Set_SplineInterpolation(st, false);
  Set_TimingMethod(st, false);
  Set_PulseThreshold(st, 3, -0.1);
  Set_PulseEdge(st, 3, 1);
  EXPECT_FLOAT_EQ(pulse_threshold_counts(st, 3), -163.8f);

  // Where the Gaussian crosses -163.8 counts, in samples, and the sample period in ns.
  const double z = std::sqrt(-2.0 * std::log(163.8 / 300.0));
  const double period_ns = 0.3125;
  struct Case {
    bool no_max;
    double max_ns;
    double lead_ns;  // -1 when the crossing is too far from the peak
  };
  const std::vector<Case> cases{
      {true, 0.0, period_ns * (200.0 - 3.0 * z)},
      {false, 2.0, period_ns * (200.0 - 3.0 * z)},  // 3.3 samples from the peak, limit 6.4
      {false, 0.6, -1.0},                           // limit 1.9 samples
  };
  for (const auto& c : cases) {
    Set_NoMaxPeakThresholdDistance(st, c.no_max);
    Set_MaxPeakThresholdDistance(st, c.max_ns);
    float lead = 0.0f, trail = 0.0f, amplitude = 0.0f;
    Compute_TimeAndAmplitude(st, st, 1, 1, lead, trail, amplitude, 1);
    EXPECT_NEAR(lead, c.lead_ns, 0.01) << c.max_ns;
    EXPECT_NEAR(amplitude, -300.0 * 0.00061, 1e-4);
  }
}

// Differences spread binomially around 15 ps in steps of 10 ps (sigma 12.25 ps), and ten of
// 5 ns: every histogram setting rebuilds the histogram at once, and the Gaussian fit is made
// only while no run is going on.
TEST_F(TimeMeasurementControls, HistogramSettingsRebuildAndFitOnlyOutsideARun) {
  st.acq.EnTimeJitter = 1;
  auto& m = st.meas;
  for (int k = 0; k < 330; ++k) {
    const int ones = std::popcount(static_cast<unsigned>(k % 64));  // 0..6, binomial
    const double d = k < 320 ? 0.015 + 0.010 * (ones - 3) : 5.0;
    m.RiseTimeInstantForHisto[0][0].push_back(40.0 + d);
    m.RiseTimeInstantForHisto[0][1].push_back(40.0);
    m.PeakAmplitudeForHisto[0][0].push_back(-0.2);
    m.PeakAmplitudeForHisto[0][1].push_back(k < 100 ? -0.05 : -0.2);
  }
  Set_TimeHistoRange(st, st, false, 0.2, -0.2);  // given the wrong way round
  EXPECT_DOUBLE_EQ(VX_VALUE(st.gui.TimeHistoMin), -0.2);
  EXPECT_DOUBLE_EQ(VX_VALUE(st.gui.TimeHistoMax), 0.2);
  Set_TimeHistoBins(st, st, false, 40);
  EXPECT_EQ(VX_VALUE(st.gui.TimeHistoNbOfBins), 40);
  EXPECT_EQ(m.NbOfValidTimes, 330);
  int in_range = 0;
  for (int i = 0; i < 40; ++i) in_range += m.ThresholdCrossingDistri[i];
  EXPECT_EQ(in_range, 320);  // the 5 ns ones lie outside
  EXPECT_TRUE(m.TimeHisto.fitted);

  // A settings restart of a running acquisition: the loop is stopped, the run goes on.
  st.RestartPending = 1;
  TimeHistoFilters f = time_histo_filters(st, st);
  f.by_distance = true;
  f.min_distance_ns = -1.0;
  f.max_distance_ns = 1.0;
  f.below_amplitude = true;
  f.min_amplitude_v = -0.1;  // signed: -0.2 V pulses are below -0.1 V
  Set_TimeHistoFilters(st, st, f);
  EXPECT_EQ(m.NbOfValidTimes, 0);
  f.min_amplitude_v = -0.3;
  st.RestartPending = 1;
  Set_TimeHistoFilters(st, st, f);
  EXPECT_EQ(m.NbOfValidTimes, 320);
  EXPECT_FALSE(m.TimeHisto.fitted);  // the fit of the earlier counts no longer applies
  EXPECT_GT(m.TimeHisto.fwhm_ps, 0.0f);

  // The lists hold the times in single precision, as they were measured.
  EXPECT_NEAR(m.TimeHisto.mean_ns, 0.015, 1e-6);

  st.RestartPending = 0;
  Set_TimeHistoChannels(st, st, 1, 0);
  EXPECT_TRUE(m.TimeHisto.fitted);
  EXPECT_NEAR(m.TimeHisto.mean_ns, -0.015, 1e-6);
  EXPECT_NEAR(m.TimeHisto.rms_ps, 10.0 * std::sqrt(1.5), 0.05);
  EXPECT_NEAR(m.TimeHisto.fitted_centre_ns, -0.015, 0.001);
}

}  // namespace
}  // namespace vx
