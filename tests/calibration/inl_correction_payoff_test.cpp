// The INL calibration pays off end to end: a table measured on the sine input follows the unit's
// true time errors and, stored on its EEPROMs and loaded back by the library, narrows a
// two-channel time difference. Channels the calibration did not measure keep their tables.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>

#include "calibration/inl_calibration.h"
#include "calibration/stored_calibrations.h"
#include "digitizer/board_configuration.h"
#include "eeprom/calibration_tables.h"
#include "support/sim_core.h"

namespace vx {
namespace {

// The same unit (board id) with its inputs carrying `input`.
sim::SimConfig unit(sim::InputKind input) {
  sim::SimConfig config;
  config.model = "DT5743";
  config.board_id = 5;
  config.seed = 23;
  for (auto& ch : config.channel) ch.input = input;
  return config;
}

TEST(InlCorrectionOnSimulatedBoard, CalibratedTableNarrowsTheTimeDifference) {
  test::SimCore sim("DT5743");
  State& st = sim.st;
  // Calibrate on the sine input and store the tables on the unit's EEPROMs.
  sim.replace_board(unit(sim::InputKind::kSine));
  // A unit whose cells are far from even: its two first channels' true INL exceeds 15 ps rms.
  for (int c = 0; c < 2; ++c) {
    const auto& e = sim.board->imperfections().time_error[c];
    double sum = 0, square = 0;
    for (float v : e) sum += v, square += static_cast<double>(v) * v;
    const double rms = std::sqrt(square / kInlCells - (sum / kInlCells) * (sum / kInlCells));
    ASSERT_GT(rms * 312.5, 15.0) << "channel " << c;
  }
  for (int ch = 2; ch < kMaxChannels; ++ch) st.gui.ChannelEnabled[ch] = 0;
  Enable_INLCalibration(st, true);
  ASSERT_TRUE(test::run_events(st, 4000));
  Enable_INLCalibration(st, false);
  ASSERT_TRUE(st.inl.computed);
  EXPECT_TRUE(st.inl.usable);
  EXPECT_TRUE(sim.core.ui.has_message(MessageTab::Infos,
                                      "Frequency measured for the calibration SineWave: 200."));
  // Entry i is the time error at the end of cell i, where cell i + 1 starts: the measured curve
  // follows the unit's true one.
  const double T = Get_SamplingPeriod(st);
  for (int ch = 0; ch < 2; ++ch) {
    const auto& truth = sim.board->imperfections().time_error[ch];
    const auto& measured = st.inl.at(ch / 2, ch % 2).ResidualSegments;
    double mt = 0, mm = 0;
    for (int i = 0; i < kInlCells; ++i) mt += truth[(i + 1) % kInlCells] * T, mm += measured[i];
    mt /= kInlCells, mm /= kInlCells;
    double tt = 0, mmm = 0, tm = 0, dd = 0;
    for (int i = 0; i < kInlCells; ++i) {
      const double x = truth[(i + 1) % kInlCells] * T - mt, y = measured[i] - mm;
      tt += x * x, mmm += y * y, tm += x * y, dd += (x - y) * (x - y);
    }
    EXPECT_GT(tm / std::sqrt(tt * mmm), 0.9) << "correlation, channel " << ch;
    EXPECT_LT(std::sqrt(dd / tt), 0.2) << "rms difference against the truth's, channel " << ch;
  }
  // The stored tables in use; channels 2 and 3 switched on: they were not measured.
  ASSERT_EQ(Load_Calibrations_And_Reload(st, -1), 0);
  const auto factory = st.calib.TimePedestals;
  st.gui.ChannelEnabled[2] = st.gui.ChannelEnabled[3] = 1;
  for (int b = 0; b < st.sys.NbOfSAMBlocks; ++b) Save_INL_In_Array(st, st, st.log, b);
  EXPECT_TRUE(sim.core.ui.has_message(MessageTab::Errors, "INL values of ch3 not saved"));
  const auto calibrated = st.calib.TimePedestals;
  ASSERT_EQ(Save_INL_Values_To_EEPROM(st, -1, "Lab", "Test"), 0);

  // The same unit with pulses; the library takes the stored tables back.
  sim.replace_board(unit(sim::InputKind::kPulse));
  st.calib.TimePedestals = {};
  ASSERT_EQ(Load_Calibrations_And_Reload(st, -1), 0);
  for (int c = 0; c < 2; ++c)
    for (int i = 0; i < kInlCells; ++i) {
      ASSERT_NEAR(st.calib.TimePedestals[0][c][i], calibrated[0][c][i], 0.07) << c << " " << i;
      ASSERT_EQ(st.calib.TimePedestals[1][c][i], factory[1][c][i]) << 2 + c << " " << i;
    }

  // Channels 0 and 1 share their first cell, not their cells' time errors.
  st.acq.EnTimeJitter = 1;
  st.acq.TimeHistoChannelA = 0;
  st.acq.TimeHistoChannelB = 1;
  double rms[2] = {};
  for (int corrected : {0, 1}) {
    st.acq.INLCorrectionEnabled = corrected;
    Set_SAMCorrectionLevel(st, st);
    ASSERT_TRUE(test::run_events(st, 1500));
    ASSERT_GE(st.meas.TimeHisto.entries, 1400);
    EXPECT_NEAR(st.meas.TimeHisto.mean_ns, 0.0, 0.05);
    rms[corrected] = st.meas.TimeHisto.rms_ps;
  }
  std::printf("time difference rms: %.2f ps without INL correction, %.2f ps with it\n", rms[0],
              rms[1]);
  EXPECT_LE(rms[1], 0.7 * rms[0]);
}

}  // namespace
}  // namespace vx
