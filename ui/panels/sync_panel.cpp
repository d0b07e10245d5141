#include "ui/panels/sync_panel.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QSignalBlocker>
#include <QSpinBox>

#include "digitizer/sync_options.h"
#include "ui/widgets/settings_panel.h"

namespace vx::ui {

SyncPanel::SyncPanel(State& st, QWidget* parent) : SettingsPanel(st, parent) {
  setObjectName("PANEL_SYNC");
  setWindowTitle("Advanced Multi-Boards Synchronisation Options");
  setWindowFlag(Qt::Window);
  auto* form = new QFormLayout(this);
  sync_ = make_check("Synchronised mode", "SYNCMODE");
  form->addRow(sync_);
  master_ = make_combo("BOARDMASTERMODE");
  master_->addItems({"Slave", "Master"});
  form->addRow("This board", master_);
  slave_ = make_spin("SLAVENUMBER", 0, 15, 60);
  form->addRow("Slave number", slave_);
  slaves_ = make_spin("NUMBEROFSLAVES", 0, 15, 60);
  form->addRow("Number of slaves", slaves_);
  lvds_ = make_check("Synchronise over the LVDS I/O", "USELVDSIO");
  form->addRow(lvds_);
  veto_ = make_spin("VETOINEXTRALATENCY", 0, 255, 60);
  form->addRow("Veto extra latency", veto_);

  auto option = [this](SyncOption o, int v) { change([&] { Set_SyncOption(st_, o, v); }); };
  connect(sync_, &QCheckBox::clicked, this,
          [=](bool on) { option(SyncOption::SyncMode, on ? 1 : 0); });
  connect(master_, &QComboBox::activated, this,
          [=](int i) { option(SyncOption::BoardMasterMode, i); });
  connect(slave_, &QSpinBox::valueChanged, this,
          [=](int v) { option(SyncOption::SlaveNumber, v); });
  connect(slaves_, &QSpinBox::valueChanged, this,
          [=](int v) { option(SyncOption::NumberOfSlaves, v); });
  connect(lvds_, &QCheckBox::clicked, this,
          [=](bool on) { option(SyncOption::UseLvdsIO, on ? 1 : 0); });
  connect(veto_, &QSpinBox::valueChanged, this,
          [=](int v) { option(SyncOption::VetoInExtraLatency, v); });
  setMinimumWidth(380);
  refresh();
}

void SyncPanel::refresh() {
  const QSignalBlocker b1(sync_), b2(master_), b3(slave_), b4(slaves_), b5(lvds_), b6(veto_);
  const SystemParams& s = st_.sys;
  sync_->setChecked(s.SyncMode == 1);
  master_->setCurrentIndex(s.BoardMasterMode == 1 ? 1 : 0);
  slave_->setValue(s.SlaveNumber);
  slaves_->setValue(s.NumberOfSlaves);
  lvds_->setChecked(s.UseLvdsIO == 1);
  veto_->setValue(s.VetoInExtraLatency);
  const bool on = s.SyncMode == 1;
  for (QWidget* w : std::initializer_list<QWidget*>{master_, slave_, slaves_, lvds_, veto_})
    w->setEnabled(on);
  slave_->setEnabled(on && s.BoardMasterMode != 1);
}

}  // namespace vx::ui
