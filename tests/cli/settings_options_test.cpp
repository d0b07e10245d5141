#include <gtest/gtest.h>

#include "cli/settings_options.h"
#include "support/packed_value.h"
#include "support/sim_core.h"

namespace vx::cli {
namespace {

using test::SimCore;

TEST(CliSettings, SelectorsNameChannelsOfThisBoardOnly) {
  struct Case {
    const char* text;
    int count;
    std::vector<int> expected;  // empty: refused
  };
  const Case cases[] = {
      {"all", 8, {0, 1, 2, 3, 4, 5, 6, 7}},
      {"0-3,6", 16, {0, 1, 2, 3, 6}},
      {"5", 8, {5}},
      {"2-2,1,2", 8, {2, 1}},
      {"08", 16, {8}},  // decimal, never octal
      {"8", 8, {}},
      {"3-1", 8, {}},
      {"-1", 8, {}},
      {"1-", 8, {}},
      {"x", 8, {}},
      {"", 8, {}},
      {"1,,2", 8, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    std::string error;
    const auto got = parse_selector(c.text, c.count, error);
    if (c.expected.empty()) {
      EXPECT_FALSE(got.has_value());
      EXPECT_FALSE(error.empty());
    } else {
      ASSERT_TRUE(got.has_value()) << error;
      EXPECT_EQ(*got, c.expected);
    }
  }
}

TEST(CliSettings, OneValueOutOfRangeAndNothingIsApplied) {
  SimCore sim("DT5743");
  sim.connect();
  const SAMBlockParams before = sim.st.sam[0];
  const struct {
    const char* why;
    void (*set)(SettingsOptions&);
  } refused[] = {
      {"channel 8 of 8", [](SettingsOptions& o) { o.edge = {"8=falling"}; }},
      {"threshold beyond the offset's range",
       [](SettingsOptions& o) { o.threshold.push_back("1=1.3"); }},
      {"offset", [](SettingsOptions& o) { o.offset = {"0=-1.3"}; }},
      {"frequency", [](SettingsOptions& o) { o.frequency = 1000; }},
      {"depth", [](SettingsOptions& o) { o.depth = 65; }},
      {"majority beyond the blocks", [](SettingsOptions& o) { o.majority = 5; }},
      {"pattern", [](SettingsOptions& o) { o.pulser = {"0=65536"}; }},
      {"edge word", [](SettingsOptions& o) { o.edge = {"0=down"}; }},
      {"pair block", [](SettingsOptions& o) { o.pair_logic = {"4=and"}; }},
      {"inl correction word", [](SettingsOptions& o) { o.inl_correction = "no"; }},
  };
  for (const auto& c : refused) {
    SCOPED_TRACE(c.why);
    SettingsOptions options;
    options.threshold = {"all=-0.05"};  // valid, must not reach the board either
    c.set(options);
    sim.calls.clear();
    EXPECT_FALSE(apply_settings_options(sim.st, options).empty());
    EXPECT_TRUE(sim.calls.records().empty());
    EXPECT_EQ(VX_VALUE(sim.st.sam[0].TriggerThreshold[0]), VX_VALUE(before.TriggerThreshold[0]));
  }
}

TEST(CliSettings, ThresholdRangeFollowsTheOffsetGivenWithIt) {
  SimCore sim("DT5743");
  sim.connect();
  SettingsOptions o;
  o.offset = {"1=1.0"};
  o.threshold = {"1=2.2"};  // within 1.0 +- 1.25 only after the offset
  EXPECT_TRUE(apply_settings_options(sim.st, o).empty());
  EXPECT_FLOAT_EQ(VX_VALUE(sim.st.sam[0].DCOffset[1]), 1.0f);
  EXPECT_FLOAT_EQ(VX_VALUE(sim.st.gui.ThresholdVolts[1]), 2.2f);
  o.offset.clear();
  o.threshold = {"1=2.3"};
  EXPECT_FALSE(apply_settings_options(sim.st, o).empty());
  EXPECT_FLOAT_EQ(VX_VALUE(sim.st.gui.ThresholdVolts[1]), 2.2f);
}

TEST(CliSettings, ListsReplaceTheChannelsAndTriggerSources) {
  SimCore sim("DT5743");
  sim.connect();
  SettingsOptions o;
  o.channels = "0-1,4";
  o.trigger_channels = "2";
  o.pair_logic = {"all=and"};
  o.gate_length = 23;
  o.pulser = {"3=0x00F0"};
  o.inl_correction = "off";
  sim.calls.clear();
  ASSERT_TRUE(apply_settings_options(sim.st, o).empty());
  for (int ch = 0; ch < 8; ++ch) {
    EXPECT_EQ(VX_VALUE(sim.st.gui.ChannelEnabled[ch]), ch == 0 || ch == 1 || ch == 4) << ch;
    EXPECT_EQ(VX_VALUE(sim.st.sam[ch / 2].TriggerEnable[ch % 2]), ch == 2) << ch;
    EXPECT_EQ(VX_VALUE(sim.st.sam[ch / 2].PulseEnable[ch % 2]), ch == 3) << ch;
  }
  EXPECT_EQ(VX_VALUE(sim.st.sys.GroupEnableMask), 0b101) << "blocks 0 and 2 are read";
  EXPECT_EQ(sim.calls_named("SetGroupEnableMask").back().args[1], 0b101);
  for (int b = 0; b < 4; ++b) EXPECT_EQ(VX_VALUE(sim.st.sam[b].CoincidenceAND), 1);
  EXPECT_EQ(VX_VALUE(sim.st.sys.PrimitivesGateLength), 4);
  const auto pulses = sim.calls_named("EnableSAMPulseGen");
  ASSERT_FALSE(pulses.empty());
  EXPECT_EQ(pulses.back().args[1], 3);
  EXPECT_EQ(pulses.back().args[2], 0xF0);
  EXPECT_EQ(sim.calls_named("SetSAMCorrectionLevel").back().args[1], 1) << "pedestals only";
}

}  // namespace
}  // namespace vx::cli
