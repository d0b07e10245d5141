#include "ui/panels/noise_panel.h"

#include <qcustomplot.h>
#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QSignalBlocker>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>

#include "analysis/fft_noise.h"
#include "analysis/main_graph.h"
#include "digitizer/board_configuration.h"
#include "ui/main_graph_view.h"
#include "ui/widgets/channel_legend.h"
#include "ui/widgets/settings_panel.h"
#include "ui/widgets/strip_chart.h"

namespace vx::ui {

namespace {

constexpr int kRedrawIntervalMs = 100;

}  // namespace

NoisePanel::NoisePanel(State& st, QWidget* parent) : QWidget(parent, Qt::Window), st_(st) {
  setObjectName("PANEL_NM");
  setWindowTitle("Noise Measurements");

  enable_ = make_check("Enable Noise Measurements", "ENABLENOISEMEAS");
  // Four decimals: a sample is 0.3125 ns at the fastest rate. The range follows the sampling
  // period (refresh).
  start_ = make_decimal("SIGMASTARTSAMPLE", 0.0, 99.99, 4, 1.0, " ns", 110);
  end_ = make_decimal("SIGMAENDSAMPLE", 0.0, 99.99, 4, 1.0, " ns", 110);
  samples_ = new QLabel;
  samples_->setObjectName("SIGMAWINDOWSAMPLES");
  auto* window = new QGroupBox("NOISE WINDOW");
  auto* w = new QGridLayout(window);
  w->addWidget(new QLabel("Start"), 0, 0);
  w->addWidget(start_, 0, 1);
  w->addWidget(new QLabel("End"), 0, 2);
  w->addWidget(end_, 0, 3);
  w->addWidget(samples_, 1, 0, 1, 4);

  chart_channel_ = make_combo("SELCHANNEL");
  auto* top = new QHBoxLayout;
  top->addWidget(enable_);
  top->addStretch(1);
  top->addWidget(new QLabel("Strip chart:"));
  top->addWidget(chart_channel_);

  chart_ = new QCustomPlot;
  chart_->setObjectName("NOISE_STRIPCHART");
  chart_->setMinimumSize(520, 240);
  setup_strip_chart_axis(chart_);
  chart_->yAxis->setLabel("Mean noise [mV]");

  auto* values = new QGroupBox("NOISE [mV]");
  auto* grid = new QGridLayout(values);
  grid->setHorizontalSpacing(8);
  for (int half = 0; half < 2; ++half) {
    auto* last = new QLabel("last event");
    auto* mean = new QLabel("running mean");
    grid->addWidget(last, 0, 3 * half + 1, Qt::AlignCenter);
    grid->addWidget(mean, 0, 3 * half + 2, Qt::AlignCenter);
    headers_[2 * half] = last;
    headers_[2 * half + 1] = mean;
  }
  for (int ch = 0; ch < kMaxChannels; ++ch) {
    names_[ch] = new QLabel(QString("CH%1").arg(ch));
    // The channel colours are made for the graph's dark background.
    names_[ch]->setStyleSheet(
        QString("color: %1; background: rgb(12,12,16); font-weight: bold; padding: 1px 6px;")
            .arg(to_qcolor(channel_colour(ch)).name()));
    names_[ch]->setAlignment(Qt::AlignCenter);
    sigma_[ch] = make_readout(QString("SIGMACH%1").arg(ch), 0);
    mean_[ch] = make_readout(QString("MEANSIGMACH%1").arg(ch), 0);
    for (QLineEdit* e : {sigma_[ch], mean_[ch]}) e->setMaximumWidth(90);
    const int row = 1 + ch % 8, col = 3 * (ch / 8);
    grid->addWidget(names_[ch], row, col);
    grid->addWidget(sigma_[ch], row, col + 1);
    grid->addWidget(mean_[ch], row, col + 2);
  }
  grid->setColumnStretch(6, 1);

  auto* layout = new QVBoxLayout(this);
  layout->addLayout(top);
  layout->addWidget(window);
  layout->addWidget(chart_, 1);
  layout->addWidget(values);

  throttle_ = new QTimer(this);
  throttle_->setSingleShot(true);
  connect(throttle_, &QTimer::timeout, this, &NoisePanel::redraw);
  since_draw_.start();

  connect(enable_, &QCheckBox::clicked, this,
          [this](bool on) { Enable_NoiseMeasurement(st_, st_, on); });
  connect(start_, &QDoubleSpinBox::editingFinished, this, [this] {
    Set_NoiseWindowStart(st_, st_, start_->value());
    show_window();
  });
  connect(end_, &QDoubleSpinBox::editingFinished, this, [this] {
    Set_NoiseWindowEnd(st_, st_, end_->value());
    show_window();
  });
  connect(chart_channel_, &QComboBox::activated, this, [this] {
    Select_NoiseStripChartChannel(st_, chart_channel_->currentData().toInt());
    charted_channel_ = -2;  // a new choice starts the chart afresh
    restart_chart();
  });
  refresh();
}

void NoisePanel::refresh() {
  const QSignalBlocker b1(enable_), b2(chart_channel_);
  enable_->setChecked(st_.gui.NoiseMeasurementOn != 0);
  const int shown = shown_channels(st_);
  if (chart_channel_->count() != shown + 1) {
    chart_channel_->clear();
    chart_channel_->addItem("ALL", -1);
    for (int ch = 0; ch < shown; ++ch) chart_channel_->addItem(QString("CH%1").arg(ch), ch);
  }
  const int index = chart_channel_->findData(static_cast<int>(st_.gui.NoiseStripChartChannel));
  chart_channel_->setCurrentIndex(std::max(index, 0));
  for (int ch = 0; ch < kMaxChannels; ++ch) {
    const bool visible = ch < shown;
    names_[ch]->setVisible(visible);
    sigma_[ch]->setVisible(visible);
    mean_[ch]->setVisible(visible);
  }
  for (int i = 2; i < 4; ++i) headers_[i]->setVisible(shown > 8);
  show_window();
  Reset_MeanSigma(st_, -1);
  restart_chart();
}

void NoisePanel::show_window() {
  const QSignalBlocker b1(start_), b2(end_);
  const double period = Get_SamplingPeriod(st_);
  const int last = std::clamp(static_cast<int>(st_.sys.RecordLength), 2, kMaxSamples) - 1;
  start_->setRange(0.0, Noise_NsFromSample(last, period));
  end_->setRange(0.0, Noise_NsFromSample(last, period));
  const NoiseWindow w = Noise_Window(st_);
  start_->setValue(Noise_NsFromSample(w.start, period));
  end_->setValue(Noise_NsFromSample(w.end, period));
  samples_->setText(QString("Samples %1 to %2").arg(w.start).arg(w.end));
}

void NoisePanel::restart_chart() {
  const int selected = st_.gui.NoiseStripChartChannel;
  const int shown = shown_channels(st_);
  const int traces = selected < 0 ? shown : 1;
  if (selected == charted_channel_ && chart_->graphCount() == traces) return;
  charted_channel_ = selected;
  chart_->clearGraphs();
  const int first = selected < 0 ? 0 : selected;
  const int last = selected < 0 ? shown : selected + 1;
  for (int ch = first; ch < last; ++ch) {
    QCPGraph* g = chart_->addGraph();
    g->setPen(QPen(to_qcolor(channel_colour(ch)), 1.5));
    g->setScatterStyle(QCPScatterStyle(QCPScatterStyle::ssDisc, 4));
    g->setName(QString("Ch %1").arg(ch));
  }
  show_channel_legend(chart_);
  setup_strip_chart_axis(chart_);
  chart_->replot(QCustomPlot::rpQueuedReplot);
}

void NoisePanel::add_points(double seconds, const QVector<double>& points) {
  add_strip_chart_points(chart_, seconds, points);
  bool found = false;
  double top = 0.0;
  for (int i = 0; i < chart_->graphCount(); ++i) {
    const QCPRange r = chart_->graph(i)->getValueRange(found);
    if (found) top = std::max(top, r.upper);
  }
  chart_->yAxis->setRange(0.0, top > 0.0 ? top * 1.2 : 1.0);
  chart_->replot(QCustomPlot::rpQueuedReplot);
}

bool NoisePanel::capture() {
  if (!visible_.load()) return false;
  NoiseView view = Noise_View(st_);
  {
    std::lock_guard lock(copy_mutex_);
    copy_ = view;
  }
  return !pending_.exchange(true);
}

void NoisePanel::redraw() {
  const qint64 since = since_draw_.elapsed();
  if (since < kRedrawIntervalMs) {
    if (!throttle_->isActive()) throttle_->start(static_cast<int>(kRedrawIntervalMs - since));
    return;
  }
  pending_ = false;
  since_draw_.restart();
  NoiseView v;
  {
    std::lock_guard lock(copy_mutex_);
    v = copy_;
  }
  for (int ch = 0; ch < kMaxChannels; ++ch) {
    sigma_[ch]->setText(QString::number(v.sigma_mv[ch], 'f', 3));
    mean_[ch]->setText(QString::number(v.mean_mv[ch], 'f', 3));
  }
}

void NoisePanel::showEvent(QShowEvent* event) {
  visible_ = true;
  QWidget::showEvent(event);
}

void NoisePanel::hideEvent(QHideEvent* event) {
  visible_ = false;
  QWidget::hideEvent(event);
}

}  // namespace vx::ui
