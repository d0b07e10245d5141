#include <gtest/gtest.h>

#include "acquisition/acquisition_controls.h"
#include "acquisition/run_control.h"
#include "acquisition/sam_slow_control.h"
#include "acquisition/time_measurement_controls.h"
#include "digitizer/board_configuration.h"
#include "files/file_menu.h"
#include "files/setup_file.h"
#include "support/packed_value.h"
#include "support/saved_runs.h"
#include "support/sim_core.h"
#include "support/test_state.h"

namespace vx {
namespace {

using test::SimCore;

TEST(Controls, GateLengthRoundsDownToFiveNanoseconds) {
  SimCore sim("DT5743");
  sim.connect();
  struct Case {
    int entered, shown, stored;
  };
  for (const Case c :
       {Case{23, 20, 4}, Case{4, 0, 0}, Case{1275, 1275, 255}, Case{5000, 1275, 255}}) {
    SCOPED_TRACE(c.entered);
    sim.calls.clear();
    EXPECT_EQ(Set_GateLength(sim.st, c.entered), c.shown);
    EXPECT_EQ(VX_VALUE(sim.st.sys.PrimitivesGateLength), c.stored);
    const auto pairs = sim.calls_named("SetChannelPairTriggerLogic");
    ASSERT_EQ(pairs.size(), 4u) << "one pair per block of the 8-channel board";
    for (int b = 0; b < 4; ++b) {
      EXPECT_EQ(pairs[b].args[1], 2 * b);
      EXPECT_EQ(pairs[b].args[4], c.shown) << "the library receives the window in ns";
      EXPECT_EQ(VX_VALUE(sim.st.sam[b].TriggerGateLength), c.stored);
    }
  }
}

TEST(Controls, ChannelBeyondTheBoardIsRefusedWithTheMessage) {
  SimCore sim("DT5743");
  sim.connect();
  ASSERT_TRUE(Select_Channel(sim.st, sim.st, 7));
  EXPECT_FALSE(Select_Channel(sim.st, sim.st, 8));
  EXPECT_EQ(VX_VALUE(sim.st.gui.SelectedChannel), 7);
  EXPECT_TRUE(sim.core.ui.has_message(
      MessageTab::Infos, "Selected channel number exceeds number of channels in system.\n"));
}

TEST(Controls, OffsetChangeDuringARunRestartsItWithItsNumbering) {
  sim::SimConfig config;
  config.fault.stop_after_events = 30;
  SimCore sim("DT5743", config);
  sim.connect();
  Set_RunType(sim.st, sim.st, 1, 1000);
  ASSERT_EQ(Start_AcquisitionFromUser(sim.st), 1);
  ASSERT_TRUE(wait_for_flag([&] { return sim.st.EventNumber.load() == 30; }, 10.0));
  sim.calls.clear();
  Set_Offset(sim.st, 3, 0.5f);
  EXPECT_EQ(sim.st.AcquisitionRunning.load(), 1) << "the run goes on";
  EXPECT_EQ(sim.st.EventNumber.load(), 30) << "the next event is 31: 30 was kept";
  // The offset DAC of channel 3 gets (0.5 + 1.25) / 2.5 x 65535, truncated.
  const auto offsets = sim.calls_named("SetChannelDCOffset");
  ASSERT_EQ(offsets.size(), 1u);
  EXPECT_EQ(offsets[0].args[1], 3);
  EXPECT_EQ(offsets[0].args[2], 45874);
  // The stop came before the DAC, the new start after it.
  const auto names = sim.calls.names();
  const auto at = [&](const std::string& n) {
    return std::find(names.begin(), names.end(), n) - names.begin();
  };
  EXPECT_LT(at("SWStopAcquisition"), at("SetChannelDCOffset"));
  EXPECT_LT(at("SetChannelDCOffset"), at("SWStartAcquisition"));
  Stop_AcquisitionFromUser(sim.st);
}

// A run that saves or sends its data keeps what its files' header says of every record, and
// its files' names: each such change is refused and told while it goes on, and taken during
// a run that does neither.
TEST(Controls, WhatTheFilesHeaderSaysWaitsForTheEndOfARunThatSavesOrSends) {
  const std::pair<const char*, void (*)(State&)> settings[] = {
      {"record length", [](State& s) { Set_RecordColumns(s, 32); }},
      {"record length", [](State& s) { Set_FullRecordingDepth(s, true); }},
      {"sampling frequency", [](State& s) { Set_SamplingFrequency(s, 1600); }},
      {"set of channels acquired", [](State& s) { Set_ChannelEnabled(s, 3, false); }},
      {"INL correction", [](State& s) { Set_InlCorrection(s, false); }},
      {"edge timing", [](State& s) { Set_EdgeTiming(s, EdgeTiming::kBandLimited); }},
      {"data directory", [](State& s) { Set_DataDirectory(s, "/elsewhere"); }},
      {"base file name", [](State& s) { Set_BaseFileName(s, "other"); }},
      {"data file format", [](State& s) { Set_DataFileType(s, 1); }},
      {"file splitting", [](State& s) { Set_FileSplitting(s, true, 7); }},
      {"directory question", [](State& s) { Set_PopupForFileName(s, true); }},
      {"run name", [](State& s) { Set_RunNameParts(s, true, false, true, true); }},
      {"run number", [](State& s) { Set_RunIdUser(s, 77); }},
  };
  // What the settings above change, read back.
  const auto values = [](const State& s) {
    const AcqParams& a = s.acq;
    return std::vector<std::string>{std::to_string(s.sys.RecordLength),
                                    std::to_string(Get_Frequency(s)),
                                    std::to_string(s.gui.ChannelEnabled[3]),
                                    std::to_string(a.INLCorrectionEnabled),
                                    std::to_string(a.TimeMeasSpareOption),
                                    a.DataDirectory,
                                    a.BaseFileName,
                                    std::to_string(a.DataFileType),
                                    std::to_string(a.NbOfEventsPerFile),
                                    std::to_string(a.PopupForFileName),
                                    std::to_string(a.AddSystemDate),
                                    std::to_string(a.RunIdUser)};
  };
  for (const char* run : {"saving", "sending", "neither"}) {
    SCOPED_TRACE(run);
    SimCore sim("DT5743");
    sim.connect();
    State& st = sim.st;
    Set_RecordColumns(st, 48);
    Set_SamplingFrequency(st, 800);
    Set_InlCorrection(st, true);
    Set_PopupForFileName(st, false);
    if (std::string(run) == "saving") test::save_runs(st, sim.dir.path() / "RunData", 0);
    if (std::string(run) == "sending") st.TransmitRunData().store(1);
    Set_RunType(st, st, 3, 0);
    ASSERT_EQ(Start_AcquisitionFromUser(st), 1);
    for (const auto& [name, change] : settings) {
      SCOPED_TRACE(name);
      const auto before = values(st);
      change(st);
      const bool refused = sim.core.ui.has_message(
          MessageTab::Warnings, std::string("The ") + name +
                                    " cannot change while a run saves or sends its data: every "
                                    "record of its files must match their header.");
      EXPECT_EQ(refused, std::string(run) != "neither");
      EXPECT_EQ(values(st) == before, refused);
      sim.core.ui.clear();
    }
    Load_SetupFromFile(st, (sim.dir.path() / "none.dat").string(), 0);
    EXPECT_EQ(sim.core.ui.has_message(MessageTab::Warnings,
                                      "Unable to load a setup while a run saves or sends its data"),
              std::string(run) != "neither");
    EXPECT_EQ(st.AcquisitionRunning.load(), 1);
    Stop_AcquisitionFromUser(st);
  }
}

TEST(Controls, FullDepthOffAtFullDepthOnlyShowsThePopup) {
  SimCore sim("DT5743");
  sim.connect();
  Set_RecordColumns(sim.st, 20);
  EXPECT_EQ(VX_VALUE(sim.st.sys.RecordLength), 320);
  EXPECT_EQ(sim.calls_named("SetRecordLength").back().args[1], 320);
  EXPECT_TRUE(Set_FullRecordingDepth(sim.st, true));
  EXPECT_EQ(VX_VALUE(sim.st.sys.RecordLength), 1024);
  sim.calls.clear();
  EXPECT_FALSE(Set_FullRecordingDepth(sim.st, false));
  EXPECT_TRUE(sim.calls.records().empty());
  EXPECT_EQ(VX_VALUE(sim.st.sys.RecordLength), 1024);
  const auto popups = sim.core.ui.popups();
  ASSERT_EQ(popups.size(), 1u);
  EXPECT_EQ(popups[0].title, "INFO");
  EXPECT_EQ(popups[0].text, "To reduce the recording depth reduce the Specified Depth!\n");
}

TEST(Controls, ThresholdEdgeAndFrequencyReachEveryChannel) {
  SimCore sim("V1743");
  sim.connect();
  sim.calls.clear();
  Set_Threshold(sim.st, -1, -0.05f);
  Set_TriggerEdge(sim.st, -1, kPolarityFallingEdge);
  Set_SamplingFrequency(sim.st, 800);
  const auto thresholds = sim.calls_named("SetChannelTriggerThreshold");
  const auto polarities = sim.calls_named("SetTriggerPolarity");
  ASSERT_EQ(thresholds.size(), 16u);
  ASSERT_EQ(polarities.size(), 16u);
  const auto code = static_cast<std::int64_t>((1.25 + 0.05) / 2.5 * 65535.0);
  for (int ch = 0; ch < 16; ++ch) {
    EXPECT_EQ(thresholds[ch].args[1], ch);
    EXPECT_NEAR(static_cast<double>(thresholds[ch].args[2]), static_cast<double>(code), 1.0);
    EXPECT_EQ(polarities[ch].args[1], ch);
    EXPECT_EQ(polarities[ch].args[2], kPolarityFallingEdge);
    EXPECT_EQ(VX_VALUE(sim.st.gui.ThresholdVolts[ch]), -0.05f);
  }
  for (const auto& blk : sim.st.sam) EXPECT_TRUE(blk.SamReg2 & 0x8) << "slow clocks set bit 3";
  Set_SamplingFrequency(sim.st, 1600);
  for (const auto& blk : sim.st.sam) EXPECT_FALSE(blk.SamReg2 & 0x8);
}

TEST(Controls, PulseModeOffWithTheInternalPulserDisablesEveryChannel) {
  SimCore sim("DT5743");
  sim.connect();
  Set_PulserType(sim.st, 1);
  Set_PulseEnable(sim.st, -1, true);
  Set_PulsePattern(sim.st, 2, 0xA5A5);
  const auto enabled = sim.calls_named("EnableSAMPulseGen");
  ASSERT_GE(enabled.size(), 8u);
  EXPECT_EQ(enabled[enabled.size() - 8 + 2].args[2], 0xA5A5);
  EXPECT_EQ(VX_VALUE(sim.st.sam[1].PulseReg), 1 + 2 + 4);
  Set_PulseMode(sim.st, true);
  sim.calls.clear();
  Set_PulseMode(sim.st, false);
  EXPECT_EQ(sim.calls.count("DisableSAMPulseGen"), 8u);
  EXPECT_EQ(VX_VALUE(sim.st.sam[1].PulseReg), 4);
}

// The smallest 1-2-5 scale at which the trace stays 4.5 divisions from the centre, from its
// position; the event shown is read back in volts from the scaling it was drawn with.
TEST(Controls, AutoScaleFitsEachChannelsTraceOfTheEventShown) {
  struct Case {
    double low, high, position;
    int scale;
  };
  const Case cases[] = {
      {-0.2, 0.002, 0.0, 50},    // the simulated 200 mV pulse: 4 divisions tall
      {-0.2, 0.0, 3.0, 50},      // room below a raised zero
      {-0.2, 0.0, -3.0, 200},    // little room below a lowered one
      {-0.001, 0.001, 0.0, 10},  // noise only: the finest scale
      {-3.0, 0.0, 0.0, 1000},   {0.0, 0.1, 4.8, 5000},  // beyond reach: the coarsest
  };
  for (const Case& c : cases)
    EXPECT_EQ(Fitting_VerticalScale(c.low, c.high, c.position), c.scale)
        << c.low << " " << c.position;

  test::TestCore core;
  State& st = core.state;
  st.gui.GraphMode = kGraphWaveforms;
  st.gui.VerticalScale[0] = 500;
  st.gui.VerticalScale[2] = 500;
  st.gui.VerticalScale[5] = 20;
  st.gui.VerticalPosition[5] = 2.0f;
  Compute_MainGraphParameters(st);
  DisplayFrame frame;
  frame.graph_mode = kGraphWaveforms;
  for (const auto& [ch, volts] : {std::pair{2, -0.2}, std::pair{5, 0.3}}) {
    DisplayCurve c;
    c.channel = ch;
    c.gain = st.gui.ChannelGain[ch];
    c.offset = st.gui.ChannelOffset[ch];
    for (double v : {0.0, volts, 0.0})
      c.y.push_back(c.offset + c.gain * static_cast<float>(v / kVoltsPerAdcCount));
    frame.curves.push_back(c);
  }
  EXPECT_EQ(Auto_VerticalScale(st, st, frame), 2);
  EXPECT_EQ(VX_VALUE(st.gui.VerticalScale[2]), 50);
  EXPECT_EQ(VX_VALUE(st.gui.VerticalScale[5]), 200);  // +0.3 V from 2 divisions up
  EXPECT_EQ(VX_VALUE(st.gui.VerticalScale[0]), 500) << "a channel not drawn keeps its scale";
  frame.graph_mode = kGraphFft;
  EXPECT_EQ(Auto_VerticalScale(st, st, frame), 0) << "only waveforms are scaled";
}

// Register 3, unlike what the SAM DAC calibration drives, is reached only from here.
TEST(SlowControl, SamReg3GoesToEveryBlock) {
  SimCore sim("V1743");
  sim.connect();
  sim.calls.clear();
  Set_SamReg3(sim.st, 0x1234);
  for (const auto& blk : sim.st.sam) EXPECT_EQ(VX_VALUE(blk.SamReg3), 0x1234);
  const auto writes = test::register_writes(sim);
  ASSERT_GE(writes.size(), 2u);
  EXPECT_EQ(writes[writes.size() - 2], std::make_pair(std::int64_t{0x1784}, std::int64_t{0x2003}));
  EXPECT_EQ(writes.back(), std::make_pair(std::int64_t{0x1728}, std::int64_t{0x1234}));
}

}  // namespace
}  // namespace vx
