#include <gtest/gtest.h>

#include "app/parameters.h"
#include "app/timer_tick.h"
#include "support/packed_value.h"
#include "support/test_state.h"

namespace vx {
namespace {

class TimerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Init_Params(st);
    st.sys.NbOfSAMBlocks = 8;
    st.sys.NbOfChannels = 16;
  }
  void start_run() {
    st.AcquisitionRunning = 1;
    st.acq.RunStartTime = core.clock.now();
  }
  void tick_after(double seconds) {
    core.clock.advance(seconds);
    TimerCB(st);
  }
  test::TestCore core;
  State& st = core.state;
};

TEST_F(TimerTest, FiniteTimeRunStopsOnTheFirstTickAtItsDuration) {
  st.acq.RunType = 2;
  st.acq.RunDuration = 300;
  start_run();
  tick_after(299.5);
  EXPECT_EQ(VX_VALUE(st.acq.RunElapsedTime), 299);
  EXPECT_EQ(st.StopRequest().load(), 0);
  tick_after(0.5);
  EXPECT_EQ(VX_VALUE(st.acq.RunElapsedTime), 300);
  EXPECT_EQ(st.StopRequest().load(), 1);
  EXPECT_EQ(core.ui.text(Field::RunElapsedTime, 2), "5");

  // A continuous run is not stopped by the clock; its 100000 s are 1 d 3 h 46 min 40 s.
  st.StopRequest().store(0);
  st.acq.RunType = 3;
  start_run();
  tick_after(100000.0);
  EXPECT_EQ(st.StopRequest().load(), 0);
  const std::vector<std::string> shown = {"1", "3", "46", "40"};
  for (int i = 0; i < 4; ++i) EXPECT_EQ(core.ui.text(Field::RunElapsedTime, i), shown[i]) << i;
}

TEST_F(TimerTest, EventRateEverySecondTickOverTwoSeconds) {
  // An idle tick resets the rate reference.
  st.FormerTimer = 5.0;
  st.FormerEventNumber = 10;
  TimerCB(st);
  EXPECT_EQ(st.FormerTimer, 0.0);
  EXPECT_EQ(st.FormerEventNumber, 0);
  EXPECT_EQ(core.ui.led(Led::Run), false);

  core.clock.set(10.0);  // the run starts 10 s after the timer's origin
  start_run();
  st.EventNumber = 100;
  tick_after(1.0);  // dark tick: no rate yet
  EXPECT_EQ(core.ui.colour(Field::EventNumber), kCounterDark);
  EXPECT_FALSE(core.ui.text(Field::EventRate).has_value());

  // The first rate of a run counts from its start: 300 events over its first 2 s, not over
  // the 12 s since the timer's origin.
  st.EventNumber = 300;
  tick_after(1.0);
  EXPECT_EQ(core.ui.colour(Field::EventNumber), kCounterLight);
  EXPECT_EQ(core.ui.led(Led::Run), true);
  EXPECT_FLOAT_EQ(st.EventRate, 150.0f);
  EXPECT_EQ(core.ui.text(Field::EventRate), "150.0");

  st.EventNumber = 700;
  tick_after(1.0);
  EXPECT_FLOAT_EQ(st.EventRate, 150.0f) << "odd ticks leave the rate alone";
  tick_after(1.0);
  EXPECT_FLOAT_EQ(st.EventRate, 200.0f);  // 400 events over the last two seconds
  EXPECT_EQ(core.ui.text(Field::EventRate), "200.0");

  // The strip charts' points sit at the run's seconds, one every two, not at their count.
  st.gui.NoiseMeasurementOn = 1;
  for (int i = 0; i < 4; ++i) tick_after(1.0);
  EXPECT_EQ(core.ui.strip_chart_times(StripChart::Noise), (std::vector<double>{6.0, 8.0}));
  const AxisWindow young = Strip_ChartWindow(8.0), old = Strip_ChartWindow(150.5);
  EXPECT_EQ(young.lower, 0.0);
  EXPECT_EQ(young.upper, kStripChartSpanSeconds);
  EXPECT_EQ(old.upper, 150.5);
  EXPECT_EQ(old.upper - old.lower, kStripChartSpanSeconds);

  // The next run starts before an idle tick has cleared the reference: its first rate still
  // counts from its own start.
  start_run();
  st.EventNumber = 60;
  tick_after(1.0);
  tick_after(1.0);
  EXPECT_FLOAT_EQ(st.EventRate, 30.0f);
}

TEST_F(TimerTest, StripChartsTakeAllChannelsOrTheSelectedOne) {
  st.gui.NoiseMeasurementOn = 1;
  st.gui.RateMeasurementOn = 1;
  st.sys.NbOfChannels = 8;
  for (int ch = 0; ch < kMaxChannels; ++ch) {
    st.MeanSigmaForStripChart[ch] = static_cast<float>(ch);
    st.TriggerRateForStripChart[ch] = 10.0 * ch;
    st.TriggerRateText[ch] = std::to_string(ch);
  }
  st.RawTriggerRateOK = 1;
  st.gui.ChannelEnabled[3] = 0;
  start_run();
  st.EventNumberColor = 1;
  TimerCB(st);
  auto noise = core.ui.strip_chart(StripChart::Noise);
  ASSERT_EQ(noise.size(), 1u);
  EXPECT_EQ(noise[0].size(), 8u);
  EXPECT_EQ(noise[0][7], 7.0);
  EXPECT_EQ(core.ui.strip_chart(StripChart::Rate).at(0).size(), 8u);
  EXPECT_EQ(core.ui.text(Field::ChannelRate, 2), "2");
  EXPECT_FALSE(core.ui.text(Field::ChannelRate, 3).has_value());
  EXPECT_EQ(st.RawTriggerRateOK.load(), 0);

  st.gui.NoiseStripChartChannel = 5;
  st.EventNumberColor = 1;
  TimerCB(st);
  noise = core.ui.strip_chart(StripChart::Noise);
  EXPECT_EQ(noise.back(), std::vector<double>{5.0});
  EXPECT_EQ(core.ui.strip_chart(StripChart::Rate).size(), 1u) << "no fresh rates, no new point";
}

TEST_F(TimerTest, ConnectionLightBlinksThenShowsTheOutcome) {
  st.Connecting = 1;
  TimerCB(st);
  EXPECT_EQ(core.ui.text(Field::ConnectionLabel), "Connecting...");
  const bool first = core.ui.led(Led::Connection).value();
  TimerCB(st);
  EXPECT_NE(core.ui.led(Led::Connection).value(), first);

  st.Connecting = 0;
  st.Board_Connected = 0;
  TimerCB(st);
  EXPECT_EQ(core.ui.text(Field::ConnectionLabel), "Connected");
  EXPECT_EQ(core.ui.led(Led::Connection), false);
  EXPECT_EQ(st.SavedConnecting.load(), 0);
}

}  // namespace
}  // namespace vx
