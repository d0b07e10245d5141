#include "analysis/main_graph.h"
#include "support/packed_value.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "support/test_state.h"

namespace vx {
namespace {

struct GraphFixture : ::testing::Test {
  test::TestCore core;
  State& st = core.state;
  GraphFixture() {
    st.sys.NbOfSAMBlocks = 8;
    st.sys.NbOfChannels = 16;
    st.sys.RecordLength = 1024;
    for (int ch = 0; ch < kMaxChannels; ++ch) {
      st.gui.VerticalScale[ch] = 500;
      st.gui.ChannelEnabled[ch] = 1;
    }
    for (auto& b : st.sam) b.FrequencyIndex = 0;  // 3.2 GS/s
  }
};

TEST_F(GraphFixture, ScalingPerModeSetsPointsAxesAndGain) {
  struct Case {
    int mode, alignment;
    int points;
    double x_max, y_min, y_max;
    int divisions;
  };
  const Case cases[] = {
      {kGraphWaveforms, 0, 1024, 10240, -5, 5, 16}, {kGraphWaveforms, 1, 2048, 20480, -5, 5, 32},
      {kGraphCharges, 0, 256, 256, -100, 100, 16},  {kGraphFft, 0, 512, 512, -120, 80, 16},
      {kGraphCells, 0, 1024, 1024, 0, 4095, 16},
  };
  for (const Case& c : cases) {
    st.gui.GraphMode = c.mode;
    st.gui.PlotAlignment = c.alignment;
    Compute_MainGraphParameters(st);
    const GraphAxes a = main_graph_axes(st.gui);
    SCOPED_TRACE(c.mode);
    EXPECT_EQ(VX_VALUE(st.gui.NbOfPlotPoints), c.points);
    EXPECT_DOUBLE_EQ(a.x_max, c.x_max);
    EXPECT_DOUBLE_EQ(a.y_min, c.y_min);
    EXPECT_DOUBLE_EQ(a.y_max, c.y_max);
    EXPECT_EQ(a.x_divisions, c.divisions);
  }
  st.gui.GraphMode = kGraphWaveforms;
  st.gui.PlotAlignment = 0;
  st.gui.VerticalPosition[3] = 2.5f;
  Compute_MainGraphParameters(st);
  EXPECT_NEAR(VX_VALUE(st.gui.ChannelGain[0]), 0.00122, 1e-7);
  // Axis labels run in divisions: the full width is 16.
  EXPECT_NEAR(main_graph_axes(st.gui).x_label_factor * 10240, 16.0, 1e-9);

  st.gui.AmplitudeInVolts = 1;
  Compute_MainGraphParameters(st);
  EXPECT_NEAR(VX_VALUE(st.gui.ChannelGain[0]), 0.00061, 1e-9);
  EXPECT_FLOAT_EQ(VX_VALUE(st.gui.ChannelOffset[3]), 0.0f);
  EXPECT_DOUBLE_EQ(VX_VALUE(st.gui.YAxisMax), 2.5);

  st.gui.GraphMode = kGraphFft;
  Compute_MainGraphParameters(st);
  EXPECT_DOUBLE_EQ(VX_VALUE(st.gui.XLabelScale), 3200.0 / 1024.0);  // MHz per FFT point
}

// The leading-edge marker shows only with the times shown and an edge found.
TEST_F(GraphFixture, WaveformCurvesHaveTenPointsPerSampleScaledPerChannel) {
  for (int i = 0; i < kMaxSamples; ++i) {
    st.event.FullyOrderedValues[0][0][i] = static_cast<float>(i % 7) * 100.0f;
    st.event.FullyOrderedValues[1][1][i] = -820.0f;
  }
  st.gui.ChannelEnabled[1] = 0;
  st.gui.VerticalPosition[3] = 1.0f;
  st.results.RiseTimeInstant[0][0] = 62.5f;  // ns: sample 200 at 312.5 ps
  st.results.RiseTimeInstant[1][0] = -1.0f;  // no edge
  Compute_MainGraphParameters(st);
  DisplayFrame frame;
  Compute_Histos(st, st, st, st.event, frame);

  ASSERT_EQ(frame.curves.size(), 15u);  // channel 1 is off
  EXPECT_EQ(frame.curves[0].channel, 0);
  EXPECT_EQ(frame.curves[1].channel, 2);
  for (const auto& c : frame.curves) ASSERT_EQ(c.y.size(), 10230u);
  const float gain = st.gui.ChannelGain[0];
  for (int s : {0, 1, 6, 500, 1022})
    EXPECT_NEAR(frame.curves[0].y[10 * s], gain * (s % 7) * 100.0f, 1e-4) << s;
  // Channel 3 (block 1, channel 1): a flat -820 counts sits at position 1 minus 1 division.
  EXPECT_NEAR(frame.curves[2].y[5000], 1.0f + gain * -820.0f, 1e-4);
  EXPECT_FALSE(frame.curves[0].has_marker);  // times not shown

  st.gui.DisplayTimeOnWaveforms = 1;
  Compute_Histos(st, st, st, st.event, frame);
  ASSERT_TRUE(frame.curves[0].has_marker);
  EXPECT_DOUBLE_EQ(frame.curves[0].marker_x, 2000.0);
  EXPECT_NEAR(frame.curves[0].marker_y, frame.curves[0].y[2000], 1e-5);
  EXPECT_FALSE(frame.curves[1].has_marker);

  // Reusing the frame for an event with fewer channels drops the stale curves.
  for (int ch = 4; ch < kMaxChannels; ++ch) st.gui.ChannelEnabled[ch] = 0;
  Compute_Histos(st, st, st, st.event, frame);
  EXPECT_EQ(frame.curves.size(), 3u);
}

TEST_F(GraphFixture, AlignmentDrawsTheReferenceCrossingAtTheReferenceIndex) {
  // A falling step on channel 2 crossing -0.3 V between samples 300 and 301.
  for (int i = 0; i < kMaxSamples; ++i) {
    st.event.FullyOrderedValues[1][0][i] = i <= 300 ? 0.0f : -1000.0f;
    st.event.FullyOrderedValues[0][0][i] = 0.0f;
  }
  st.gui.PlotAlignment = 1;
  st.gui.PlotAlignmentOption1 = 2;
  st.gui.PlotAlignmentOption2 = 0;
  st.gui.PlotAlignmentValue = -0.3f;
  Compute_MainGraphParameters(st);
  DisplayFrame frame;
  Compute_Histos(st, st, st, st.event, frame);
  ASSERT_TRUE(frame.trigger_found);
  const DisplayCurve& ref = frame.curves[2];
  ASSERT_EQ(ref.channel, 2);
  // The first point past the threshold lands just after x = 1024 x 10.
  const float level = -491.8f * st.gui.ChannelGain[2];
  const auto crossing = std::adjacent_find(
      ref.y.begin(), ref.y.end(), [&](float a, float b) { return a > level && b <= level; });
  ASSERT_NE(crossing, ref.y.end());
  EXPECT_NEAR(ref.x0 + static_cast<double>(crossing - ref.y.begin()), 10240.0, 1.0);
  EXPECT_DOUBLE_EQ(frame.curves[0].x0, ref.x0);  // every curve moves together

  st.gui.ChannelEnabled[2] = 0;  // reference off: nothing moves
  Compute_Histos(st, st, st, st.event, frame);
  EXPECT_FALSE(frame.trigger_found);
  EXPECT_DOUBLE_EQ(frame.curves[0].x0, 0.0);
}

TEST(MainGraphMarkers, TriggerLevelPinsAtTheScreenEdges) {
  struct Case {
    double volts, scale, position, level;
    int pinned;
  } const cases[] = {
      {2.5, 500, 0, 5, 1},    {2.45, 500, 0, 4.9, 0},  {0.1, 100, 4.5, 5, 1},
      {-3.0, 500, 0, -5, -1}, {0.02, 500, 0, 0.04, 0}, {-0.5, 100, 0.2, -4.8, 0},
  };
  for (const Case& c : cases) {
    const MarkerLevel m = trigger_marker_level(c.volts, c.scale, c.position);
    EXPECT_NEAR(m.level, c.level, 1e-9) << c.volts;
    EXPECT_EQ(m.pinned, c.pinned) << c.volts;
  }
}

// Hue in degrees of an sRGB colour.
double hue_of(Rgb c) {
  const double r = c.r, g = c.g, b = c.b;
  const double hi = std::max({r, g, b}), lo = std::min({r, g, b});
  if (hi == lo) return 0.0;
  double h = hi == r   ? (g - b) / (hi - lo)
             : hi == g ? 2.0 + (b - r) / (hi - lo)
                       : 4.0 + (r - g) / (hi - lo);
  return std::fmod(60.0 * h + 360.0, 360.0);
}

// Each channel reads on the black graph (4.5:1), stays visible on the light panels (3:1),
// keeps the hue it is known by, and the two channels of a block share it.
TEST(MainGraphTexts, EveryChannelColourIsReadableOnTheDarkGraphAndOnLightPanels) {
  const double hues[kMaxChannels / 2] = {0, 120, 300, 55, 180, 270, 28, 212};
  for (int ch = 0; ch < kMaxChannels; ++ch) {
    const Rgb c = channel_colour(ch);
    EXPECT_GE(contrast_ratio(c, kMainGraphBackground), 4.5) << ch;
    EXPECT_GE(contrast_ratio(c, kLightBackground), 3.0) << ch;
    EXPECT_GE(contrast_ratio(c, Rgb{255, 255, 255}), 3.0) << ch;
    const double turn = std::fabs(hue_of(c) - hues[ch / 2]);
    EXPECT_LT(std::min(turn, 360.0 - turn), 4.0) << ch;
    if (ch % 2 == 1) {
      EXPECT_GT(relative_luminance(c), relative_luminance(channel_colour(ch - 1))) << ch;
    }
  }
  EXPECT_EQ(channel_colour(16), (Rgb{255, 255, 255}));
  EXPECT_EQ(channel_colour(-1), (Rgb{255, 255, 255}));
  EXPECT_NEAR(contrast_ratio(Rgb{255, 255, 255}, Rgb{0, 0, 0}), 21.0, 1e-9);
  EXPECT_NEAR(contrast_ratio(Rgb{119, 119, 119}, Rgb{255, 255, 255}), 4.48, 0.01);
}

TEST(MainGraphTexts, ColoursTitlesLegendsAndCursorReadout) {
  test::TestCore core;
  State& st = core.state;
  st.gui.VerticalScale[4] = 200;
  GraphTitles t;
  ASSERT_TRUE(graph_titles(st, false, t));
  EXPECT_EQ(t.y_axis, "Amplitude [mV/Div]");
  EXPECT_EQ(channel_legend(st.gui, 4), "Ch4:200 mV/Div");
  st.gui.GraphMode = kGraphFft;
  ASSERT_TRUE(graph_titles(st, false, t));
  EXPECT_EQ(t.label, "FFT on data in dB");
  st.gui.GraphMode = kGraphPedestals;
  EXPECT_FALSE(graph_titles(st, false, t));

  EXPECT_EQ(cursor_readout(kGraphWaveforms, 100, 1.0, 400, -0.5, 312.5),
            "Distance between cursors:\nx1 -x2 =3.125-12.500=9.375ns deltaY = 1.500 Div");
  EXPECT_EQ(cursor_readout(kGraphFft, 10, -20, 4, -50, 312.5),
            "Distance between cursors:\ndeltaX =6.000 Div delta Y = 30.000 Div");
}

// Mode 2 shows the samples by physical cell: sample k of a record whose first cell is T
// lies in cell (k + T - T mod 16) mod 1024. Mode 1 shows the 16 per-line pedestals.
TEST_F(GraphFixture, CellAndPedestalModesShowWhatTheyName) {
  for (int ch = 0; ch < kMaxChannels; ++ch) st.gui.ChannelEnabled[ch] = ch == 5 ? 1 : 0;
  auto& w = st.event.FullyOrderedValues[2][1];
  for (int k = 0; k < kMaxSamples; ++k) w[k] = static_cast<float>(3 * k + 1);
  st.event.EventFCR[2] = 1000;  // its line starts at cell 992
  st.gui.GraphMode = kGraphCells;
  Compute_MainGraphParameters(st);
  DisplayFrame frame;
  Compute_Histos(st, st, st, st.event, frame);
  ASSERT_EQ(frame.curves.size(), 1u);
  const auto& cells = frame.curves[0].y;
  ASSERT_EQ(cells.size(), 1024u);
  for (int p : {0, 31, 32, 991, 992, 1023}) {
    const int k = (p - 992 + 1024) % 1024;  // the sample that landed in cell p
    EXPECT_FLOAT_EQ(cells[p], static_cast<float>(3 * k + 1)) << "cell " << p;
  }
  // The values are the raw counts, and the axis says so.
  GraphTitles t;
  ASSERT_TRUE(graph_titles(st, false, t));
  EXPECT_EQ(t.y_axis, "Pedestal Values[ADC counts]");

  for (int line = 0; line < 16; ++line) st.calib.OffsetDistribution[2][1][line] = 2000.0f + line;
  st.calib.IndividualOffsetDistribution[2][1].fill(7.0f);
  st.gui.GraphMode = kGraphPedestals;
  Compute_MainGraphParameters(st);
  Compute_Histos(st, st, st, st.event, frame);
  const auto& lines = frame.curves.at(0).y;
  ASSERT_EQ(lines.size(), 16u);
  const float gain = st.gui.ChannelGain[5], offset = st.gui.ChannelOffset[5];
  for (int line = 0; line < 16; ++line)
    EXPECT_FLOAT_EQ(lines[line], offset + gain * (2000.0f + line)) << line;
}

TEST_F(GraphFixture, AllChannelsStateCountsOnlyShownChannels) {
  st.sys.NbOfChannels = 4;
  for (int ch = 0; ch < kMaxChannels; ++ch) st.gui.ChannelEnabled[ch] = ch < 4 ? 1 : 0;
  EXPECT_EQ(all_channels_state(st), 1);
  for (int ch = 0; ch < 4; ++ch) st.gui.ChannelEnabled[ch] = 0;
  st.gui.ChannelEnabled[9] = 1;  // not shown: does not count
  EXPECT_EQ(all_channels_state(st), 0);
}

}  // namespace
}  // namespace vx
