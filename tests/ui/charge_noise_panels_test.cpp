// The Charge Measurement, Charge Histogram, Noise Measurements and Plot Alignement panels,
// offscreen, on the simulated board (pulses of -200 mV, 1 ns rise, 5 ns fall at 50 ns;
// 0.5 mV of noise).

#include <QCheckBox>
#include <QPointer>
#include <cmath>

#include "gui_fixture.h"
#include "sim/sim_config.h"
#include "ui/main_graph_view.h"
#include "ui/panels/alignment_panel.h"
#include "ui/panels/charge_histo_panel.h"
#include "ui/panels/charge_panel.h"
#include "ui/panels/noise_panel.h"

namespace vx::ui {
namespace {

// The simulated pulse's charge in pC, from the board's configuration: its amplitude times
// the area of its shape (an error-function edge of the given 10-90 % rise times an
// exponential fall of the given 90-10 % time, peak 1) over 50 ohms.
double simulated_pulse_charge_pc(const sim::ChannelSignal& s) {
  const double sigma = s.pulse_rise_ns / 2.5631, tau = s.pulse_fall_ns / 2.1972;  // ns
  auto shape = [&](double t) {
    const double edge = 0.5 * std::erfc(-t / (sigma * std::sqrt(2.0)));
    return t > 0.0 ? edge * std::exp(-t / tau) : edge;
  };
  double area = 0.0, peak = 0.0;
  const double dt = 1e-4;
  for (double t = -6.0 * sigma; t < 6.0 * sigma + 16.0 * tau; t += dt) {
    area += shape(t) * dt;
    peak = std::max(peak, shape(t));
  }
  const double sign = s.pulse_polarity == sim::PulsePolarity::kNegative ? -1.0 : 1.0;
  return sign * s.pulse_amplitude_mv * 1e-3 * (area / peak) * 1000.0 / 50.0;  // V ps / ohm
}

struct GuiChargeNoise : GuiTest {
  GuiChargeNoise() {
    dialogs.confirm_answer = true;
    click_connect();
  }
};

TEST_F(GuiChargeNoise, SoftwareHistogramMeanIsThePulseChargeAndFollowsTheWindow) {
  ASSERT_TRUE(wait_until([&] { return main().isVisible(); }));
  main().action("CHARGEMODE")->trigger();
  ChargePanel* panel = main().charge_panel();
  ASSERT_TRUE(panel->isVisible());
  choose(child<QComboBox>(panel, "CHARGEMODE"), 2);
  EXPECT_EQ(VX_VALUE(st().acq.EnSoftwareChargeHisto), 1);
  EXPECT_EQ(VX_VALUE(st().sam[0].ChargeModeEnabled), 0);
  ASSERT_EQ(dialogs.popups().size(), 1);
  EXPECT_TRUE(dialogs.popups()[0].startsWith("WARNING: In Charge Mode (Firmware/Software)"));

  // A start below 1 is refused and shows the old value again.
  auto* start = child<QSpinBox>(panel, "STARTCELL");
  enter(start, 0);
  EXPECT_EQ(start->value(), 17);
  EXPECT_EQ(VX_VALUE(st().sam[0].ChargeStartIndex[0]), 17);

  run_events(200);
  child<QPushButton>(panel, "SHOWHISTO")->click();
  ChargeHistoPanel* histo = main().charge_histo_panel();
  ASSERT_TRUE(histo->isVisible());
  choose(child<QComboBox>(histo, "CHARGESELCH"), 3);
  EXPECT_EQ(VX_VALUE(st().gui.ChargeHistoChannel), 3);
  const double truth = simulated_pulse_charge_pc(sim::SimConfig{}.channel[3]);  // about -12.6 pC
  const double mean = child<QLineEdit>(histo, "CHARGEMEAN")->text().toDouble();
  EXPECT_NEAR(mean, truth, 0.02 * std::abs(truth)) << "truth " << truth;
  EXPECT_EQ(child<QLineEdit>(histo, "NBENTRIESCHARGEHISTO")->text(), "200");
  // 0.5 mV of noise over a 1005-sample window and a 16-sample baseline: under 1 pC.
  const double sigma = child<QLineEdit>(histo, "CHARGESIGMA")->text().toDouble();
  EXPECT_GT(sigma, 0.0);
  EXPECT_LT(sigma, 1.0);
  auto* graph = child<QCustomPlot>(histo, "CHARGEGRAPH");
  EXPECT_EQ(graph->xAxis->label(), "Charge [pC]");
  save_picture(histo, "charge-histogram");

  // A window that ends before the pulse (samples 1 to 100, the pulse is at 160) reaches the
  // records, the board and the next run's charges.
  choose(child<QComboBox>(panel, "CHARGESELCH"), 3);
  enter(start, 1);
  enter(child<QSpinBox>(panel, "CHARGELENGTH"), 100);
  EXPECT_EQ(VX_VALUE(st().sam[1].ChargeStartIndex[1]), 1);
  EXPECT_EQ(VX_VALUE(st().sam[1].ChargeLength[1]), 100);
  EXPECT_EQ(child<QLineEdit>(panel, "CHARGELENGTHIND")->text(), "31.25 ns");
  run_events(100);
  auto* entries = child<QLineEdit>(histo, "NBENTRIESCHARGEHISTO");
  ASSERT_TRUE(wait_until([&] { return entries->text() == "100"; }, 3000))
      << entries->text().toStdString();
  EXPECT_NEAR(child<QLineEdit>(histo, "CHARGEMEAN")->text().toDouble(), 0.0, 0.2);
  // Channel 2 kept its window and its pulse.
  choose(child<QComboBox>(histo, "CHARGESELCH"), 2);
  const double truth2 = simulated_pulse_charge_pc(sim::SimConfig{}.channel[2]);
  EXPECT_NEAR(child<QLineEdit>(histo, "CHARGEMEAN")->text().toDouble(), truth2,
              0.02 * std::abs(truth2));
}

TEST_F(GuiChargeNoise, ChargeCursorsSnapToTheSelectedChannelAndSetItsWindow) {
  ASSERT_TRUE(wait_until([&] { return main().isVisible(); }));
  run_events(3);
  MainGraphView* graph = main().graph();
  ASSERT_TRUE(wait_until([&] { return graph->plotted_points(2) == 10230; }));
  main().action("CHARGEMODE")->trigger();
  ChargePanel* panel = main().charge_panel();
  choose(child<QComboBox>(panel, "CHARGESELCH"), 2);
  child<QCheckBox>(panel, "CHARGECURSORSONOFF")->click();
  ASSERT_TRUE(graph->cursors_visible());
  EXPECT_TRUE(main().action("ZOOMIN")->isEnabled());
  // On the window's first and last samples (17 and 1021), on channel 2's curve.
  EXPECT_DOUBLE_EQ(graph->cursor(0).x(), 170.0);
  EXPECT_DOUBLE_EQ(graph->cursor(1).x(), 10210.0);
  EXPECT_DOUBLE_EQ(graph->cursor(0).y(), *graph->curve_value(2, 170.0));

  struct Move {
    int cursor;
    double x;
    double x1, x2;  // where both end up
  };
  const Move moves[] = {
      {0, 1234.4, 1230.0, 10210.0},  // the nearest sample
      {1, 1000.0, 1230.0, 1240.0},   // one sample after the first at least
      {0, 3.0, 10.0, 1240.0},        // sample 1 at least
      {1, 2004.0, 10.0, 2000.0},    {0, 1234.0, 1230.0, 2000.0},
  };
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
  EXPECT_EQ(VX_VALUE(st().sam[1].ChargeStartIndex[0]), 123);
  EXPECT_EQ(VX_VALUE(st().sam[1].ChargeLength[0]), 78);
  EXPECT_EQ(VX_VALUE(st().sam[0].ChargeStartIndex[0]), 17);  // other channels keep theirs
  EXPECT_EQ(child<QSpinBox>(panel, "STARTCELL")->value(), 123);

  // Firmware charges come without cursors: choosing that mode takes them away.
  choose(child<QComboBox>(panel, "CHARGEMODE"), 1);
  EXPECT_FALSE(graph->cursors_visible());
  EXPECT_FALSE(child<QCheckBox>(panel, "CHARGECURSORSONOFF")->isEnabled());
  EXPECT_EQ(VX_VALUE(st().sam[0].ChargeModeEnabled), 1);
  EXPECT_EQ(VX_VALUE(st().acq.ChargeCutEnabled[3][1]), 1);
}

TEST_F(GuiChargeNoise, NoiseWindowKeepsItsEndAfterTheStartAndMeasuresTheBoardNoise) {
  ASSERT_TRUE(wait_until([&] { return main().isVisible(); }));
  main().action("STATISTICS")->trigger();
  NoisePanel* panel = main().noise_panel();
  ASSERT_TRUE(panel->isVisible());
  child<QCheckBox>(panel, "ENABLENOISEMEAS")->click();
  EXPECT_EQ(VX_VALUE(st().gui.NoiseMeasurementOn), 1);

  auto* start = child<QDoubleSpinBox>(panel, "SIGMASTARTSAMPLE");
  auto* end = child<QDoubleSpinBox>(panel, "SIGMAENDSAMPLE");
  enter(start, 5.0);  // sample 16
  enter(end, 2.0);    // before the start: refused, one sample after it instead
  EXPECT_EQ(st().StartSigmaSample, 16);
  EXPECT_EQ(st().EndSigmaSample, 17);
  EXPECT_DOUBLE_EQ(end->value(), 5.3125);
  enter(end, 40.0);  // sample 128, clear of the pulse
  EXPECT_EQ(st().EndSigmaSample, 128);

  choose(child<QComboBox>(panel, "SELCHANNEL"), 2);  // CH1 only
  EXPECT_EQ(VX_VALUE(st().gui.NoiseStripChartChannel), 1);
  auto* chart = child<QCustomPlot>(panel, "NOISE_STRIPCHART");
  EXPECT_EQ(chart->graphCount(), 1);

  run_continuously();
  ASSERT_TRUE(
      wait_until([&] { return chart->graphCount() == 1 && chart->graph(0)->dataCount() >= 2; }));
  const double noise_mv = sim::SimConfig{}.channel[0].noise_mv;
  for (int ch = 0; ch < 8; ++ch) {
    const auto* mean = child<QLineEdit>(panel, QString("MEANSIGMACH%1").arg(ch).toUtf8().data());
    EXPECT_NEAR(mean->text().toDouble(), noise_mv, 0.3 * noise_mv) << ch;
  }
  EXPECT_NEAR(chart->graph(0)->data()->at(1)->value, noise_mv, 0.3 * noise_mv);
  save_picture(panel, "noise-measurements");
  main().action("STOP")->trigger();
  ASSERT_TRUE(wait_until([&] { return st().AcquisitionRunning.load() == 0; }));
}

TEST_F(GuiChargeNoise, ClosedPanelsAreOnlyHiddenAndShowTheirStateAgain) {
  ASSERT_TRUE(wait_until([&] { return main().isVisible(); }));
  struct Case {
    const char* item;
    QWidget* panel;
    const char* title;
    std::function<void()> edit;
    std::function<bool()> shown;
  };
  QWidget* histo = main().charge_histo_panel();
  QWidget* charge = main().charge_panel();
  QWidget* noise = main().noise_panel();
  QWidget* align = main().alignment_panel();
  const Case cases[] = {
      {"CHARGEMODE", charge, "Charge Measurement Panel",
       [&] { enter(child<QSpinBox>(charge, "CHARGELENGTH"), 400); },
       [&] { return child<QSpinBox>(charge, "CHARGELENGTH")->value() == 400; }},
      {nullptr, histo, "Charge Histogram",
       [&] { enter(child<QSpinBox>(histo, "CHARGEHISTOINTERVALS"), 50); },
       [&] { return child<QSpinBox>(histo, "CHARGEHISTOINTERVALS")->value() == 50; }},
      {"STATISTICS", noise, "Noise Measurements",
       [&] { enter(child<QDoubleSpinBox>(noise, "SIGMASTARTSAMPLE"), 10.0); },
       [&] { return child<QDoubleSpinBox>(noise, "SIGMASTARTSAMPLE")->value() == 10.0; }},
      {"PLOT_ALIGN", align, "Plot Alignement",
       [&] { child<QCheckBox>(align, "PLOTALIGNMENT")->click(); },
       [&] { return child<QCheckBox>(align, "PLOTALIGNMENT")->isChecked(); }},
  };
  for (const Case& c : cases) {
    QPointer<QWidget> guard(c.panel);
    if (c.item != nullptr) {
      main().action(c.item)->trigger();
    } else {
      child<QPushButton>(charge, "SHOWHISTO")->click();
    }
    ASSERT_TRUE(c.panel->isVisible()) << c.title;
    EXPECT_EQ(c.panel->windowTitle(), c.title);
    c.edit();
    c.panel->close();
    QApplication::processEvents();
    ASSERT_FALSE(guard.isNull()) << c.title;
    EXPECT_FALSE(c.panel->isVisible()) << c.title;
    if (c.item != nullptr) {
      main().action(c.item)->trigger();
    } else {
      child<QPushButton>(charge, "SHOWHISTO")->click();
    }
    EXPECT_TRUE(c.panel->isVisible()) << c.title;
    EXPECT_TRUE(c.shown()) << c.title;
  }
  EXPECT_EQ(VX_VALUE(st().sam[0].ChargeLength[0]), 400);
  EXPECT_EQ(VX_VALUE(st().gui.ChargeHistoNbOfBins), 50);
  EXPECT_EQ(st().StartSigmaSample, 32);
  // Aligned plots: twice the points, and no averaging (dimmed on the main page).
  EXPECT_EQ(VX_VALUE(st().gui.PlotAlignment), 1);
  EXPECT_EQ(VX_VALUE(st().gui.NbOfPlotPoints), 2048);
  EXPECT_EQ(VX_VALUE(st().acq.AveragingDataOn), 0);
  EXPECT_FALSE(main().findChild<QCheckBox*>("AVERAGINGDATA")->isEnabled());
  EXPECT_TRUE(child<QComboBox>(align, "ALIGNREFCHANNEL")->isEnabled());

  // The four panels during a run, for the record.
  choose(child<QComboBox>(charge, "CHARGEMODE"), 2);
  enter(child<QSpinBox>(charge, "CHARGELENGTH"), 1005);
  enter(child<QDoubleSpinBox>(align, "ALIGNTHRESHOLD"), -0.1);
  choose(child<QComboBox>(align, "ALIGNEDGE"), 0);  // falling: the pulses are negative
  child<QCheckBox>(noise, "ENABLENOISEMEAS")->click();
  enter(child<QDoubleSpinBox>(noise, "SIGMAENDSAMPLE"), 45.0);
  run_continuously();
  auto* chart = child<QCustomPlot>(noise, "NOISE_STRIPCHART");
  ASSERT_TRUE(wait_until([&] { return chart->graph(0)->dataCount() >= 3; }));
  EXPECT_EQ(VX_VALUE(st().gui.PlotAlignmentOption2), 0);
  QApplication::processEvents();
  save_picture(charge, "charge-measurement");
  save_picture(histo, "charge-histogram-live");
  save_picture(noise, "noise-measurements-live");
  save_picture(align, "plot-alignment");
  save_picture(&main(), "main-window-aligned");
  main().action("STOP")->trigger();
  ASSERT_TRUE(wait_until([&] { return st().AcquisitionRunning.load() == 0; }));
}

}  // namespace
}  // namespace vx::ui
