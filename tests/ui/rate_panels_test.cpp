// The Rate Measurements and Hit Rate Vs Threshold panels, offscreen, on the simulated board.

#include <QCheckBox>
#include <QLabel>

#include <algorithm>

#include "digitizer/board_configuration.h"
#include "digitizer/dacs.h"
#include "gui_fixture.h"
#include "ui/panels/rate_panel.h"
#include "ui/panels/rate_scan_panel.h"

namespace vx::ui {
namespace {

using GuiRatePanels = GuiConnected;

TEST_F(GuiRatePanels, ScanPanelRunsAShortScanPlotsItAndSavesTheFile) {
  main().action(MenuAction::RateVsThreshold)->trigger();
  RateScanPanel* panel = main().rate_scan_panel();
  ASSERT_TRUE(panel->isVisible());

  auto* min = child<QDoubleSpinBox>(panel, "MINTHRESHOLDFORPLOT");
  auto* max = child<QDoubleSpinBox>(panel, "MAXTHRESHOLDFORPLOT");
  enter(min, -0.25);
  enter(max, -0.05);
  child<QSpinBox>(panel, "NBOFSTEPSFORPLOT")->setValue(5);
  child<QDoubleSpinBox>(panel, "COUNTINGTIMEPERSTEP")->setValue(0.06);
  child<QComboBox>(panel, "CH_FOR_RATE_VS_THRES")->setCurrentIndex(3);  // channel 2
  EXPECT_EQ(static_cast<int>(st().gui.RateVsThresholdChannel), 2);

  const int finished = st().rates.ScansFinished.load();
  child<QPushButton>(panel, "START_RUN")->click();
  EXPECT_FALSE(child<QPushButton>(panel, "START_RUN")->isEnabled());
  ASSERT_TRUE(wait_until([&] { return st().rates.ScansFinished.load() != finished; }));
  ASSERT_TRUE(wait_until([&] { return child<QPushButton>(panel, "START_RUN")->isEnabled(); }));

  auto* graph = child<QCustomPlot>(panel, "RATEVSTHRESGRAPH");
  ASSERT_EQ(graph->graphCount(), 1);  // only the plotted channel
  // The rates span decades: the axis is logarithmic, where the step beyond the pulses
  // (-0.25 V, no hit) has no place.
  EXPECT_EQ(graph->yAxis->scaleType(), QCPAxis::stLogarithmic);
  const RateScanResult result = RateScan_Result(st());
  const auto& rates = result.RateValuesForPlot[2];
  const auto counted = std::count_if(rates.begin(), rates.end(), [](double r) { return r > 0.0; });
  ASSERT_EQ(graph->graph(0)->dataCount(), counted);
  EXPECT_FALSE(graph->legend->visible()) << "one curve needs no legend";
  child<QCheckBox>(panel, "EN_LOG_SCALE")->click();
  EXPECT_EQ(graph->yAxis->scaleType(), QCPAxis::stLinear);
  ASSERT_EQ(graph->graph(0)->dataCount(), 5);
  // -0.2 V to -0.05 V lie within the negative 200 mV pulses (1 kHz); -0.25 V beyond them.
  EXPECT_EQ(graph->graph(0)->data()->at(0)->value, 0.0);
  EXPECT_NEAR(graph->graph(0)->data()->at(4)->value, 1000.0, 400.0);
  EXPECT_NEAR(graph->xAxis->range().lower, -0.25, 1e-6);
  EXPECT_EQ(child<QLabel>(panel, "SCANPROGRESS")->text(), "5 steps measured");

  const auto file = home.path() / "scan.dat";
  dialogs.file_answers.push_back(QString::fromStdString(file.string()));
  child<QPushButton>(panel, "SAVERATEPLOT")->click();
  const auto lines = test::file_lines(file);
  ASSERT_EQ(lines.size(), 5u);
  EXPECT_EQ(lines[2], "-0.2500 -0.2000 -0.1500 -0.1000 -0.0500 ");

  // Every channel: one curve each, named in a legend.
  child<QComboBox>(panel, "CH_FOR_RATE_VS_THRES")->setCurrentIndex(0);
  ASSERT_EQ(graph->graphCount(), 8);
  EXPECT_TRUE(graph->legend->visible());
  ASSERT_EQ(graph->legend->itemCount(), 8);
  for (int ch = 0; ch < 8; ++ch) EXPECT_EQ(graph->graph(ch)->name(), QString("Ch %1").arg(ch));
}

TEST_F(GuiRatePanels, RatePanelShowsLiveRatesAfterItsFirstInfo) {
  main().action(MenuAction::RateMeasurements)->trigger();
  RatePanel* panel = main().rate_panel();
  ASSERT_TRUE(panel->isVisible());
  panel->findChild<QCheckBox*>("ENABLERATEMEAS")->setChecked(true);
  ASSERT_EQ(dialogs.popups().size(), 1);
  EXPECT_TRUE(dialogs.popups()[0].startsWith("INFO: Trigger Rates are measured"));

  // The channels' negative pulses (200 mV, 1 kHz) trigger the events, clear of the noise.
  for (int ch = 0; ch < 8; ++ch) {
    st().gui.ThresholdVolts[ch] = -0.05f;
    Update_TriggerThreshold(st(), ch);
  }
  st().sys.TriggerSource = 1;
  Set_SystemTriggerMode(st());
  press_start();
  auto* value = panel->findChild<QLabel*>("RATEVALUECH1");
  auto* unit = panel->findChild<QLabel*>("RATEUNITYCH1");
  ASSERT_TRUE(wait_until([&] { return value->text() != "-"; }));
  const double scale = unit->text() == "kHz" ? 1e3 : unit->text() == " Hz" ? 1.0 : 1e6;
  // The first rate shown comes from 65 to 100 hits (at most 13 %): four standard deviations;
  // its uncertainty is shown beside it.
  const QStringList shown = value->text().split(' ');
  ASSERT_EQ(shown.size(), 3) << value->text().toStdString();
  EXPECT_NEAR(shown[0].toDouble() * scale, 1000.0, 400.0) << unit->text().toStdString();
  auto* chart = panel->findChild<QCustomPlot*>("RAWTRIGGERSTRIPCHART");
  EXPECT_EQ(chart->graphCount(), 8);
  EXPECT_TRUE(chart->legend->visible());
  EXPECT_EQ(chart->legend->itemCount(), 8);
  EXPECT_EQ(chart->yAxis->scaleType(), QCPAxis::stLogarithmic);
  stop_run();
  EXPECT_GT(chart->graph(1)->dataCount(), 0);
}

}  // namespace
}  // namespace vx::ui
