#include "analysis/charge.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <numeric>
#include <vector>

#include "measurement_setup.h"
#include "support/packed_value.h"
#include "support/run_lists.h"
#include "support/test_state.h"

namespace vx {
namespace {

TEST(analysis_charge, SoftwareChargeOverTheWindow) {
  struct Case {
    const char* what;
    int nb_baseline, nb_samples, start, length, frequency_index;
    double charge_pc, baseline_v;
  };
  // Samples: 16 leading samples at 10 counts, then 100 counts from sample 16 on.
  const std::vector<Case> cases{
      {"1000 counts at 312.5 ps", 0, 1024, 100, 10, 0, 3.8125, 0.0},
      {"baseline of 16 removed", 16, 1024, 100, 10, 0, 900 * 0.00061 * 312.5 / 50, 10 * 0.00061},
      {"window cut at nbSamples", 0, 105, 100, 10, 0, 500 * 0.00061 * 312.5 / 50, 0.0},
      {"slower sampling", 0, 1024, 100, 10, 3, 1000 * 0.00061 * 2500 / 50, 0.0},
      {"baseline inside the window", 16, 1024, 10, 10, 0, 360 * 0.00061 * 312.5 / 50, 10 * 0.00061},
  };
  for (const auto& c : cases) {
    test::TestCore core;
    State& st = core.state;
    st.sam[0].FrequencyIndex = c.frequency_index;
    std::vector<float> w(1024, 100.0f);
    std::fill_n(w.begin(), 16, 10.0f);
    float baseline = -1.0f;
    const float q = Compute_Charge(st, w, c.nb_baseline, c.nb_samples, c.start, c.length, baseline);
    EXPECT_NEAR(q, c.charge_pc, 1e-5) << c.what;
    EXPECT_NEAR(baseline, c.baseline_v, 1e-9) << c.what;
  }
}

struct analysis_charge_software : testing::Test {
  test::MeasurementCore core;
  State& st = core.st;
  void SetUp() override {
    st.sys.NbOfSAMBlocks = 1;
    st.gui.ChargeHistoNbOfBins = 10;
    st.acq.EnSoftwareChargeHisto = 1;
  }
  void run_with(const std::vector<double>& charges) {
    // The channel was off for the run's first two events.
    std::vector<double> list(2, std::numeric_limits<double>::quiet_NaN());
    list.insert(list.end(), charges.begin(), charges.end());
    test::set_list(st.meas.ComputedChargeForHisto[0][1], list);
    Compute_SoftwareChargeHisto(st, st.log, Freeze_RunConfig(st));
  }
  int entries() const {
    const auto& d = st.meas.ChargeDataDistri[0][1];
    return std::accumulate(d.begin(), d.begin() + 10, 0);
  }
};

// The range is the span widened by half of it on each side; a cut keeps only its window; an
// empty selection clears the statistics; equal charges fill one bin without NaN.
TEST_F(analysis_charge_software, RangeCutAndStatistics) {
  const auto& m = st.meas;
  run_with({2.0, 4.0, 6.0, 4.0});
  EXPECT_DOUBLE_EQ(m.ChargeDataAxis[0][1][0], 0.4);  // range [0, 8], bins 0.8 wide
  EXPECT_DOUBLE_EQ(m.ChargeDataAxis[0][1][9], 7.6);
  const auto& d = m.ChargeDataDistri[0][1];
  EXPECT_EQ(std::vector(d.begin(), d.begin() + 10),
            (std::vector<int>{0, 0, 1, 0, 0, 2, 0, 1, 0, 0}));
  EXPECT_DOUBLE_EQ(m.ChargeMean[0][1], 4.0);
  EXPECT_DOUBLE_EQ(m.ChargeSigma[0][1], std::sqrt(2.0));
  EXPECT_EQ(m.MinChargeValue[0][1], 2.0);
  EXPECT_EQ(m.MaxChargeValue[0][1], 6.0);
  EXPECT_EQ(m.NbOfValidChargeWords[0][1], 4);

  run_with({3.5, 3.5, 3.5});
  EXPECT_EQ(entries(), 3);
  for (int i = 0; i < 10; ++i) EXPECT_TRUE(std::isfinite(m.ChargeDataAxis[0][1][i]));
  EXPECT_EQ(m.ChargeSigma[0][1], 0.0);
  EXPECT_EQ(m.ChargeMean[0][1], 3.5);

  st.acq.ChargeCutEnabled[0][1] = 1;
  st.acq.ChargeHistoMin[0][1] = 3.0f;
  st.acq.ChargeHistoMax[0][1] = 5.0f;
  run_with({2.0, 4.0, 6.0, 4.5});
  EXPECT_EQ(m.NbOfValidChargeWords[0][1], 2);
  EXPECT_DOUBLE_EQ(m.ChargeMean[0][1], 4.25);
  EXPECT_EQ(entries(), 2);
  run_with({8.0, 9.0});
  EXPECT_EQ(m.NbOfValidChargeWords[0][1], 0);
  EXPECT_EQ(m.ChargeMean[0][1], 0.0);
  EXPECT_EQ(m.MaxChargeValue[0][1], 0.0);
  EXPECT_EQ(entries(), 0);  // nothing selected, nothing shown
}

struct analysis_charge_firmware : testing::Test {
  test::MeasurementCore core;
  State& st = core.st;
  void SetUp() override {
    st.sys.NbOfSAMBlocks = 1;
    st.gui.ChargeHistoNbOfBins = 4;
    st.gui.DisplayModulo = 1000;
  }
  void event(int number, std::vector<double> ch0, std::vector<double> ch1 = {}) {
    st.EventNumber = number;
    st.meas.NbOfValidChargeWords[0][0] = static_cast<int>(ch0.size());
    st.meas.NbOfValidChargeWords[0][1] = static_cast<int>(ch1.size());
    st.meas.ChargeDataValues[0][0] = std::move(ch0);
    st.meas.ChargeDataValues[0][1] = std::move(ch1);
    Accumulate_FirmwareChargeHistos(st, st, st, Freeze_RunConfig(st));
  }
  std::pair<float, float> range(int c = 0) const {
    return {st.meas.ChargeRange[0][c].min, st.meas.ChargeRange[0][c].max};
  }
  std::vector<int> bins() const {
    const auto& d = st.meas.ChargeDataDistri[0][0];
    return {d.begin(), d.begin() + 4};
  }
};

TEST_F(analysis_charge_firmware, FirstEventSetsTheRangeAndLaterEventsAccumulate) {
  st.meas.ChargeDataDistri[0][0][1] = 55;  // left from an earlier run
  event(1, {10.0, 14.0}, {});
  EXPECT_EQ(range(), std::pair(8.0f, 16.0f));
  EXPECT_EQ(range(1), std::pair(-50.0f, 50.0f));  // empty first batch

  // A range written into the settings during the run is not this run's.
  st.acq.ChargeHistoMin[0][0] = 100.0f;
  st.acq.ChargeHistoMax[0][0] = 200.0f;
  event(2, {9.0, 9.5, 20.0, 3.0});
  EXPECT_EQ(bins(), (std::vector<int>{2, 1, 0, 1}));  // 9.0 and 9.5 in [8, 10), 10.0, 14.0
  // Outside the frozen range: not counted, but the extremes follow.
  EXPECT_EQ(st.meas.MinChargeValue[0][0], 3.0);
  EXPECT_EQ(st.meas.MaxChargeValue[0][0], 20.0);
  // Statistics from the bin centres 9, 9, 11 and 15: mean 11, deviations -2, -2, 0 and 4.
  EXPECT_DOUBLE_EQ(st.meas.ChargeMean[0][0], 11.0);
  EXPECT_DOUBLE_EQ(st.meas.ChargeSigma[0][0], std::sqrt(24.0 / 4.0));
}

TEST_F(analysis_charge_firmware, ResetRestartsFromTheCurrentBatchAndManualRangeIsKept) {
  event(1, {10.0, 14.0});
  event(2, {11.0});
  st.meas.ResetChargeHisto = 1;
  event(3, {30.0, 34.0});
  EXPECT_EQ(st.meas.ResetChargeHisto.load(), 0);
  EXPECT_EQ(range(), std::pair(28.0f, 36.0f));
  EXPECT_EQ(std::accumulate(st.meas.ChargeDataDistri[0][0].begin(),
                            st.meas.ChargeDataDistri[0][0].end(), 0),
            0);
  event(4, {31.0});
  EXPECT_EQ(st.meas.ChargeDataDistri[0][0][1], 1);

  st.acq.ChargeRangeAuto = 0;
  st.acq.ChargeHistoMin[0][0] = 0.0f;
  st.acq.ChargeHistoMax[0][0] = 4.0f;
  event(1, {7.0, 7.0});  // a single value: a zero-width automatic range would not do
  EXPECT_EQ(range(), std::pair(0.0f, 4.0f));
  st.acq.ChargeRangeAuto = 1;
  event(1, {7.0, 7.0});
  EXPECT_LT(range().first, 7.0f);
  EXPECT_GT(range().second, 7.0f);
  const std::vector<int> counts = bins();
  EXPECT_EQ(std::accumulate(counts.begin(), counts.end(), 0), 2);
}

// A first readout holding a single charge value gives no range; the first different charge
// sets it, and no charge is lost meanwhile: the readout does not cut on the provisional range.
TEST_F(analysis_charge_firmware, SingleValuedFirstBatchWaitsForARangeWithWidth) {
  event(1, {1000.0});
  EXPECT_EQ(st.meas.ChargeRangePending[0][0], 1);
  event(2, {1000.0, 1000.0});
  EXPECT_EQ(st.meas.ChargeRangePending[0][0], 1);
  event(3, {1012.0, 996.0});
  EXPECT_EQ(st.meas.ChargeRangePending[0][0], 0);
  // Span 996..1012, widened by half of it each side: [988, 1020], bins 8 wide.
  EXPECT_EQ(range(), std::pair(988.0f, 1020.0f));
  EXPECT_EQ(bins(), (std::vector<int>{0, 4, 0, 1}));  // 996 and the three 1000s, 1012
  EXPECT_DOUBLE_EQ(st.meas.ChargeMean[0][0], (4 * 1000.0 + 1016.0) / 5.0);
}

TEST(analysis_charge, ModeSelection) {
  test::TestCore core;
  State& st = core.state;
  st.sys.NbOfSAMBlocks = 2;
  Select_ChargeMode(st, ChargeMode::Firmware);
  EXPECT_EQ(VX_VALUE(st.acq.EnSoftwareChargeHisto), 0);
  for (int b = 0; b < kMaxSamBlocks; ++b) {
    EXPECT_EQ(VX_VALUE(st.sam[b].ChargeModeEnabled), 1);
    EXPECT_EQ(VX_VALUE(st.acq.ChargeCutEnabled[b][1]), 1);
  }
  EXPECT_TRUE(core.ui.has_message(MessageTab::Infos, "Firmware Charge Mode is Enabled."));
  ASSERT_EQ(core.ui.popups().size(), 1u);
  EXPECT_EQ(core.ui.popups()[0].title, "WARNING");
  EXPECT_EQ(core.ui.popups()[0].text,
            "In Charge Mode (Firmware/Software), please define the window for charge "
            "measurements using the dedicated cursors or fill-in the charge parameters!");

  Select_ChargeMode(st, ChargeMode::Software);
  EXPECT_EQ(VX_VALUE(st.acq.EnSoftwareChargeHisto), 1);
  EXPECT_EQ(VX_VALUE(st.sam[1].ChargeModeEnabled), 0);
  EXPECT_EQ(VX_VALUE(st.sam[2].ChargeModeEnabled), 1);  // beyond the board's blocks: untouched
  EXPECT_EQ(VX_VALUE(st.acq.ChargeCutEnabled[5][0]), 0);
  EXPECT_EQ(core.ui.popups().size(), 2u);

  Select_ChargeMode(st, ChargeMode::Off);
  EXPECT_EQ(VX_VALUE(st.acq.EnSoftwareChargeHisto), 0);
  EXPECT_EQ(core.ui.popups().size(), 2u);
}

}  // namespace
}  // namespace vx
