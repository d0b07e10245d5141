#include "ui/panels/alignment_panel.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QGridLayout>
#include <QLabel>
#include <QSignalBlocker>
#include <algorithm>

#include "analysis/main_graph.h"
#include "analysis/plot_alignment.h"
#include "ui/widgets/settings_panel.h"

namespace vx::ui {

AlignmentPanel::AlignmentPanel(State& st, QWidget* parent) : SettingsPanel(st, parent) {
  setObjectName("PANEL_PA");
  setWindowTitle("Plot Alignement");
  setWindowFlag(Qt::Window);

  on_ = make_check("Align Plots", "PLOTALIGNMENT");
  on_->setToolTip("Draw every waveform with the reference channel's crossing at one place");
  channel_ = make_combo("ALIGNREFCHANNEL");
  edge_ = make_combo("ALIGNEDGE");
  edge_->addItem("Falling", 0);
  edge_->addItem("Rising", 1);
  threshold_ = make_volts("ALIGNTHRESHOLD", -2.5, 2.5);

  auto* g = new QGridLayout(this);
  g->addWidget(on_, 0, 0, 1, 2);
  g->addWidget(new QLabel("Reference Channel"), 1, 0);
  g->addWidget(channel_, 1, 1);
  g->addWidget(new QLabel("Edge"), 2, 0);
  g->addWidget(edge_, 2, 1);
  g->addWidget(new QLabel("Threshold"), 3, 0);
  g->addWidget(threshold_, 3, 1);
  g->setRowStretch(4, 1);
  setMinimumWidth(300);

  connect(on_, &QCheckBox::clicked, this, [this](bool on) {
    change_display([&] { Set_PlotAlignment(st_, on); });
    emit averaging_locked(on);
  });
  connect(channel_, &QComboBox::activated, this, [this] { apply_options(); });
  connect(edge_, &QComboBox::activated, this, [this] { apply_options(); });
  connect(threshold_, &QDoubleSpinBox::editingFinished, this, [this] { apply_options(); });
  refresh();
}

void AlignmentPanel::apply_options() {
  const int channel = channel_->currentIndex();
  const int rising = edge_->currentData().toInt();
  const auto volts = static_cast<float>(threshold_->value());
  change_display([&] { Set_PlotAlignmentOptions(st_, channel, rising, volts); });
}

void AlignmentPanel::refresh() {
  const QSignalBlocker b1(on_), b2(channel_), b3(edge_), b4(threshold_);
  const GuiParams& g = st_.gui;
  const int shown = std::max(shown_channels(st_), 1);
  if (channel_->count() != shown) {
    channel_->clear();
    for (int ch = 0; ch < shown; ++ch) channel_->addItem(QString("CH%1").arg(ch));
  }
  on_->setChecked(g.PlotAlignment == 1);
  channel_->setCurrentIndex(std::clamp(static_cast<int>(g.PlotAlignmentOption1), 0, shown - 1));
  edge_->setCurrentIndex(edge_->findData(g.PlotAlignmentOption2 == 1 ? 1 : 0));
  threshold_->setValue(g.PlotAlignmentValue);
  const bool on = g.PlotAlignment == 1;
  channel_->setEnabled(on);
  edge_->setEnabled(on);
  threshold_->setEnabled(on);
  emit averaging_locked(on);
}

}  // namespace vx::ui
