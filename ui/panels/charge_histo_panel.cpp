#include "ui/panels/charge_histo_panel.h"

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

#include "analysis/main_graph.h"
#include "app/message_log.h"
#include "files/result_files.h"
#include "ui/main_graph_view.h"
#include "ui/widgets/settings_panel.h"

namespace vx::ui {

namespace {

constexpr int kRedrawIntervalMs = 100;

std::atomic_ref<std::int32_t> shown_channel(Settings& st) {
  return std::atomic_ref<std::int32_t>(st.gui.ChargeHistoChannel);
}

const char* kFirmwareNote =
    " In Firmware Charge Mode, 'Enable Exclude Charge' is forced ON in order to compute the "
    "charge histograms.\nRange values can be inserted manually or computed automatically based "
    "on the first charge event(ie first 256 charge values.\n";

}  // namespace

ChargeHistoPanel::ChargeHistoPanel(State& st, QWidget* parent) : SettingsPanel(st, parent) {
  setObjectName("PANEL_CH");
  setWindowTitle("Charge Histogram");
  setWindowFlag(Qt::Window);

  graph_ = new QCustomPlot;
  graph_->setObjectName("CHARGEGRAPH");
  graph_->setMinimumSize(560, 320);
  graph_->xAxis->setLabel("Charge [pC]");
  graph_->yAxis->setLabel("Counts");
  graph_->plotLayout()->insertRow(0);
  title_ = new QCPTextElement(graph_, "", QFont(font().family(), 10, QFont::Bold));
  title_->setObjectName("CHARGEHISTOTITLE");
  graph_->plotLayout()->addElement(0, 0, title_);
  auto counts = QSharedPointer<QCPAxisTickerFixed>::create();
  counts->setTickStep(1.0);
  counts->setScaleStrategy(QCPAxisTickerFixed::ssMultiples);
  graph_->yAxis->setTicker(counts);
  bars_ = new QCPBars(graph_->xAxis, graph_->yAxis);
  bars_->setWidthType(QCPBars::wtPlotCoords);

  auto* settings = new QGroupBox("HISTOGRAM");
  auto* g = new QGridLayout(settings);
  g->addWidget(new QLabel("Channel"), 0, 0);
  channel_ = make_combo("CHARGESELCH");
  g->addWidget(channel_, 0, 1);
  g->addWidget(new QLabel("Nb of Bins"), 1, 0);
  bins_ = make_spin("CHARGEHISTOINTERVALS", 1, kMaxChargeHistoBins);
  g->addWidget(bins_, 1, 1);
  exclude_ = make_check("Enable Exclude Charge", "EXCLUDECHARGE");
  exclude_->setToolTip("Only charges between the minimum and the maximum are counted");
  g->addWidget(exclude_, 2, 0, 1, 2);
  g->addWidget(new QLabel("Min Charge"), 3, 0);
  min_ = make_decimal("MINCHARGE", -1e6, 1e6, 3, 1.0, " pC", 110);
  g->addWidget(min_, 3, 1);
  g->addWidget(new QLabel("Max Charge"), 4, 0);
  max_ = make_decimal("MAXCHARGE", -1e6, 1e6, 3, 1.0, " pC", 110);
  g->addWidget(max_, 4, 1);
  range_auto_ = make_check("Auto Range", "CHARGERANGEAUTO");
  range_auto_->setToolTip("Firmware mode: range from the first charges of the run");
  g->addWidget(range_auto_, 5, 0, 1, 2);
  fixed_ = make_check("Fixed Y Axis, max", "CHARGEHISTOFIXEDRANGE");
  g->addWidget(fixed_, 6, 0);
  y_max_ = make_decimal("CHARGEHISTOYMAX", 1.0, 1e9, 0, 1.0, "");
  y_max_->setValue(1000.0);
  g->addWidget(y_max_, 6, 1);
  auto* buttons = new QHBoxLayout;
  reset_ = make_button("Reset", "RESETHISTO");
  reset_->setToolTip("Firmware mode: the histograms restart from the next charges");
  save_ = make_button("Save Histogram", "SAVEHISTO");
  buttons->addWidget(reset_);
  buttons->addWidget(save_);
  g->addLayout(buttons, 7, 0, 1, 2);

  auto* stats = new QGroupBox("STATISTICS");
  auto* s = new QGridLayout(stats);
  const std::pair<const char*, QLineEdit**> fields[] = {{"Mean [pC]", &mean_},
                                                        {"Sigma [pC]", &sigma_},
                                                        {"Entries", &entries_},
                                                        {"Min Value [pC]", &min_value_},
                                                        {"Max Value [pC]", &max_value_}};
  const char* names[] = {"CHARGEMEAN", "CHARGESIGMA", "NBENTRIESCHARGEHISTO", "MINCHARGEVAL",
                         "MAXCHARGEVAL"};
  for (int i = 0; i < 5; ++i) {
    *fields[i].second = make_readout(names[i], 90);
    s->addWidget(new QLabel(fields[i].first), i, 0);
    s->addWidget(*fields[i].second, i, 1);
  }

  auto* side = new QVBoxLayout;
  side->addWidget(settings);
  side->addWidget(stats);
  side->addStretch(1);
  auto* page = new QHBoxLayout(this);
  page->addWidget(graph_, 1);
  page->addLayout(side);

  throttle_ = new QTimer(this);
  throttle_->setSingleShot(true);
  connect(throttle_, &QTimer::timeout, this, &ChargeHistoPanel::redraw);
  since_draw_.start();

  connect(channel_, &QComboBox::activated, this, [this](int ch) {
    shown_channel(st_).store(ch);
    refresh();
  });
  connect(bins_, &QSpinBox::editingFinished, this, [this] {
    const int bins = bins_->value();
    change([&] { Set_ChargeHistoBins(st_, st_, st_, bins); });
  });
  connect(exclude_, &QCheckBox::clicked, this, [this](bool on) {
    const int ch = channel_->currentIndex();
    change([&] { Set_ChargeCut(st_, st_, st_, ch, on); });
  });
  auto range = [this] {
    const int ch = channel_->currentIndex();
    const double lo = min_->value(), hi = max_->value();
    change([&] { Set_ChargeHistoRange(st_, st_, st_, ch, lo, hi); });
  };
  connect(min_, &QDoubleSpinBox::editingFinished, this, range);
  connect(max_, &QDoubleSpinBox::editingFinished, this, range);
  connect(range_auto_, &QCheckBox::clicked, this,
          [this](bool on) { change([&] { Set_ChargeRangeAuto(st_, on); }); });
  connect(reset_, &QPushButton::clicked, this, [this] { Request_ChargeHistoReset(st_); });
  // The histogram is read while the run stands still.
  connect(save_, &QPushButton::clicked, this,
          [this] { change([&] { Save_ChargeHistoInFile(st_, st_, st_); }); });
  connect(fixed_, &QCheckBox::clicked, this, [this] { apply_y_range(); });
  connect(y_max_, &QDoubleSpinBox::editingFinished, this, [this] { apply_y_range(); });
  refresh();
}

void ChargeHistoPanel::refresh() {
  const QSignalBlocker b1(channel_), b2(bins_), b3(exclude_), b4(min_), b5(max_), b6(range_auto_);
  const int shown = std::max(shown_channels(st_), 1);
  if (channel_->count() != shown) {
    channel_->clear();
    for (int ch = 0; ch < shown; ++ch) channel_->addItem(QString("CH%1").arg(ch));
  }
  const int ch = std::clamp(static_cast<int>(shown_channel(st_).load()), 0, shown - 1);
  channel_->setCurrentIndex(ch);
  bins_->setValue(
      std::clamp(static_cast<int>(st_.gui.ChargeHistoNbOfBins), 1, kMaxChargeHistoBins));
  range_auto_->setChecked(st_.acq.ChargeRangeAuto == 1);
  y_max_->setEnabled(fixed_->isChecked());
  if (st_.AcquisitionRunning.load() == 0) {  // else the run's copies bring the rest
    ChargeHistoView view = Charge_HistoView(st_, st_, ch);
    {
      std::lock_guard lock(copy_mutex_);
      copy_ = view;
    }
    draw(view);
  }
  // The range as the records hold it (a run posts its automatic one there).
  const int b = ch / kChannelsPerBlock, c = ch % kChannelsPerBlock;
  min_->setValue(st_.acq.ChargeHistoMin[b][c]);
  max_->setValue(st_.acq.ChargeHistoMax[b][c]);
}

bool ChargeHistoPanel::capture() {
  if (!visible_.load()) return false;
  ChargeHistoView view = Charge_HistoView(st_, st_, shown_channel(st_).load());
  {
    std::lock_guard lock(copy_mutex_);
    copy_ = std::move(view);
  }
  return !pending_.exchange(true);
}

void ChargeHistoPanel::redraw() {
  const qint64 since = since_draw_.elapsed();
  if (since < kRedrawIntervalMs) {
    if (!throttle_->isActive()) throttle_->start(static_cast<int>(kRedrawIntervalMs - since));
    return;
  }
  pending_ = false;
  ChargeHistoView view;
  {
    std::lock_guard lock(copy_mutex_);
    view = copy_;
  }
  draw(view);
}

void ChargeHistoPanel::draw(const ChargeHistoView& v) {
  since_draw_.restart();
  {
    const QSignalBlocker b1(exclude_), b2(min_), b3(max_);
    exclude_->setChecked(v.cut);
    min_->setValue(v.range_min);
    max_->setValue(v.range_max);
    min_->setEnabled(v.cut);
    max_->setEnabled(v.cut);
  }
  const QColor colour = to_qcolor(channel_colour(v.channel));
  bars_->setPen(QPen(colour.darker(150)));
  bars_->setBrush(colour);
  bars_->setName(QString("CH%1").arg(v.channel));
  title_->setText(QString("Charge histogram of CH%1").arg(v.channel));
  title_->setTextColor(colour.darker(130));
  const int n = static_cast<int>(v.axis.size());
  const double width = n > 1 ? v.axis[1] - v.axis[0] : 1.0;
  bars_->setWidth(width);
  QVector<double> keys(v.axis.begin(), v.axis.end()), values(v.counts.begin(), v.counts.end());
  bars_->setData(keys, values, true);
  if (v.entries > 0 && n > 0) {
    graph_->xAxis->setRange(v.axis.front() - width / 2.0, v.axis.back() + width / 2.0);
  } else if (v.range_max > v.range_min) {
    graph_->xAxis->setRange(v.range_min, v.range_max);
  }
  mean_->setText(QString::number(v.mean, 'f', 4));
  sigma_->setText(QString::number(v.sigma, 'f', 4));
  entries_->setText(QString::number(v.entries));
  min_value_->setText(QString::number(v.min, 'f', 4));
  max_value_->setText(QString::number(v.max, 'f', 4));
  apply_y_range();
}

void ChargeHistoPanel::apply_y_range() {
  y_max_->setEnabled(fixed_->isChecked());
  if (fixed_->isChecked()) {
    graph_->yAxis->setRange(0.0, y_max_->value());
  } else {
    bool found = false;
    const QCPRange r = bars_->getValueRange(found);
    graph_->yAxis->setRange(0.0, found && r.upper > 0 ? r.upper * 1.1 : 1.0);
  }
  graph_->replot(QCustomPlot::rpQueuedReplot);
}

void ChargeHistoPanel::open() {
  refresh();
  show();
  raise();
  if (st_.sam[0].ChargeModeEnabled == 1 && st_.acq.EnSoftwareChargeHisto == 0) {
    Write_InfoMessage(st_, kFirmwareNote, firmware_note_shown_ ? kInfo : kWarning);
    firmware_note_shown_ = true;
  }
}

void ChargeHistoPanel::showEvent(QShowEvent* event) {
  visible_ = true;
  SettingsPanel::showEvent(event);
}

void ChargeHistoPanel::hideEvent(QHideEvent* event) {
  visible_ = false;
  SettingsPanel::hideEvent(event);
}

}  // namespace vx::ui
