#include "ui/panels/debug_panel.h"

#include <algorithm>

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QSignalBlocker>
#include <QSpinBox>

#include "acquisition/acquisition_controls.h"
#include "ui/panels/monitor_panel.h"
#include "ui/widgets/settings_panel.h"

namespace vx::ui {

DebugPanel::DebugPanel(State& st, QWidget* parent) : SettingsPanel(st, parent) {
  setObjectName("PANEL_DEB");
  setWindowTitle("Debug");
  setWindowFlag(Qt::Window);
  auto* form = new QFormLayout(this);
  mode_ = make_spin("MONITORMODE", 0, kMaxMonitorMode, 60);
  form->addRow("Monitor mode", mode_);
  gain_ = make_monitor_gain();
  form->addRow("Monitor gain", gain_);
  adc_ = make_check("ADC 20 MHz", "ADC20MHZ");
  form->addRow(adc_);
  block_ = make_spin("DEBUGSAMBLOCK", 0, kMaxSamBlocks - 1, 60);
  form->addRow("SAM block shown", block_);

  connect(mode_, &QSpinBox::valueChanged, this,
          [this](int v) { change([&] { Set_MonitorMode(st_, v); }); });
  connect(gain_, &QComboBox::activated, this,
          [this](int e) { change([&] { Set_MonitorGain(st_, e); }); });
  connect(adc_, &QCheckBox::clicked, this,
          [this](bool on) { change([&] { Set_Adc20MHz(st_, on); }); });
  connect(block_, &QSpinBox::valueChanged, this, [this](int b) { Set_DebugSamBlock(st_, b); });
  setMinimumWidth(320);
  refresh();
}

void DebugPanel::refresh() {
  const QSignalBlocker b1(mode_), b2(gain_), b3(adc_), b4(block_);
  mode_->setValue(st_.sys.MonitorMode);
  gain_->setCurrentIndex(std::clamp(int{st_.sys.MonitorGain}, 0, kMaxMonitorGain));
  adc_->setChecked(st_.sys.Adc20MHzOnOff == 1);
  block_->setMaximum(std::max(st_.sys.NbOfSAMBlocks - 1, 0));
  block_->setValue(st_.acq.DebugSamBlock);
}

}  // namespace vx::ui
