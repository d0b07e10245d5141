#include "ui/panels/rate_panel.h"

#include <qcustomplot.h>
#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QVBoxLayout>
#include <algorithm>

#include "analysis/main_graph.h"
#include "analysis/rate_measurement.h"
#include "app/timer_tick.h"
#include "ui/main_graph_view.h"
#include "ui/widgets/channel_legend.h"
#include "ui/widgets/settings_panel.h"
#include "ui/widgets/strip_chart.h"

namespace vx::ui {

namespace {

int channel_count(const Settings& st) {
  return std::clamp(static_cast<int>(st.sys.NbOfChannels), 0, kMaxChannels);
}

}  // namespace

RatePanel::RatePanel(State& st, QWidget* parent) : QWidget(parent, Qt::Window), st_(st) {
  setObjectName("PANEL_RM");
  setWindowTitle("Rate Measurements");

  enable_ = make_check("Enable Rate Measurement", "ENABLERATEMEAS");
  connect(enable_, &QCheckBox::toggled, this,
          [this](bool on) { Enable_RateMeasurement(st_, st_, st_, on); });
  chart_channel_ = make_combo("SELCHANNEL");
  chart_channel_->addItem("All", -1);
  for (int ch = 0; ch < kMaxChannels; ++ch)
    chart_channel_->addItem(QString("Channel %1").arg(ch), ch);
  connect(chart_channel_, &QComboBox::currentIndexChanged, this, [this] {
    Select_RateStripChartChannel(st_, st_, chart_channel_->currentData().toInt());
  });
  log_ = make_check("Log scale", "RATELOGSCALE");
  // Channels that count noise and channels that count pulses lie decades apart.
  log_->setChecked(true);
  connect(log_, &QCheckBox::toggled, this, [this] {
    scale_rate_axis();
    chart_->replot();
  });
  auto* top = new QHBoxLayout;
  top->addWidget(enable_);
  top->addStretch();
  top->addWidget(log_);
  top->addWidget(new QLabel("Strip chart:"));
  top->addWidget(chart_channel_);

  chart_ = new QCustomPlot;
  chart_->setObjectName("RAWTRIGGERSTRIPCHART");
  chart_->setMinimumSize(520, 260);
  setup_strip_chart_axis(chart_);
  chart_->yAxis->setLabel("Hit rate [Hz]");

  auto* values = new QGroupBox("Hit rates");
  auto* grid = new QGridLayout(values);
  for (int ch = 0; ch < kMaxChannels; ++ch) {
    auto* name = new QLabel(QString("Ch %1").arg(ch));
    const QColor c = to_qcolor(channel_colour(ch));
    name->setStyleSheet(QString("color: %1; font-weight: bold;").arg(c.name()));
    value_[ch] = new QLabel("-");
    value_[ch]->setObjectName(QString("RATEVALUECH%1").arg(ch));
    value_[ch]->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    value_[ch]->setMinimumWidth(110);
    value_[ch]->setFrameShape(QFrame::StyledPanel);
    unit_[ch] = new QLabel;
    unit_[ch]->setObjectName(QString("RATEUNITYCH%1").arg(ch));
    unit_[ch]->setMinimumWidth(28);
    const int row = ch % 8, col = 3 * (ch / 8);
    grid->addWidget(name, row, col);
    grid->addWidget(value_[ch], row, col + 1);
    grid->addWidget(unit_[ch], row, col + 2);
  }

  auto* note = new QLabel(
      QString("Refreshed every %1 s with each channel's latest rate, counted over 100 hits (or "
              "65.5 ms); \u00B1 one standard deviation, \u221AN / t.")
          .arg(kLiveRefreshSeconds));
  note->setObjectName("RATEREFRESHNOTE");
  note->setWordWrap(true);
  grid->addWidget(note, 8, 0, 1, 6);

  auto* veto = new QGroupBox("Hit counting veto");
  auto* vg = new QGridLayout(veto);
  veto_channel_ = new QSpinBox;
  veto_channel_->setObjectName("SELCHANENELVETO");
  veto_channel_->setRange(0, kMaxChannels - 1);
  veto_enable_ = make_check("Enable", "EN_TRIG_RATE_VETO");
  veto_length_ = new QSpinBox;
  veto_length_->setObjectName("TRIG_RATE_VETO_LENGTH");
  veto_length_->setRange(0, 5 * 0xFFFF);
  veto_length_->setSingleStep(5);
  veto_length_->setSuffix(" ns");
  veto_length_->setToolTip("Kept in steps of 5 ns");
  auto* all_enable = make_button("Apply to all", "APPLY_ENVETO_TOALL");
  auto* all_length = make_button("Apply to all", "APPLY_LENGTH_TO_ALL");
  vg->addWidget(new QLabel("Channel"), 0, 0);
  vg->addWidget(veto_channel_, 0, 1);
  vg->addWidget(veto_enable_, 1, 0);
  vg->addWidget(all_enable, 1, 1);
  vg->addWidget(new QLabel("Length"), 2, 0);
  vg->addWidget(veto_length_, 2, 1);
  vg->addWidget(all_length, 2, 2);
  connect(veto_channel_, &QSpinBox::valueChanged, this, [this] { show_veto_of_selected(); });
  const auto apply = [this](int channel) {
    Set_TrigCountVeto(st_, st_, channel, veto_enable_->isChecked() ? 1 : 0, veto_length_->value());
    show_veto_of_selected();
  };
  connect(veto_enable_, &QCheckBox::toggled, this,
          [this, apply] { apply(veto_channel_->value()); });
  connect(veto_length_, &QSpinBox::editingFinished, this,
          [this, apply] { apply(veto_channel_->value()); });
  connect(all_enable, &QPushButton::clicked, this, [apply] { apply(-1); });
  connect(all_length, &QPushButton::clicked, this, [apply] { apply(-1); });

  auto* bottom = new QHBoxLayout;
  bottom->addWidget(values, 3);
  bottom->addWidget(veto, 1);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(top);
  layout->addWidget(chart_, 1);
  layout->addLayout(bottom);
  refresh();
}

void RatePanel::refresh() {
  const QSignalBlocker b1(enable_), b2(chart_channel_);
  enable_->setChecked(st_.gui.RateMeasurementOn != 0);
  const int selected = st_.gui.RateStripChartChannel;
  chart_channel_->setCurrentIndex(chart_channel_->findData(selected));
  for (int ch = 0; ch < kMaxChannels; ++ch) {
    const bool shown = ch < channel_count(st_);
    value_[ch]->setEnabled(shown && st_.gui.ChannelEnabled[ch] != 0);
    if (st_.rates.TriggerRateUnit[ch].load() == 0) {
      value_[ch]->setText("-");
      unit_[ch]->clear();
    }
  }
  veto_channel_->setMaximum(std::max(0, 2 * board_blocks(st_) - 1));
  show_veto_of_selected();
  const int traces = selected < 0 ? channel_count(st_) : 1;
  if (selected != charted_channel_ || chart_->graphCount() != traces) {
    // Another channel on the strip chart starts it afresh.
    charted_channel_ = selected;
    chart_->clearGraphs();
    const int first = selected < 0 ? 0 : selected;
    const int last = selected < 0 ? channel_count(st_) : selected + 1;
    for (int ch = first; ch < last; ++ch) {
      QCPGraph* g = chart_->addGraph();
      g->setPen(QPen(to_qcolor(channel_colour(ch)), 1.5));
      g->setScatterStyle(QCPScatterStyle(QCPScatterStyle::ssDisc, 4));  // the first point shows
      g->setName(QString("Ch %1").arg(ch));
    }
    setup_strip_chart_axis(chart_);
    show_channel_legend(chart_);
    scale_rate_axis();
    chart_->replot();
  }
}

void RatePanel::scale_rate_axis() {
  const bool log = log_->isChecked();
  set_log_scale(chart_->yAxis, log);
  double bottom = 0.0, top = 0.0;
  for (int i = 0; i < chart_->graphCount(); ++i) {
    for (const auto& point : *chart_->graph(i)->data()) {
      top = std::max(top, point.value);
      if (point.value > 0.0 && (bottom == 0.0 || point.value < bottom)) bottom = point.value;
    }
  }
  if (log) {
    chart_->yAxis->setRange(bottom > 0.0 ? bottom / 2 : 0.1, top > 0.0 ? top * 2 : 10.0);
  } else {
    chart_->yAxis->setRange(0, top > 0 ? top * 1.1 : 1.0);
  }
}

void RatePanel::add_points(double seconds, const QVector<double>& points) {
  add_strip_chart_points(chart_, seconds, points);
  scale_rate_axis();
  chart_->replot();
}

void RatePanel::set_rate_text(int channel, const QString& value) {
  if (channel >= 0 && channel < kMaxChannels) value_[channel]->setText(value);
}

void RatePanel::set_unit_text(int channel, const QString& unit) {
  if (channel >= 0 && channel < kMaxChannels) unit_[channel]->setText(unit);
}

void RatePanel::show_veto_of_selected() {
  const int ch = veto_channel_->value();
  const QSignalBlocker b1(veto_enable_), b2(veto_length_);
  veto_enable_->setChecked(st_.sam[ch / 2].TrigCountVetoEnable[ch % 2] != 0);
  veto_length_->setValue(5 * st_.sam[ch / 2].TrigCountVetoWindow[ch % 2]);
}

}  // namespace vx::ui
