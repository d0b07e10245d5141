// The charge and noise panels' operations on the records: window rules, threshold
// conversion, the cursor mapping and the noise window.
#include <gtest/gtest.h>

#include "analysis/charge_controls.h"
#include "analysis/noise_controls.h"
#include "app/parameters.h"
#include "support/packed_value.h"
#include "support/test_state.h"

namespace vx {
namespace {

struct ChargeControls : ::testing::Test {
  test::TestCore core;
  State& st = core.state;
  ChargeControls() {
    Init_Params(st);  // 1024 samples at 3.2 GS/s: 312.5 ps
  }
  int start(int ch) const { return st.sam[ch / 2].ChargeStartIndex[ch % 2]; }
  int length(int ch) const { return st.sam[ch / 2].ChargeLength[ch % 2]; }
};

TEST_F(ChargeControls, WindowEditsFollowTheRecordLength) {
  struct Step {
    const char* what;
    bool start_edit;
    int value;
    bool accepted;
    int start_after, length_after;
  };
  // Defaults 17 + 1005 = 1022, just below 1024 - 1.
  const Step steps[] = {
      {"start 0 refused", true, 0, false, 17, 1005},
      {"length one too long", false, 1006, false, 17, 1005},
      {"length 0 refused", false, 0, false, 17, 1005},
      {"shorter length", false, 200, true, 17, 200},
      {"start keeps a fitting length", true, 500, true, 500, 200},
      {"start cuts a length that no longer fits", true, 900, true, 900, 122},
      {"start leaving no room refused", true, 1022, false, 900, 122},
      {"longest length at start 900", false, 122, true, 900, 122},
  };
  for (const Step& s : steps) {
    const bool ok =
        s.start_edit ? Set_ChargeStart(st, 5, s.value) : Set_ChargeLength(st, 5, s.value);
    EXPECT_EQ(ok, s.accepted) << s.what;
    EXPECT_EQ(start(5), s.start_after) << s.what;
    EXPECT_EQ(length(5), s.length_after) << s.what;
  }
  EXPECT_EQ(start(4), 17);  // the block's other channel is untouched

  Set_ChargeThreshold(st, 5, true, 1.0);
  Apply_ChargeParamsToAll(st, 5);
  for (int ch = 0; ch < kMaxChannels; ++ch) {
    EXPECT_EQ(start(ch), 900) << ch;
    EXPECT_EQ(length(ch), 122) << ch;
    EXPECT_EQ(VX_VALUE(st.sam[ch / 2].ChargeThresholdFlag[ch % 2]), 1) << ch;
    // The register image carries the enable bit above the 23-bit value.
    EXPECT_EQ(VX_VALUE(st.sam[ch / 2].ChargeThresholdReg[ch % 2]), 262295 + 0x800000) << ch;
  }
}

TEST_F(ChargeControls, ThresholdIsKeptInTwentyThreeBits) {
  // One count over 50 ohms for 312.5 ps is 0.00061 * 312.5 / 50 = 3.8125e-3 pC; the register
  // counts in thousandths of that.
  const double unit_pc = 0.00061 * 312.5 / 1000.0 / 50.0;
  EXPECT_EQ(Charge_ThresholdValue(1.0, 312.5), 262295);                // 1 / 3.8125e-6 = 262295.08
  EXPECT_EQ(Charge_ThresholdValue(40.0, 312.5), 10491803 - 0x800000);  // wraps past 23 bits
  EXPECT_EQ(Charge_ThresholdValue(-1.5 * unit_pc, 312.5), 0x7FFFFF);   // -1 in 23 bits
  EXPECT_EQ(Charge_ThresholdValue(1e300, 312.5), 0x7FFFFF);            // no undefined conversion
  EXPECT_NEAR(Charge_ThresholdShown(262295, 312.5), 1.0, unit_pc);
}

TEST_F(ChargeControls, CursorsSnapToWholeSamplesAndGiveTheWindow) {
  const double shift = -37.0;  // an aligned display draws sample s at 10 s - 37
  const ChargeCursorX w = Charge_CursorsForWindow(17, 1005, shift);
  EXPECT_DOUBLE_EQ(w.x1, 133.0);
  EXPECT_DOUBLE_EQ(w.x2, 10173.0);

  struct Case {
    double x1, x2, snapped1, snapped2;
  };
  const Case cases[] = {
      {250.0, 990.0, 253.0, 993.0},  // nearest sample of each
      {-80.0, 990.0, -27.0, 993.0},  // not before sample 1
      {500.0, 480.0, 503.0, 513.0},  // the second one sample after the first
      {500.0, 1e6, 503.0, 10193.0},  // not past the last sample (1023)
  };
  for (const Case& c : cases) {
    const ChargeCursorX s = Snap_ChargeCursors({c.x1, c.x2}, shift, 1024);
    EXPECT_DOUBLE_EQ(s.x1, c.snapped1) << c.x1 << " " << c.x2;
    EXPECT_DOUBLE_EQ(s.x2, c.snapped2) << c.x1 << " " << c.x2;
  }

  // Either order marks the same window; a window reaching the record's end is refused.
  ASSERT_TRUE(Validate_ChargeCursors(st, 3, {993.0, 253.0}, shift));
  EXPECT_EQ(start(3), 29);
  EXPECT_EQ(length(3), 75);
  EXPECT_FALSE(Validate_ChargeCursors(st, 3, {253.0, 10223.0 - 37.0}, shift));
  EXPECT_FALSE(Validate_ChargeCursors(st, 3, {-37.0, 253.0}, shift));  // starts at sample 0
  EXPECT_EQ(start(3), 29);
  EXPECT_EQ(length(3), 75);
}

TEST_F(ChargeControls, NoiseWindowInNanosecondsKeepsTheEndAfterTheStart) {
  st.meas.MeanSigma[2][1].store(12.0f);
  st.meas.EventNumberForSigma.store(40);
  struct Step {
    bool is_start;
    double ns;
    int start, end;
  };
  const Step steps[] = {
      {true, 10.1, 32, 33},  // trunc(10100 / 312.5) = 32, past the default end (31): pushed
      {false, 50.0, 32, 160},  {false, 5.0, 32, 33},  // an end before the start becomes start + 1
      {false, 10.0, 32, 33},                          // and so does an end on the start
      {true, 100.0, 320, 321},                        // the end moves along with a start past it
      {false, 1e9, 320, 1023},                        // kept inside the record
  };
  for (const Step& s : steps) {
    s.is_start ? Set_NoiseWindowStart(st, st, s.ns) : Set_NoiseWindowEnd(st, st, s.ns);
    EXPECT_EQ(Noise_Window(st).start, s.start) << s.ns;
    EXPECT_EQ(Noise_Window(st).end, s.end) << s.ns;
  }
  // A new window restarts the running means.
  EXPECT_EQ(st.meas.MeanSigma[2][1].load(), 0.0f);
  EXPECT_EQ(st.meas.EventNumberForSigma.load(), 0);
}

}  // namespace
}  // namespace vx
