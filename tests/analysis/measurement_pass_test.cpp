#include "analysis/measurement_pass.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <string>
#include <tuple>
#include <vector>

#include "analysis/charge.h"
#include "analysis/time_histogram.h"
#include "measurement_setup.h"

namespace vx {
namespace {

using test::kHalfWidth;
using test::kPeriodNs;

struct analysis_measurement_pass : testing::Test {
  test::MeasurementCore core;
  State& st = core.st;
  void SetUp() override { st.sys.NbOfSAMBlocks = 2; }
  // Event `number` of a run that started after event `first`: channel 0 of block 0 has a
  // pulse centred at `centre`, channel 1 the same pulse `delay` samples later.
  void event(int first, int number, double centre, double delay) {
    st.FirstEventNumber = first;
    st.EventNumber = number;
    test::fill_gaussian(st.event.FullyOrderedValues[0][0], 20.0, 600.0, centre, 3.0);
    test::fill_gaussian(st.event.FullyOrderedValues[0][1], -10.0, -900.0, centre + delay, 3.0);
    Compute_EventMeasurements(st, st.pool, Freeze_RunConfig(st), st.event);
    Update_RunMeasurements(st, st, st, Freeze_RunConfig(st));
  }
};

TEST_F(analysis_measurement_pass, OneEventFillsResultsAndLists) {
  // Nothing runs without a consumer; times shown on the waveforms are one, without lists.
  st.results.AmplitudeValue[0][0] = 3.0f;
  event(0, 1, 300.0, 8.0);
  EXPECT_EQ(st.results.AmplitudeValue[0][0], 3.0f);
  st.gui.DisplayTimeOnWaveforms = 1;
  event(0, 2, 300.0, 8.0);
  EXPECT_NE(st.results.AmplitudeValue[0][0], 3.0f);
  EXPECT_TRUE(st.meas.RiseTimeInstantForHisto[0][0].empty());
  st.gui.DisplayTimeOnWaveforms = 0;

  st.acq.EnTimeJitter = 1;
  st.acq.EnSoftwareChargeHisto = 1;
  st.gui.ChannelEnabled[2] = 0;  // block 1, channel 0
  st.results.AmplitudeValue[1][0] = 7.0f;
  st.sam[1].ChargeNoBaseline = 1;
  st.event.FullyOrderedValues[1][1].fill(4.0f);
  Prepare_MeasurementsForRun(st, st, Freeze_RunConfig(st));
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

  // The constant fraction in use: a tenth of the height is further down the edge.
  st.acq.CFDRatio = 0.1f;
  event(0, 2, 300.0, 8.0);
  EXPECT_NEAR(r.RiseTimeInstant[0][0], kPeriodNs * (300.0 - std::sqrt(2.0 * std::log(10.0)) * 3.0),
              0.002);
  // A fixed threshold in raw counts: 300 is 280 above the baseline of 20.
  st.acq.CFDMethod = 0;
  st.acq.PulseThreshold[0][0] = 300.0f;
  event(0, 3, 300.0, 8.0);
  EXPECT_NEAR(r.RiseTimeInstant[0][0],
              kPeriodNs * (300.0 - std::sqrt(2.0 * std::log(600.0 / 280.0)) * 3.0), 0.002);
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
    Prepare_MeasurementsForRun(st, st, Freeze_RunConfig(st));
    double sum_delay_ps = 0.0;
    int number = c.number_of_1;
    for (int k = 1; k <= 450; ++k, ++number) {
      if (k == c.restart_after + 1 && c.restart_after > 0) {
        st.meas.ContinuingRun = 1;  // what the settings restart sets
        Prepare_MeasurementsForRun(st, st, Freeze_RunConfig(st));
        --number;  // the restart steps the event counter back by one
      }
      st.gui.ChannelEnabled[1] = k > 5 ? 1 : 0;
      const double delay = 8.0 + 0.001 * (k % 3);
      if (k > 5) sum_delay_ps += delay * kPeriodNs * 1000.0;
      event(c.first, number, 200.0 + 0.37 * (k % 50), delay);
    }
    const auto& m = st.meas;
    ASSERT_EQ(m.RiseTimeInstantForHisto[0][0].size(), 450u) << c.what;
    EXPECT_TRUE(!m.RiseTimeInstantForHisto[0][1].holds(4) ||
                std::isnan(m.RiseTimeInstantForHisto[0][1][4]))
        << c.what;
    EXPECT_NEAR(m.RiseTimeInstantForHisto[0][0][299],
                kPeriodNs * (200.0 + 0.37 * 0 - kHalfWidth * 3.0), 0.003)
        << c.what;
    Finish_MeasurementsForRun(st, st, Freeze_RunConfig(st));
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

// A run fed to the lists of channels 0 and 1 entry by entry, as the measurement pass feeds
// them, with the per-event update after each: time differences and charges that drift (so
// that the automatic ranges keep moving), events without an edge, a channel off now and then.
struct ListFeed {
  State& st;
  int accepted = 0;  // differences the histogram must take
  void setup(int events, long long cap) {
    st.sys.NbOfSAMBlocks = 1;
    st.acq.EnTimeJitter = 1;
    st.acq.EnSoftwareChargeHisto = 1;
    st.acq.NbOfEventsRequired = events;
    st.gui.DisplayModulo = 97;
    st.meas.ListEntriesKept = cap;
    Reset_RunSummary(st);
    Prepare_MeasurementsForRun(st, st, Freeze_RunConfig(st));
  }
  void event(int k, double drift) {
    MeasurementData& m = st.meas;
    const auto entry = static_cast<std::size_t>(m.ListEntries);
    const double d = 0.05 * std::sin(0.37 * k) + drift * k;
    const bool edge = k % 30 != 0, off = k % 50 == 0;
    const auto put = [&](RunList<float>& list, double v) {
      list.resize(entry, std::nanf(""));
      list.push_back(static_cast<float>(v));
    };
    put(m.RiseTimeInstantForHisto[0][0], edge ? 100.0 + d : -1.0);
    put(m.PeakAmplitudeForHisto[0][0], -0.2);
    put(m.ComputedChargeForHisto[0][0], 10.0 + std::sin(1.3 * k) + 100.0 * drift * k);
    if (!off) {
      put(m.RiseTimeInstantForHisto[0][1], 100.0);
      put(m.PeakAmplitudeForHisto[0][1], -0.2);
      put(m.ComputedChargeForHisto[0][1], -5.0 + std::cos(0.7 * k));
    }
    accepted += edge && !off;
    ++m.ListEntries;
    st.EventNumber = k;
    Update_RunMeasurements(st, st, st, Freeze_RunConfig(st));
  }
};

// What the histograms show (their shown bins, range and statistics), to compare with a
// rebuild from the lists.
auto shown(const State& st) {
  const MeasurementData& m = st.meas;
  const auto bins = [](const auto& a, int n) { return std::vector(a.begin(), a.begin() + n); };
  const int tb = m.TimeHistoRange.bins, cb = st.gui.ChargeHistoNbOfBins;
  return std::tuple(
      bins(m.ThresholdCrossingDistri, tb), bins(m.ThresholdCrossingAxis, tb), m.TimeHisto.mean_ns,
      m.TimeHisto.rms_ps, m.TimeHistoRange.min, m.TimeHistoRange.max, int{m.NbOfValidTimes},
      bins(m.ChargeDataDistri[0][0], cb), bins(m.ChargeDataAxis[0][0], cb),
      bins(m.ChargeDataDistri[0][1], cb), bins(m.ChargeDataAxis[0][1], cb),
      std::vector{m.ChargeMean[0][0], m.ChargeMean[0][1], m.ChargeSigma[0][0], m.ChargeSigma[0][1]},
      std::vector{m.NbOfValidChargeWords[0][0], m.NbOfValidChargeWords[0][1]});
}

// Event by event, through settings changes and moving ranges, the histograms and their
// statistics end where a rebuild from the whole lists puts them, bit for bit.
TEST_F(analysis_measurement_pass, HistogramsTakenEventByEventEqualARebuild) {
  struct Case {
    const char* what;
    int auto_range;
    double drift;  // ns per event
  };
  const Case cases[] = {
      {"automatic range, steady", 1, 0.0},
      {"automatic range, drifting", 1, 2e-6},
      {"manual range, drifting", 0, 2e-6},
  };
  for (const Case& c : cases) {
    ListFeed feed{st};
    constexpr int kEvents = 6000;
    st.gui.TimeHistoOption2 = c.auto_range;
    st.gui.TimeHistoMin = -0.04;
    st.gui.TimeHistoMax = 0.06;
    st.gui.ChargeHistoNbOfBins = 100;
    feed.setup(kEvents, 1000000);
    for (int k = 1; k <= kEvents; ++k) {
      if (k == kEvents / 2) st.gui.ChargeHistoNbOfBins = 37;  // a setting changes mid-run
      if (k == 2 * kEvents / 3) {
        st.meas.EnableExcludePulses = 1;
        st.acq.MinPulsesDistance = -0.03f;
        st.acq.MaxPulsesDistance = 1.0f;
      }
      feed.event(k, c.drift);
    }
    Finish_MeasurementsForRun(st, st, Freeze_RunConfig(st));
    const auto taken = shown(st);
    Compute_TimeHisto(st, st, st, Freeze_RunConfig(st));
    Compute_SoftwareChargeHisto(st, st.log, Freeze_RunConfig(st));
    EXPECT_TRUE(taken == shown(st)) << c.what;
    EXPECT_GT(std::get<6>(taken), kEvents / 2) << c.what;
    st.meas.EnableExcludePulses = 0;
  }
}

// Past the cap the lists keep only the latest events, the histograms still count them all;
// a rebuild then says in the log how many events it had.
TEST_F(analysis_measurement_pass, CappedListsStillCountEveryEvent) {
  ListFeed feed{st};
  constexpr int kEvents = 30000, kCap = 5000;
  feed.setup(kEvents, kCap);
  for (int k = 1; k <= kEvents; ++k) feed.event(k, 0.0);
  Finish_MeasurementsForRun(st, st, Freeze_RunConfig(st));
  const MeasurementData& m = st.meas;
  EXPECT_EQ(m.NbOfValidTimes, feed.accepted);
  EXPECT_EQ(m.NbOfValidChargeWords[0][0], kEvents);
  const RunList<float>& kept = m.RiseTimeInstantForHisto[0][0];
  EXPECT_GE(kept.held(), static_cast<std::size_t>(kCap));
  EXPECT_LT(kept.held(), kCap + 2 * RunList<float>::kChunkEntries);
  const auto told = [&](const std::string& text) {
    return core.ui.message_count(MessageTab::Infos, text);
  };
  EXPECT_EQ(told("The per-run lists now keep the last 5000 events only"), 1);

  st.gui.TimeHistoNbOfBins = 50;  // a rebuild from what the lists hold
  st.gui.TimeHistoOption1 = 0;
  Compute_TimeHisto(st, st, st, Freeze_RunConfig(st));
  EXPECT_LT(m.NbOfValidTimes, feed.accepted);
  EXPECT_GT(m.NbOfValidTimes, kCap / 2);
  EXPECT_EQ(told("Time histogram rebuilt from the last " + std::to_string(kept.held()) + " events"),
            1);
}

}  // namespace
}  // namespace vx
