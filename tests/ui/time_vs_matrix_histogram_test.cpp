// The "Time vs Matrix Index Histogram" window, offscreen, on a calibration's results.
#include "ui/panels/time_vs_matrix_histogram.h"
#include "gui_fixture.h"
#include "ui/panels/inl_panel.h"

namespace vx::ui {
namespace {

TEST(GuiTimeVsMatrixHistogram, ShowsTheSelectedChannelsCellWidthsAndInspectedCellSteps) {
  test::TestCore core;
  State& st = core.state;
  st.sys.NbOfSAMBlocks = 1;
  st.acq.INLCalibOption = 100;
  // Widths and steps that differ from cell to cell, bin to bin and channel to channel.
  for (int ch : {0, 1}) {
    auto& k = st.inl.at(0, ch);
    for (int i = 0; i < kInlCells; ++i) k.GlobalTimeDNL[i] = 300.0 + 10 * ch + 0.01 * i;
    for (int b = 0; b < kInlHistoBins; ++b) k.ZeroCrossingHisto[b] = 20 * ch + b;
  }
  st.inl.computed = true;
  InlPanel panel(st);
  auto* open = panel.findChild<QPushButton*>("DEBTIMEHISTO");
  ASSERT_NE(open, nullptr);
  open->click();
  TimeVsMatrixHistogram* window = panel.matrix_histogram();
  ASSERT_TRUE(window->isVisible());
  EXPECT_EQ(window->windowTitle(), "Time vs Matrix Index Histogram");
  auto* widths = window->findChild<QCustomPlot*>("DEBTHWIDTHS");
  auto* steps = window->findChild<QCustomPlot*>("DEBTHSTEPS");
  auto* channel = window->findChild<QComboBox*>("DEBTHCHANNEL");
  ASSERT_TRUE(widths && steps && channel);

  for (int ch : {0, 1}) {
    SCOPED_TRACE(testing::Message() << "channel " << ch);
    choose(channel, ch);
    const auto& k = st.inl.at(0, ch);
    ASSERT_EQ(widths->graphCount(), 1);
    const auto data = widths->graph(0)->data();
    ASSERT_EQ(data->size(), kInlCells);
    for (int i = 0; i < kInlCells; ++i) {
      EXPECT_EQ(data->at(i)->key, i);
      ASSERT_DOUBLE_EQ(data->at(i)->value, k.GlobalTimeDNL[i]) << "cell " << i;
    }

    ASSERT_EQ(steps->plottableCount(), 1);
    auto* bars = qobject_cast<QCPBars*>(steps->plottable(0));
    ASSERT_NE(bars, nullptr);
    ASSERT_EQ(bars->data()->size(), kInlHistoBins);
    for (int b = 0; b < kInlHistoBins; ++b)
      EXPECT_DOUBLE_EQ(bars->data()->at(b)->value, k.ZeroCrossingHisto[b]) << "bin " << b;
  }

  // A channel the board does not have: nothing drawn.
  choose(channel, 5);
  EXPECT_EQ(widths->graphCount(), 0);
  EXPECT_EQ(steps->plottableCount(), 0);
}

}  // namespace
}  // namespace vx::ui
