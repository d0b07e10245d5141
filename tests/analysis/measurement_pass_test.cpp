#include "analysis/measurement_pass.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "measurement_setup.h"
#include "support/test_state.h"

namespace vx {
namespace {

constexpr double kPeriodNs = 0.3125;
const double kHalfWidth = std::sqrt(2.0 * std::log(2.0));

struct analysis_measurement_pass : testing::Test {
  test::TestCore core;
  State& st = core.state;
  void SetUp() override {
    test::set_measurement_defaults(st);
    st.sys.NbOfSAMBlocks = 2;
    st.acq.DisplayOn = 0;
  }
  // Event `number` of a run that started after event `first`: channel 0 of block 0 has a
  // pulse centred at `centre`, channel 1 the same pulse `delay` samples later.
  void event(int first, int number, double centre, double delay) {
    st.FirstEventNumber = first;
    st.EventNumber = number;
    test::fill_gaussian(st.event.FullyOrderedValues[0][0], 20.0, 600.0, centre, 3.0);
    test::fill_gaussian(st.event.FullyOrderedValues[0][1], -10.0, -900.0, centre + delay, 3.0);
    Compute_EventMeasurements(st);
    Update_RunMeasurements(st);
  }
};

TEST_F(analysis_measurement_pass, OneEventFillsResultsAndLists) {
  st.acq.EnTimeJitter = 1;
  st.acq.EnSoftwareChargeHisto = 1;
  st.gui.ChannelEnabled[2] = 0;  // block 1, channel 0
  st.results.AmplitudeValue[1][0] = 7.0f;
  st.sam[1].ChargeNoBaseline = 1;
  st.event.FullyOrderedValues[1][1].fill(4.0f);
  Prepare_MeasurementsForRun(st);
  event(0, 1, 300.0, 8.0);

  const EventResults& r = st.results;
  EXPECT_NEAR(r.AmplitudeValue[0][0], 600.0 * 0.00061, 1e-4);
  EXPECT_NEAR(r.RiseTimeInstant[0][0], kPeriodNs * (300.0 - kHalfWidth * 3.0), 0.002);
  EXPECT_NEAR(r.FallTimeInstant[0][1], kPeriodNs * (308.0 + kHalfWidth * 3.0), 0.002);
  EXPECT_NEAR(r.MeasuredBaseline[0][0], 20.0 * 0.00061, 1e-6);
  EXPECT_NEAR(r.ComputedCharge[0][0], 600.0 * 3.0 * std::sqrt(2.0 * std::numbers::pi) * 0.0038125,
              1e-3);
  EXPECT_EQ(r.AmplitudeValue[1][0], 7.0f);  // disabled: keeps its last value
  // Without baseline subtraction: the plain sum of the window, baseline reported as 0.
  EXPECT_NEAR(r.ComputedCharge[1][1], 4.0 * 1005 * 0.0038125, 1e-3);
  EXPECT_EQ(r.MeasuredBaseline[1][1], 0.0f);

  const MeasurementData& m = st.meas;
  EXPECT_EQ(m.RiseTimeInstantForHisto[0][0][0], r.RiseTimeInstant[0][0]);
  EXPECT_EQ(m.PeakAmplitudeForHisto[0][1][0], r.AmplitudeValue[0][1]);
  EXPECT_EQ(m.ComputedChargeForHisto[1][1][0], r.ComputedCharge[1][1]);
  EXPECT_EQ(m.RiseTimeInstantForHisto[7][1].size(), 201u);
}

TEST_F(analysis_measurement_pass, NothingRunsWithoutAConsumer) {
  st.results.AmplitudeValue[0][0] = 3.0f;
  event(0, 1, 300.0, 8.0);
  EXPECT_EQ(st.results.AmplitudeValue[0][0], 3.0f);
  st.gui.DisplayTimeOnWaveforms = 1;
  event(0, 2, 300.0, 8.0);
  EXPECT_NE(st.results.AmplitudeValue[0][0], 3.0f);
  EXPECT_TRUE(st.meas.RiseTimeInstantForHisto[0][0].empty());  // no lists without jitter
}

// A run of 450 events that started after event 1000: the lists grow by 200 at events 200
// and 400 of the run, keep every entry, and the time histogram finds the 8-sample delay.
TEST_F(analysis_measurement_pass, ListsGrowEveryTwoHundredEventsAndKeepTheirEntries) {
  st.acq.EnTimeJitter = 1;
  st.sys.NbOfSAMBlocks = 1;
  Prepare_MeasurementsForRun(st);
  const int first = 1000;
  for (int k = 1; k <= 450; ++k) {
    event(first, first + k, 200.0 + 0.37 * (k % 50), 8.0 + 0.001 * (k % 3));
    const auto size = st.meas.RiseTimeInstantForHisto[0][0].size();
    const std::size_t expected = k < 200 ? 201u : (k < 400 ? 401u : 601u);
    ASSERT_EQ(size, expected) << k;
  }
  for (int k = 1; k <= 450; ++k) {
    const double expected = kPeriodNs * (200.0 + 0.37 * (k % 50) - kHalfWidth * 3.0);
    ASSERT_NEAR(st.meas.RiseTimeInstantForHisto[0][0][k - 1], expected, 0.003) << k;
  }
  EXPECT_EQ(st.meas.RiseTimeInstantForHisto[1][0].size(), 201u);  // outside the board
  EXPECT_GE(st.meas.ThresholdCrossingDistance.capacity(), static_cast<std::size_t>(first + 601));

  Finish_MeasurementsForRun(st);
  EXPECT_EQ(st.meas.NbOfValidTimes, 450);
  EXPECT_NEAR(st.meas.TimeHisto.mean_ns, -8.001 * kPeriodNs, 0.002);
  EXPECT_LT(st.meas.TimeHisto.rms_ps, 3.0);
  EXPECT_GT(core.ui.refresh_count(Panel::TimeHistogram), 0);
}

}  // namespace
}  // namespace vx
