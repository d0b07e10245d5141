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
  EXPECT_EQ(m.ComputedChargeForHisto[1][1].size(), 1u);  // only measured entries
  EXPECT_TRUE(m.ComputedChargeForHisto[1][0].empty());   // disabled: nothing measured
  EXPECT_GE(m.RiseTimeInstantForHisto[7][1].capacity(), 201u);
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

// 450 events whose times pass through the lists into the time histogram, which must find
// the pulses' delay (8 samples plus 0, 1 or 2 ps) whatever the event numbers are and
// across a settings restart. Channel 1 is off for the first 5 events of the run.
TEST_F(analysis_measurement_pass, ListsHoldEveryMeasuredEventAndOnlyThose) {
  struct Case {
    const char* what;
    int first;          // FirstEventNumber
    int number_of_1;    // EventNumber of the run's first event
    int restart_after;  // events before a settings restart, 0 for none
  };
  const std::vector<Case> cases{
      {"run after event 1000", 1000, 1001, 0},
      {"replay of a split continuation file", 0, 1001, 0},
      {"restart during the run", 0, 1, 230},
  };
  st.acq.EnTimeJitter = 1;
  st.acq.EnSoftwareChargeHisto = 1;
  st.sys.NbOfSAMBlocks = 1;
  for (const auto& c : cases) {
    Reset_RunSummary(st);
    Prepare_MeasurementsForRun(st);
    double sum_delay_ps = 0.0;
    int number = c.number_of_1;
    for (int k = 1; k <= 450; ++k, ++number) {
      if (k == c.restart_after + 1 && c.restart_after > 0) {
        st.meas.ContinuingRun = 1;  // what the settings restart sets
        Prepare_MeasurementsForRun(st);
        --number;  // the restart steps the event counter back by one
      }
      st.gui.ChannelEnabled[1] = k > 5 ? 1 : 0;
      const double delay = 8.0 + 0.001 * (k % 3);
      if (k > 5) sum_delay_ps += delay * kPeriodNs * 1000.0;
      event(c.first, number, 200.0 + 0.37 * (k % 50), delay);
    }
    const auto& m = st.meas;
    ASSERT_EQ(m.RiseTimeInstantForHisto[0][0].size(), 450u) << c.what;
    EXPECT_TRUE(std::isnan(m.RiseTimeInstantForHisto[0][1][4])) << c.what;
    EXPECT_NEAR(m.RiseTimeInstantForHisto[0][0][299],
                kPeriodNs * (200.0 + 0.37 * 0 - kHalfWidth * 3.0), 0.003)
        << c.what;
    Finish_MeasurementsForRun(st);
    EXPECT_EQ(m.NbOfValidTimes, 445) << c.what;
    EXPECT_NEAR(m.TimeHisto.mean_ns * 1000.0, -sum_delay_ps / 445.0, 2.0) << c.what;
    EXPECT_LT(m.TimeHisto.rms_ps, 3.0) << c.what;
    // Charge of channel 1: the same pulse every event, so its mean is that pulse's charge.
    EXPECT_EQ(m.NbOfValidChargeWords[0][1], 445) << c.what;
    EXPECT_NEAR(m.ChargeMean[0][1], -900.0 * 3.0 * std::sqrt(2.0 * std::numbers::pi) * 0.0038125,
                0.05)
        << c.what;
  }
  EXPECT_GT(core.ui.refresh_count(Panel::TimeHistogram), 0);
}

}  // namespace
}  // namespace vx
