#include "ui/main_window.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QFontMetrics>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QScreen>
#include <QSpinBox>
#include <QSplitter>
#include <QStyle>
#include <QTabWidget>
#include <QTimer>
#include <QToolBar>

#include "acquisition/run_control.h"
#include "app/lifecycle.h"
#include "app/message_log.h"
#include "app/record_loan.h"
#include "app/timer_tick.h"
#include "app/user_path.h"
#include "calibration/stored_calibrations.h"
#include "digitizer/board_configuration.h"
#include "digitizer/board_connection.h"
#include "digitizer/register_access.h"
#include "eeprom/calibration_tables.h"
#include "eeprom/eeprom_dump.h"
#include "eeprom/eeprom_info.h"
#include "files/data_file_reader.h"
#include "files/setup_file.h"
#include "remote/tcp_interface.h"
#include "ui/access_panel.h"
#include "ui/calibration_menu.h"
#include "ui/dialogs.h"
#include "ui/info_panel.h"
#include "ui/led.h"
#include "ui/main_graph_view.h"
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
#include "ui/run_export_action.h"
#include "ui/user_guide.h"
#include "ui/widgets/follow_end.h"

namespace vx::ui {

namespace {

constexpr int kFrameIntervalMs = static_cast<int>(kFrameIntervalSeconds * 1000);

QLineEdit* readout(int width) {
  auto* e = new QLineEdit;
  e->setReadOnly(true);
  e->setFocusPolicy(Qt::NoFocus);
  e->setAlignment(Qt::AlignRight);
  e->setMinimumWidth(width);
  return e;
}

QSpinBox* spin(int lo, int hi, int width = 56) {
  auto* s = new QSpinBox;
  s->setRange(lo, hi);
  s->setMinimumWidth(width);
  s->setKeyboardTracking(false);
  return s;
}

QString legend_style(Rgb c) {
  return QString("color: rgb(%1,%2,%3); background: transparent; font: bold 8pt;")
      .arg(c.r)
      .arg(c.g)
      .arg(c.b);
}

}  // namespace

MainWindow::MainWindow(State& st, Dialogs& dialogs, QWidget* parent)
    : QMainWindow(parent), st_(st), dialogs_(dialogs) {
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
  connect(action("FILEMENU"), &QAction::triggered, file_menu_, [this] {
    file_menu_->show();
    file_menu_->raise();
  });
  for (const auto& [name, panel] : {std::pair<const char*, QWidget*>{"RATEMEASUREMENTS", rates_},
                                    {"PLOTRATEVSTHRESHOLD", rate_scan_}}) {
    connect(action(name), &QAction::triggered, panel, [panel] {
      panel->show();
      panel->raise();
    });
  }
  connect(action("SAVE_PED_TO_EEPROM"), &QAction::triggered, this,
          [this] { Run_SavePedestalsToFlash(st_); });
  connect(action("DUMPEEPROMS"), &QAction::triggered, this,
          [this] { Dump_EEPROM_To_File(st_, -1); });
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
  calibration_menu_ = new CalibrationMenu(st_, action("CALIBRATE"), action("CALIBSAMDACOFFSET"),
                                          action("CALIBTRIGGERDACOFFSET"), this);

  // Initial menu state: zoom needs the cursors; restricted access needs the variable.
  action("ZOOMIN")->setEnabled(false);
  refresh_menu_values();
}

MainWindow::~MainWindow() = default;

void MainWindow::build_settings_panels() {
  auto* vertical = new VerticalPage(st_);
  auto* horizontal = new HorizontalPage(st_);
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
  connect(action("CHARGEMODE"), &QAction::triggered, this, [this, show] {
    charge_->refresh();
    show(charge_);
  });
  connect(action("PLOT_ALIGN"), &QAction::triggered, this, [this, show] {
    alignment_->refresh();
    show(alignment_);
  });
  connect(action("STATISTICS"), &QAction::triggered, this, [this, show] {
    noise_->refresh();
    show(noise_);
  });
  connect(charge_, &ChargePanel::histogram_requested, charge_histo_, &ChargeHistoPanel::open);
  connect(charge_, &ChargePanel::cursors_wanted, this,
          [this](bool on) { action(on ? "ENABLECURSORS" : "DELETECURSORS")->trigger(); });
  connect(alignment_, &AlignmentPanel::averaging_locked, this, [this](bool locked) {
    if (locked) averaging_->setChecked(false);
    averaging_->setEnabled(!locked);
  });
}

void MainWindow::refresh_settings_panels() {
  for (SettingsPanel* p : settings_panels_) p->refresh();
}

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

void MainWindow::fit_to_screen(const QRect& available) {
  // Room for the frame and title bar that the window system adds around the window.
  constexpr int kFrameWidth = 16, kFrameHeight = 40;
  const QSize useful(1500, 900);
  resize(std::min(useful.width(), available.width() - kFrameWidth),
         std::min(useful.height(), available.height() - kFrameHeight));
}

QList<QToolBar*> MainWindow::toolbars() const {
  return findChildren<QToolBar*>();
}

QWidget* MainWindow::build_graph_area() {
  auto* area = new QWidget;
  area->setStyleSheet("background: rgb(12,12,16);");
  auto* v = new QVBoxLayout(area);
  v->setContentsMargins(2, 2, 2, 2);
  v->setSpacing(2);
  graph_ = new MainGraphView;
  graph_->setObjectName("GRAPH");
  graph_->setMinimumSize(700, 420);
  v->addWidget(graph_, 1);
  auto* grid = new QGridLayout;
  grid->setHorizontalSpacing(8);
  grid->setVerticalSpacing(0);
  // As wide as a waveform legend at the usual scales, whatever the mode shows: a legend that
  // changes with the mode (FFT in dB, waveforms in mV/Div) then never moves the graph and the
  // MAIN page beside it.
  QFont legend_font = font();
  legend_font.setBold(true);
  legend_font.setPointSize(8);
  const int legend_width = QFontMetrics(legend_font).horizontalAdvance("Ch15:500 mV/Div");
  for (int ch = 0; ch < kMaxChannels; ++ch) {
    legends_[ch] = new QLabel(QString("ch%1: x.xx V/Div").arg(ch));
    legends_[ch]->setObjectName(QString("CH%1LEGENDTEXT").arg(ch));
    legends_[ch]->setStyleSheet(legend_style(channel_colour(ch)));
    legends_[ch]->setMinimumWidth(legend_width);
    grid->addWidget(legends_[ch], ch / 8, ch % 8);
  }
  v->addLayout(grid);
  connect(graph_, &MainGraphView::cursors_moved, this, &MainWindow::refresh_cursor_readout);
  return area;
}

QWidget* MainWindow::build_display_group() {
  auto* box = new QGroupBox("DISPLAY");
  auto* g = new QGridLayout(box);
  g->setVerticalSpacing(3);  // the MAIN page fits the height of a small screen
  display_on_ = new QCheckBox("Display ON");
  display_on_->setObjectName("DISPLAYONOFF");
  g->addWidget(display_on_, 0, 0, 1, 3);
  auto* leds = new QGridLayout;
  leds->setHorizontalSpacing(4);
  leds->setVerticalSpacing(1);
  for (int ch = 0; ch < kMaxChannels; ++ch) {
    ch_leds_[ch] = new Led(to_qcolor(channel_colour(ch)));
    ch_leds_[ch]->setObjectName(QString("CH%1LED").arg(ch));
    ch_leds_[ch]->setToolTip(QString("Channel %1 on/off").arg(ch));
    ch_labels_[ch] = new QLabel(QString::number(ch));
    ch_labels_[ch]->setAlignment(Qt::AlignCenter);
    leds->addWidget(ch_leds_[ch], (ch / 8) * 2, ch % 8, Qt::AlignCenter);
    leds->addWidget(ch_labels_[ch], (ch / 8) * 2 + 1, ch % 8, Qt::AlignCenter);
  }
  g->addLayout(leds, 1, 0, 1, 3);
  all_channels_ = new QCheckBox("All Channels");
  all_channels_->setObjectName("ALLCHANNELS");
  all_channels_->setTristate(true);
  g->addWidget(all_channels_, 2, 0);
  persist_ = new QCheckBox("Persistence");
  persist_->setObjectName("PERSIST");
  g->addWidget(persist_, 2, 1);
  averaging_ = new QCheckBox("Averaging");
  averaging_->setObjectName("AVERAGINGDATA");
  g->addWidget(averaging_, 3, 0);
  fft_ = new QCheckBox("FFT");
  fft_->setObjectName("FFTONOFF");
  g->addWidget(fft_, 3, 1);
  g->addWidget(new QLabel("Graph Data"), 4, 0);
  data_mode_ = new QComboBox;
  data_mode_->setObjectName("DATAMODE");
  data_mode_->addItems({"Retain", "Discard"});
  g->addWidget(data_mode_, 4, 1);
  g->addWidget(new QLabel("Display 1 event (modulo"), 5, 0);
  modulo_ = spin(1, 1024);
  modulo_->setObjectName("MODULOEVENTS");
  modulo_->setSuffix(")");
  g->addWidget(modulo_, 5, 1);
  g->addWidget(new QLabel("Events per readout (1 to1024)"), 6, 0);
  max_events_blt_ = spin(1, 1024);
  max_events_blt_->setObjectName("MAX_NUM_EVT_PER_BLOCK");
  g->addWidget(max_events_blt_, 6, 1);
  g->addWidget(new QLabel("Event Time"), 7, 0);
  event_time_ = readout(170);
  event_time_->setObjectName("EVENTTIME");
  event_time_->setAlignment(Qt::AlignLeft);
  g->addWidget(event_time_, 7, 1, 1, 2);
  return box;
}

QWidget* MainWindow::build_run_group() {
  auto* box = new QGroupBox("RUN");
  auto* g = new QGridLayout(box);
  g->setVerticalSpacing(3);
  run_type_ = new QComboBox;
  run_type_->setObjectName("RUNTYPE");
  run_type_->addItems({"Single Event", "Finite Event Number", "Finite Time", "Continuous"});
  g->addWidget(new QLabel("Run Type"), 0, 0);
  g->addWidget(run_type_, 0, 1, 1, 4);
  g->addWidget(new QLabel("Events Required"), 1, 0);
  events_required_ = spin(0, kUnlimitedEvents, 90);
  events_required_->setObjectName("EVENTSREQUIRED");
  g->addWidget(events_required_, 1, 1, 1, 2);

  const char* units[4] = {"Days", "Hours", "Min", "Sec"};
  const char* req[4] = {"DAYSREQUIRED", "HOURSREQUIRED", "MINUTESREQUIRED", "SECONDSREQUIRED"};
  const char* ela[4] = {"DAYSELAPSED", "HOURSELAPSED", "MINUTESELAPSED", "SECONDSELAPSED"};
  const int max[4] = {365, 23, 59, 59};
  for (int i = 0; i < 4; ++i) {
    auto* u = new QLabel(units[i]);
    u->setAlignment(Qt::AlignCenter);
    g->addWidget(u, 2, 1 + i);
  }
  g->addWidget(new QLabel("Required Duration:"), 3, 0);
  g->addWidget(new QLabel("Elapsed Time:"), 4, 0);
  for (int i = 0; i < 4; ++i) {
    duration_[i] = spin(0, max[i], 44);
    duration_[i]->setObjectName(req[i]);
    g->addWidget(duration_[i], 3, 1 + i);
    elapsed_[i] = readout(44);
    elapsed_[i]->setObjectName(ela[i]);
    elapsed_[i]->setText("0");
    g->addWidget(elapsed_[i], 4, 1 + i);
  }
  g->addWidget(new QLabel("Event Number"), 5, 0);
  event_number_ = readout(90);
  event_number_->setObjectName("EVENTNUMBER");
  event_number_->setText("0");
  g->addWidget(event_number_, 5, 1, 1, 2);
  g->addWidget(new QLabel("Events/s"), 6, 0);
  rate_ = readout(90);
  rate_->setObjectName("EVENTSPERSECOND");
  g->addWidget(rate_, 6, 1, 1, 2);
  auto* run_light = new QHBoxLayout;
  running_led_ = new Led(QColor(0, 230, 0));
  running_led_->setObjectName("RUNNINGLED");
  running_led_->setAttribute(Qt::WA_TransparentForMouseEvents);
  run_light->addWidget(running_led_);
  run_light->addWidget(new QLabel("Running"));
  run_light->addStretch(1);
  g->addLayout(run_light, 5, 3, 1, 2);
  auto* tx_light = new QHBoxLayout;
  tx_led_ = new Led(QColor(255, 170, 0));
  tx_led_->setObjectName("TX_DATA_TO_CLIENT_LED");
  tx_led_->setAttribute(Qt::WA_TransparentForMouseEvents);
  tx_led_->setToolTip("Lit while run data go out to the TCP client");
  tx_light->addWidget(tx_led_);
  tx_light->addWidget(new QLabel("TX to client"));
  tx_light->addStretch(1);
  g->addLayout(tx_light, 6, 3, 1, 2);
  return box;
}

QWidget* MainWindow::build_main_page() {
  auto* page = new QWidget;
  auto* v = new QVBoxLayout(page);
  v->addWidget(build_display_group());
  v->addWidget(build_run_group());
  v->addStretch(1);
  return page;
}

QWidget* MainWindow::build_messages() {
  auto* tabs = new QTabWidget;
  tabs->setObjectName("MESSAGESTAB");
  const char* names[3] = {"Infos", "Warnings", "Errors"};
  const char* boxes[3] = {"MESSAGESTEXTBOX", "WARNINGSTEXTBOX", "ERRORSTEXTBOX"};
  for (int i = 0; i < 3; ++i) {
    messages_[i] = new QPlainTextEdit;
    messages_[i]->setObjectName(boxes[i]);
    messages_[i]->setReadOnly(true);
    messages_[i]->setMaximumBlockCount(5000);
    messages_[i]->setMinimumHeight(48);  // three lines: room for the graph on a small screen
    messages_[i]->setFont(QFont("Monospace", 9));
    follow_end(messages_[i]);
    tabs->addTab(messages_[i], names[i]);
  }
  return tabs;
}

template <typename F>
void MainWindow::change_display(F change) {
  {
    std::lock_guard lock(params_mutex_);
    change();
    Compute_MainGraphParameters(st_);
  }
  refresh_graph_scaling();
  refresh_annotations();
  redraw_now();
}

template <typename F>
void MainWindow::with_restart(F change) {
  const bool was_running = RestartGuard::begin(st_);
  stop_and_wait();
  RestartGuard restart(st_, was_running);
  change();
}

void MainWindow::connect_controls() {
  connect(action("BOARDCONNECT"), &QAction::triggered, this,
          &MainWindow::connection_panel_requested);
  connect(action("ENABLEINLCORRECTION"), &QAction::triggered, this, [this](bool on) {
    st_.acq.INLCorrectionEnabled = on ? 1 : 0;
    Set_SAMCorrectionLevel(st_);
  });
  connect(action("LOADSETUP"), &QAction::triggered, this, [this] {
    if (Load_SetupFromFile(st_, "", 1) == -1)
      Write_InfoMessage(
          st_, "A problem occured during the readout of setup values from the file !\n", kError);
    refresh_all();
  });
  connect(action("SAVESETUPINFILE"), &QAction::triggered, this, [this] { Save_SetupInFile(st_); });
  connect(action("RUNFROMFILE"), &QAction::triggered, this, &MainWindow::on_run_from_file);
  connect(action("SAVEWAVETOFILE"), &QAction::triggered, this, &MainWindow::on_save_waveforms);
  connect(action("ADDALLMEASUREMENTS"), &QAction::triggered, this,
          &MainWindow::on_save_waveforms_and_measurements);
  connect(action("SAVEALLMEASUREMENTS"), &QAction::triggered, this,
          &MainWindow::on_save_measurements);
  connect(action("EN_START_STOP_CLIENT"), &QAction::triggered, this, [this] {
    Set_TCPCommandsEnabled(st_, st_.acq.TCPCommandsEnabled != 1);
    refresh_menu_values();
  });
  connect(action("EN_TX_DATA2CLIENT"), &QAction::triggered, this, [this] {
    Set_TransmitRunDataToTcpClient(st_, st_.acq.TransmitRunDataToTcpClient != 1);
    refresh_menu_values();
    refresh_main_tab();
  });
  connect(action("TCP_SERVER"), &QAction::triggered, this, &MainWindow::tcp_panel_requested);
  connect(action("START"), &QAction::triggered, this, &MainWindow::start_run);
  connect(action("STOP"), &QAction::triggered, this, &MainWindow::stop_and_wait);
  connect(action("ENABLECURSORS"), &QAction::triggered, this, [this] {
    graph_->set_cursors_visible(true);
    refresh_cursor_readout();
    action("ZOOMIN")->setEnabled(true);
    graph_->replot();
  });
  connect(action("DELETECURSORS"), &QAction::triggered, this, [this] {
    graph_->set_cursors_visible(false);
    action("ZOOMIN")->setEnabled(false);
    graph_->replot();
  });
  connect(action("ZOOMIN"), &QAction::triggered, this, [this] {
    graph_->zoom_on_cursors(zoom_label_factor());
    refresh_cursor_readout();
    refresh_annotations();
    graph_->replot();
  });
  connect(action("ZOOMOUT"), &QAction::triggered, this, [this] {
    graph_->set_zoomed(false);
    change_display([] {});
    refresh_cursor_readout();
  });
  connect(action("FPGA_VERSION"), &QAction::triggered, this, [this] {
    Read_MotherBoardFPGAVersion(st_);
    Read_FPGAVersion(st_, 0);
  });
  connect(action("EXIT"), &QAction::triggered, this, &MainWindow::exit_program);
  connect(action("USER_GUIDE"), &QAction::triggered, this,
          [this] { open_user_guide(dialogs_, executable_directory()); });
  const std::pair<const char*, const char*> shown[] = {
      {"PULSERMODE", "PANEL_PM"}, {"BUFFERMONITOR", "P_MONITOR"}, {"SYNC_OPTIONS", "PANEL_SYNC"}};
  for (const auto& [item, panel] : shown) {
    connect(action(item), &QAction::triggered, this, [this, name = panel] {
      auto* w = findChild<SettingsPanel*>(name);
      w->refresh();
      w->show();
      w->raise();
    });
  }
  const std::pair<const char*, Panel> gated[] = {{"ADVANCED_EEPROM", Panel::Eeprom},
                                                 {"SAM_REG", Panel::SlowControl},
                                                 {"DEBUG", Panel::Debug},
                                                 {"INLCALIB", Panel::InlCalibration}};
  for (const auto& [name, panel] : gated)
    connect(action(name), &QAction::triggered, this, [this, p = panel] { access_->request(p); });

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

void MainWindow::on_run_from_file() {
  const bool on = st_.acq.RunFromFile != 1;
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
    if (a.RunFromFile == 1) {
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

void MainWindow::start_run() {
  if (st_.AcquisitionRunning.load() == 1) return;
  Start_AcquisitionFromUser(st_);
}

void MainWindow::stop_and_wait() {
  Stop_AcquisitionAndWait(st_);
}

void MainWindow::on_channel_led(int ch, bool on) {
  with_restart([&] {
    {
      std::lock_guard lock(params_mutex_);
      st_.gui.ChannelEnabled[ch] = on ? 1 : 0;
    }
    Set_EnabledSAMBlocks(st_);
  });
  refresh_channel_leds();
  redraw_now();
}

void MainWindow::on_all_channels(int state) {
  with_restart([&] {
    {
      std::lock_guard lock(params_mutex_);
      for (int ch = 0; ch < shown_channels(st_); ++ch) st_.gui.ChannelEnabled[ch] = state & 1;
    }
    Set_EnabledSAMBlocks(st_);
  });
  refresh_channel_leds();
  redraw_now();
}

void MainWindow::on_run_type(int type) {
  const bool was_running = RestartGuard::begin(st_);
  stop_and_wait();
  RestartGuard restart(st_, was_running);
  Set_RunType(st_, type, events_required_->value());
  refresh_main_tab();
}

void MainWindow::on_duration() {
  const bool was_running = RestartGuard::begin(st_);
  stop_and_wait();
  RestartGuard restart(st_, was_running);
  Set_RunDuration(st_, duration_[0]->value(), duration_[1]->value(), duration_[2]->value(),
                  duration_[3]->value());
}

void MainWindow::refresh_all() {
  refresh_main_tab();
  refresh_settings_panels();
  refresh_menu_values();
  refresh_channel_leds();
  setWindowTitle(QString::fromStdString(main_window_title(st_.sys)));
}

void MainWindow::refresh_main_tab() {
  const AcqParams& a = st_.acq;
  const QSignalBlocker b1(display_on_), b2(persist_), b3(averaging_), b4(fft_), b5(modulo_),
      b6(max_events_blt_), b7(run_type_), b8(events_required_), b9(data_mode_);
  display_on_->setChecked(a.DisplayOn == 1);
  persist_->setChecked(st_.gui.DisplayOption == 1);
  data_mode_->setEnabled(st_.gui.DisplayOption != 1);
  averaging_->setChecked(a.AveragingDataOn == 1);
  fft_->setChecked(a.FFTMode == 1);
  modulo_->setValue(std::max(1, int{st_.gui.DisplayModulo}));
  max_events_blt_->setValue(std::max(1, int{a.MaxNumEventsBLT}));
  run_type_->setCurrentIndex(std::clamp(int{a.RunType}, 0, 3));
  events_required_->setEnabled(!running_ && a.RunType == kRunFiniteEvents);
  if (a.RunType == kRunFiniteEvents || a.RunType == kRunSingleEvent) {
    const QSignalBlocker b(events_required_);
    events_required_->setValue(a.NbOfEventsRequired);
  }
  if (file_menu_ != nullptr) file_menu_->refresh();
  const int d = a.RunDuration;
  const int parts[4] = {d / 86400, (d % 86400) / 3600, (d % 3600) / 60, d % 60};
  for (int i = 0; i < 4; ++i) {
    const QSignalBlocker b(duration_[i]);
    duration_[i]->setValue(parts[i]);
    duration_[i]->setEnabled(a.RunType == kRunFiniteTime);
  }
}

void MainWindow::refresh_menu_values() {
  const AcqParams& a = st_.acq;
  auto mark = [this](const char* name, bool on) { action(name)->setChecked(on); };
  mark("SAVEWAVETOFILE", a.SaveDataInFile == 1 && a.MeasurementsEnabled == 0);
  mark("ADDALLMEASUREMENTS", a.SaveDataInFile == 1 && a.MeasurementsEnabled == 1);
  mark("SAVEALLMEASUREMENTS", a.SaveMeasurementsInFile == 1);
  mark("ENABLEINLCORRECTION", a.INLCorrectionEnabled == 1);
  mark("RUNFROMFILE", a.RunFromFile == 1);
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
  // The loop takes the event limit when it starts: a new one is for the next run.
  events_required_->setEnabled(!running_ && st_.acq.RunType == kRunFiniteEvents);
}

void MainWindow::run_state_changed(bool running) {
  running_ = running;
  if (file_menu_ != nullptr) file_menu_->set_running(running);
  update_run_dependent_dimming();
  // Switching a channel restarts the acquisition: not while a run is on.
  for (Led* led : ch_leds_) led->setEnabled(!running);
  all_channels_->setEnabled(!running);
  if (running && st_.acq.RunElapsedTime == 0) {
    // A new run: nothing of the previous one stays on show until the first tick.
    Update_RunElapsedTime(st_);
    rate_->clear();
  }
  if (running) {
    graph_->clear_curves();
    shown_mode_ = -1;
    refresh_graph_scaling();
    refresh_annotations();
  }
}

void MainWindow::refresh_channel_leds() {
  const int shown = shown_channels(st_);
  for (int ch = 0; ch < kMaxChannels; ++ch) {
    const bool visible = ch < shown;
    ch_leds_[ch]->setVisible(visible);
    ch_labels_[ch]->setVisible(visible);
    legends_[ch]->setVisible(visible);
    const QSignalBlocker block(ch_leds_[ch]);
    ch_leds_[ch]->set_colour(to_qcolor(channel_colour(ch)));
    ch_leds_[ch]->setChecked(st_.gui.ChannelEnabled[ch] != 0);
  }
  const QSignalBlocker block(all_channels_);
  const int all = all_channels_state(st_);
  all_channels_->setCheckState(all == 1   ? Qt::Checked
                               : all == 0 ? Qt::Unchecked
                                          : Qt::PartiallyChecked);
  {
    std::lock_guard lock(params_mutex_);
    Compute_MainGraphParameters(st_);
  }
  refresh_graph_scaling();
  refresh_annotations();
}

double MainWindow::zoom_label_factor() const {
  // Zoomed time axes are labelled in ns, like the cursor read-out; others keep their values.
  const int mode = st_.gui.GraphMode;
  const bool time_axis = mode != kGraphCharges && mode != kGraphFft;
  return time_axis ? Get_SamplingPeriod(st_) / 10000.0 : 0.0;
}

void MainWindow::recompute_graph_parameters() {
  std::lock_guard lock(params_mutex_);
  Compute_MainGraphParameters(st_);
}

bool MainWindow::view_held() const {
  return (shown_mode_ == kGraphPedestals || shown_mode_ == kGraphCells) &&
         shown_mode_ != st_.gui.GraphMode;
}

void MainWindow::held_view_scaling(GraphAxes& axes, GraphTitles& titles, bool& has_titles) {
  std::lock_guard lock(params_mutex_);
  const GuiParams records = st_.gui;
  st_.gui.GraphMode = shown_mode_;
  Compute_MainGraphParameters(st_);
  axes = main_graph_axes(st_.gui);
  has_titles = graph_titles(st_, false, titles);
  st_.gui = records;
}

void MainWindow::refresh_graph_scaling() {
  if (view_held()) {
    GraphAxes axes;
    GraphTitles titles;
    bool has_titles = false;
    held_view_scaling(axes, titles, has_titles);
    graph_->apply_axes(axes);
    return;
  }
  if (graph_->zoomed()) graph_->set_zoom_label_factor(zoom_label_factor());
  GraphAxes axes;
  {
    std::lock_guard lock(params_mutex_);
    axes = main_graph_axes(st_.gui);
  }
  graph_->apply_axes(axes);
}

void MainWindow::refresh_annotations() {
  GraphTitles titles;
  if (view_held()) {
    GraphAxes axes;
    bool has_titles = false;
    held_view_scaling(axes, titles, has_titles);
    if (has_titles) graph_->set_titles(titles);
  } else if (graph_titles(st_, graph_->zoomed(), titles)) {
    graph_->set_titles(titles);
  }
  std::array<ChannelMarkers, kMaxChannels> markers{};
  const int shown = shown_channels(st_);
  const bool volts = st_.gui.AmplitudeInVolts == 1;
  for (int ch = 0; ch < shown; ++ch) {
    const double scale = volts ? 1000.0 : st_.gui.VerticalScale[ch];
    const double position = volts ? 0.0 : st_.gui.VerticalPosition[ch];
    markers[ch].shown = true;
    markers[ch].zero_level = position;
    markers[ch].trigger =
        trigger_marker_level(st_.sam[ch / 2].TriggerThreshold[ch % 2], scale, position);
    const std::string legend = channel_legend(st_.gui, ch);
    legends_[ch]->setText(QString::fromStdString(legend));
  }
  graph_->set_markers(markers, st_.gui.GraphMode == kGraphWaveforms && !view_held());
  refresh_trigger_annotation();
  graph_->replot(QCustomPlot::rpQueuedReplot);
}

void MainWindow::refresh_trigger_annotation() {
  const int shown = shown_channels(st_);
  const int ch = std::clamp(int{st_.gui.SelectedChannel}, 0, std::max(shown - 1, 0));
  const float threshold = st_.sam[ch / 2].TriggerThreshold[ch % 2];
  const MarkerLevel level = st_.gui.AmplitudeInVolts == 1
                                ? MarkerLevel{threshold, 0}
                                : trigger_marker_level(threshold, st_.gui.VerticalScale[ch],
                                                       st_.gui.VerticalPosition[ch]);
  const bool shown_now = trigger_found_ && st_.gui.GraphMode == kGraphWaveforms && !view_held();
  graph_->set_trigger_marker(shown_now,
                             static_cast<double>(shown_samples(st_)) * kDisplayPointsPerSample,
                             level, to_qcolor(channel_colour(ch)));
}

void MainWindow::refresh_cursor_readout() {
  const QPointF a = graph_->cursor(0), b = graph_->cursor(1);
  graph_->set_readout(QString::fromStdString(
      cursor_readout(st_.gui.GraphMode, a.x(), a.y(), b.x(), b.y(), Get_SamplingPeriod(st_))));
}

void MainWindow::append_message(MessageTab tab, MessageKind kind, const QString& text) {
  QPlainTextEdit* box = messages_[static_cast<int>(tab)];
  QTextCharFormat format;
  format.setForeground(kind == MessageKind::Error     ? QColor(200, 0, 0)
                       : kind == MessageKind::Warning ? QColor(190, 110, 0)
                                                      : box->palette().text().color());
  QTextCursor cursor(box->document());
  cursor.movePosition(QTextCursor::End);
  cursor.insertText(text, format);
}

void MainWindow::set_led(vx::Led led, bool on) {
  if (led == vx::Led::Run) running_led_->setChecked(on);
  if (led == vx::Led::TxData) tx_led_->setChecked(on);
}

void MainWindow::set_text(Field field, int index, const QString& text) {
  switch (field) {
    case Field::RunElapsedTime:
      if (index >= 0 && index < 4) elapsed_[index]->setText(text);
      break;
    case Field::EventRate:
      rate_->setText(text);
      break;
    case Field::EventNumber:
      event_number_->setText(text);
      break;
    case Field::EventTimeChain:
      event_time_->setText(text);
      break;
    default:
      break;
  }
}

void MainWindow::set_colour(Field field, Rgb c) {
  if (field != Field::EventNumber) return;
  event_number_->setStyleSheet(
      QString("background: rgb(%1,%2,%3); color: black;").arg(c.r).arg(c.g).arg(c.b));
}

void MainWindow::compute_display() {
  {
    std::lock_guard lock(params_mutex_);
    Compute_Histos(st_, back_);
  }
  {
    std::lock_guard lock(frame_mutex_);
    std::swap(back_, latest_);
    fresh_frame_ = true;
  }
  if (!redraw_posted_.exchange(true)) st_.ui.post([this] { redraw_now(); });
}

void MainWindow::show_event() {
  {
    std::lock_guard lock(frame_mutex_);
    shown_event_number_ = st_.EventNumber.load();
    const auto& chain = st_.event.EventTimeChain;
    shown_event_time_ =
        QString::fromLatin1(chain.data(), static_cast<int>(strnlen(chain.data(), chain.size())));
  }
  if (!event_posted_.exchange(true)) {
    st_.ui.post([this] {
      event_posted_ = false;
      std::lock_guard lock(frame_mutex_);
      event_number_->setText(QString::number(shown_event_number_));
      event_time_->setText(shown_event_time_);
    });
  }
}

void MainWindow::redraw_now() {
  redraw_posted_ = false;
  // No faster than the screen: a frame arriving too early waits for the next slot.
  const qint64 since = since_replot_.elapsed();
  if (since < kFrameIntervalMs) {
    if (!redraw_timer_->isActive())
      redraw_timer_->start(static_cast<int>(kFrameIntervalMs - since));
    return;
  }
  {
    std::lock_guard lock(frame_mutex_);
    if (!fresh_frame_) return;
    std::swap(latest_, front_);
    fresh_frame_ = false;
  }
  graph_->show_frame(front_);
  if (Records_Lent(st_)) {
    // The worker that drew it holds the records: the axes and marks follow when it is done.
    shown_mode_ = front_.graph_mode;
    graph_->replot();
    return;
  }
  const bool was_held = view_held();
  shown_mode_ = front_.graph_mode;
  if (view_held() != was_held) {
    refresh_graph_scaling();
    refresh_annotations();
  }
  trigger_found_ = front_.trigger_found;
  refresh_trigger_annotation();
  if (st_.gui.GraphOptionCharge == 1 && !graph_->zoomed()) graph_->yAxis->rescale();
  graph_->replot();
  since_replot_.restart();
  ++redraw_count_;
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
