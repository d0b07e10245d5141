#include "ui/panels/rate_scan_panel.h"

#include <qcustomplot.h>
#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QVBoxLayout>
#include <algorithm>

#include "analysis/main_graph.h"
#include "app/record_loan.h"
#include "calibration/rate_scan.h"
#include "files/result_files.h"
#include "ui/led.h"
#include "ui/main_graph_view.h"
#include "ui/widgets/channel_legend.h"
#include "ui/widgets/settings_panel.h"

namespace vx::ui {

RateScanPanel::RateScanPanel(State& st, QWidget* parent) : QWidget(parent, Qt::Window), st_(st) {
  setObjectName("PANEL_RVT");
  setWindowTitle("Hit Rate VsThreshold Plot");

  min_ = make_decimal("MINTHRESHOLDFORPLOT", -1.25, 1.25, 4, 0.001, " V");
  max_ = make_decimal("MAXTHRESHOLDFORPLOT", -1.25, 1.25, 4, 0.001, " V");
  steps_ = new QSpinBox;
  steps_->setObjectName("NBOFSTEPSFORPLOT");
  steps_->setRange(1, 10000);
  time_ = new QDoubleSpinBox;
  time_->setObjectName("COUNTINGTIMEPERSTEP");
  time_->setRange(0.001, 3600.0);
  time_->setDecimals(3);
  time_->setSuffix(" s");
  channel_ = make_combo("CH_FOR_RATE_VS_THRES");
  channel_->addItem("All", -1);
  for (int ch = 0; ch < kMaxChannels; ++ch) channel_->addItem(QString("Channel %1").arg(ch), ch);
  log_ = make_check("Log scale", "EN_LOG_SCALE");
  // The rates span decades: a plateau of a few kHz beside a noise peak of 10^8 Hz.
  log_->setChecked(true);
  start_ = make_button("START", "START_RUN");
  break_ = make_button("BREAK", "BREAK_RUN");
  save_ = make_button("Save...", "SAVERATEPLOT");
  running_ = new Led(QColor(255, 140, 0));
  running_->setObjectName("RUNNINGLED");
  running_->setEnabled(false);
  progress_ = new QLabel;
  progress_->setObjectName("SCANPROGRESS");

  connect(min_, &QDoubleSpinBox::editingFinished, this, [this] { apply_range(); });
  connect(max_, &QDoubleSpinBox::editingFinished, this, [this] { apply_range(); });
  connect(steps_, &QSpinBox::valueChanged, this, [this](int n) { Set_RateScanNbOfSteps(st_, n); });
  connect(time_, &QDoubleSpinBox::valueChanged, this,
          [this](double s) { Set_RateScanStepValue(st_, static_cast<float>(s)); });
  connect(channel_, &QComboBox::currentIndexChanged, this,
          [this] { Select_RateVsThresholdChannel(st_, st_, channel_->currentData().toInt()); });
  connect(log_, &QCheckBox::toggled, this, [this] { plot(); });
  connect(start_, &QPushButton::clicked, this, [this] {
    Run_RateVsThresholdScan(st_);
    refresh();
  });
  connect(break_, &QPushButton::clicked, this, [this] { Break_RateVsThresholdScan(st_); });
  connect(save_, &QPushButton::clicked, this,
          [this] { Save_RateVsThresholdPlotInFile(st_, st_, st_); });

  auto* form = new QFormLayout;
  form->addRow("Minimum threshold", min_);
  form->addRow("Maximum threshold", max_);
  form->addRow("Number of steps", steps_);
  form->addRow("Counting time per step", time_);
  form->addRow("Channel plotted", channel_);
  form->addRow(log_);
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(start_);
  buttons->addWidget(break_);
  buttons->addWidget(running_);
  form->addRow(buttons);
  form->addRow(progress_);
  form->addRow(save_);
  auto* side = new QVBoxLayout;
  side->addLayout(form);
  side->addStretch();

  graph_ = new QCustomPlot;
  graph_->setObjectName("RATEVSTHRESGRAPH");
  graph_->setMinimumSize(560, 360);
  graph_->xAxis->setLabel("Threshold (V)");
  graph_->yAxis->setLabel("Hit rate (Hz)");

  auto* layout = new QHBoxLayout(this);
  layout->addLayout(side);
  layout->addWidget(graph_, 1);
  refresh();
}

void RateScanPanel::apply_range() {
  Set_RateScanRange(st_, st_, static_cast<float>(min_->value()), static_cast<float>(max_->value()));
}

void RateScanPanel::refresh() {
  // While the scan holds the records, the copy published when it began.
  const RecordsView shown = Shown_Records(st_);
  {
    const QSignalBlocker b1(min_), b2(max_), b3(steps_), b4(time_), b5(channel_);
    min_->setValue(shown.acq.RateScanStartThreshold);
    max_->setValue(shown.acq.RateScanEndThreshold);
    steps_->setValue(shown.acq.RateScanNbOfSteps);
    time_->setValue(shown.acq.RateScanStepValue);
    channel_->setCurrentIndex(
        channel_->findData(static_cast<int>(shown.gui.RateVsThresholdChannel)));
  }
  const bool scanning = st_.RateScanRunning.load() == 1;
  for (QWidget* w :
       {static_cast<QWidget*>(min_), static_cast<QWidget*>(max_), static_cast<QWidget*>(steps_),
        static_cast<QWidget*>(time_), static_cast<QWidget*>(channel_),
        static_cast<QWidget*>(start_), static_cast<QWidget*>(save_)})
    w->setEnabled(!scanning);
  break_->setEnabled(scanning);
  running_->setChecked(scanning);
  const RateScanResult r = RateScan_Result(st_);
  if (scanning) {
    progress_->setText(QString("Step %1 of %2 at %3 V")
                           .arg(st_.rates.ScanStep.load())
                           .arg(r.steps)
                           .arg(static_cast<double>(st_.rates.ScanThreshold.load()), 0, 'f', 4));
  } else if (r.steps > 0) {
    progress_->setText(r.partial()
                           ? QString("Partial result: %1 of %2 steps").arg(r.measured).arg(r.steps)
                           : QString("%1 steps measured").arg(r.measured));
  } else {
    progress_->clear();
  }
  plot();
}

void RateScanPanel::plot() {
  const RateScanResult r = RateScan_Result(st_);
  const RecordsView shown = Shown_Records(st_);
  graph_->clearGraphs();
  const int selected = shown.gui.RateVsThresholdChannel;
  double top = 0.0, bottom = 0.0;
  for (int ch = 0; ch < r.channels; ++ch) {
    if (selected != -1 && ch != selected) continue;
    QCPGraph* g = graph_->addGraph();
    g->setName(QString("Ch %1").arg(ch));
    g->setPen(QPen(to_qcolor(channel_colour(ch)), 1.5));
    g->setScatterStyle(QCPScatterStyle(QCPScatterStyle::ssDisc, 4));
    for (int i = 0; i < r.measured; ++i) {
      const double rate = r.RateValuesForPlot[ch][i];
      top = std::max(top, rate);
      if (rate > 0.0 && (bottom == 0.0 || rate < bottom)) bottom = rate;
      // A log axis cannot show a zero rate: it is left out there.
      if (!log_->isChecked() || rate > 0.0) g->addData(r.ThresholdValuesForPlot[ch][i], rate);
    }
  }
  const double a = shown.acq.RateScanStartThreshold, b = shown.acq.RateScanEndThreshold;
  const double lo = std::min(a, b), hi = std::max(a, b);
  graph_->xAxis->setRange(lo, hi > lo ? hi : lo + 0.001);
  set_log_scale(graph_->yAxis, log_->isChecked());
  if (log_->isChecked()) {
    graph_->yAxis->setRange(bottom > 0.0 ? bottom / 2 : 0.1, top > 0.0 ? top * 2 : 10.0);
  } else {
    graph_->yAxis->setRange(0.0, top > 0.0 ? top * 1.1 : 1.0);
  }
  show_channel_legend(graph_);
  graph_->replot();
}

}  // namespace vx::ui
