#include "ui/panels/time_histogram_panel.h"

#include <qcustomplot.h>
#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>

#include "acquisition/time_measurement_controls.h"
#include "analysis/main_graph.h"
#include "files/result_files.h"
#include "ui/main_graph_view.h"
#include "ui/panels/time_strip_chart_panel.h"
#include "ui/widgets/settings_panel.h"

namespace vx::ui {

namespace {

constexpr int kMinRedrawMs = 50;
constexpr int kMaxPendingMeans = 10000;  // strip-chart points kept while nobody draws them
constexpr double kRangeLimitNs = 100000.0;

QColor histogram_colour(int channel) {
  return to_qcolor(channel_colour(channel));
}

}  // namespace

TimeHistogramPanel::TimeHistogramPanel(State& st, TimeStripChartPanel& strip_chart, QWidget* parent)
    : SettingsPanel(st, parent), strip_chart_(strip_chart) {
  setWindowFlag(Qt::Window);
  setObjectName("PANEL_TH");
  setWindowTitle("Time Measurement Histogram");
  clock_.start();
  since_redraw_.start();

  graph_ = new QCustomPlot;
  graph_->setObjectName("DELTATIMEGRAPH");
  graph_->setMinimumSize(600, 300);
  graph_->yAxis->setLabel("Counts");
  graph_->plotLayout()->insertRow(0);
  title_ = new QCPTextElement(graph_, "", QFont(font().family(), 10, QFont::Bold));
  title_->setObjectName("TIMEHISTOTITLE");
  graph_->plotLayout()->addElement(0, 0, title_);
  QCPGraph* histo = graph_->addGraph();
  histo->setName("Histogram");
  histo->setLineStyle(QCPGraph::lsStepCenter);
  QCPGraph* fit = graph_->addGraph();
  fit->setName("Gaussian fit");
  fit->setPen(QPen(QColor(20, 20, 20), 2.0));
  graph_->legend->setVisible(true);
  graph_->legend->setFont(QFont(font().family(), 8));
  graph_->axisRect()->insetLayout()->setInsetAlignment(0, Qt::AlignTop | Qt::AlignRight);

  redraw_timer_ = new QTimer(this);
  redraw_timer_->setSingleShot(true);
  connect(redraw_timer_, &QTimer::timeout, this, [this] { redraw_soon(); });

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(build_settings());
  layout->addWidget(graph_, 1);
  layout->addWidget(build_results());
  capture();
  refresh();
  resize(760, 560);
}

QWidget* TimeHistogramPanel::build_settings() {
  channel_a_ = make_combo("HISTOCHANNEL0", 70);
  channel_b_ = make_combo("HISTOCHANNEL1", 70);
  auto_bins_ = make_check("Auto", "AUTOBINSFORTIMEHISTO");
  bins_ = make_spin("TIMEHISTOINTERVALS", 1, kMaxTimeHistoBins, 70);
  auto_range_ = make_check("Auto", "TIMEHISTOXAXIS");
  min_ = make_decimal("TIMEHSTOXMIN", -kRangeLimitNs, kRangeLimitNs, 4, 0.01, " ns", 110);
  max_ = make_decimal("TIMEHSTOXMAX", -kRangeLimitNs, kRangeLimitNs, 4, 0.01, " ns", 110);
  save_ = make_button("Save Histogram", "SAVETIMEHISTO");
  auto* strip = make_button("Mean Distance vs Time", "SHOWTIMESTRIPCHART");

  auto* box = new QGroupBox("Histogram settings");
  auto* grid = new QGridLayout(box);
  grid->addWidget(new QLabel("Channel A"), 0, 0);
  grid->addWidget(channel_a_, 0, 1);
  grid->addWidget(new QLabel("minus Channel B"), 0, 2);
  grid->addWidget(channel_b_, 0, 3);
  grid->addWidget(save_, 0, 5);
  grid->addWidget(strip, 0, 6);
  grid->addWidget(new QLabel("Nb of Bins"), 1, 0);
  grid->addWidget(bins_, 1, 1);
  grid->addWidget(auto_bins_, 1, 2);
  auto* range = new QHBoxLayout;
  range->addWidget(new QLabel("Range"));
  range->addWidget(min_);
  range->addWidget(new QLabel("to"));
  range->addWidget(max_);
  range->addWidget(auto_range_);
  grid->addLayout(range, 1, 3, 1, 4);
  grid->setColumnStretch(4, 1);

  const auto channels = [this] {
    change([&] {
      Set_TimeHistoChannels(st_, st_, channel_a_->currentData().toInt(),
                            channel_b_->currentData().toInt());
      capture();
    });
  };
  connect(channel_a_, &QComboBox::activated, this, channels);
  connect(channel_b_, &QComboBox::activated, this, channels);
  const auto binning = [this] {
    change([&] {
      Set_TimeHistoBins(st_, st_, auto_bins_->isChecked(), bins_->value());
      capture();
    });
  };
  connect(auto_bins_, &QCheckBox::toggled, this, binning);
  connect(bins_, &QSpinBox::editingFinished, this, binning);
  const auto ranging = [this] {
    change([&] {
      Set_TimeHistoRange(st_, st_, auto_range_->isChecked(), min_->value(), max_->value());
      capture();
    });
  };
  connect(auto_range_, &QCheckBox::toggled, this, ranging);
  connect(min_, &QDoubleSpinBox::editingFinished, this, ranging);
  connect(max_, &QDoubleSpinBox::editingFinished, this, ranging);
  connect(save_, &QPushButton::clicked, this, [this] { Save_TimeHistoInFile(st_, st_, st_); });
  connect(strip, &QPushButton::clicked, this, [this] {
    strip_chart_.show();
    strip_chart_.raise();
  });
  return box;
}

QWidget* TimeHistogramPanel::build_results() {
  mean_ = make_readout("DELTATIMEMEAN", 90);
  rms_ = make_readout("DELTATIMESIGMA", 90);
  entries_ = make_readout("HISTO_NB_OF_EVENTS", 90);
  fwhm_ = make_readout("FWHM", 90);
  centre_ = make_readout("DELTATIMECENTER", 90);
  fitted_sigma_ = make_readout("DELTATIMEFITTEDSIGMA", 90);
  fitted_fwhm_ = make_readout("FITTEDFWHM", 90);
  chi2_ = make_readout("FITCHI2NDF", 150);
  fit_range_ = make_readout("FITRANGE", 150);
  chi2_->setToolTip(
      "Chi-square of the counts against the fitted curve (each count's variance taken as the "
      "count) over the fit range, per degree of freedom: near 1 for a Gaussian histogram, far "
      "above it when the shape is not Gaussian and sigma says little.");

  auto* box = new QGroupBox("Results");
  auto* grid = new QGridLayout(box);
  const auto put = [grid](int row, int col, const QString& label, QLineEdit* field) {
    grid->addWidget(new QLabel(label), row, 2 * col);
    grid->addWidget(field, row, 2 * col + 1);
  };
  // Times in ps throughout; the range above stays in ns, as it is kept.
  put(0, 0, "Mean [ps]", mean_);
  put(0, 1, "RMS [ps]", rms_);
  put(0, 2, "FWHM [ps]", fwhm_);
  put(0, 3, "Entries", entries_);
  put(1, 0, "Fitted Centre [ps]", centre_);
  put(1, 1, "Fitted Sigma [ps]", fitted_sigma_);
  put(1, 2, "Fitted FWHM [ps]", fitted_fwhm_);
  put(1, 3, "\u03C7\u00B2/ndf", chi2_);
  grid->addWidget(new QLabel("Fit range [ps]"), 2, 0);
  grid->addWidget(fit_range_, 2, 1, 1, 3);
  return box;
}

void TimeHistogramPanel::capture() {
  const MeasurementData& m = st_.meas;
  const int bins = std::clamp(static_cast<int>(m.TimeHistoRange.bins), 1, kMaxTimeHistoBins);
  const std::lock_guard lock(mutex_);
  TimeHistoPicture& p = picture_;
  p.bins = bins;
  p.min_ns = m.TimeHistoRange.min;
  p.max_ns = m.TimeHistoRange.max;
  p.plotted = m.TimeHistoPlotted;
  p.results = m.TimeHisto;
  p.centres.resize(bins);
  p.counts.resize(bins);
  p.fitted_curve.resize(bins);
  for (int i = 0; i < bins; ++i) {
    p.centres[i] = m.ThresholdCrossingAxis[i];
    p.counts[i] = m.ThresholdCrossingDistri[i];
    p.fitted_curve[i] = m.GaussFittedThresholdCrossingDistri[i];
  }
  // A rebuild without any accepted difference has no mean to show.
  if (m.MeanDistancePoints > p.means_seen && m.NbOfValidTimes > 0) {
    p.new_means.append(QPointF(static_cast<double>(clock_.elapsed()) / 1000.0, m.LastMeanDistance));
    if (p.new_means.size() > kMaxPendingMeans) p.new_means.removeFirst();
  }
  p.means_seen = m.MeanDistancePoints;
}

void TimeHistogramPanel::rebuild_channel_lists() {
  const int shown = shown_channels(st_);
  if (channel_a_->count() == shown) return;
  for (QComboBox* box : {channel_a_, channel_b_}) {
    const QSignalBlocker block(box);
    box->clear();
    for (int ch = 0; ch < shown; ++ch) box->addItem(QString("CH%1").arg(ch), ch);
  }
}

void TimeHistogramPanel::refresh() {
  rebuild_channel_lists();
  TimeHistoPicture p;
  {
    const std::lock_guard lock(mutex_);
    p = picture_;
    // Buffers of its own: the lists are shared on copy, and the acquisition thread writes
    // picture_'s again at its next capture.
    for (QVector<double>* list : {&p.centres, &p.counts, &p.fitted_curve}) list->detach();
    p.new_means.detach();
    picture_.new_means.clear();
  }
  const QSignalBlocker b1(channel_a_), b2(channel_b_), b3(auto_bins_), b4(bins_), b5(auto_range_),
      b6(min_), b7(max_);
  channel_a_->setCurrentIndex(channel_a_->findData(static_cast<int>(st_.acq.TimeHistoChannelA)));
  channel_b_->setCurrentIndex(channel_b_->findData(static_cast<int>(st_.acq.TimeHistoChannelB)));
  auto_bins_->setChecked(st_.gui.TimeHistoOption1 == 1);
  auto_range_->setChecked(st_.gui.TimeHistoOption2 == 1);
  // The settings as the records hold them (a run posts its automatic ones there).
  bins_->setValue(std::clamp(static_cast<int>(st_.gui.TimeHistoNbOfBins), 1, kMaxTimeHistoBins));
  bins_->setEnabled(!auto_bins_->isChecked());
  min_->setValue(st_.gui.TimeHistoMin);
  max_->setValue(st_.gui.TimeHistoMax);
  min_->setEnabled(!auto_range_->isChecked());
  max_->setEnabled(!auto_range_->isChecked());
  show_picture(p);
  since_redraw_.restart();
}

void TimeHistogramPanel::show_picture(const TimeHistoPicture& p) {
  const TimeHistoResults& r = p.results;
  mean_->setText(QString::number(r.mean_ns * 1000.0, 'f', 2));
  rms_->setText(QString::number(r.rms_ps, 'f', 3));
  entries_->setText(QString::number(r.entries));
  fwhm_->setText(r.entries > 0 ? QString::number(r.fwhm_ps, 'f', 3) : "0.000");
  const auto fitted = [&r](double v, int decimals) {
    return r.fitted ? QString::number(v, 'f', decimals) : QString("-");
  };
  centre_->setText(fitted(r.fitted_centre_ns * 1000.0, 2));
  fitted_sigma_->setText(fitted(r.fitted_sigma_ps, 3));
  fitted_fwhm_->setText(fitted(r.fitted_fwhm_ps, 3));
  chi2_->setText(
      r.fitted && r.ndf > 0
          ? QString("%1 / %2 = %3").arg(r.chi2, 0, 'f', 1).arg(r.ndf).arg(r.chi2 / r.ndf, 0, 'f', 2)
          : QString("-"));
  fit_range_->setText(
      r.fitted ? QString("%1 to %2").arg(r.fit_from_ps, 0, 'f', 1).arg(r.fit_to_ps, 0, 'f', 1)
               : QString("-"));
  for (const QPointF& point : p.new_means) strip_chart_.add_point(point.x(), point.y());
  strip_chart_.replot();
  plot(p);
}

void TimeHistogramPanel::plot(const TimeHistoPicture& p) {
  const int a = st_.acq.TimeHistoChannelA, b = st_.acq.TimeHistoChannelB;
  const QColor colour = histogram_colour(a);
  QCPGraph* histo = graph_->graph(0);
  QCPGraph* fit = graph_->graph(1);
  histo->setPen(QPen(colour.darker(130), 1.5));
  QColor fill = colour;
  fill.setAlpha(90);
  histo->setBrush(fill);
  if (p.plotted) {
    histo->setData(p.centres, p.counts, true);
  } else {
    histo->data()->clear();
  }
  if (p.plotted && p.results.fitted) {
    fit->setData(p.centres, p.fitted_curve, true);
  } else {
    fit->data()->clear();
  }
  const bool fitted = !fit->data()->isEmpty();
  fit->setVisible(fitted);
  if (fitted) {
    fit->addToLegend();
  } else {
    fit->removeFromLegend();
  }
  graph_->xAxis->setLabel(QString("Time Difference CH%1 - CH%2 [ns]").arg(a).arg(b));
  title_->setText(QString("Time difference CH%1 \u2212 CH%2").arg(a).arg(b));
  graph_->xAxis->setRange(p.min_ns, p.max_ns > p.min_ns ? p.max_ns : p.min_ns + 1.0);
  double top = 1.0;
  for (double c : p.counts) top = std::max(top, c);
  if (fitted)
    for (double c : p.fitted_curve) top = std::max(top, c);
  graph_->yAxis->setRange(0.0, top * 1.1);
  if (isVisible()) graph_->replot();
}

void TimeHistogramPanel::redraw_soon() {
  const qint64 since = since_redraw_.elapsed();
  if (since >= kMinRedrawMs) {
    refresh();
  } else if (!redraw_timer_->isActive()) {
    redraw_timer_->start(static_cast<int>(kMinRedrawMs - since));
  }
}

void TimeHistogramPanel::run_state_changed(bool running) {
  // Saving reads the histogram that the acquisition thread rebuilds meanwhile.
  save_->setEnabled(!running);
}

void TimeHistogramPanel::showEvent(QShowEvent* event) {
  SettingsPanel::showEvent(event);
  refresh();
  emit visibility_changed(true);
}

void TimeHistogramPanel::hideEvent(QHideEvent* event) {
  SettingsPanel::hideEvent(event);
  emit visibility_changed(false);
}

}  // namespace vx::ui
