// The main window's menus and toolbars: items, check marks, dimming and the saving toggles.
#include "app/run_from_file.h"
#include "ui/main_window.h"

#include <QAction>
#include <QCheckBox>
#include <QMenuBar>
#include <QSpinBox>
#include <QStyle>
#include <QToolBar>

#include "app/message_log.h"
#include "files/data_file_reader.h"
#include "files/saving_run_lock.h"
#include "ui/info_panel.h"
#include "ui/panels/horizontal_page.h"
#include "ui/run_export_action.h"

namespace vx::ui {

void MainWindow::build_menus() {
  auto keep = [this](MenuAction item, QAction* a) { actions_[static_cast<std::size_t>(item)] = a; };
  auto add = [this, keep](QMenu* menu, MenuAction item, const QString& label,
                          bool checkable = false,
                          QStyle::StandardPixmap icon = QStyle::SP_CustomBase) {
    QAction* a = menu->addAction(label);
    a->setObjectName(object_name(item));
    a->setCheckable(checkable);
    if (icon != QStyle::SP_CustomBase) a->setIcon(style()->standardIcon(icon));
    keep(item, a);
    return a;
  };
  QMenuBar* bar = menuBar();
  auto menu = [bar](const QString& title) {
    QMenu* m = bar->addMenu(title);
    m->setToolTipsVisible(true);
    return m;
  };

  QMenu* iface = menu("&Interface");
  add(iface, MenuAction::BoardConnect, "&Board Connect", false, QStyle::SP_DriveNetIcon);
  QMenu* config = menu("&Configuration");
  add(config, MenuAction::CalibratePedestals, "&Calibrate Pedestals");
  add(config, MenuAction::SavePedestalsToFlash, "Save Pedestals to FLASH ");
  add(config, MenuAction::InlCorrection, "Enable Time INL correction", true);
  config->addSeparator();
  add(config, MenuAction::LoadSetup, "Load Setup from File", false, QStyle::SP_DialogOpenButton);
  add(config, MenuAction::SaveSetup, "Save Setup to File", false, QStyle::SP_DialogSaveButton);
  add(config, MenuAction::FileMenu, "Saving Data File Menu");
  QMenu* advanced = config->addMenu("Advanced");
  advanced->setToolTipsVisible(true);
  QMenu* restricted = advanced->addMenu("Restricted Access");
  restricted->setToolTipsVisible(true);
  restricted->setObjectName(object_name(MenuAction::RestrictedAccess));
  const bool restricted_on = qEnvironmentVariableIsSet("VELTRIX_INL_CALIB_ENABLED");
  restricted->menuAction()->setEnabled(restricted_on);
  if (!restricted_on)
    restricted->menuAction()->setToolTip("Set VELTRIX_INL_CALIB_ENABLED to enable");
  keep(MenuAction::RestrictedAccess, restricted->menuAction());
  add(restricted, MenuAction::SamRegisters, "&SAM Registers");
  add(restricted, MenuAction::CalibrateSamDacs, "Calibrate &SAM DACs Offsets");
  add(restricted, MenuAction::CalibrateTriggerDacs, "Calibrate &Trigger DACs Offsets");
  add(restricted, MenuAction::InlCalibration, "Calibrate INL");
  add(restricted, MenuAction::AdvancedFlash, "Advanced FLASH Access");
  add(restricted, MenuAction::Debug, "Debug");
  add(restricted, MenuAction::DumpFlash, "Dump FLASH contents to Files");

  QMenu* run = menu("&Run");
  add(run, MenuAction::RunFromFile, "Run from File", true);
  QMenu* save = run->addMenu("Save Run to File");
  save->setToolTipsVisible(true);
  keep(MenuAction::SaveRunToFile, save->menuAction());
  add(save, MenuAction::SaveWaveforms, "Save Waveforms Only", true);
  add(save, MenuAction::SaveWaveformsAndMeasurements, "Save Waveforms && Measurements", true);
  add(save, MenuAction::SaveMeasurements, "Save Measurements to File", true);
  auto* export_run = new RunExportAction(st_, dialogs_, this);
  run->addAction(export_run->action());
  keep(MenuAction::ExportRun, export_run->action());
  run->addSeparator();
  add(run, MenuAction::ClientCommands, "Enable Commands from TCP Client (Start/Stop/Load Setup)",
      true);
  add(run, MenuAction::TransmitToClient, "Enable Transmit data to TCP Client", true);
  run->addSeparator();
  add(run, MenuAction::Start, "Start", false, QStyle::SP_MediaPlay);
  add(run, MenuAction::Stop, "Stop", false, QStyle::SP_MediaStop);

  QMenu* graph = menu("&Graph");
  add(graph, MenuAction::EnableCursors, "Enable Cursors", false, QStyle::SP_DialogYesButton);
  add(graph, MenuAction::DeleteCursors, "Delete Cursors", false, QStyle::SP_DialogNoButton);
  add(graph, MenuAction::ZoomIn, "Zoom In", false, QStyle::SP_ArrowUp);
  add(graph, MenuAction::ZoomOut, "Zoom Out", false, QStyle::SP_ArrowDown);
  add(graph, MenuAction::AutoScale, "Auto Scale", false, QStyle::SP_TitleBarMaxButton)
      ->setToolTip("Fits each channel's vertical scale to the event shown");
  add(graph, MenuAction::PlotAlignment, "Plot Alignement");
  QMenu* firmware = menu("&Firmware");
  add(firmware, MenuAction::FirmwareVersion, "Firmware Version");
  QMenu* special = menu("&Special Modes");
  add(special, MenuAction::PulserMode, "Pulser Mode");
  add(special, MenuAction::ChargeMode, "Charge Mode");
  add(special, MenuAction::BufferMonitor, "Buffer Output Monitor (MON)");
  add(special, MenuAction::SyncOptions, "Advanced Multi-Boards Synchronisation Options");
  QMenu* measurements = menu("&Advanced Measurements");
  add(measurements, MenuAction::NoiseMeasurements, "Noise Measurements");
  add(measurements, MenuAction::RateMeasurements, "Rate Measurements");
  add(measurements, MenuAction::TimeMeasurements, "Time Measurements");
  add(measurements, MenuAction::RateVsThreshold, "Rate Vs Threshold Measurements");
  QMenu* tcp = menu("&TCP/IP");
  add(tcp, MenuAction::TcpServer, "TCP/IP Server/Client");
  add(tcp, MenuAction::WebMonitor, "Web Monitor");
  QMenu* help = menu("&Help");
  add(help, MenuAction::UserGuide, "Software User's Guide");
  add(help, MenuAction::About, "About Veltrix");
  QMenu* exit = menu("&Exit");
  add(exit, MenuAction::Exit, "Exit", false, QStyle::SP_DialogCloseButton);

  dimmed_while_running_ = {action(MenuAction::BoardConnect),    action(MenuAction::InlCorrection),
                           action(MenuAction::FirmwareVersion), action(MenuAction::Start),
                           action(MenuAction::RunFromFile),     action(MenuAction::LoadSetup)};
}

void MainWindow::build_toolbars() {
  // One toolbar per menu holding items with an image, titled "<menu> [n]".
  int index = 0;
  for (QAction* top : menuBar()->actions()) {
    QMenu* m = top->menu();
    if (m == nullptr) continue;
    QList<QAction*> with_icon;
    for (QAction* a : m->actions())
      if (!a->icon().isNull()) with_icon.append(a);
    if (with_icon.isEmpty()) continue;
    QString name = m->title();
    name.remove('&');
    auto* bar = addToolBar(QString("%1 [%2]").arg(name).arg(++index));
    bar->setObjectName(bar->windowTitle());
    bar->setIconSize(QSize(20, 20));
    bar->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    bar->setMovable(false);
    for (QAction* a : with_icon) bar->addAction(a);
  }
}

QList<QToolBar*> MainWindow::toolbars() const {
  return findChildren<QToolBar*>();
}

void MainWindow::refresh_menu_values() {
  const AcqParams& a = st_.acq;
  auto mark = [this](MenuAction item, bool on) { action(item)->setChecked(on); };
  mark(MenuAction::SaveWaveforms, a.SaveDataInFile == 1 && a.MeasurementsEnabled == 0);
  mark(MenuAction::SaveWaveformsAndMeasurements,
       a.SaveDataInFile == 1 && a.MeasurementsEnabled == 1);
  mark(MenuAction::SaveMeasurements, a.SaveMeasurementsInFile == 1);
  mark(MenuAction::InlCorrection, a.INLCorrectionEnabled == 1);
  mark(MenuAction::RunFromFile, replaying(a));
  mark(MenuAction::ClientCommands, a.TCPCommandsEnabled == 1);
  mark(MenuAction::TransmitToClient, a.TransmitRunDataToTcpClient == 1);
  // Synchronisation and the monitor output exist on the VME board only (5 blocks or more).
  for (MenuAction item : {MenuAction::SyncOptions, MenuAction::BufferMonitor})
    action(item)->setEnabled(st_.sys.NbOfSAMBlocks >= 5);
  update_run_dependent_dimming();
}

void MainWindow::update_run_dependent_dimming() {
  for (QAction* a : dimmed_while_running_) a->setEnabled(!running_);
  action(MenuAction::Stop)->setEnabled(running_);
  // The saving options change the files a run opens: never in the middle of one.
  const bool saving_open = !running_ && !saving_dimmed_by_replay_;
  action(MenuAction::SaveRunToFile)->setEnabled(saving_open);
  action(MenuAction::SaveMeasurements)->setEnabled(saving_open);
  // With remote control on, only the remote client starts runs.
  if (st_.acq.TCPCommandsEnabled == 1) action(MenuAction::Start)->setEnabled(false);
  // A run's data files and the client's stream keep one record format from start to end.
  fft_->setEnabled(!running_ ||
                   (st_.acq.SaveDataInFile != 1 && st_.acq.TransmitRunDataToTcpClient != 1));
  // ...and one record length and sampling period.
  if (horizontal_ != nullptr) horizontal_->set_saving_run(running_ && Saves_OrTransmits(st_));
  // The loop takes the event limit when it starts: a new one is for the next run.
  events_required_->setEnabled(!running_ && st_.acq.RunType == kRunFiniteEvents);
}

void MainWindow::on_run_from_file() {
  const bool on = !replaying(st_);
  const bool was_saving = st_.acq.SaveDataInFile == 1;
  Set_RunFromFile(st_, on ? 1 : 0);
  // Saving stays dimmed while a replay holds the options it switched off.
  saving_dimmed_by_replay_ = on && was_saving;
  // Switching off brings back the settings the replayed file had replaced.
  refresh_all();
}

void MainWindow::on_save_waveforms() {
  AcqParams& a = st_.acq;
  const bool on = !(a.SaveDataInFile == 1 && a.MeasurementsEnabled == 0);
  if (on) {
    a.SaveDataInFile = 1;
    a.MeasurementsEnabled = 0;
    if (replaying(a)) {
      a.RunFromFile = 0;
      Close_FileForLoadingData(st_, st_);
      refresh_annotations();
      Write_InfoMessage(st_, "Running from Data file option is OFF.\n", kInfo);
    }
    Write_InfoMessage(st_, "Saving Data to file option is ON.\n", kInfo);
  } else {
    a.SaveDataInFile = 0;
    Write_InfoMessage(st_, "Saving Data to file option is OFF.\n", kInfo);
  }
  refresh_menu_values();
}

void MainWindow::on_save_waveforms_and_measurements() {
  AcqParams& a = st_.acq;
  const bool on = !(a.SaveDataInFile == 1 && a.MeasurementsEnabled == 1);
  a.SaveDataInFile = on ? 1 : 0;
  a.MeasurementsEnabled = on ? 1 : 0;
  Write_InfoMessage(st_,
                    on ? "Adding Charge and Time option to saved waveforms is ON.\n"
                       : "Adding Charge and Time option to saved waveforms is OFF.\n",
                    kInfo);
  if (on) info_->offer();
  refresh_menu_values();
}

void MainWindow::on_save_measurements() {
  AcqParams& a = st_.acq;
  a.SaveMeasurementsInFile = a.SaveMeasurementsInFile == 1 ? 0 : 1;
  Write_InfoMessage(st_,
                    a.SaveMeasurementsInFile == 1
                        ? "Saving all measurements to file option is ON.\n"
                        : "Saving all measurements to file option is OFF.\n",
                    kInfo);
  if (a.SaveMeasurementsInFile == 1) info_->offer();
  refresh_menu_values();
}

}  // namespace vx::ui
