#include "ui/panels/trigger_page.h"

#include <algorithm>

#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QVBoxLayout>

#include "acquisition/acquisition_controls.h"
#include "analysis/main_graph.h"
#include "ui/main_graph_view.h"
#include "ui/widgets/settings_panel.h"

namespace vx::ui {

TriggerPage::TriggerPage(State& st, QWidget* parent) : SettingsPanel(st, parent) {
  setObjectName("TRIGGER");
  auto* page = new QVBoxLayout(this);
  auto* top = new QGridLayout;
  top->addWidget(new QLabel("Trigger type"), 0, 0);
  type_ = make_combo("TRIGGERTYPE");
  type_->addItems({"Software", "Normal", "Auto", "External"});
  top->addWidget(type_, 0, 1);
  top->setColumnStretch(2, 1);
  page->addLayout(top);
  page->addWidget(build_sources());

  auto* level = new QGroupBox("THRESHOLD AND EDGE");
  auto* l = new QGridLayout(level);
  l->addWidget(new QLabel("Channel"), 0, 0);
  channel_ = make_spin("SELCHANNEL", 0, kMaxChannels - 1, 60);
  l->addWidget(channel_, 0, 1);
  l->addWidget(new QLabel("Threshold"), 1, 0);
  threshold_ = make_volts("THRESHOLD", -2.5, 2.5);
  l->addWidget(threshold_, 1, 1);
  threshold_all_ = make_button("Apply to all", "APPLYTOALLTHRESHOLD");
  l->addWidget(threshold_all_, 1, 2);
  l->addWidget(new QLabel("Edge"), 2, 0);
  edge_ = make_combo("TRIGEDGE");
  edge_->addItems({"Rising", "Falling"});
  l->addWidget(edge_, 2, 1);
  edge_all_ = make_button("Apply to all", "APPLYTOALLTRIGEDGE");
  l->addWidget(edge_all_, 2, 2);
  page->addWidget(level);

  auto* ext = new QGroupBox("EXTERNAL TRIGGER INPUT");
  auto* e = new QGridLayout(ext);
  e->addWidget(new QLabel("Level"), 0, 0);
  external_ = make_combo("EXTERNALTRIG_TYPE");
  external_->addItems({"TTL", "NIM"});
  e->addWidget(external_, 0, 1);
  gate_input_ = make_check("Use as gate", "EXT_TRIG_IS_GATE");
  e->addWidget(gate_input_, 0, 2);
  e->setColumnStretch(3, 1);
  page->addWidget(ext);
  page->addStretch(1);

  connect(type_, &QComboBox::activated, this,
          [this](int source) { change([&] { Set_TriggerSourceOption(st_, source); }); });
  connect(channel_, &QSpinBox::valueChanged, this, [this](int ch) {
    Select_Channel(st_, st_, ch);
    refresh();
  });
  connect(threshold_, &QDoubleSpinBox::valueChanged, this, [this](double v) {
    change([&] { Set_Threshold(st_, channel(), static_cast<float>(v)); });
    emit display_changed();
  });
  connect(threshold_all_, &QPushButton::clicked, this, [this] {
    change([&] { Set_Threshold(st_, -1, static_cast<float>(threshold_->value())); });
    emit display_changed();
  });
  connect(edge_, &QComboBox::activated, this,
          [this](int edge) { change([&] { Set_TriggerEdge(st_, channel(), edge); }); });
  connect(edge_all_, &QPushButton::clicked, this,
          [this] { change([&] { Set_TriggerEdge(st_, -1, edge_->currentIndex()); }); });
  connect(external_, &QComboBox::activated, this,
          [this](int i) { change([&] { Set_ExternalTriggerNim(st_, i == 1); }); });
  connect(gate_input_, &QCheckBox::clicked, this,
          [this](bool on) { change([&] { Set_ExternalTriggerAsGate(st_, on); }); });
  refresh();
}

QWidget* TriggerPage::build_sources() {
  auto* box = new QGroupBox("TRIGGER SOURCES");
  auto* g = new QGridLayout(box);
  g->setHorizontalSpacing(6);
  g->setVerticalSpacing(2);
  // One row per SAM block: its two channels and the operator between them.
  for (int b = 0; b < kMaxSamBlocks; ++b) {
    const int row = b % 4, col = (b / 4) * 4;
    sources_[2 * b] = new QCheckBox(QString("ch%1").arg(2 * b));
    sources_[2 * b + 1] = new QCheckBox(QString("ch%1").arg(2 * b + 1));
    pairs_[b] = new QComboBox;
    pairs_[b]->addItems({"OR", "AND"});
    pairs_[b]->setObjectName(QString("CH%1_OR_AND_CH%2").arg(2 * b).arg(2 * b + 1));
    for (int c = 0; c < 2; ++c) {
      const int ch = 2 * b + c;
      sources_[ch]->setObjectName(QString("TRIGGERSELCH%1").arg(ch));
      sources_[ch]->setStyleSheet(QString("QCheckBox { color: %1; font-weight: bold; }")
                                      .arg(to_qcolor(channel_colour(ch)).darker(160).name()));
      connect(sources_[ch], &QCheckBox::clicked, this,
              [this, ch](bool on) { change([&] { Set_TriggerEnable(st_, ch, on); }); });
    }
    g->addWidget(sources_[2 * b], row, col);
    g->addWidget(pairs_[b], row, col + 1);
    g->addWidget(sources_[2 * b + 1], row, col + 2);
    connect(pairs_[b], &QComboBox::activated, this,
            [this, b](int i) { change([&] { Set_PairLogic(st_, b, i == 1); }); });
  }
  g->setColumnMinimumWidth(3, 16);
  all_ = make_check("All channels", "ALLCHANNELS");
  all_->setTristate(true);
  g->addWidget(all_, 4, 0, 1, 3);
  connect(all_, &QCheckBox::clicked, this, [this] {
    const bool on = all_->checkState() != Qt::Checked;
    change([&] { Set_TriggerEnable(st_, -1, on); });
  });

  auto* logic = new QFormLayout;
  logic->setFieldGrowthPolicy(QFormLayout::FieldsStayAtSizeHint);
  logic->setHorizontalSpacing(12);
  overall_ = make_combo("OVERALLTRIGGEROPTION");
  overall_->addItems({"OR", "AND", "Majority"});
  logic->addRow("Overall trigger option", overall_);
  majority_ = make_spin("MAJORITY", 1, kMaxSamBlocks, 60);
  logic->addRow("Majority", majority_);
  gate_ = make_spin("PRIMITIVESGATELENGTH", 0, kMaxGateLengthNs, 80);
  gate_->setSingleStep(5);
  gate_->setSuffix(" ns");
  logic->addRow("Coincidence window", gate_);
  g->addLayout(logic, 5, 0, 1, 8);

  connect(overall_, &QComboBox::activated, this,
          [this](int i) { change([&] { Set_OverallTriggerOption(st_, i); }); });
  connect(majority_, &QSpinBox::valueChanged, this,
          [this](int v) { change([&] { Set_Majority(st_, v); }); });
  connect(gate_, &QSpinBox::valueChanged, this,
          [this](int v) { change([&] { Set_GateLength(st_, v); }); });
  return box;
}

int TriggerPage::channel() const {
  return std::clamp(int{st_.gui.SelectedChannel}, 0, kMaxChannels - 1);
}

void TriggerPage::refresh() {
  const QSignalBlocker b1(type_), b2(all_), b3(majority_), b4(overall_), b5(gate_), b6(channel_),
      b7(threshold_), b8(edge_), b9(external_), b10(gate_input_);
  const SystemParams& s = st_.sys;
  type_->setCurrentIndex(std::clamp(int{s.TriggerSource}, 0, 3));
  const int channels = std::clamp(int{s.NbOfChannels}, 0, kMaxChannels);
  int on = 0;
  for (int ch = 0; ch < kMaxChannels; ++ch) {
    const QSignalBlocker block(sources_[ch]);
    const bool enabled = st_.sam[ch / 2].TriggerEnable[ch % 2] != 0;
    sources_[ch]->setChecked(enabled);
    sources_[ch]->setVisible(ch < channels);
    on += ch < channels && enabled ? 1 : 0;
  }
  for (int b = 0; b < kMaxSamBlocks; ++b) {
    const QSignalBlocker block(pairs_[b]);
    pairs_[b]->setCurrentIndex(st_.sam[b].CoincidenceAND == 1 ? 1 : 0);
    pairs_[b]->setVisible(2 * b < channels);
  }
  all_->setCheckState(on == 0 ? Qt::Unchecked
                              : (on == channels ? Qt::Checked : Qt::PartiallyChecked));
  overall_->setCurrentIndex(std::clamp(int{s.OverallTriggerLogic}, 0, 2));
  majority_->setValue(s.MajorityLevel + 1);
  majority_->setEnabled(s.OverallTriggerLogic == 2);
  gate_->setValue(gate_length_ns(st_));
  const int ch = channel();
  channel_->setValue(ch);
  threshold_->setRange(st_.gui.ThresholdMin[ch], st_.gui.ThresholdMax[ch]);
  threshold_->setValue(st_.gui.ThresholdVolts[ch]);
  edge_->setCurrentIndex(st_.sam[ch / 2].TriggerPolarity[ch % 2] == 1 ? 1 : 0);
  external_->setCurrentIndex(s.ExternalTriggerType == 1 ? 1 : 0);
  gate_input_->setChecked(s.ExtTrigInAsGate == 1);
}

}  // namespace vx::ui
