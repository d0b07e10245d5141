#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <random>
#include <vector>

#include "calibration/inl_calibration.h"
#include "digitizer/board_configuration.h"
#include "support/packed_value.h"
#include "support/sim_core.h"

namespace vx {
namespace {

// A sine of 16 samples per period whose rising zero crossing lies at `first` + fraction.
std::vector<float> sine_record(double first) {
  std::vector<float> w(kInlCells);
  for (int s = 0; s < kInlCells; ++s)
    w[s] = static_cast<float>(800.0 * std::sin(2.0 * std::numbers::pi * (s - first) / 16.0));
  return w;
}

TEST(InlAccumulation, IntervalsOnlyFromEventsStartingInMidCellOfAGroupBoundary) {
  struct Case {
    int first_cell;
    double crossing;  // sample position of the first rising crossing
    int intervals;    // expected
    int k0;
  };
  const Case cases[] = {
      {0, 0.5, 59, 0},      // 60 crossings in 960 samples, groups 0 ... 58
      {1008, 0.5, 59, 63},  // groups 63, 0 ... 57, across the ring's end
      {16, 1.5, 0, 0},      // first crossing in cell 17
      {0, 0.05, 0, 0},      // at fraction 0.05 of cell 0
      {0, 0.95, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "F " << c.first_cell << " crossing " << c.crossing);
    InlChannelCalibration k;
    Accumulate_INLChannel(k, sine_record(c.crossing), c.first_cell, {0.0f, 64, 96});
    // The inspected cell's histogram holds its crossings, and only those.
    int inspected = 0;
    for (const int n : k.ZeroCrossingHisto) inspected += n;
    EXPECT_EQ(inspected, k.NbOfZeroCrossings[96]);
    for (int q = 0; q < kInlMaxGroups; ++q) {
      const int n = k.NbOfCrossingsInZeroCrossingIntervalSum[q];
      const bool expected = ((q - c.k0 + 64) % 64) < c.intervals;
      EXPECT_EQ(n, expected ? 1 : 0) << "group " << q;
      if (n > 0) {
        EXPECT_NEAR(k.ZeroCrossingIntervalSum[q], 16.0, 1e-3) << "group " << q;
      }
    }
  }
}

TEST(InlAccumulation, CellsNextToTheFirstCellNeverAccumulate) {
  for (int F : {0, 1, 15, 63, 64, 500, 1022, 1023}) {
    SCOPED_TRACE(testing::Message() << "F " << F);
    InlChannelCalibration k;
    // Sixteen phases put a rising crossing in every physical cell.
    for (int phase = 0; phase < 16; ++phase)
      Accumulate_INLChannel(k, sine_record(phase + 0.5), F, {0.0f, 64, 0});
    for (int i = 0; i < kInlCells; ++i) {
      const int from_lo = ((i - (F - 64)) % kInlCells + kInlCells) % kInlCells;
      const bool near_trigger = from_lo <= 65;  // F - 64 ... F + 1
      EXPECT_EQ(k.NbOfZeroCrossings[i], near_trigger ? 0 : 1) << "cell " << i;
    }
  }
}

// Accumulators of a ring whose cells all have the same width.
InlChannelCalibration uniform_ring(int groups) {
  InlChannelCalibration k;
  for (int i = 0; i < kInlCells; ++i) {
    k.NbOfZeroCrossings[i] = 40;
    k.ZeroCrossingSegmentSum[i] = 40 * 250.0f;
  }
  for (int q = 0; q < groups; ++q) {
    k.ZeroCrossingIntervalSum[q] = 7 * 16.0 * 64 / groups;
    k.NbOfCrossingsInZeroCrossingIntervalSum[q] = 7;
  }
  return k;
}

TEST(InlComputation, UniformRingAndEmptyRingGiveNominalWidths) {
  struct Case {
    const char* name;
    InlChannelCalibration k;
    int groups;
    double frequency_mhz;
  };
  std::vector<Case> cases;
  for (int g : {64, 8, 1}) cases.push_back({"uniform", uniform_ring(g), g, 200.0 * g / 64});
  cases.push_back({"nothing accumulated", InlChannelCalibration{}, 64, 0.0});
  for (Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.name << " G " << c.groups);
    const InlSummary s = Compute_INLChannel(c.k, {c.groups, 312.5, true, 0});
    EXPECT_NEAR(s.frequency_mhz, c.frequency_mhz, 1e-9);
    for (int i = 0; i < kInlCells; ++i) {
      ASSERT_DOUBLE_EQ(c.k.GlobalTimeDNL[i], 312.5) << "cell " << i;
      ASSERT_DOUBLE_EQ(c.k.ResidualSegments[i], 0.0) << "cell " << i;
      ASSERT_TRUE(std::isfinite(c.k.ZeroCrossingSigma[i]));
      ASSERT_TRUE(std::isfinite(c.k.ZeroCrossingSegmentResidue[i]));
    }
    EXPECT_DOUBLE_EQ(s.inl_rms_ps, 0.0);
    EXPECT_DOUBLE_EQ(s.dnl_rms_ps, 0.0);
  }
}

TEST(InlComputation, GroupDnlAveragesToTheIntervalRatio) {
  std::mt19937 rng(17);
  std::uniform_real_distribution<double> width(200.0, 300.0), interval(15.0, 17.0);
  for (int groups : {64, 16}) {
    InlChannelCalibration k;
    for (int i = 0; i < kInlCells; ++i) {
      if (rng() % 7 == 0) continue;  // some cells without crossings
      k.NbOfZeroCrossings[i] = 3;
      k.ZeroCrossingSegmentSum[i] = static_cast<float>(3 * width(rng));
    }
    std::vector<double> mean_interval(groups);
    double overall = 0.0;
    for (int q = 0; q < groups; ++q) {
      mean_interval[q] = interval(rng) * 64 / groups;
      k.ZeroCrossingIntervalSum[q] = 5 * mean_interval[q];
      k.NbOfCrossingsInZeroCrossingIntervalSum[q] = 5;
      overall += mean_interval[q] / groups;
    }
    for (bool use_ratio : {false, true}) {
      SCOPED_TRACE(testing::Message() << "G " << groups << " ratio " << use_ratio);
      InlChannelCalibration r = k;
      Compute_INLChannel(r, {groups, 312.5, use_ratio, 0});
      for (int q = 0; q < groups; ++q) {
        double sum = 0.0;
        int n = 0;
        for (int i = q * kInlCells / groups; i < (q + 1) * kInlCells / groups; ++i) {
          if (r.NbOfZeroCrossings[i] == 0) continue;
          sum += r.GlobalTimeDNL[i] / 312.5;
          ++n;
        }
        const double expected = use_ratio ? overall / mean_interval[q] : 1.0;
        EXPECT_NEAR(sum / n, expected, 1e-6) << "group " << q;
      }
    }
  }
}

// Without the sine at the inputs the results are refused: the INL tables keep what they
// held, and switching the calibration off gives the INL correction back.
TEST(InlCalibrationOnSimulatedBoard, ARunWithoutTheSineIsRefused) {
  for (const auto input : {sim::InputKind::kPulse, sim::InputKind::kNone}) {
    SCOPED_TRACE(static_cast<int>(input));
    sim::SimConfig config;
    for (auto& ch : config.channel) ch.input = input;
    test::SimCore sim("DT5743", config);
    sim.connect();
    State& st = sim.st;
    st.calib.TimePedestals[0][1].fill(1.5);
    Enable_INLCalibration(st, true);
    ASSERT_TRUE(test::run_events(st, 1000, 120.0));
    Enable_INLCalibration(st, false);
    EXPECT_EQ(VX_VALUE(st.acq.INLCorrectionEnabled), 1);
    ASSERT_TRUE(st.inl.computed);
    EXPECT_FALSE(st.inl.usable);
    EXPECT_TRUE(sim.core.ui.has_message(MessageTab::Errors, "INL calibration of ch1 refused"));
    EXPECT_FALSE(Save_INL_In_Array(st, st, st.log, 0));
    EXPECT_EQ(st.calib.TimePedestals[0][1][700], 1.5);
    EXPECT_FALSE(st.calib.TimePedestalsHeld[0][1]);
  }
}

}  // namespace
}  // namespace vx
