// The Charge Measurement, Charge Histogram, Noise Measurements and Plot Alignement panels on the
// simulated board (pulses of -200 mV, 1 ns rise, 5 ns fall at 50 ns; 0.5 mV of noise).

#include <QCheckBox>

#include "analysis/charge_controls.h"
#include "gui_fixture.h"
#include "ui/main_graph_view.h"
#include "ui/panels/alignment_panel.h"
#include "ui/panels/charge_histo_panel.h"
#include "ui/panels/charge_panel.h"
#include "ui/panels/noise_panel.h"

namespace vx::ui {
namespace {

using GuiChargeNoise = GuiConnected;

TEST_F(GuiChargeNoise, SoftwareHistogramMeanIsThePulseChargeAndFollowsTheWindow) {
  main().action(MenuAction::ChargeMode)->trigger();
  ChargePanel* panel = main().charge_panel();
  ASSERT_TRUE(panel->isVisible());
  choose(child<QComboBox>(panel, "CHARGEMODE"), 2);  // software: the histogram below shows it
  EXPECT_EQ(VX_VALUE(st().sam[0].ChargeModeEnabled), 0);
  EXPECT_EQ(dialogs.popups().size(), 1);  // its text: the charge tests

  // A start below 1 is refused and shows the old value again.
  auto* start = child<QSpinBox>(panel, "STARTCELL");
  enter(start, 0);
  EXPECT_EQ(start->value(), 17);

  run_events(200);
  child<QPushButton>(panel, "SHOWHISTO")->click();
  ChargeHistoPanel* histo = main().charge_histo_panel();
  ASSERT_TRUE(histo->isVisible());
  choose(child<QComboBox>(histo, "CHARGESELCH"), 3);
  // The panel shows the run's histogram (its arithmetic is the analysis tests' business):
  // a -200 mV pulse of some -12.6 pC.
  const auto shows_the_histogram_of = [&](int ch) {
    const ChargeHistoView v = Charge_HistoView(st(), st(), ch);
    EXPECT_EQ(child<QLineEdit>(histo, "NBENTRIESCHARGEHISTO")->text().toLongLong(), v.entries);
    EXPECT_NEAR(child<QLineEdit>(histo, "CHARGESIGMA")->text().toDouble(), v.sigma, 1e-4);
    const double mean = child<QLineEdit>(histo, "CHARGEMEAN")->text().toDouble();
    EXPECT_EQ(histo->findChild<QCPTextElement*>("CHARGEHISTOTITLE")->text(),
              QString("Charge histogram of CH%1").arg(ch));
    EXPECT_NEAR(mean, v.mean, 1e-4);
    return mean;
  };
  EXPECT_LT(shows_the_histogram_of(3), -12.0);
  EXPECT_EQ(child<QLineEdit>(histo, "NBENTRIESCHARGEHISTO")->text(), "200");
  auto* graph = child<QCustomPlot>(histo, "CHARGEGRAPH");
  EXPECT_EQ(graph->xAxis->label(), "Charge [pC]");

  // A window that ends before the pulse (samples 1 to 100, the pulse is at 160) reaches the
  // records, the board and the next run's charges.
  choose(child<QComboBox>(panel, "CHARGESELCH"), 3);
  enter(start, 1);
  enter(child<QSpinBox>(panel, "CHARGELENGTH"), 100);
  EXPECT_EQ(VX_VALUE(st().sam[1].ChargeStartIndex[1]), 1);
  EXPECT_EQ(child<QLineEdit>(panel, "CHARGELENGTHIND")->text(), "31.25 ns");
  run_events(100);
  auto* entries = child<QLineEdit>(histo, "NBENTRIESCHARGEHISTO");
  ASSERT_TRUE(wait_until([&] { return entries->text() == "100"; }, 3000))
      << entries->text().toStdString();
  EXPECT_NEAR(shows_the_histogram_of(3), 0.0, 0.2);
  // Channel 2 kept its window and its pulse.
  choose(child<QComboBox>(histo, "CHARGESELCH"), 2);
  EXPECT_LT(shows_the_histogram_of(2), -12.0);
}

TEST_F(GuiChargeNoise, ChargeCursorsSnapToTheSelectedChannelAndSetItsWindow) {
  run_events(3);
  MainGraphView* graph = main().graph();
  ASSERT_TRUE(wait_until([&] { return graph->plotted_points(2) == 10230; }));
  main().action(MenuAction::ChargeMode)->trigger();
  ChargePanel* panel = main().charge_panel();
  choose(child<QComboBox>(panel, "CHARGESELCH"), 2);
  child<QCheckBox>(panel, "CHARGECURSORSONOFF")->click();
  ASSERT_TRUE(graph->cursors_visible());
  EXPECT_TRUE(main().action(MenuAction::ZoomIn)->isEnabled());
  // On the window's first and last samples (17 and 1021), on channel 2's curve.
  EXPECT_DOUBLE_EQ(graph->cursor(0).x(), 170.0);
  EXPECT_DOUBLE_EQ(graph->cursor(1).x(), 10210.0);
  EXPECT_DOUBLE_EQ(graph->cursor(0).y(), *graph->curve_value(2, 170.0));

  struct Move {
    int cursor;
    double x;
    double x1, x2;  // where both end up
  };
  // Where they snap is the charge controls' business: one move of each.
  const Move moves[] = {{1, 2004.0, 170.0, 2000.0}, {0, 1234.4, 1230.0, 2000.0}};
  for (const Move& m : moves) {
    graph->set_cursor(m.cursor, QPointF(m.x, 0.3));
    EXPECT_DOUBLE_EQ(graph->cursor(0).x(), m.x1) << m.x;
    EXPECT_DOUBLE_EQ(graph->cursor(1).x(), m.x2) << m.x;
    // Both sit on channel 2's curve, not on the level the mouse left them at.
    EXPECT_DOUBLE_EQ(graph->cursor(0).y(), *graph->curve_value(2, m.x1)) << m.x;
    EXPECT_DOUBLE_EQ(graph->cursor(1).y(), *graph->curve_value(2, m.x2)) << m.x;
  }
  EXPECT_NE(*graph->curve_value(2, 1230.0), *graph->curve_value(0, 1230.0));

  child<QPushButton>(panel, "VALIDATECHARGECURSORS")->click();
  EXPECT_EQ(VX_VALUE(st().sam[1].ChargeLength[0]), 78);
  EXPECT_EQ(VX_VALUE(st().sam[0].ChargeStartIndex[0]), 17);  // other channels keep theirs
  EXPECT_EQ(child<QSpinBox>(panel, "STARTCELL")->value(), 123);

  // Firmware charges come without cursors: choosing that mode takes them away.
  choose(child<QComboBox>(panel, "CHARGEMODE"), 1);
  EXPECT_FALSE(graph->cursors_visible());
  EXPECT_FALSE(child<QCheckBox>(panel, "CHARGECURSORSONOFF")->isEnabled());
  EXPECT_EQ(VX_VALUE(st().sam[0].ChargeModeEnabled), 1);
}

TEST_F(GuiChargeNoise, NoiseWindowKeepsItsEndAfterTheStartAndMeasuresTheBoardNoise) {
  main().action(MenuAction::NoiseMeasurements)->trigger();
  NoisePanel* panel = main().noise_panel();
  ASSERT_TRUE(panel->isVisible());
  child<QCheckBox>(panel, "ENABLENOISEMEAS")->click();

  auto* start = child<QDoubleSpinBox>(panel, "SIGMASTARTSAMPLE");
  auto* end = child<QDoubleSpinBox>(panel, "SIGMAENDSAMPLE");
  enter(start, 5.0);  // sample 16
  enter(end, 2.0);    // before the start: refused, one sample after it instead
  EXPECT_DOUBLE_EQ(end->value(), 5.3125);
  enter(end, 40.0);  // sample 128, clear of the pulse
  EXPECT_EQ(st().EndSigmaSample, 128);

  choose(child<QComboBox>(panel, "SELCHANNEL"), 2);  // CH1 only
  EXPECT_EQ(VX_VALUE(st().gui.NoiseStripChartChannel), 1);
  auto* chart = child<QCustomPlot>(panel, "NOISE_STRIPCHART");

  run_continuously();
  ASSERT_TRUE(
      wait_until([&] { return chart->graphCount() == 1 && chart->graph(0)->dataCount() >= 2; }));
  const double noise_mv = sim::SimConfig{}.channel[0].noise_mv;
  for (int ch = 0; ch < 8; ++ch) {
    const auto* mean = child<QLineEdit>(panel, QString("MEANSIGMACH%1").arg(ch).toUtf8().data());
    EXPECT_NEAR(mean->text().toDouble(), noise_mv, 0.3 * noise_mv) << ch;
  }
  EXPECT_NEAR(chart->graph(0)->data()->at(1)->value, noise_mv, 0.3 * noise_mv);
  stop_run();
}

// Each panel opens from its item with its title; the histogram's and alignment's edits reach the
// records; closing: GuiFirstUse.WindowsFitASmallScreenAndOnlyHideOnCloseAndTheFftSwitchStaysPut.
TEST_F(GuiChargeNoise, PanelsOpenFromTheirItemsAndTheirEditsReachTheRecords) {
  QWidget* histo = main().charge_histo_panel();
  QWidget* charge = main().charge_panel();
  QWidget* noise = main().noise_panel();
  QWidget* align = main().alignment_panel();
  const struct {
    std::function<void()> open;
    QWidget* panel;
    const char* title;
  } cases[] = {
      {[&] { main().action(MenuAction::ChargeMode)->trigger(); }, charge,
       "Charge Measurement Panel"},
      {[&] { child<QPushButton>(charge, "SHOWHISTO")->click(); }, histo, "Charge Histogram"},
      {[&] { main().action(MenuAction::NoiseMeasurements)->trigger(); }, noise,
       "Noise Measurements"},
      {[&] { main().action(MenuAction::PlotAlignment)->trigger(); }, align, "Plot Alignement"},
  };
  for (const auto& c : cases) {
    c.open();
    ASSERT_TRUE(c.panel->isVisible()) << c.title;
    EXPECT_EQ(c.panel->windowTitle(), c.title);
  }
  enter(child<QSpinBox>(histo, "CHARGEHISTOINTERVALS"), 50);
  EXPECT_EQ(VX_VALUE(st().gui.ChargeHistoNbOfBins), 50);
  child<QCheckBox>(align, "PLOTALIGNMENT")->click();
  // Aligned plots: twice the points, and no averaging (dimmed on the main page).
  EXPECT_EQ(VX_VALUE(st().gui.NbOfPlotPoints), 2048);
  EXPECT_EQ(VX_VALUE(st().acq.AveragingDataOn), 0);
  EXPECT_FALSE(main().findChild<QCheckBox*>("AVERAGINGDATA")->isEnabled());
  EXPECT_TRUE(child<QComboBox>(align, "ALIGNREFCHANNEL")->isEnabled());

  choose(child<QComboBox>(align, "ALIGNEDGE"), 0);  // falling
  EXPECT_EQ(VX_VALUE(st().gui.PlotAlignmentOption2), 0);
}

}  // namespace
}  // namespace vx::ui
