// The main window put together: its parts built and joined, its panels, and the program's exit.
#include "ui/main_window.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QScreen>
#include <QSplitter>
#include <QTabWidget>
#include <QTimer>

#include "acquisition/run_control.h"
#include "app/lifecycle.h"
#include "calibration/stored_calibrations.h"
#include "digitizer/board_connection.h"
#include "digitizer/register_access.h"
#include "eeprom/eeprom_dump.h"
#include "ui/access_panel.h"
#include "ui/calibration_menu.h"
#include "ui/dialogs.h"
#include "ui/info_panel.h"
#include "ui/main_window_changes.h"
#include "ui/panels/alignment_panel.h"
#include "ui/panels/charge_histo_panel.h"
#include "ui/panels/charge_panel.h"
#include "ui/panels/debug_panel.h"
#include "ui/panels/eeprom_panel.h"
#include "ui/panels/file_menu_panel.h"
#include "ui/panels/help_panel.h"
#include "ui/panels/horizontal_page.h"
#include "ui/panels/inl_panel.h"
#include "ui/panels/monitor_panel.h"
#include "ui/panels/noise_panel.h"
#include "ui/panels/pulser_panel.h"
#include "ui/panels/rate_panel.h"
#include "ui/panels/rate_scan_panel.h"
#include "ui/panels/slow_control_panel.h"
#include "ui/panels/sync_panel.h"
#include "ui/panels/trigger_page.h"
#include "ui/panels/vertical_page.h"

namespace vx::ui {

MainWindow::MainWindow(State& st, Dialogs& dialogs, QWidget* parent)
    : QMainWindow(parent), st_(st), dialogs_(dialogs), display_params_(st.gui) {
  setObjectName("MAINPANEL");
  build_menus();
  build_toolbars();

  auto* split = new QSplitter(Qt::Vertical);
  auto* top = new QSplitter(Qt::Horizontal);
  top->addWidget(build_graph_area());
  general_tab_ = new QTabWidget;
  general_tab_->setObjectName("GENERALTAB");
  general_tab_->addTab(build_main_page(), "MAIN");
  build_settings_panels();
  top->addWidget(general_tab_);
  top->setStretchFactor(0, 1);
  top->setStretchFactor(1, 0);
  split->addWidget(top);
  split->addWidget(build_messages());
  split->setStretchFactor(0, 4);
  split->setStretchFactor(1, 1);
  setCentralWidget(split);
  fit_to_screen(screen()->availableGeometry());

  access_ = new AccessPanel(dialogs_, this);
  info_ = new InfoPanel(this);
  eeprom_ = new EepromPanel(st_, this);
  inl_ = new InlPanel(st_, this);
  rates_ = new RatePanel(st_, this);
  rate_scan_ = new RateScanPanel(st_, this);
  build_charge_noise_panels();
  file_menu_ = new FileMenuPanel(st_, this);
  help_ = new HelpPanel(this);
  qApp->installEventFilter(this);
  connect(action(MenuAction::FileMenu), &QAction::triggered, file_menu_, [this] {
    file_menu_->show();
    file_menu_->raise();
  });
  for (const auto& [item, panel] :
       {std::pair<MenuAction, QWidget*>{MenuAction::RateMeasurements, rates_},
        {MenuAction::RateVsThreshold, rate_scan_}}) {
    connect(action(item), &QAction::triggered, panel, [panel] {
      panel->show();
      panel->raise();
    });
  }
  connect(action(MenuAction::SavePedestalsToFlash), &QAction::triggered, this,
          [this] { Run_SavePedestalsToFlash(st_, st_, st_); });
  connect(action(MenuAction::DumpFlash), &QAction::triggered, this,
          [this] { Dump_EEPROM_To_File(st_, st_, st_, -1); });
  connect(access_, &AccessPanel::granted, this, [this](Panel panel) {
    if (panel == Panel::Eeprom) return eeprom_->open();
    if (panel == Panel::InlCalibration) {
      inl_->refresh();
      return inl_->show();
    }
    // The access panel grants nothing else than these four.
    auto* w = findChild<SettingsPanel*>(panel == Panel::SlowControl ? "PANEL_SC" : "PANEL_DEB");
    w->refresh();
    w->show();
    w->raise();
  });

  redraw_timer_ = new QTimer(this);
  redraw_timer_->setSingleShot(true);
  connect(redraw_timer_, &QTimer::timeout, this, &MainWindow::redraw_now);
  since_replot_.start();
  connect_controls();
  calibration_menu_ = new CalibrationMenu(st_, action(MenuAction::CalibratePedestals),
                                          action(MenuAction::CalibrateSamDacs),
                                          action(MenuAction::CalibrateTriggerDacs), this);

  // Initial menu state: zoom needs the cursors; restricted access needs the variable.
  action(MenuAction::ZoomIn)->setEnabled(false);
  refresh_menu_values();
}

MainWindow::~MainWindow() = default;

void MainWindow::build_settings_panels() {
  auto* vertical = new VerticalPage(st_);
  auto* horizontal = horizontal_ = new HorizontalPage(st_);
  auto* trigger = new TriggerPage(st_);
  general_tab_->addTab(vertical, "VERTICAL");
  general_tab_->addTab(horizontal, "HORIZONTAL/ACQ");
  general_tab_->addTab(trigger, "TRIGGER");
  auto redraw = [this] { change_display([] {}); };
  connect(vertical, &VerticalPage::display_changed, this, redraw);
  connect(horizontal, &HorizontalPage::display_changed, this, redraw);
  connect(trigger, &TriggerPage::display_changed, this, redraw);
  settings_panels_ = {vertical,
                      horizontal,
                      trigger,
                      new PulserPanel(st_, this),
                      new MonitorPanel(st_, this),
                      new DebugPanel(st_, this),
                      new SyncPanel(st_, this),
                      new SlowControlPanel(st_, this)};
  for (SettingsPanel* p : settings_panels_)
    p->set_display_guard([this](const std::function<void()>& f) { change_display(f); });
}

void MainWindow::build_charge_noise_panels() {
  charge_ = new ChargePanel(st_, graph_, this);
  charge_histo_ = new ChargeHistoPanel(st_, this);
  noise_ = new NoisePanel(st_, this);
  alignment_ = new AlignmentPanel(st_, this);
  for (SettingsPanel* p :
       std::initializer_list<SettingsPanel*>{charge_, charge_histo_, alignment_}) {
    settings_panels_.append(p);
    p->set_display_guard([this](const std::function<void()>& f) { change_display(f); });
  }
  auto show = [](QWidget* panel) {
    panel->show();
    panel->raise();
  };
  connect(action(MenuAction::ChargeMode), &QAction::triggered, this, [this, show] {
    charge_->refresh();
    show(charge_);
  });
  connect(action(MenuAction::PlotAlignment), &QAction::triggered, this, [this, show] {
    alignment_->refresh();
    show(alignment_);
  });
  connect(action(MenuAction::NoiseMeasurements), &QAction::triggered, this, [this, show] {
    noise_->refresh();
    show(noise_);
  });
  connect(charge_, &ChargePanel::histogram_requested, charge_histo_, &ChargeHistoPanel::open);
  connect(charge_, &ChargePanel::cursors_wanted, this, [this](bool on) {
    action(on ? MenuAction::EnableCursors : MenuAction::DeleteCursors)->trigger();
  });
  connect(alignment_, &AlignmentPanel::averaging_locked, this, [this](bool locked) {
    if (locked) averaging_->setChecked(false);
    averaging_->setEnabled(!locked);
  });
}

void MainWindow::refresh_settings_panels() {
  for (SettingsPanel* p : settings_panels_) p->refresh();
}

void MainWindow::fit_to_screen(const QRect& available) {
  // Room for the frame and title bar that the window system adds around the window.
  constexpr int kFrameWidth = 16, kFrameHeight = 40;
  const QSize useful(1500, 900);
  resize(std::min(useful.width(), available.width() - kFrameWidth),
         std::min(useful.height(), available.height() - kFrameHeight));
}

void MainWindow::refresh_all() {
  refresh_main_tab();
  refresh_settings_panels();
  refresh_menu_values();
  refresh_channel_leds();
  setWindowTitle(QString::fromStdString(main_window_title(st_.sys)));
}

void MainWindow::start_run() {
  if (st_.AcquisitionRunning.load() == 1) return;
  Start_AcquisitionFromUser(st_);
}

void MainWindow::stop_and_wait() {
  Stop_AcquisitionFromUser(st_);
}

void MainWindow::exit_program() {
  stop_and_wait();
  if (st_.Board_Connected.load() == 1) {
    Close_Device(st_);
    st_.Board_Connected = 0;
  }
  emit quit_requested();
}

void MainWindow::show_help_message(const QString& text) {
  help_->show_message(text);
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
  // A click anywhere in the main window, whichever control takes it, hides the help.
  if (event->type() == QEvent::MouseButtonPress && help_->isVisible()) {
    auto* w = qobject_cast<QWidget*>(watched);
    if (w != nullptr && w->window() == this) help_->hide();
  }
  return QMainWindow::eventFilter(watched, event);
}

void MainWindow::closeEvent(QCloseEvent* event) {
  event->accept();
  exit_program();
}

}  // namespace vx::ui
