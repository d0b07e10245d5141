#include <gtest/gtest.h>

#include "analysis/charge.h"
#include "app/dac_conversions.h"
#include "digitizer/board_configuration.h"
#include "digitizer/dacs.h"
#include "support/packed_value.h"
#include "support/sim_core.h"

namespace vx {
namespace {

using test::SimCore;

std::int64_t last_write(const SimCore& sim, std::int64_t address) {
  std::int64_t value = -1;
  for (const auto& [a, v] : test::register_writes(sim))
    if (a == address) value = v;
  return value;
}

// The defaults reach the connected board: software trigger, OR pairs with a 3 x 5 ns window,
// NIM, INL correction, 1024 samples, post-trigger 1, every block enabled.
TEST(BoardSetup, InitialisationGivesTheLibraryTheDefaults) {
  SimCore sim("DT5743");
  sim.connect();
  ASSERT_EQ(sim.st.Board_Connected.load(), 1);
  const auto args = [&](const std::string& name) {
    std::vector<std::vector<std::int64_t>> out;
    for (const auto& r : sim.calls_named(name))
      out.emplace_back(r.args.begin() + 1, r.args.end());  // without the handle
    return out;
  };
  using Args = std::vector<std::vector<std::int64_t>>;
  EXPECT_EQ(args("SetGroupEnableMask"), (Args{{0xF}, {0xF}}));
  EXPECT_EQ(args("SetMaxNumEventsBLT"), (Args{{100}}));
  EXPECT_EQ(args("SetSAMSamplingFrequency"), (Args{{0}}));
  EXPECT_EQ(args("SetSWTriggerMode"), (Args{{1}}));
  EXPECT_EQ(args("SetChannelSelfTrigger"), (Args{{0, 0xFF}}));
  EXPECT_EQ(args("SetExtTriggerInputMode"), (Args{{0}}));
  EXPECT_EQ(args("SetTriggerLogic"), (Args{{0, 0}, {0, 0}}));
  Args pairs;
  for (int round = 0; round < 2; ++round)
    for (int b = 0; b < 4; ++b) pairs.push_back({2 * b, 2 * b + 1, 0, 15});
  EXPECT_EQ(args("SetChannelPairTriggerLogic"), pairs);
  EXPECT_EQ(args("SetSAMPostTriggerSize"), (Args{{0, 1}, {1, 1}, {2, 1}, {3, 1}}));
  EXPECT_EQ(args("SetIOLevel"), (Args{{0}}));
  EXPECT_EQ(args("SetSAMCorrectionLevel"), (Args{{3}}));  // pedestals and INL
  EXPECT_EQ(args("SetSAMAcquisitionMode"), (Args{{kAcqModeWaveform}}));
  EXPECT_EQ(args("SetRecordLength"), (Args{{1024}}));
  EXPECT_EQ(last_write(sim, 0x81B4), 7);     // monitor gain
  EXPECT_EQ(last_write(sim, 0x8144), 3);     // monitor mode
  EXPECT_EQ(last_write(sim, 0x8070), 0x0D);  // control bits 0, 2 and 3

  EXPECT_EQ(sim.calls.count("SetChannelDCOffset"), 8u);
  EXPECT_EQ(sim.calls.count("SetChannelTriggerThreshold"), 8u);
  EXPECT_TRUE(sim.core.ui.has_message(MessageTab::Infos, "End of Hardware Setup. \n"));
  EXPECT_TRUE(sim.core.ui.has_message(MessageTab::Infos, "Mother Board Firmware Version is : V"));
}

// Normal and Auto enable the self triggers of every channel of the board and disable them
// on the channels switched off; External and the software trigger use none.
TEST(BoardSetup, EachTriggerSourceProgramsSelfTriggersAndTheExternalInput) {
  struct Case {
    std::string model;
    int source;
    std::vector<std::int64_t> self_modes;
    std::int64_t ext_mode;
    std::size_t logic_writes;
  } cases[] = {{"V1743", 0, {0}, 0, 1},
               {"V1743", 1, {1, 0}, 0, 0},
               {"DT5743", 1, {1, 0}, 0, 0},
               {"V1743", 2, {1, 0}, 1, 1},
               {"V1743", 3, {0}, 1, 0}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.model + " source " + std::to_string(c.source));
    SimCore sim(c.model);
    sim.connect();
    sim.st.sam[1].TriggerEnable[1] = 0;  // channel 3 off
    sim.st.sys.TriggerSource = c.source;
    sim.st.sys.OverallTriggerLogic = 2;
    sim.calls.clear();
    Set_SystemTriggerMode(sim.st);
    const auto self = sim.calls_named("SetChannelSelfTrigger");
    std::vector<std::int64_t> modes;
    for (const auto& r : self) modes.push_back(r.args[1]);
    EXPECT_EQ(modes, c.self_modes);
    if (c.self_modes.size() == 2) {
      EXPECT_EQ(self[0].args[2], c.model == "V1743" ? 0xFFFF : 0xFF);
      EXPECT_EQ(self[1].args[2], 0x8) << "only the disabled channel";
    }
    EXPECT_EQ(sim.calls_named("SetExtTriggerInputMode").at(0).args[1], c.ext_mode);
    EXPECT_EQ(sim.calls.count("SetTriggerLogic"), c.logic_writes);
    EXPECT_EQ(VX_VALUE(sim.st.sys.OverallTriggerLogic), c.logic_writes == 1 ? 0 : 2);
    sim.calls.clear();
    Set_SystemEnabledTriggerSources(sim.st);
    EXPECT_EQ(sim.calls.count("SetChannelSelfTrigger"), c.self_modes.size() == 2 ? 2u : 0u);
  }
}

TEST(BoardSetup, SynchronisedModeRegisters) {
  struct Case {
    int master, lvds, slave_number, slaves;
    std::int64_t r8170;
  } cases[] = {
      {1, 1, 1, 3, 6},  // master: 2 x slaves
      {0, 1, 2, 3, 2},  // slave 2 of 3
      {0, 0, 2, 3, 0},  // no LVDS
  };
  for (const auto& c : cases) {
    SimCore sim;
    sim.connect();
    SystemParams& s = sim.st.sys;
    s.SyncMode = 1;
    s.BoardMasterMode = c.master;
    s.UseLvdsIO = c.lvds;
    s.SlaveNumber = c.slave_number;
    s.NumberOfSlaves = c.slaves;
    sim.calls.clear();
    Set_SystemTriggerMode(sim.st);
    EXPECT_EQ(last_write(sim, 0x8170), c.r8170);
    EXPECT_EQ(VX_VALUE(s.TriggerSource), 3);
    const auto r8100 = last_write(sim, 0x8100);
    if (c.lvds == 1) {
      EXPECT_EQ(r8100 & 0x3FF, c.master == 1 ? 0x200 : 0x307);
      EXPECT_EQ(last_write(sim, 0x81A0) & 0xFF00, 0x2200);
      EXPECT_EQ(last_write(sim, 0x811C) & 0x132, 0x120);
    } else {
      EXPECT_EQ(r8100 & 0xF, 0x2);
    }
  }
}

TEST(BoardSetup, PostTriggerFrequencyAndRecordLengthReachTheBoard) {
  SimCore sim;
  sim.connect();
  sim.st.sam[0].PostTrigger = 300;
  sim.calls.clear();
  Set_SystemPostTrigger(sim.st);
  EXPECT_EQ(sim.calls_named("SetSAMPostTriggerSize").at(0).args[2], 300 % 256);

  for (const auto& [mhz, index] : std::vector<std::pair<int, int>>{
           {3200, 0}, {1600, 1}, {800, 2}, {400, 3}, {1000, 0}, {0, 0}}) {
    sim.calls.clear();
    Set_Frequency(sim.st, mhz);
    EXPECT_EQ(sim.calls_named("SetSAMSamplingFrequency").at(0).args[1], index) << mhz;
    for (const auto& blk : sim.st.sam) EXPECT_EQ(VX_VALUE(blk.FrequencyIndex), index);
  }

  sim.st.sam[0].RecordLength16 = 32;
  sim.calls.clear();
  Load_HardwareSetup(sim.st, 19, -1);
  EXPECT_EQ(sim.calls_named("SetRecordLength").at(0).args[1], 512);
}

// Switching charge modes changes the control word's charge bit: the image follows and the
// board's control register gets it (a setup file stores the image as it is).
TEST(BoardSetup, ChargeModeReachesTheControlRegister) {
  SimCore sim;
  sim.connect();
  // Bits 0 and 2 (defaults 1), 3 rate counters, 4 firmware charge mode.
  const std::int64_t firmware_word = 1 + 4 + 8 + 16;
  for (const auto& [mode, word] : {std::pair{ChargeMode::Firmware, firmware_word},
                                   std::pair{ChargeMode::Off, firmware_word - 16}}) {
    sim.calls.clear();
    Select_ChargeMode(sim.st, mode);
    EXPECT_EQ(VX_VALUE(sim.st.sam[0].ControlReg), word);
    EXPECT_EQ(last_write(sim, 0x8070), word);
  }
}

TEST(Dacs, ConversionsAndTheRangeClamp) {
  // Volts to threshold and offset codes; beyond the range the nearest end, never the opposite.
  const std::tuple<float, std::uint32_t, std::int32_t> cases[] = {
      {0.0f, 32767u, 32767}, {1.25f, 0u, 65535}, {-1.25f, 65535u, 0}, {2.25f, 0u, 65535},
      {3.0f, 0u, 65535},     {-2.0f, 65535u, 0}, {-3.0f, 65535u, 0}};
  for (const auto& [volts, threshold, offset] : cases) {
    EXPECT_EQ(Calculate_ThresholdDACIntValues(volts), threshold) << volts;
    EXPECT_EQ(Calculate_OffsetDACIntValues(volts), offset) << volts;
  }
  EXPECT_NEAR(Calculate_DACFloatValue(32688), -0.00303f + 0.0f, 0.006f);
  EXPECT_FLOAT_EQ(Calculate_DACFloatValue(0), -1.25f);
  EXPECT_FLOAT_EQ(Calculate_DACFloatValue(65535), 1.25f);
}

TEST(Dacs, MeanThresholdOnlyForASingleBlock) {
  SimCore sim;
  sim.connect();
  sim.st.calib.MeanThreshold[1][0] = 0.1f;
  sim.calls.clear();
  Load_DACs(sim.st, 4, -1);
  const auto all = sim.calls_named("SetChannelTriggerThreshold");
  ASSERT_EQ(all.size(), 16u);
  EXPECT_EQ(all[2].args[1], 2);
  EXPECT_EQ(all[2].args[2], Calculate_ThresholdDACIntValues(0.02f));
  sim.calls.clear();
  Load_DACs(sim.st, 4, 1);
  const auto one = sim.calls_named("SetChannelTriggerThreshold");
  ASSERT_EQ(one.size(), 2u);
  EXPECT_EQ(one[0].args[2], Calculate_ThresholdDACIntValues(0.02f + 0.1f));
  EXPECT_EQ(sim.calls.count("SetChannelDCOffset"), 2u);
}

TEST(Dacs, OffsetChangeBringsTheThresholdIntoRangeAndWarnsOnce) {
  SimCore sim;
  sim.connect();
  sim.st.gui.ThresholdVolts[5] = 2.5f;
  sim.calls.clear();
  // The connection's own notes (tables not valid) are warnings too, without a popup.
  const auto warnings_before = sim.core.ui.tab_texts(MessageTab::Warnings).size();
  Set_ChannelOffset(sim.st, 5, 1.0f);
  EXPECT_FLOAT_EQ(VX_VALUE(sim.st.gui.ThresholdVolts[5]), 2.25f);
  EXPECT_FLOAT_EQ(VX_VALUE(sim.st.sam[2].TriggerThreshold[1]), 2.25f);
  EXPECT_FLOAT_EQ(VX_VALUE(sim.st.gui.ThresholdMin[5]), -0.25f);
  const auto thresholds = sim.calls_named("SetChannelTriggerThreshold");
  ASSERT_EQ(thresholds.size(), 1u);
  EXPECT_EQ(thresholds[0].args[1], 5);
  EXPECT_EQ(thresholds[0].args[2], 0) << "clamped at the top of the range, not wrapped";
  EXPECT_EQ(sim.calls_named("SetChannelDCOffset").at(0).args[2],
            Calculate_OffsetDACIntValues(1.0f));

  Set_ChannelOffset(sim.st, 5, 0.0f);
  EXPECT_EQ(sim.core.ui.tab_texts(MessageTab::Warnings).size(), warnings_before + 1);
  EXPECT_EQ(sim.core.ui.popups().size(), 1u);
}

TEST(Dacs, NothingWithoutSamBlocks) {
  SimCore sim;
  sim.st.sys.NbOfSAMBlocks = 0;
  Load_DACs(sim.st, 4, -1);
  Load_HardwareSetup(sim.st, 19, -1);
  EXPECT_TRUE(sim.calls.records().empty());
}

}  // namespace
}  // namespace vx
