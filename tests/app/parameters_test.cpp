#include <gtest/gtest.h>

#include <filesystem>

#include "app/parameters.h"
#include "calibration/pedestal_calibration.h"
#include "files/data_file_reader.h"
#include "support/packed_value.h"
#include "support/sim_core.h"
#include "support/test_state.h"

namespace vx {
namespace {

// Every default is in the setup a fresh start saves (the command line's tests compare it with
// the file saved before). What a fresh start must leave alone, and what the file does not hold:
TEST(Parameters, AFreshStartSetsItsDefaultsAndKeepsWhatIsNotItsOwn) {
  test::TestCore core;
  State& st = core.state;
  st.acq.Unused1382 = 7;
  set_text(st.acq.RunDirectory, "run_5");
  st.sam[3].SerialNumberMajor = 42;
  st.sam[3].SamDacOffsetCh1[15] = 9;
  st.gui.YAxisMax = 2.5;
  st.tcp.ServerPort = 9000;
  Init_Params(st);
  EXPECT_EQ(VX_VALUE(st.acq.Unused1382), 7);
  EXPECT_STREQ(st.acq.RunDirectory, "run_5");
  EXPECT_EQ(VX_VALUE(st.sam[3].SerialNumberMajor), 42);
  EXPECT_EQ(VX_VALUE(st.sam[3].SamDacOffsetCh1[15]), 9);
  EXPECT_EQ(VX_VALUE(st.gui.YAxisMax), 2.5);
  EXPECT_EQ(VX_VALUE(st.sam[7].ChargeLength[1]), 1005);
  EXPECT_EQ(VX_VALUE(st.sam[7].TriggerGateLength), 3);
  EXPECT_TRUE(std::filesystem::is_directory(core.home.path() / "RunData"));
  // The TCP record, never saved: reset unless a server is registered.
  EXPECT_EQ(VX_VALUE(st.tcp.ServerPort), 8008);
  EXPECT_EQ(VX_VALUE(st.tcp.RemoteStopRequest), 1);
  EXPECT_STREQ(st.tcp.ClientIp, "NONE");
  EXPECT_STREQ(st.tcp.RemoteSetupFileName, ".");
  // The noise window: the 32 leading samples of the baseline, before the pulses.
  EXPECT_EQ(st.StartSigmaSample, 0);
  EXPECT_EQ(st.EndSigmaSample, 31);
}

TEST(Parameters, SavedBlocksFollowTheBoardAndRestoreReappliesEverything) {
  test::TestCore core;
  State& st = core.state;
  for (int b = 0; b < kMaxSamBlocks; ++b) {
    st.sam[b].SerialNumberMajor = 100 + b;
    st.saved(Snapshot::Calibration).sam[b].SerialNumberMajor = -1;
  }
  st.sys.NbOfSAMBlocks = 2;
  st.acq.RunType = 1;
  Save_Params(st, Snapshot::Calibration);
  const auto& saved = st.saved(Snapshot::Calibration).sam;
  EXPECT_EQ(VX_VALUE(saved[0].SerialNumberMajor), 100);
  for (int b = 2; b < kMaxSamBlocks; ++b) EXPECT_EQ(VX_VALUE(saved[b].SerialNumberMajor), -1);

  int applied = 0;
  st.hooks.apply_all_board_parameters = [&] { ++applied; };
  for (int b = 0; b < kMaxSamBlocks; ++b) st.sam[b].SerialNumberMajor = 500 + b;
  st.acq.RunType = 3;
  Restore_Params(st, st, Snapshot::Calibration);
  EXPECT_EQ(VX_VALUE(st.acq.RunType), 1);
  EXPECT_EQ(VX_VALUE(st.sam[1].SerialNumberMajor), 101);
  for (int b = 2; b < kMaxSamBlocks; ++b) EXPECT_EQ(VX_VALUE(st.sam[b].SerialNumberMajor), 500 + b);
  EXPECT_EQ(applied, 1);
  EXPECT_GE(core.ui.refresh_count(Panel::AllValues), 1);
}

// A calibration taken while a replay holds the saving options aside does not lose them: the
// next run after the replay is saved again.
TEST(Parameters, ACalibrationDuringAReplayKeepsWhatTheReplayPutAside) {
  test::SimCore sim("DT5743");
  sim.connect();
  State& st = sim.st;
  st.acq.SaveDataInFile = 1;
  Set_RunFromFile(st, 1);
  ASSERT_EQ(VX_VALUE(st.acq.SaveDataInFile), 0);
  st.calib.NbOfRunsForPedestalCalibration = 2;
  ASSERT_TRUE(Calibrate_Matrice(st, -1));
  EXPECT_EQ(VX_VALUE(st.acq.RunFromFile), 1);
  Set_RunFromFile(st, 0);
  EXPECT_EQ(VX_VALUE(st.acq.SaveDataInFile), 1);
  EXPECT_EQ(VX_VALUE(st.acq.RunFromFile), 0);
}

}  // namespace
}  // namespace vx
