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
  auto add = [this](QMenu* menu, const QString& name, const QString& label, bool checkable = false,
                    QStyle::StandardPixmap icon = QStyle::SP_CustomBase) {
    QAction* a = menu->addAction(label);
    a->setObjectName(name);
    a->setCheckable(checkable);
    if (icon != QStyle::SP_CustomBase) a->setIcon(style()->standardIcon(icon));
    actions_.insert(name, a);
    return a;
  };
  QMenuBar* bar = menuBar();
  auto menu = [bar](const QString& title) {
    QMenu* m = bar->addMenu(title);
    m->setToolTipsVisible(true);
    return m;
  };

  QMenu* iface = menu("&Interface");
  add(iface, "BOARDCONNECT", "&Board Connect", false, QStyle::SP_DriveNetIcon);
  QMenu* config = menu("&Configuration");
  add(config, "CALIBRATE", "&Calibrate Pedestals");
  add(config, "SAVE_PED_TO_EEPROM", "Save Pedestals to FLASH ");
  add(config, "ENABLEINLCORRECTION", "Enable Time INL correction", true);
  config->addSeparator();
  add(config, "LOADSETUP", "Load Setup from File", false, QStyle::SP_DialogOpenButton);
  add(config, "SAVESETUPINFILE", "Save Setup to File", false, QStyle::SP_DialogSaveButton);
  add(config, "FILEMENU", "Saving Data File Menu");
  QMenu* advanced = config->addMenu("Advanced");
  advanced->setToolTipsVisible(true);
  QMenu* restricted = advanced->addMenu("Restricted Access");
  restricted->setToolTipsVisible(true);
  restricted->setObjectName("RESTRICTED_ACCESS");
  const bool restricted_on = qEnvironmentVariableIsSet("VELTRIX_INL_CALIB_ENABLED");
  restricted->menuAction()->setEnabled(restricted_on);
  if (!restricted_on)
    restricted->menuAction()->setToolTip("Set VELTRIX_INL_CALIB_ENABLED to enable");
  actions_.insert("RESTRICTED_ACCESS", restricted->menuAction());
  add(restricted, "SAM_REG", "&SAM Registers");
  add(restricted, "CALIBSAMDACOFFSET", "Calibrate &SAM DACs Offsets");
  add(restricted, "CALIBTRIGGERDACOFFSET", "Calibrate &Trigger DACs Offsets");
  add(restricted, "INLCALIB", "Calibrate INL");
  add(restricted, "ADVANCED_EEPROM", "Advanced FLASH Access");
  add(restricted, "DEBUG", "Debug");
  add(restricted, "DUMPEEPROMS", "Dump FLASH contents to Files");

  QMenu* run = menu("&Run");
  add(run, "RUNFROMFILE", "Run from File", true);
  QMenu* save = run->addMenu("Save Run to File");
  save->setToolTipsVisible(true);
  actions_.insert("SAVERUNTOFILE", save->menuAction());
  add(save, "SAVEWAVETOFILE", "Save Waveforms Only", true);
  add(save, "ADDALLMEASUREMENTS", "Save Waveforms && Measurements", true);
  add(save, "SAVEALLMEASUREMENTS", "Save Measurements to File", true);
  auto* export_run = new RunExportAction(st_, dialogs_, this);
  run->addAction(export_run->action());
  actions_.insert("EXPORTRUNHDF5", export_run->action());
  run->addSeparator();
  add(run, "EN_START_STOP_CLIENT", "Enable Commands from TCP Client (Start/Stop/Load Setup)", true);
  add(run, "EN_TX_DATA2CLIENT", "Enable Transmit data to TCP Client", true);
  run->addSeparator();
  add(run, "START", "Start", false, QStyle::SP_MediaPlay);
  add(run, "STOP", "Stop", false, QStyle::SP_MediaStop);

  QMenu* graph = menu("&Graph");
  add(graph, "ENABLECURSORS", "Enable Cursors", false, QStyle::SP_DialogYesButton);
  add(graph, "DELETECURSORS", "Delete Cursors", false, QStyle::SP_DialogNoButton);
  add(graph, "ZOOMIN", "Zoom In", false, QStyle::SP_ArrowUp);
  add(graph, "ZOOMOUT", "Zoom Out", false, QStyle::SP_ArrowDown);
  add(graph, "AUTOSCALE", "Auto Scale", false, QStyle::SP_TitleBarMaxButton)
      ->setToolTip("Fits each channel's vertical scale to the event shown");
  add(graph, "PLOT_ALIGN", "Plot Alignement");
  QMenu* firmware = menu("&Firmware");
  add(firmware, "FPGA_VERSION", "Firmware Version");
  QMenu* special = menu("&Special Modes");
  add(special, "PULSERMODE", "Pulser Mode");
  add(special, "CHARGEMODE", "Charge Mode");
  add(special, "BUFFERMONITOR", "Buffer Output Monitor (MON)");
  add(special, "SYNC_OPTIONS", "Advanced Multi-Boards Synchronisation Options");
  QMenu* measurements = menu("&Advanced Measurements");
  add(measurements, "STATISTICS", "Noise Measurements");
  add(measurements, "RATEMEASUREMENTS", "Rate Measurements");
  add(measurements, "MEASUREMENTS", "Time Measurements");
  add(measurements, "PLOTRATEVSTHRESHOLD", "Rate Vs Threshold Measurements");
  QMenu* tcp = menu("&TCP/IP");
  add(tcp, "TCP_SERVER", "TCP/IP Server/Client");
  QMenu* help = menu("&Help");
  add(help, "USER_GUIDE", "Software User's Guide");
  QMenu* exit = menu("&Exit");
  add(exit, "EXIT", "Exit", false, QStyle::SP_DialogCloseButton);

  dimmed_while_running_ = {action("BOARDCONNECT"), action("ENABLEINLCORRECTION"),
                           action("FPGA_VERSION"), action("START"),
                           action("RUNFROMFILE"),  action("LOADSETUP")};
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
  auto mark = [this](const char* name, bool on) { action(name)->setChecked(on); };
  mark("SAVEWAVETOFILE", a.SaveDataInFile == 1 && a.MeasurementsEnabled == 0);
  mark("ADDALLMEASUREMENTS", a.SaveDataInFile == 1 && a.MeasurementsEnabled == 1);
  mark("SAVEALLMEASUREMENTS", a.SaveMeasurementsInFile == 1);
  mark("ENABLEINLCORRECTION", a.INLCorrectionEnabled == 1);
  mark("RUNFROMFILE", replaying(a));
  mark("EN_START_STOP_CLIENT", a.TCPCommandsEnabled == 1);
  mark("EN_TX_DATA2CLIENT", a.TransmitRunDataToTcpClient == 1);
  // Synchronisation and the monitor output exist on the VME board only (5 blocks or more).
  for (const char* name : {"SYNC_OPTIONS", "BUFFERMONITOR"})
    action(name)->setEnabled(st_.sys.NbOfSAMBlocks >= 5);
  update_run_dependent_dimming();
}

void MainWindow::update_run_dependent_dimming() {
  for (QAction* a : dimmed_while_running_) a->setEnabled(!running_);
  action("STOP")->setEnabled(running_);
  // The saving options change the files a run opens: never in the middle of one.
  const bool saving_open = !running_ && !saving_dimmed_by_replay_;
  action("SAVERUNTOFILE")->setEnabled(saving_open);
  action("SAVEALLMEASUREMENTS")->setEnabled(saving_open);
  // With remote control on, only the remote client starts runs.
  if (st_.acq.TCPCommandsEnabled == 1) action("START")->setEnabled(false);
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
      Close_FileForLoadingData(st_);
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
