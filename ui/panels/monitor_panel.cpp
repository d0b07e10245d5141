#include "ui/panels/monitor_panel.h"

#include <algorithm>

#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QLabel>
#include <QSignalBlocker>
#include <QVBoxLayout>

#include "acquisition/acquisition_controls.h"
#include "ui/widgets/settings_panel.h"

namespace vx::ui {

QComboBox* make_monitor_gain() {
  auto* box = make_combo("MONITORGAIN");
  for (int e = 0; e <= kMaxMonitorGain; ++e) box->addItem(QString("x %1").arg(1 << e));
  return box;
}

MonitorPanel::MonitorPanel(State& st, QWidget* parent) : SettingsPanel(st, parent) {
  setObjectName("P_MONITOR");
  setWindowTitle("Buffer Output Monitor (MON) Configuration");
  setWindowFlag(Qt::Window);
  auto* layout = new QVBoxLayout(this);
  auto* about = new QLabel(
      "The board's analogue monitor output (MON). The gain scales the signal it gives; "
      "what it gives, the monitor mode, is chosen on the Debug panel.");
  about->setWordWrap(true);
  auto* box = new QGroupBox("MON output");
  auto* form = new QFormLayout(box);
  gain_ = make_monitor_gain();
  form->addRow("Gain", gain_);
  mode_ = new QLabel;
  mode_->setObjectName("MONITORMODESHOWN");
  form->addRow("Monitor mode", mode_);
  layout->addWidget(about);
  layout->addWidget(box);
  layout->addStretch();
  connect(gain_, &QComboBox::activated, this,
          [this](int e) { change([&] { Set_MonitorGain(st_, e); }); });
  setMinimumWidth(420);
  refresh();
}

void MonitorPanel::refresh() {
  const QSignalBlocker block(gain_);
  gain_->setCurrentIndex(std::clamp(int{st_.sys.MonitorGain}, 0, kMaxMonitorGain));
  mode_->setText(QString("%1 (set on the Debug panel)").arg(st_.sys.MonitorMode));
}

}  // namespace vx::ui
