// The "Time vs Matrix Index Histogram" window, offscreen, on the results of a calibration
// accumulated from sine records sampled by a ring with uneven cells.
#include <cmath>
#include <numbers>

#include "calibration/inl_calibration.h"
#include "gui_fixture.h"
#include "ui/panels/inl_panel.h"
#include "ui/panels/time_vs_matrix_histogram.h"

namespace vx::ui {
namespace {

// Time-ordered record of a small sine (16 samples a period) taken by cells whose sampling
// instants are off by `error` periods.
std::vector<float> record(int first_cell, double phase, const std::vector<double>& error) {
  const int base = first_cell - first_cell % 16;
  std::vector<float> w(kInlCells);
  for (int s = 0; s < kInlCells; ++s) {
    const double t = s + error[(s + base) % kInlCells] - error[base];
    w[s] = static_cast<float>(60.0 * std::sin(2.0 * std::numbers::pi * (t - phase) / 16.0));
  }
  return w;
}

void calibrate(InlChannelCalibration& k, double amplitude) {
  std::vector<double> error(kInlCells);
  for (int i = 0; i < kInlCells; ++i)
    error[i] = amplitude * std::sin(2.4 * i);  // uneven from one cell to the next
  for (int F = 0; F < kInlCells; F += 64)
    for (int p = 0; p < 16; ++p)
      Accumulate_INLChannel(k, record(F, p + 0.5, error), F, {0.0f, 64, 100});
  Compute_INLChannel(k, {64, 312.5, true, 0});
}

TEST(GuiTimeVsMatrixHistogram, ShowsTheSelectedChannelsCellWidthsAndInspectedCellSteps) {
  test::TestCore core;
  State& st = core.state;
  st.sys.NbOfSAMBlocks = 1;
  st.acq.INLCalibOption = 100;
  calibrate(st.inl.at(0, 0), 0.08);
  calibrate(st.inl.at(0, 1), 0.02);
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
    int total = 0;
    for (int b = 0; b < kInlHistoBins; ++b) {
      EXPECT_DOUBLE_EQ(bars->data()->at(b)->value, k.ZeroCrossingHisto[b]) << "bin " << b;
      total += k.ZeroCrossingHisto[b];
    }
    EXPECT_EQ(total, k.NbOfZeroCrossings[100]);
    EXPECT_GT(total, 0);
  }

  // A channel the board does not have: nothing drawn.
  choose(channel, 5);
  EXPECT_EQ(widths->graphCount(), 0);
  EXPECT_EQ(steps->plottableCount(), 0);
}

}  // namespace
}  // namespace vx::ui
