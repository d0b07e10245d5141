#include "ui/panels/monitor_panel.h"

#include <algorithm>

#include <QComboBox>
#include <QFormLayout>
#include <QSignalBlocker>

#include "acquisition/acquisition_controls.h"

namespace vx::ui {

QComboBox* make_monitor_gain() {
  auto* box = new QComboBox;
  box->setObjectName("MONITORGAIN");
  for (int e = 0; e <= kMaxMonitorGain; ++e) box->addItem(QString("x %1").arg(1 << e));
  return box;
}

MonitorPanel::MonitorPanel(State& st, QWidget* parent) : SettingsPanel(st, parent) {
  setObjectName("P_MONITOR");
  setWindowTitle("Buffer Output Monitor (MON) Configuration");
  setWindowFlag(Qt::Window);
  auto* form = new QFormLayout(this);
  gain_ = make_monitor_gain();
  form->addRow("Monitor gain", gain_);
  connect(gain_, &QComboBox::activated, this,
          [this](int e) { change([&] { Set_MonitorGain(st_, e); }); });
  setMinimumWidth(380);
  refresh();
}

void MonitorPanel::refresh() {
  const QSignalBlocker block(gain_);
  gain_->setCurrentIndex(std::clamp(int{st_.sys.MonitorGain}, 0, kMaxMonitorGain));
}

}  // namespace vx::ui
