#include <gtest/gtest.h>

#include <cstring>
#include <variant>

#include "app/parameters.h"
#include "calibration/pedestal_calibration.h"
#include "files/data_file_reader.h"
#include "support/packed_value.h"
#include "support/sim_core.h"
#include "support/test_state.h"

namespace vx {
namespace {

// Reads a little-endian value of type T at a byte offset of a record image.
template <typename T, typename Rec>
T at(const Rec& rec, std::size_t offset) {
  T v;
  std::memcpy(&v, reinterpret_cast<const unsigned char*>(&rec) + offset, sizeof v);
  return v;
}

using Value = std::variant<std::int32_t, std::uint16_t, std::uint8_t, float, double>;

template <typename Rec>
void expect_image(const Rec& rec, const char* name, std::size_t offset, Value expected) {
  std::visit(
      [&](auto want) {
        using T = decltype(want);
        EXPECT_EQ(at<T>(rec, offset), want) << name << " at offset " << offset;
      },
      expected);
}

class DefaultsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    core.state.UserPath = dir.path();
    Init_Params(core.state);
  }
  test::TempDir dir;
  test::TestCore core;
};

// The defaults read from the raw record images: a field at the wrong offset, of the wrong
// width or with the wrong default fails here.
TEST_F(DefaultsTest, AcqParamsImage) {
  const AcqParams& a = core.state.acq;
  struct Row {
    const char* name;
    std::size_t offset;
    Value value;
  } rows[] = {
      {"RunType", 4, std::int32_t{3}},
      {"RunDuration", 8, std::int32_t{300}},
      {"DisplayOn", 24, std::int32_t{1}},
      {"MaxNumEventsBLT", 28, std::int32_t{100}},
      {"SelectedLine", 60, std::uint16_t{0}},
      {"NbOfBinsForSpline", 62, std::int32_t{5}},
      {"NbOfBinsForBaseline", 66, std::int32_t{32}},
      {"INLUseIntervalRatio", 78, std::int32_t{1}},
      {"INLSegmentOffset", 86, std::int32_t{1}},
      {"CFDMethod", 98, std::int32_t{1}},
      {"CFDRatio", 102, 0.5f},
      {"TimeHistoChannelB", 110, std::int32_t{1}},
      {"NoMaxPeakThresholdDistance", 114, std::int32_t{1}},
      {"MaxPeakThresholdDistance", 118, 5.0f},
      {"MinPulsesDistance", 126, -10.0f},
      {"MaxPulsesDistance", 130, 10.0f},
      {"INLNbOfSegments", 290, std::int32_t{64}},
      {"INLCorrectionEnabled", 294, std::int32_t{1}},
      {"SplitFileToSaveData", 306, std::int32_t{1}},
      {"NbOfEventsPerFile", 310, std::int32_t{500}},
      {"PopupForFileName", 322, std::int32_t{1}},
      {"AddRunId", 1370, std::int32_t{1}},
      {"AutoIncRunId", 1374, std::int32_t{1}},
      {"RunIdUser", 1378, std::int32_t{1}},
      {"NbOfSamplesInFile", 1390, std::int32_t{1024}},
      {"NbOfChannelsInFile", 1398, std::int32_t{16}},
      {"ChargeRangeAuto", 1406, std::int32_t{1}},
      {"ChargeHistoMin[0][0]", 1474, -50.0f},
      {"ChargeHistoMin[7][1]", 1534, -50.0f},
      {"ChargeHistoMax[0][0]", 1538, 50.0f},
      {"ChargeHistoMax[7][1]", 1598, 50.0f},
      {"RateScanStartThreshold", 1614, -0.02f},
      {"RateScanEndThreshold", 1618, 0.02f},
      {"RateScanNbOfSteps", 1622, std::int32_t{99}},
      {"RateScanStepValue", 1626, 0.1f},
  };
  for (const auto& r : rows) expect_image(a, r.name, r.offset, r.value);
  EXPECT_STREQ(reinterpret_cast<const char*>(&a) + 326, "veltrix");
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(&a) + 842),
            (dir.path() / "RunData").string());
  EXPECT_TRUE(std::filesystem::is_directory(dir.path() / "RunData"));
  EXPECT_EQ(at<std::int32_t>(a, 1382), 0) << "unused field must stay untouched";
}

TEST_F(DefaultsTest, SystemBoardTcpImages) {
  const SystemParams& s = core.state.sys;
  struct Row {
    const char* name;
    std::size_t offset;
    Value value;
  } sys_rows[] = {
      {"RecordLength", 13, std::int32_t{1024}},      {"PrimitivesGateLength", 221, std::int32_t{3}},
      {"ExternalTriggerType", 229, std::int32_t{1}}, {"MonitorGain", 233, std::int32_t{7}},
      {"MonitorMode", 237, std::int32_t{3}},         {"BoardMasterMode", 245, std::int32_t{1}},
      {"SlaveNumber", 249, std::int32_t{1}},         {"NumberOfSlaves", 253, std::int32_t{1}},
      {"UseLvdsIO", 257, std::int32_t{1}},           {"VetoInExtraLatency", 261, std::int32_t{20}},
  };
  for (const auto& r : sys_rows) expect_image(s, r.name, r.offset, r.value);
  EXPECT_EQ(at<std::int32_t>(core.state.board, 164), 276);

  const TCPParams& t = core.state.tcp;
  EXPECT_EQ(at<std::int32_t>(t, 4), 8008);
  EXPECT_EQ(at<std::int32_t>(t, 316), 1);
  EXPECT_STREQ(reinterpret_cast<const char*>(&t) + 12, "NONE");
  EXPECT_STREQ(reinterpret_cast<const char*>(&t) + 268, "NONE");
  EXPECT_STREQ(reinterpret_cast<const char*>(&t) + 292, "NONE");
  EXPECT_STREQ(reinterpret_cast<const char*>(&t) + 324, ".");
}

TEST_F(DefaultsTest, EverySamBlockImageWithBuiltRegisters) {
  for (int b = 0; b < kMaxSamBlocks; ++b) {
    const SAMBlockParams& k = core.state.sam[b];
    SCOPED_TRACE(b);
    struct Row {
      const char* name;
      std::size_t offset;
      Value value;
    } rows[] = {
        {"ControlRegBit0", 0, std::int32_t{1}},
        {"BoardGain", 4, 1.0f},
        {"OffsetGain", 8, 1.0f},
        // TriggerRegBit0 1 + TriggerEnable 16 + 64
        {"TriggerReg", 36, std::uint16_t{81}},
        {"TriggerRegBit0", 38, std::uint16_t{1}},
        {"TriggerEnable[0]", 52, std::int32_t{1}},
        {"TriggerEnable[1]", 56, std::int32_t{1}},
        {"TriggerGateLength", 76, std::uint8_t{3}},
        {"TriggerGateReg", 81, std::uint16_t{1}},
        {"PedestalPerCell", 83, std::int32_t{1}},
        // ControlRegBit0 1 + ControlRegBit2 4 + RateCountersEnabled 8
        {"ControlReg", 91, std::uint16_t{13}},
        {"SamParamWord", 93, std::uint16_t{100}},
        {"PostTrigger", 95, std::uint16_t{1}},
        {"RateCountersEnabled", 97, std::int32_t{1}},
        {"TrigCountVetoWindow[1]", 111, std::uint16_t{2}},
        {"RecordLength16", 113, std::uint16_t{64}},
        {"SamReg1", 115, std::uint16_t{0x2E9}},
        {"SamReg2", 117, std::uint16_t{0xC081}},
        {"SamReg6", 119, std::uint16_t{0xF001}},
        {"SamReg3", 121, std::uint16_t{0x27}},
        {"TriggerThreshold[1]", 161, 0.02f},
        {"ChargeStartIndex[1]", 185, std::int32_t{17}},
        {"ChargeLength[1]", 191, std::uint16_t{1005}},
        {"PulsePattern[1]", 227, std::uint16_t{1}},
        // PulseSource 1 << 2
        {"PulseReg", 229, std::uint8_t{4}},
        {"PulseSource", 238, std::int32_t{1}},
        {"NoResetPerReadout", 242, std::int32_t{1}},
        {"ControlRegBit2", 246, std::int32_t{1}},
    };
    for (const auto& r : rows) expect_image(k, r.name, r.offset, r.value);
  }
}

TEST_F(DefaultsTest, GuiImageAndNoiseWindow) {
  const GuiParams& g = core.state.gui;
  for (int ch = 0; ch < kMaxChannels; ++ch) {
    EXPECT_EQ(at<std::int32_t>(g, 4 * ch), 1);
    EXPECT_EQ(at<float>(g, 64 + 4 * ch), 0.02f);
    EXPECT_EQ(at<float>(g, 128 + 4 * ch), -1.25f);
    EXPECT_EQ(at<float>(g, 192 + 4 * ch), 1.25f);
    EXPECT_EQ(at<std::int32_t>(g, 356 + 4 * ch), 500);
  }
  EXPECT_EQ(at<double>(g, 272), -100.0);
  EXPECT_EQ(at<double>(g, 280), 100.0);
  EXPECT_EQ(at<std::int32_t>(g, 428), 100);
  EXPECT_EQ(at<std::int32_t>(g, 436), -1);
  EXPECT_EQ(at<std::int32_t>(g, 444), -1);
  EXPECT_EQ(at<std::int32_t>(g, 640), 1);
  EXPECT_EQ(at<std::int32_t>(g, 652), -1);
  // The noise window: the 32 leading samples of the baseline, before the pulses.
  EXPECT_EQ(core.state.StartSigmaSample, 0);
  EXPECT_EQ(core.state.EndSigmaSample, 31);
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
  EXPECT_EQ(VX_VALUE(saved[1].SerialNumberMajor), 101);
  for (int b = 2; b < kMaxSamBlocks; ++b) EXPECT_EQ(VX_VALUE(saved[b].SerialNumberMajor), -1);

  int applied = 0;
  st.hooks.apply_all_board_parameters = [&] { ++applied; };
  for (int b = 0; b < kMaxSamBlocks; ++b) st.sam[b].SerialNumberMajor = 500 + b;
  st.acq.RunType = 3;
  Restore_Params(st, Snapshot::Calibration);
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
