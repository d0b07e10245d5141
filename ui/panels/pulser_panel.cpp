#include "ui/panels/pulser_panel.h"

#include <algorithm>

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QVBoxLayout>

#include "acquisition/acquisition_controls.h"
#include "ui/widgets/settings_panel.h"

namespace vx::ui {

PulserPanel::PulserPanel(State& st, QWidget* parent) : SettingsPanel(st, parent) {
  setObjectName("PANEL_PM");
  setWindowTitle("Pulser Mode");
  setWindowFlag(Qt::Window);
  auto* page = new QVBoxLayout(this);

  auto* channels = new QGroupBox("PULSER ON CHANNELS");
  auto* g = new QGridLayout(channels);
  for (int ch = 0; ch < kMaxChannels; ++ch) {
    enable_[ch] = make_check(QString("ch%1").arg(ch), QString("PULSECH%1").arg(ch));
    g->addWidget(enable_[ch], ch / 8, ch % 8);
    connect(enable_[ch], &QCheckBox::clicked, this,
            [this, ch](bool on) { change([&] { Set_PulseEnable(st_, ch, on); }); });
  }
  all_ = make_check("All channels", "ALLCHANNELS");
  all_->setTristate(true);
  g->addWidget(all_, 2, 0, 1, 4);
  page->addWidget(channels);

  auto* pattern = new QGroupBox("PATTERN");
  auto* p = new QGridLayout(pattern);
  p->addWidget(new QLabel("Channel"), 0, 0);
  channel_ = make_spin("SELCHANNEL", 0, kMaxChannels - 1, 60);
  p->addWidget(channel_, 0, 1);
  p->addWidget(new QLabel("Pattern (16 bits)"), 1, 0);
  pattern_ = make_spin("PULSEPATTERN", 0, 0xFFFF, 90);
  pattern_->setDisplayIntegerBase(16);
  pattern_->setPrefix("0x");
  p->addWidget(pattern_, 1, 1);
  pattern_all_ = make_button("Apply to all", "APPLYPATTERNTOALL");
  p->addWidget(pattern_all_, 1, 2);
  page->addWidget(pattern);

  auto* mode = new QGroupBox("MODE");
  auto* m = new QGridLayout(mode);
  m->addWidget(new QLabel("Pulser type"), 0, 0);
  type_ = make_combo("PULSERTYPE");
  type_->addItems({"Pulse at each readout", "Continuous"});
  m->addWidget(type_, 0, 1);
  mode_ = make_check("Pulse mode", "PULSEMODE");
  m->addWidget(mode_, 1, 0, 1, 2);
  page->addWidget(mode);
  page->addStretch(1);

  connect(all_, &QCheckBox::clicked, this, [this] {
    const bool on = all_->checkState() != Qt::Checked;
    change([&] { Set_PulseEnable(st_, -1, on); });
  });
  connect(channel_, &QSpinBox::valueChanged, this, [this](int ch) {
    Select_Channel(st_, st_, ch);
    refresh();
  });
  connect(pattern_, &QSpinBox::valueChanged, this,
          [this](int v) { change([&] { Set_PulsePattern(st_, channel(), v); }); });
  connect(pattern_all_, &QPushButton::clicked, this,
          [this] { change([&] { Set_PulsePattern(st_, -1, pattern_->value()); }); });
  connect(type_, &QComboBox::activated, this,
          [this](int i) { change([&] { Set_PulserType(st_, i); }); });
  connect(mode_, &QCheckBox::clicked, this,
          [this](bool on) { change([&] { Set_PulseMode(st_, on); }); });
  refresh();
}

int PulserPanel::channel() const {
  return std::clamp(int{st_.gui.SelectedChannel}, 0, kMaxChannels - 1);
}

void PulserPanel::refresh() {
  const QSignalBlocker b1(channel_), b2(pattern_), b3(all_), b4(type_), b5(mode_);
  const int channels = std::clamp(int{st_.sys.NbOfChannels}, 0, kMaxChannels);
  int on = 0;
  for (int ch = 0; ch < kMaxChannels; ++ch) {
    const QSignalBlocker block(enable_[ch]);
    const bool enabled = st_.sam[ch / 2].PulseEnable[ch % 2] != 0;
    enable_[ch]->setChecked(enabled);
    enable_[ch]->setVisible(ch < channels);
    on += ch < channels && enabled ? 1 : 0;
  }
  all_->setCheckState(on == 0 ? Qt::Unchecked
                              : (on == channels ? Qt::Checked : Qt::PartiallyChecked));
  const int ch = channel();
  channel_->setValue(ch);
  pattern_->setValue(st_.sam[ch / 2].PulsePattern[ch % 2]);
  type_->setCurrentIndex(st_.sam[0].PulseSource == 1 ? 1 : 0);
  mode_->setChecked(st_.acq.PulseMode == 1);
}

}  // namespace vx::ui
