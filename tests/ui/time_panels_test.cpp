// The Time Measurements panel, the Time Measurement Histogram and the Mean Distance vs Time
// strip chart, offscreen, on the simulated board.

#include <QCheckBox>
#include <QLabel>

#include "app/measurement_data.h"
#include "gui_fixture.h"
#include "ui/panels/time_histogram_panel.h"
#include "ui/panels/time_measurements_panel.h"
#include "ui/panels/time_strip_chart_panel.h"

namespace vx::ui {
namespace {

// Channel 1's pulse comes 10 ns after channel 0's; both jitter (40 and 30 ps rms), so their
// difference spreads by 50 ps plus what the board's own timing adds. Channel 2 does not jitter.
constexpr const char* kSimConfig =
    "trigger_rate_hz = 2000\n"
    "ch0.pulse.jitter_ps = 40\n"
    "ch1.pulse.jitter_ps = 30\n"
    "ch1.pulse.delay_ns = 60\n";

struct GuiTimePanels : GuiConnected {
  GuiTimePanels() : GuiConnected(kSimConfig) {}
  TimeMeasurementsPanel& tm() { return app->time_measurements_panel(); }
  TimeHistogramPanel& th() { return app->time_histogram_panel(); }
};

TEST_F(GuiTimePanels, SettingsReachTheRecordsAndTheNextMeasurement) {
  main().action(MenuAction::TimeMeasurements)->trigger();
  ASSERT_TRUE(tm().isVisible());
  EXPECT_EQ(tm().windowTitle(), "Time Measurements");

  auto* ratio = child<QDoubleSpinBox>(&tm(), "CFDRATIO");
  enter(ratio, 0.1);
  EXPECT_FLOAT_EQ(VX_VALUE(st().acq.CFDRatio), 0.1f);

  // Fixed threshold on channel 2 at -100 mV.
  choose(child<QComboBox>(&tm(), "CFDMETHOD"), 1);
  EXPECT_FALSE(ratio->isEnabled());
  choose(child<QComboBox>(&tm(), "THRESHOLDSELCH"), 2);
  enter(child<QDoubleSpinBox>(&tm(), "PULSETHRESHOLD"), -0.1);
  choose(child<QComboBox>(&tm(), "PULSEEDGE"), 1);
  EXPECT_EQ(static_cast<int>(st().acq.PulseEdge[1][0]), 1);
  EXPECT_EQ(static_cast<int>(st().acq.PulseEdge[0][0]), 0);  // only the selected channel
  EXPECT_EQ(child<QLabel>(&tm(), "THRESHOLDCOUNTS")->text(), "= -163.8 ADC counts");
  child<QPushButton>(&tm(), "APPLYTOALLEDGE")->click();
  child<QPushButton>(&tm(), "APPLYTOALLTHRESHOLD")->click();
  for (int ch = 0; ch < kMaxChannels; ++ch) {
    EXPECT_EQ(static_cast<int>(st().acq.PulseEdge[ch / 2][ch % 2]), 1) << ch;
    EXPECT_FLOAT_EQ(VX_VALUE(st().acq.PulseThreshold[ch / 2][ch % 2]), -163.8f) << ch;
  }

  // A crossing-to-peak limit (what it does to the times is the measurement tests' business).
  auto* limit = child<QDoubleSpinBox>(&tm(), "MAXPEAKTHRESHOLD");
  EXPECT_FALSE(limit->isEnabled());
  child<QCheckBox>(&tm(), "MAXPEAKTHRESHOFF")->setChecked(false);
  EXPECT_TRUE(limit->isEnabled());
  enter(limit, 0.2);
  EXPECT_FLOAT_EQ(VX_VALUE(st().acq.MaxPeakThresholdDistance), 0.2f);
  // The band-limited edge timing; the spline settings are the standard timing's alone.
  choose(child<QComboBox>(&tm(), "EDGETIMING"), 1);
  EXPECT_FALSE(child<QCheckBox>(&tm(), "SPLINEINTERP")->isEnabled());
}

// The jitter run's histogram as the panel shows it: the measurement's own results (their
// arithmetic is the analysis tests' business), and closing only hides.
TEST_F(GuiTimePanels, HistogramAgreesWithTheRunAndSurvivesClosing) {
  main().action(MenuAction::TimeMeasurements)->trigger();
  child<QCheckBox>(&tm(), "COMPUTEJITTER")->setChecked(true);  // keeps every event's times
  child<QPushButton>(&tm(), "SHOWTIMEHISTO")->click();
  ASSERT_TRUE(th().isVisible());
  EXPECT_EQ(th().windowTitle(), "Time Measurement Histogram");
  child<QCheckBox>(&th(), "AUTOBINSFORTIMEHISTO")->setChecked(false);
  auto* bins = child<QSpinBox>(&th(), "TIMEHISTOINTERVALS");
  EXPECT_TRUE(bins->isEnabled());
  enter(bins, 50);  // the run's histogram has 50 bins
  child<QPushButton>(&th(), "SHOWTIMESTRIPCHART")->click();
  auto& strip = app->time_strip_chart_panel();
  ASSERT_TRUE(strip.isVisible());

  set_run_type(1, 3000);
  const int generation = st().AcquisitionGeneration.load();
  press_start();
  auto* entries = child<QLineEdit>(&th(), "HISTO_NB_OF_EVENTS");
  ASSERT_TRUE(wait_until([&] { return entries->text().toInt() > 300; }));
  EXPECT_FALSE(child<QPushButton>(&th(), "SAVETIMEHISTO")->isEnabled());
  // 3 000 measured events: minutes under a sanitizer on a busy machine.
  ASSERT_TRUE(wait_until(
      [&] {
        return st().AcquisitionGeneration.load() != generation &&
               st().AcquisitionRunning.load() == 0;
      },
      180000));
  auto* centre = child<QLineEdit>(&th(), "DELTATIMECENTER");
  ASSERT_TRUE(wait_until([&] { return centre->text() != "-"; }));

  const MeasurementData& m = st().meas;
  const TimeHistoResults& r = m.TimeHisto;
  ASSERT_GT(r.entries, 2900);
  EXPECT_EQ(entries->text().toInt(), r.entries);
  // Times in ps throughout, the fit with its quality.
  EXPECT_NEAR(child<QLineEdit>(&th(), "DELTATIMEMEAN")->text().toDouble(), r.mean_ns * 1e3, 0.01);
  EXPECT_NEAR(child<QLineEdit>(&th(), "DELTATIMESIGMA")->text().toDouble(), r.rms_ps, 1e-3);
  EXPECT_NEAR(child<QLineEdit>(&th(), "FWHM")->text().toDouble(), r.fwhm_ps, 1e-3);
  EXPECT_NEAR(child<QLineEdit>(&th(), "DELTATIMEFITTEDSIGMA")->text().toDouble(), r.fitted_sigma_ps,
              1e-3);
  EXPECT_NEAR(centre->text().toDouble(), r.fitted_centre_ns * 1e3, 0.01);
  EXPECT_EQ(r.ndf, 47);
  const QString chi2 = child<QLineEdit>(&th(), "FITCHI2NDF")->text();
  EXPECT_TRUE(chi2.endsWith(QString::number(r.chi2 / r.ndf, 'f', 2))) << chi2.toStdString();
  // The run's automatic range, handed to the records, which the controls show.
  EXPECT_NEAR(child<QDoubleSpinBox>(&th(), "TIMEHSTOXMIN")->value(), m.TimeHistoRange.min, 0.6e-4);
  EXPECT_NEAR(child<QDoubleSpinBox>(&th(), "TIMEHSTOXMAX")->value(), m.TimeHistoRange.max, 0.6e-4);
  QCustomPlot* graph = th().graph();
  ASSERT_EQ(graph->graph(0)->dataCount(), 50);
  ASSERT_EQ(graph->graph(1)->dataCount(), 50);
  for (int i = 0; i < 50; ++i) {
    EXPECT_EQ(graph->graph(0)->data()->at(i)->key, m.ThresholdCrossingAxis[i]) << i;
    EXPECT_EQ(graph->graph(0)->data()->at(i)->value, m.ThresholdCrossingDistri[i]) << i;
    EXPECT_EQ(graph->graph(1)->data()->at(i)->value, m.GaussFittedThresholdCrossingDistri[i]) << i;
  }

  auto* chart = strip.chart();
  ASSERT_GE(chart->graph(0)->dataCount(), 2);
  // Only means of accepted differences (10 ns apart), none from a rebuild before the run had any.
  for (const QCPGraphData& p : *chart->graph(0)->data()) ASSERT_NEAR(p.value, -10.0, 0.05);
  EXPECT_EQ((chart->graph(0)->data()->constEnd() - 1)->value, m.LastMeanDistance);

  // Closing only hides: the panels come back as they were.
  const QString sigma_shown = child<QLineEdit>(&th(), "DELTATIMESIGMA")->text();
  th().close();
  EXPECT_FALSE(child<QPushButton>(&tm(), "SHOWTIMEHISTO")->isChecked());
  tm().close();
  main().action(MenuAction::TimeMeasurements)->trigger();
  EXPECT_TRUE(child<QCheckBox>(&tm(), "COMPUTEJITTER")->isChecked());
  child<QPushButton>(&tm(), "SHOWTIMEHISTO")->click();
  EXPECT_TRUE(th().isVisible());
  EXPECT_EQ(child<QLineEdit>(&th(), "DELTATIMESIGMA")->text(), sigma_shown);
  EXPECT_EQ(th().graph()->graph(0)->dataCount(), 50);
  EXPECT_TRUE(child<QPushButton>(&th(), "SAVETIMEHISTO")->isEnabled());
}

}  // namespace
}  // namespace vx::ui
