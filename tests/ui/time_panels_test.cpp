// The Time Measurements panel, the Time Measurement Histogram and the Mean Distance vs Time
// strip chart, offscreen, on the simulated board.

#include <QCheckBox>
#include <QLabel>

#include <cmath>

#include "acquisition/run_control.h"
#include "gui_fixture.h"
#include "sim/signal_model.h"
#include "support/run_lists.h"
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

struct GuiTimePanels : GuiTest {
  GuiTimePanels() : GuiTest(kSimConfig) {
    dialogs.confirm_answer = true;
    click_connect();
  }
  TimeMeasurementsPanel& tm() { return app->time_measurements_panel(); }
  TimeHistogramPanel& th() { return app->time_histogram_panel(); }
  template <typename W>
  W* tm_child(const char* name) {
    return tm().findChild<W*>(name);
  }
  template <typename W>
  W* th_child(const char* name) {
    return th().findChild<W*>(name);
  }
  // Leading times of one channel over the last run (ns), events without an edge as -1.
  std::vector<double> leading_times(int ch) const {
    return test::list_values(app->state().meas.RiseTimeInstantForHisto[ch / 2][ch % 2]);
  }
};

double mean_of(const std::vector<double>& v) {
  double s = 0.0;
  for (double x : v) s += x;
  return s / static_cast<double>(v.size());
}

// Time from half height to the given fraction of the simulated pulse's leading edge (ps).
double edge_offset_ps(double fraction) {
  const sim::PulseShape shape(1.0, 5.0);  // the simulated board's default rise and fall
  double t = 0.0;
  while (shape.at(t) > fraction) t -= 0.1;
  return t;
}

TEST_F(GuiTimePanels, SettingsReachTheRecordsAndTheNextMeasurement) {
  ASSERT_TRUE(wait_until([&] { return main().isVisible(); }));
  ASSERT_TRUE(main().action("MEASUREMENTS")->isEnabled());
  main().action("MEASUREMENTS")->trigger();
  ASSERT_TRUE(tm().isVisible());
  EXPECT_EQ(tm().windowTitle(), "Time Measurements");

  tm_child<QCheckBox>("COMPUTEJITTER")->setChecked(true);  // keeps every event's times
  EXPECT_EQ(static_cast<int>(st().acq.EnTimeJitter), 1);
  run_events(200);
  const std::vector<double> half = leading_times(2);
  ASSERT_EQ(half.size(), 200u);

  // The constant fraction moves the time along the pulse's edge by what its shape says.
  auto* ratio = tm_child<QDoubleSpinBox>("CFDRATIO");
  enter(ratio, 0.1);
  EXPECT_FLOAT_EQ(VX_VALUE(st().acq.CFDRatio), 0.1f);
  run_events(200);
  const std::vector<double> tenth = leading_times(2);
  ASSERT_EQ(tenth.size(), 200u);
  EXPECT_NEAR((mean_of(tenth) - mean_of(half)) * 1000.0, edge_offset_ps(0.1), 25.0);

  // Fixed threshold on channel 2 at -100 mV: half the -200 mV pulse's height.
  choose(tm_child<QComboBox>("CFDMETHOD"), 1);
  EXPECT_EQ(static_cast<int>(st().acq.CFDMethod), 0);
  EXPECT_FALSE(ratio->isEnabled());
  choose(tm_child<QComboBox>("THRESHOLDSELCH"), 2);
  enter(tm_child<QDoubleSpinBox>("PULSETHRESHOLD"), -0.1);
  choose(tm_child<QComboBox>("PULSEEDGE"), 1);
  EXPECT_FLOAT_EQ(VX_VALUE(st().acq.PulseThreshold[1][0]), -163.8f);
  EXPECT_EQ(static_cast<int>(st().acq.PulseEdge[1][0]), 1);
  EXPECT_EQ(static_cast<int>(st().acq.PulseEdge[0][0]), 0);  // only the selected channel
  EXPECT_EQ(tm_child<QLabel>("THRESHOLDCOUNTS")->text(), "= -163.8 ADC counts");
  tm_child<QPushButton>("APPLYTOALLEDGE")->click();
  tm_child<QPushButton>("APPLYTOALLTHRESHOLD")->click();
  for (int ch = 0; ch < kMaxChannels; ++ch) {
    EXPECT_EQ(static_cast<int>(st().acq.PulseEdge[ch / 2][ch % 2]), 1) << ch;
    EXPECT_FLOAT_EQ(VX_VALUE(st().acq.PulseThreshold[ch / 2][ch % 2]), -163.8f) << ch;
  }
  run_events(200);
  const std::vector<double> fixed = leading_times(2);
  ASSERT_EQ(fixed.size(), 200u);
  EXPECT_NEAR(mean_of(fixed), mean_of(half), 0.030);

  // A crossing-to-peak limit tighter than the edge: no valid edge at all.
  auto* limit = tm_child<QDoubleSpinBox>("MAXPEAKTHRESHOLD");
  EXPECT_FALSE(limit->isEnabled());
  tm_child<QCheckBox>("MAXPEAKTHRESHOFF")->setChecked(false);
  EXPECT_TRUE(limit->isEnabled());
  enter(limit, 0.2);
  EXPECT_EQ(static_cast<int>(st().acq.NoMaxPeakThresholdDistance), 0);
  EXPECT_FLOAT_EQ(VX_VALUE(st().acq.MaxPeakThresholdDistance), 0.2f);
  run_events(50);
  for (double t : leading_times(2)) ASSERT_EQ(t, -1.0);
  save_picture(&tm(), "time-measurements");
}

// The jitter run's histogram against the differences computed here from the run's lists.
TEST_F(GuiTimePanels, HistogramAgreesWithTheRunAndSurvivesClosing) {
  ASSERT_TRUE(wait_until([&] { return main().isVisible(); }));
  main().action("MEASUREMENTS")->trigger();
  tm_child<QCheckBox>("COMPUTEJITTER")->setChecked(true);
  tm_child<QPushButton>("SHOWTIMEHISTO")->click();
  ASSERT_TRUE(th().isVisible());
  EXPECT_EQ(th().windowTitle(), "Time Measurement Histogram");
  th_child<QCheckBox>("AUTOBINSFORTIMEHISTO")->setChecked(false);
  auto* bins = th_child<QSpinBox>("TIMEHISTOINTERVALS");
  EXPECT_TRUE(bins->isEnabled());
  bins->setValue(50);
  emit bins->editingFinished();
  EXPECT_EQ(static_cast<int>(st().gui.TimeHistoNbOfBins), 50);
  EXPECT_EQ(static_cast<int>(st().gui.TimeHistoOption1), 0);
  th_child<QPushButton>("SHOWTIMESTRIPCHART")->click();
  auto& strip = app->time_strip_chart_panel();
  ASSERT_TRUE(strip.isVisible());

  Set_RunType(st(), 1, 3000);
  const int generation = st().AcquisitionGeneration.load();
  press_start();
  auto* entries = th_child<QLineEdit>("HISTO_NB_OF_EVENTS");
  ASSERT_TRUE(wait_until([&] { return entries->text().toInt() > 300; }));
  EXPECT_FALSE(th_child<QPushButton>("SAVETIMEHISTO")->isEnabled());
  save_picture(&th(), "time-histogram-running");
  ASSERT_TRUE(wait_until([&] {
    return st().AcquisitionGeneration.load() != generation && st().AcquisitionRunning.load() == 0;
  }));
  auto* centre = th_child<QLineEdit>("DELTATIMECENTER");
  ASSERT_TRUE(wait_until([&] { return centre->text() != "-"; }));

  std::vector<double> d;
  const auto a = test::list_values(st().meas.RiseTimeInstantForHisto[0][0]);
  const auto b = test::list_values(st().meas.RiseTimeInstantForHisto[0][1]);
  for (std::size_t k = 0; k < a.size() && k < b.size(); ++k)
    if (a[k] != -1.0 && b[k] != -1.0) d.push_back(a[k] - b[k]);
  ASSERT_GT(d.size(), 2900u);
  const double mean = mean_of(d);
  double ss = 0.0;
  for (double x : d) ss += (x - mean) * (x - mean);
  const double sd_ps = std::sqrt(ss / static_cast<double>(d.size() - 1)) * 1000.0;

  EXPECT_EQ(entries->text().toInt(), static_cast<int>(d.size()));
  EXPECT_NEAR(th_child<QLineEdit>("DELTATIMEMEAN")->text().toDouble(), mean, 2e-5);
  const double rms = th_child<QLineEdit>("DELTATIMESIGMA")->text().toDouble();
  EXPECT_NEAR(rms, sd_ps, 0.002 * sd_ps);
  // The simulated truth: 10 ns apart, 50 ps of jitter and a little of the board's own.
  EXPECT_NEAR(mean, -10.0, 0.010);
  EXPECT_GT(rms, 48.0);
  EXPECT_LT(rms, 62.0);

  // The plotted bins are the differences binned over the shown range.
  QCustomPlot* graph = th().graph();
  ASSERT_EQ(graph->graph(0)->dataCount(), 50);
  const double lo = st().gui.TimeHistoMin, hi = st().gui.TimeHistoMax;
  EXPECT_NEAR(th_child<QDoubleSpinBox>("TIMEHSTOXMIN")->value(), lo, 0.6e-4);
  EXPECT_NEAR(th_child<QDoubleSpinBox>("TIMEHSTOXMAX")->value(), hi, 0.6e-4);
  EXPECT_LT(lo, mean - 4 * sd_ps / 1000.0);
  EXPECT_GT(hi, mean + 4 * sd_ps / 1000.0);
  std::vector<int> counts(50, 0);
  for (double x : d) {
    const int i = static_cast<int>(std::floor((x - lo) / (hi - lo) * 50.0));
    if (i >= 0 && i < 50) ++counts[i];
  }
  for (int i = 0; i < 50; ++i)
    EXPECT_EQ(counts[i], static_cast<int>(graph->graph(0)->data()->at(i)->value)) << i;

  // Width and fit against the Gaussian the spread comes from.
  EXPECT_NEAR(th_child<QLineEdit>("FWHM")->text().toDouble(), 2.3548 * sd_ps, 0.2 * sd_ps);
  EXPECT_NEAR(th_child<QLineEdit>("DELTATIMEFITTEDSIGMA")->text().toDouble(), sd_ps, 0.1 * sd_ps);
  EXPECT_NEAR(centre->text().toDouble(), mean, 0.004);
  QCPGraph* fit = graph->graph(1);
  ASSERT_EQ(fit->dataCount(), 50);
  int peak = 0;
  for (int i = 1; i < 50; ++i)
    if (fit->data()->at(i)->value > fit->data()->at(peak)->value) peak = i;
  EXPECT_NEAR(fit->data()->at(peak)->key, mean, (hi - lo) / 50.0);

  auto* chart = strip.chart();
  ASSERT_GE(chart->graph(0)->dataCount(), 2);
  // Only means of accepted differences: none from the rebuild before the run had any.
  for (auto p = chart->graph(0)->data()->constBegin(); p != chart->graph(0)->data()->constEnd();
       ++p)
    ASSERT_NEAR(p->value, -10.0, 0.05);
  // The last point is the mean of the latest 100 differences.
  double latest = 0.0;
  for (std::size_t k = d.size() - 100; k < d.size(); ++k) latest += d[k];
  EXPECT_NEAR((chart->graph(0)->data()->constEnd() - 1)->value, latest / 100.0, 1e-9);
  save_picture(&th(), "time-histogram");
  save_picture(&strip, "mean-distance-vs-time");

  // Closing only hides: the panels come back as they were.
  const QString sigma_shown = th_child<QLineEdit>("DELTATIMESIGMA")->text();
  th().close();
  EXPECT_FALSE(th().isVisible());
  EXPECT_FALSE(tm_child<QPushButton>("SHOWTIMEHISTO")->isChecked());
  tm().close();
  EXPECT_FALSE(tm().isVisible());
  main().action("MEASUREMENTS")->trigger();
  EXPECT_TRUE(tm().isVisible());
  EXPECT_TRUE(tm_child<QCheckBox>("COMPUTEJITTER")->isChecked());
  tm_child<QPushButton>("SHOWTIMEHISTO")->click();
  EXPECT_TRUE(th().isVisible());
  EXPECT_EQ(th_child<QLineEdit>("DELTATIMESIGMA")->text(), sigma_shown);
  EXPECT_EQ(th().graph()->graph(0)->dataCount(), 50);
  EXPECT_TRUE(th_child<QPushButton>("SAVETIMEHISTO")->isEnabled());
}

}  // namespace
}  // namespace vx::ui
