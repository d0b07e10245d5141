#include "ui/panels/charge_panel.h"

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
#include <QVBoxLayout>
#include <algorithm>

#include "analysis/charge.h"
#include "analysis/charge_controls.h"
#include "analysis/main_graph.h"
#include "app/message_log.h"
#include "digitizer/board_configuration.h"
#include "ui/main_graph_view.h"
#include "ui/widgets/settings_panel.h"

namespace vx::ui {

namespace {

int current_mode(const Settings& st) {
  if (st.sam[0].ChargeModeEnabled == 1) return static_cast<int>(ChargeMode::Firmware);
  return st.acq.EnSoftwareChargeHisto == 1 ? static_cast<int>(ChargeMode::Software)
                                           : static_cast<int>(ChargeMode::Off);
}

}  // namespace

ChargePanel::ChargePanel(State& st, MainGraphView* graph, QWidget* parent)
    : SettingsPanel(st, parent), graph_(graph) {
  setObjectName("PANEL_CM");
  setWindowTitle("Charge Measurement Panel");
  setWindowFlag(Qt::Window);

  auto* top = new QHBoxLayout;
  top->addWidget(new QLabel("Charge Mode"));
  mode_ = make_combo("CHARGEMODE");
  mode_->addItems({"OFF", "Firmware", "Software"});
  top->addWidget(mode_);
  top->addStretch(1);

  auto* window = new QGroupBox("CHARGE WINDOW");
  auto* g = new QGridLayout(window);
  g->addWidget(new QLabel("Channel"), 0, 0);
  channel_ = make_combo("CHARGESELCH");
  g->addWidget(channel_, 0, 1);
  g->addWidget(new QLabel("Start Cell"), 1, 0);
  start_ = make_spin("STARTCELL", 0, kMaxSamples - 1);
  start_->setToolTip("First sample of the window (1 at least)");
  g->addWidget(start_, 1, 1);
  g->addWidget(new QLabel("Length (samples)"), 2, 0);
  length_ = make_spin("CHARGELENGTH", 0, kMaxSamples);
  length_->setToolTip("Start + length must stay below the record length - 1");
  g->addWidget(length_, 2, 1);
  length_ns_ = new QLineEdit;
  length_ns_->setObjectName("CHARGELENGTHIND");
  length_ns_->setReadOnly(true);
  length_ns_->setFocusPolicy(Qt::NoFocus);
  length_ns_->setAlignment(Qt::AlignRight);
  length_ns_->setMaximumWidth(110);
  g->addWidget(length_ns_, 2, 2);
  baseline_ = make_check("Suppress Baseline", "SUPPRESSBASELINE");
  baseline_->setToolTip("Subtract the mean of the first 16 samples (all channels)");
  g->addWidget(baseline_, 3, 0, 1, 2);
  threshold_on_ = make_check("Enable Charge Threshold", "ENCHARGETHRESHOLD");
  g->addWidget(threshold_on_, 4, 0, 1, 2);
  g->addWidget(new QLabel("Charge Threshold"), 5, 0);
  threshold_ = make_decimal("CHARGETHRESHOLD", -1000.0, 1000.0, 3, 1.0, " pC");
  g->addWidget(threshold_, 5, 1);
  apply_all_ = make_button("Apply to All", "APPLYTOALL");
  g->addWidget(apply_all_, 6, 1, 1, 2);

  auto* cursors = new QGroupBox("CURSORS");
  auto* c = new QHBoxLayout(cursors);
  cursors_ = make_check("Charge Cursors", "CHARGECURSORSONOFF");
  cursors_->setToolTip("Mark the window of the selected channel on the main graph");
  validate_ = make_button("Validate Cursors", "VALIDATECHARGECURSORS");
  c->addWidget(cursors_);
  c->addWidget(validate_);

  show_histo_ = make_button("Show Histogram", "SHOWHISTO");

  auto* page = new QVBoxLayout(this);
  page->addLayout(top);
  page->addWidget(window);
  page->addWidget(cursors);
  page->addWidget(show_histo_);
  page->addStretch(1);

  connect(mode_, &QComboBox::activated, this, &ChargePanel::on_mode);
  connect(channel_, &QComboBox::activated, this, [this] {
    refresh();
    if (cursors_on_) place_cursors();
  });
  connect(start_, &QSpinBox::editingFinished, this, &ChargePanel::on_start);
  connect(length_, &QSpinBox::editingFinished, this, &ChargePanel::on_length);
  connect(baseline_, &QCheckBox::clicked, this, [this](bool on) {
    change([&] {
      Set_ChargeSuppressBaseline(st_, on);
      Send_ChargeParamsToBoard(st_);
    });
  });
  connect(threshold_on_, &QCheckBox::clicked, this, &ChargePanel::on_threshold);
  connect(threshold_, &QDoubleSpinBox::editingFinished, this, &ChargePanel::on_threshold);
  connect(apply_all_, &QPushButton::clicked, this, [this] {
    change([&] {
      Apply_ChargeParamsToAll(st_, channel());
      Send_ChargeParamsToBoard(st_);
    });
  });
  connect(cursors_, &QCheckBox::clicked, this, &ChargePanel::set_cursors_on);
  connect(validate_, &QPushButton::clicked, this, &ChargePanel::validate_cursors);
  connect(show_histo_, &QPushButton::clicked, this, &ChargePanel::histogram_requested);
  if (graph_ != nullptr)
    connect(graph_, &MainGraphView::cursors_moved, this, &ChargePanel::snap_cursors);
  refresh();
}

int ChargePanel::channel() const {
  return std::clamp(channel_->currentIndex(), 0, kMaxChannels - 1);
}

void ChargePanel::refresh() {
  const QSignalBlocker b1(mode_), b2(channel_), b3(start_), b4(length_), b5(baseline_),
      b6(threshold_on_), b7(threshold_), b8(cursors_);
  const int shown = std::max(shown_channels(st_), 1);
  const int selected =
      std::min(channel_->currentIndex() < 0 ? 0 : channel_->currentIndex(), shown - 1);
  if (channel_->count() != shown) {
    channel_->clear();
    for (int ch = 0; ch < shown; ++ch) channel_->addItem(QString("CH%1").arg(ch));
  }
  channel_->setCurrentIndex(selected);
  mode_->setCurrentIndex(current_mode(st_));

  const int ch = channel();
  const SAMBlockParams& blk = st_.sam[ch / 2];
  const int c = ch % 2;
  start_->setValue(blk.ChargeStartIndex[c]);
  length_->setValue(blk.ChargeLength[c]);
  length_ns_->setText(QString::number(Charge_WindowNs(st_, blk.ChargeLength[c]), 'f', 2) + " ns");
  baseline_->setChecked(st_.sam[0].ChargeNoBaseline == 0);
  threshold_on_->setChecked(blk.ChargeThresholdFlag[c] != 0);
  threshold_->setValue(Charge_ThresholdShown(blk.ChargeThreshold[c], Get_SamplingPeriod(st_)));
  const bool firmware = current_mode(st_) == static_cast<int>(ChargeMode::Firmware);
  threshold_on_->setEnabled(firmware);
  threshold_->setEnabled(firmware);
  // The cursors mark a window on the waveforms; firmware charges come without them.
  cursors_->setEnabled(!firmware);
  cursors_->setChecked(cursors_on_);
  validate_->setEnabled(cursors_on_);
}

void ChargePanel::on_mode(int mode) {
  if (mode == static_cast<int>(ChargeMode::Firmware) && cursors_on_) set_cursors_on(false);
  change([&] { Select_ChargeMode(st_, static_cast<ChargeMode>(mode)); });
}

void ChargePanel::on_start() {
  const int value = start_->value();
  const int ch = channel();
  change([&] {
    if (Set_ChargeStart(st_, ch, value)) Send_ChargeParamsToBoard(st_);
  });
  if (cursors_on_) place_cursors();
}

void ChargePanel::on_length() {
  const int value = length_->value();
  const int ch = channel();
  change([&] {
    if (Set_ChargeLength(st_, ch, value)) Send_ChargeParamsToBoard(st_);
  });
  if (cursors_on_) place_cursors();
}

void ChargePanel::on_threshold() {
  const bool on = threshold_on_->isChecked();
  const double pc = threshold_->value();
  const int ch = channel();
  change([&] {
    Set_ChargeThreshold(st_, ch, on, pc);
    Send_ChargeParamsToBoard(st_);
  });
}

void ChargePanel::set_cursors_on(bool on) {
  if (on == cursors_on_) return;
  cursors_on_ = on;
  emit cursors_wanted(on);
  if (on) place_cursors();
  refresh();
}

double ChargePanel::display_shift() const {
  if (graph_ == nullptr) return 0.0;
  return graph_->curve_origin(channel()).value_or(0.0);
}

void ChargePanel::place_cursors() {
  if (graph_ == nullptr) return;
  const SAMBlockParams& blk = st_.sam[channel() / 2];
  const int c = channel() % 2;
  const ChargeCursorX x =
      Charge_CursorsForWindow(blk.ChargeStartIndex[c], blk.ChargeLength[c], display_shift());
  snapping_ = true;
  for (int i = 0; i < 2; ++i) {
    const double xi = i == 0 ? x.x1 : x.x2;
    const double y = graph_->curve_value(channel(), xi).value_or(graph_->cursor(i).y());
    graph_->set_cursor(i, QPointF(xi, y));
  }
  snapping_ = false;
  graph_->replot(QCustomPlot::rpQueuedReplot);
}

void ChargePanel::snap_cursors() {
  if (!cursors_on_ || snapping_ || graph_ == nullptr || st_.gui.GraphMode != kGraphWaveforms)
    return;
  const double shift = display_shift();
  const ChargeCursorX x =
      Snap_ChargeCursors({graph_->cursor(0).x(), graph_->cursor(1).x()}, shift, shown_samples(st_));
  snapping_ = true;
  for (int i = 0; i < 2; ++i) {
    const double xi = i == 0 ? x.x1 : x.x2;
    const double y = graph_->curve_value(channel(), xi).value_or(graph_->cursor(i).y());
    graph_->set_cursor(i, QPointF(xi, y));
  }
  snapping_ = false;
}

void ChargePanel::validate_cursors() {
  if (!cursors_on_ || graph_ == nullptr) return;
  const ChargeCursorX x{graph_->cursor(0).x(), graph_->cursor(1).x()};
  const double shift = display_shift();
  const int ch = channel();
  change([&] {
    if (Validate_ChargeCursors(st_, ch, x, shift)) {
      Send_ChargeParamsToBoard(st_);
    } else {
      Write_InfoMessage(st_,
                        "The charge window marked by the cursors is refused: it must start at "
                        "sample 1 or later and end before the last sample.\n",
                        kWarning);
    }
  });
  place_cursors();
}

}  // namespace vx::ui
