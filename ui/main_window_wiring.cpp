// The main window's signal wiring: what each menu item and MAIN-page control does.
#include "ui/main_window.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QSpinBox>

#include "acquisition/acquisition_controls.h"
#include "acquisition/run_control.h"
#include "app/about.h"
#include "app/message_log.h"
#include "app/user_path.h"
#include "digitizer/board_configuration.h"
#include "digitizer/board_connection.h"
#include "files/setup_file.h"
#include "remote/tcp_interface.h"
#include "ui/access_panel.h"
#include "ui/dialogs.h"
#include "ui/led.h"
#include "ui/main_graph_view.h"
#include "ui/main_window_changes.h"
#include "ui/user_guide.h"
#include "ui/widgets/settings_panel.h"

namespace vx::ui {

void MainWindow::connect_controls() {
  connect(action(MenuAction::BoardConnect), &QAction::triggered, this,
          &MainWindow::connection_panel_requested);
  connect(action(MenuAction::InlCorrection), &QAction::triggered, this, [this](bool on) {
    Set_InlCorrection(st_, on);
    refresh_menu_values();
  });
  connect(action(MenuAction::LoadSetup), &QAction::triggered, this, [this] {
    // The load replaces the records a running loop reads: the run stops for it and goes on
    // with the setup loaded, as for any settings change.
    with_restart([this] {
      if (Load_SetupFromFile(st_, "", 1) == -1)
        Write_InfoMessage(
            st_, "A problem occured during the readout of setup values from the file !\n", kError);
    });
    refresh_all();
  });
  connect(action(MenuAction::SaveSetup), &QAction::triggered, this,
          [this] { Save_SetupInFile(st_, st_); });
  connect(action(MenuAction::RunFromFile), &QAction::triggered, this,
          &MainWindow::on_run_from_file);
  connect(action(MenuAction::SaveWaveforms), &QAction::triggered, this,
          &MainWindow::on_save_waveforms);
  connect(action(MenuAction::SaveWaveformsAndMeasurements), &QAction::triggered, this,
          &MainWindow::on_save_waveforms_and_measurements);
  connect(action(MenuAction::SaveMeasurements), &QAction::triggered, this,
          &MainWindow::on_save_measurements);
  connect(action(MenuAction::ClientCommands), &QAction::triggered, this, [this] {
    Set_TCPCommandsEnabled(st_, st_, st_.acq.TCPCommandsEnabled != 1);
    refresh_menu_values();
  });
  connect(action(MenuAction::TransmitToClient), &QAction::triggered, this, [this] {
    Set_TransmitRunDataToTcpClient(st_, st_, st_.acq.TransmitRunDataToTcpClient != 1);
    refresh_menu_values();
    refresh_main_tab();
  });
  connect(action(MenuAction::TcpServer), &QAction::triggered, this,
          &MainWindow::tcp_panel_requested);
  connect(action(MenuAction::WebMonitor), &QAction::triggered, this,
          &MainWindow::web_panel_requested);
  // The version, the copyright and the licence, with its link and the absence of warranty.
  connect(action(MenuAction::About), &QAction::triggered, this, [this] {
    dialogs_.popup(PopupKind::Information, "About Veltrix",
                   QString("Veltrix %1\nAcquisition and display for x743 digitizers.\n\n%2\n%3\n%4")
                       .arg(kSoftwareVersion, kCopyright, kLicenceSummary, kLicenceTerms));
  });
  connect(action(MenuAction::Start), &QAction::triggered, this, &MainWindow::start_run);
  connect(action(MenuAction::Stop), &QAction::triggered, this, &MainWindow::stop_and_wait);
  connect(action(MenuAction::EnableCursors), &QAction::triggered, this, [this] {
    graph_->set_cursors_visible(true);
    refresh_cursor_readout();
    action(MenuAction::ZoomIn)->setEnabled(true);
    graph_->replot();
  });
  connect(action(MenuAction::DeleteCursors), &QAction::triggered, this, [this] {
    graph_->set_cursors_visible(false);
    action(MenuAction::ZoomIn)->setEnabled(false);
    graph_->replot();
  });
  connect(action(MenuAction::ZoomIn), &QAction::triggered, this, [this] {
    graph_->zoom_on_cursors(zoom_label_factor());
    refresh_cursor_readout();
    refresh_annotations();
    graph_->replot();
  });
  connect(action(MenuAction::ZoomOut), &QAction::triggered, this, [this] {
    graph_->set_zoomed(false);
    change_display([] {});
    refresh_cursor_readout();
  });
  connect(action(MenuAction::AutoScale), &QAction::triggered, this,
          [this] { change_display([this] { Auto_VerticalScale(st_, st_, front_); }); });
  connect(action(MenuAction::FirmwareVersion), &QAction::triggered, this, [this] {
    Read_MotherBoardFPGAVersion(st_);
    Read_FPGAVersion(st_, 0);
  });
  connect(action(MenuAction::Exit), &QAction::triggered, this, &MainWindow::exit_program);
  connect(action(MenuAction::UserGuide), &QAction::triggered, this,
          [this] { open_user_guide(dialogs_, executable_directory()); });
  const std::pair<MenuAction, const char*> shown[] = {{MenuAction::PulserMode, "PANEL_PM"},
                                                      {MenuAction::BufferMonitor, "P_MONITOR"},
                                                      {MenuAction::SyncOptions, "PANEL_SYNC"}};
  for (const auto& [item, panel] : shown) {
    connect(action(item), &QAction::triggered, this, [this, name = panel] {
      auto* w = findChild<SettingsPanel*>(name);
      w->refresh();
      w->show();
      w->raise();
    });
  }
  const std::pair<MenuAction, Panel> gated[] = {
      {MenuAction::AdvancedFlash, Panel::Eeprom},
      {MenuAction::SamRegisters, Panel::SlowControl},
      {MenuAction::Debug, Panel::Debug},
      {MenuAction::InlCalibration, Panel::InlCalibration}};
  for (const auto& [item, panel] : gated)
    connect(action(item), &QAction::triggered, this, [this, p = panel] { access_->request(p); });

  // DISPLAY group.
  connect(display_on_, &QCheckBox::clicked, this,
          [this](bool on) { st_.DisplayOn().store(on ? 1 : 0); });
  for (int ch = 0; ch < kMaxChannels; ++ch)
    connect(ch_leds_[ch], &Led::clicked, this, [this, ch](bool on) { on_channel_led(ch, on); });
  connect(all_channels_, &QCheckBox::clicked, this, [this] {
    // A click never leaves the mixed state: it switches everything on, or off when all were on.
    const int state = all_channels_state(st_) == 1 ? 0 : 1;
    on_all_channels(state);
  });
  connect(fft_, &QCheckBox::clicked, this, [this](bool on) {
    change_display([&] {
      st_.FFTMode().store(on ? 1 : 0);
      st_.gui.GraphMode = on ? kGraphFft : kGraphWaveforms;
      graph_->clear_curves();
      shown_mode_ = -1;
    });
  });
  connect(averaging_, &QCheckBox::clicked, this, [this](bool on) {
    st_.acq.AveragingDataOn = on ? 1 : 0;
    refresh_annotations();
  });
  connect(persist_, &QCheckBox::clicked, this, [this](bool on) {
    change_display([&] { st_.gui.DisplayOption = on ? 1 : 0; });
    graph_->set_persistence(on);
    const QSignalBlocker block(data_mode_);
    data_mode_->setCurrentIndex(on ? 1 : 0);
    data_mode_->setEnabled(!on);
  });
  connect(data_mode_, &QComboBox::activated, this, [this](int mode) {
    if (mode == 0 && st_.gui.DisplayOption == 1 && st_.acq.NbOfEventsRequired == 0)
      dialogs_.popup(PopupKind::Warning, "WARNING!",
                     "Warning : RETAIN mode permits zooming on the graph BUT Graph Data is "
                     "continously saved into "
                     "memory!\n Better run with a FINITE number of events!\n");
  });
  connect(modulo_, &QSpinBox::valueChanged, this, [this](int v) { st_.DisplayModulo().store(v); });
  connect(max_events_blt_, &QSpinBox::valueChanged, this,
          [this](int v) { with_restart([&] { Set_MaxNumEventsBLT(st_, v); }); });

  // RUN group.
  connect(run_type_, &QComboBox::activated, this, &MainWindow::on_run_type);
  connect(events_required_, &QSpinBox::valueChanged, this,
          [this](int v) { Set_NbOfEventsRequired(st_, v); });
  for (auto* d : duration_) connect(d, &QSpinBox::valueChanged, this, [this] { on_duration(); });
}

}  // namespace vx::ui
