#include <gtest/gtest.h>

#include "analysis/rate_measurement.h"
#include "calibration/rate_scan.h"
#include "digitizer/dacs.h"
#include "support/sim_core.h"

namespace vx {
namespace {

// A connected V1743 (16 channels) whose negative pulses come at 10 kHz, 200 mV high, with
// 0.5 mV of noise, on board time that moves only when the core waits (the scan's counting).
struct ScanBench : test::SimCore {
  ScanBench() : SimCore("V1743", sim::parse_sim_config("trigger_rate_hz = 1e4").config, {}, true) {
    connect();
  }
  RateScanResult scan(float from, float to, int steps, float seconds) {
    st.acq.RateScanStartThreshold = from;
    st.acq.RateScanEndThreshold = to;
    st.acq.RateScanNbOfSteps = steps;
    st.acq.RateScanStepValue = seconds;
    Compute_RateVsThreshold(st);
    return RateScan_Result(st);
  }
};

// 0.3 s per step: the board's 16-bit counters fill after 65.5 ms, so the step is counted in
// stretches, and each plateau point holds about 3 000 hits (1.8 %).
TEST(RateScanTest, ScanShowsThePulsesPlateauTheNoisePeakAndNothingBeyondThePulses) {
  ScanBench b;
  const RateScanResult r = b.scan(-0.3f, 0.3f, 601, 0.3f);
  ASSERT_EQ(r.measured, 601);
  ASSERT_EQ(r.channels, 16);
  for (int ch = 0; ch < 16; ++ch) {
    double plateau = 0.0, peak = 0.0, peak_at = 1.0;
    int n = 0;
    for (int i = 0; i < r.measured; ++i) {
      const double t = r.ThresholdValuesForPlot[ch][i];
      const double rate = r.RateValuesForPlot[ch][i];
      if (rate > peak) peak = rate, peak_at = t;
      if (t <= -0.020 && t >= -0.180) {
        plateau += rate;
        ++n;
        EXPECT_NEAR(rate, 10000.0, 800.0) << ch << " at " << t;
      }
      if (t < -0.21 || t > 0.02) {
        EXPECT_EQ(rate, 0.0) << ch << " at " << t;
      }
    }
    EXPECT_NEAR(plateau / n, 10000.0, 200.0) << ch;
    EXPECT_NEAR(peak_at, 0.0, 0.01) << ch;
    EXPECT_GT(peak, 1e6) << ch;  // noise crossings: Rice's rate near the baseline
  }
}

TEST(RateScanTest, ABreakKeepsThePartialResultAndRestoresEveryThreshold) {
  for (const int break_at : {1, 3}) {
    ScanBench b;
    std::array<std::uint32_t, 16> before{};
    for (int ch = 0; ch < 16; ++ch) {
      b.st.gui.ThresholdVolts[ch] = -0.1f + 0.01f * static_cast<float>(ch);
      Update_TriggerThreshold(b.st, ch);
      before[ch] = b.board->threshold_dac(ch);
    }
    bool pressed = false;
    b.core.clock.on_delay = [&] {
      if (pressed || b.st.rates.ScanStep.load() != break_at) return;
      pressed = true;
      Break_RateVsThresholdScan(b.st);
    };
    const RateScanResult r = b.scan(-0.05f, -0.15f, 10, 0.05f);
    EXPECT_EQ(r.measured, break_at - 1);
    EXPECT_TRUE(r.partial());
    EXPECT_EQ(b.st.RateScanFlag.load(), 0);
    for (int ch = 0; ch < 16; ++ch) {
      EXPECT_EQ(b.board->threshold_dac(ch), before[ch]) << "break at " << break_at << " ch " << ch;
      EXPECT_FLOAT_EQ(b.st.sam[ch / 2].TriggerThreshold[ch % 2], b.st.gui.ThresholdVolts[ch]);
    }
  }
}

TEST(RateScanTest, StepsCoverBothEndsAndDegenerateScansStillMeasure) {
  struct Case {
    float from, to;
    int steps;
  };
  for (const Case c : {Case{-0.02f, 0.02f, 99}, Case{-0.1f, -0.1f, 5}, Case{-0.1f, 0.3f, 1}}) {
    ScanBench b;
    b.st.gui.RateVsThresholdChannel = 3;  // plotted alone, measured with the others
    const RateScanResult r = b.scan(c.from, c.to, c.steps, 0.01f);
    ASSERT_EQ(r.measured, c.steps);
    const auto& t = r.ThresholdValuesForPlot[15];
    EXPECT_EQ(t.front(), static_cast<double>(c.from));
    if (c.steps > 1) {
      EXPECT_EQ(t.back(), static_cast<double>(c.to));
    }
    const double step = c.steps > 1 ? (double{c.to} - c.from) / (c.steps - 1) : 0.0;
    for (int i = 0; i < c.steps; ++i) EXPECT_NEAR(t[i], c.from + step * i, 1e-6);
    for (int ch = 0; ch < 16; ++ch) {
      ASSERT_EQ(r.RateValuesForPlot[ch].size(), static_cast<std::size_t>(c.steps));
      // -0.1 V lies on the pulses' plateau.
      if (c.from == -0.1f) {
        EXPECT_GT(r.RateValuesForPlot[ch][0], 5000.0) << ch;
      }
    }
  }
}

TEST(RateScanTest, TheStartButtonAsksZeroesTheOffsetsAndScansOnItsThread) {
  ScanBench b;
  b.st.sam[2].DCOffset[1] = 0.4f;
  b.st.acq.RateScanNbOfSteps = 4;
  b.st.acq.RateScanStepValue = 0.01f;
  b.core.ui.confirm_answers = {false, true};
  EXPECT_EQ(Run_RateVsThresholdScan(b.st), 0);
  EXPECT_FLOAT_EQ(b.st.sam[2].DCOffset[1], 0.4f);
  ASSERT_EQ(Run_RateVsThresholdScan(b.st), 1);
  b.core.pool.wait_idle();
  EXPECT_EQ(b.st.RateScanRunning.load(), 0);
  EXPECT_EQ(RateScan_Result(b.st).measured, 4);
  EXPECT_FLOAT_EQ(b.st.sam[2].DCOffset[1], 0.0f);  // kept at 0 after the scan
}

TEST(RateMeasurementTest, SumsBecomeARateWithItsUnit) {
  struct Case {
    std::vector<std::pair<int, int>> events;  // (triggers, microseconds) per event
    float value;
    const char* unit;
    const char* text;
  };
  const Case cases[] = {
      // 100 triggers in 50 us: no rate at 99; 2 MHz from 100 hits is good to 10 %
      {{{50, 25}, {50, 25}}, 2.0f, "MHz", "2.00 \u00B1 0.20"},
      {{{10, 65535}}, 152.590f, " Hz", "153 \u00B1 48"},  // time sum full with 10 triggers
      {{{99, 50000}, {1, 50000}}, 1.0f, "kHz", "1.00 \u00B1 0.10"},  // exactly 0.001 per us
      // 999.9 Hz rounds to three digits as 1.00 kHz
      {{{99, 50000}, {1, 50010}}, 999.9f, "kHz", "1.00 \u00B1 0.10"},
  };
  for (const Case& c : cases) {
    test::TestCore core;
    State& st = core.state;
    st.sys.NbOfSAMBlocks = 1;
    st.gui.ChannelEnabled[1] = 1;
    Init_RateMeasurement(st, st);
    for (const auto& [hits, micros] : c.events) {
      st.event.TrigCount[0][1] = static_cast<std::uint16_t>(hits);
      st.event.TimeCount[0][1] = static_cast<std::uint16_t>(micros);
      Update_RateMeasurement(st, st, st, Freeze_RunConfig(st), st.event, 0);
    }
    EXPECT_NEAR(st.rates.TrigRate[1].load(), c.value, 0.01f) << c.text;
    EXPECT_EQ(st.RawTriggerRateOK.load(), 1);
    core.ui.loop.process_pending();
    EXPECT_EQ(st.TriggerRateText[1], c.text);
    EXPECT_EQ(st.TriggerRateUnit[1], c.unit);
    EXPECT_EQ(st.TriggerRateUnit[0], "");  // disabled channel: never rated
  }
}

// Rounding to the uncertainty and to three significant digits, and the unit taken after
// rounding.
TEST(RateMeasurementTest, RatesShowTheDigitsTheirUncertaintyAllows) {
  struct Case {
    std::int64_t hits;
    double micros;
    const char* shown;
  };
  const Case cases[] = {
      {100, 1e5, "1.00 \u00B1 0.10 kHz"},      // 100 hits: 10 %
      {59, 1e5, "590 \u00B1 77 Hz"},           // fewer than 1 kHz: in Hz, no decimals
      {1000000, 1e6, "1.00 \u00B1 0.00 MHz"},  // three digits at most, however precise
      {123456, 1e6, "123 \u00B1 0 kHz"},
      {9, 1e6, "9.0 \u00B1 3.0 Hz"},  // a slow rate keeps its decimals
      {0, 1e6, "0.0 \u00B1 1.0 Hz"},  // nothing counted: one hit's uncertainty
      {12345, 1e7, "1.23 \u00B1 0.01 kHz"},
      {99960, 1e8, "1.00 \u00B1 0.00 kHz"},  // 999.6 Hz carries into kHz
      {5, 1e2, "50 \u00B1 22 kHz"},          // few hits, high rate: the error's digits
  };
  for (const Case& c : cases) {
    const RateEstimate r = Rate_FromCounts(c.hits, c.micros);
    EXPECT_EQ(Format_Rate(r).joined(), c.shown) << c.hits << " in " << c.micros;
  }
  EXPECT_EQ(Format_Rate(Rate_FromCounts(10, 0.0)).joined(), "-");
}

}  // namespace
}  // namespace vx
