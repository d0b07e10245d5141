#include "ui/gui_app.h"

#include <QThread>

#include <QAction>
#include <QApplication>
#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>
#include <cstdlib>

#include "app/lifecycle.h"
#include "app/message_log.h"
#include "app/record_loan.h"
#include "app/timer_tick.h"
#include "app/user_path.h"
#include "digitizer/board_connection.h"
#include "digitizer/connection_rules.h"
#include "remote/tcp_interface.h"
#include "ui/connection_panel.h"
#include "ui/main_window.h"
#include "ui/panels/charge_histo_panel.h"
#include "ui/panels/inl_panel.h"
#include "ui/panels/noise_panel.h"
#include "ui/panels/rate_panel.h"
#include "ui/panels/rate_scan_panel.h"
#include "ui/panels/time_histogram_panel.h"
#include "ui/panels/time_measurements_panel.h"
#include "ui/panels/time_strip_chart_panel.h"
#include "ui/tcp_panel.h"
#include "ui/web_monitor_panel.h"
#include "wiring/core_wiring.h"

namespace vx::ui {

namespace {

constexpr const char* kNoTriggerWhereToChange =
    "Change them on the TRIGGER page: Trigger type, each channel's Threshold and Edge, and the "
    "TRIGGER SOURCES.\n";

}  // namespace

GuiApp::GuiApp(const GuiOptions& options) : st_(ui_, clock_, pool_) {
  const std::string driver = Board_DriverSpec(options.driver, options.sim_config);
  auto opened = Open_BoardDriver(driver);
  for (const auto& e : opened.errors)
    config_errors_.push_back("board driver '" + driver + "': " + e);
  // A bad driver leaves the default one behind the panel, for the error to be shown at least.
  source_ = opened.ok() ? std::move(opened.source)
                        : std::move(Open_BoardDriver(kDefaultBoardDriver, {}).source);

  no_trigger_.emplace(st_);
  main_ = std::make_unique<MainWindow>(st_, ui_.dialogs());
  connection_ = std::make_unique<ConnectionPanel>(st_, ui_.dialogs());
  tcp_ = std::make_unique<TcpPanel>(st_);
  time_strip_chart_ = new TimeStripChartPanel(main_.get());
  time_histogram_ = new TimeHistogramPanel(st_, *time_strip_chart_, main_.get());
  time_measurements_ = new TimeMeasurementsPanel(st_, *time_histogram_, main_.get());
  ui_.attach(this);
  st_.display_attached = true;
  st_.DisplayFrameInterval = kFrameIntervalSeconds;

  const auto env = read_user_path_environment(options.user_dir, executable_directory());
  const auto user_path = Resolve_UserPath(env);
  if (user_path.empty())
    config_errors_.push_back("the user data directory '" + *env.override_dir +
                             "' cannot be created or written into");
  FrontEndHooks h;
  h.select_board_model = [this](int model) { make_board(model); };
  h.compute_display = [this](const RunConfig& cfg, const DecodedEvent& event) {
    main_->compute_display(cfg, event);
  };
  h.show_event = [this] { main_->show_event(); };
  h.recompute_main_graph = [this] {
    // At once, so that a worker's next frame is scaled for its mode; the window follows.
    main_->recompute_graph_parameters();
    ui_.post([this] {
      if (!defer_while_lent()) main_->refresh_channel_leds();
    });
  };
  h.refresh_annotations = [this] {
    ui_.post([this] {
      if (!defer_while_lent()) main_->refresh_annotations();
    });
  };
  h.on_run_finished = [this] {
    main_->set_text(Field::EventNumber, -1, QString::number(st_.EventNumber.load()));
    Update_RunTotals(st_);
    main_->refresh_main_tab();
  };
  h.remote_control = true;
  Install_CoreHooks(st_, std::move(h));
  // A refused start leaves the previous session's log as it is.
  if (config_errors_.empty()) Start_Core(st_, st_, user_path);
  if (config_errors_.empty()) preselect_board(driver.find(':') != std::string::npos);
  web_ = std::make_unique<WebMonitor>(st_);
  web_panel_ = std::make_unique<WebMonitorPanel>(*web_);
  if (config_errors_.empty() && options.web) {
    WebOptions web;
    web.token_file = options.web_token_file.value_or("");
    web.max_clients = options.web_max_clients;
    std::string error;
    if (!Parse_WebAddress(*options.web, web, error) || !web_->start(web, error))
      config_errors_.push_back("the web monitor cannot start: " + error);
    web_panel_->address()->setText(QString::fromStdString(*options.web));
    web_panel_->refresh();
  }

  connect(main_.get(), &MainWindow::connection_panel_requested, this, [this] {
    connection_->refresh();
    connection_->show();
    connection_->raise();
  });
  connect(main_.get(), &MainWindow::tcp_panel_requested, this, [this] {
    tcp_->refresh();
    tcp_->show();
    tcp_->raise();
  });
  connect(main_.get(), &MainWindow::web_panel_requested, this, [this] {
    web_panel_->refresh();
    web_panel_->show();
    web_panel_->raise();
  });
  connect(main_->action(MenuAction::TimeMeasurements), &QAction::triggered, this, [this] {
    time_measurements_->refresh();
    time_measurements_->show();
    time_measurements_->raise();
  });
  connect(main_.get(), &MainWindow::quit_requested, this, &GuiApp::quit_requested);
  connect(connection_.get(), &ConnectionPanel::quit_requested, this, &GuiApp::quit_requested);

  timer_ = new QTimer(this);
  timer_->setInterval(1000);
  connect(timer_, &QTimer::timeout, this, [this] {
    // Not while the user-interface thread waits for a run to end: a remote start then
    // would slip in between the stop and what the stop was for.
    if (ui_.waiting()) return;
    ui_.run_tick([this] { TimerCB(st_); });
    // The watch reads the trigger settings: not while a worker holds the records.
    if (Records_Lent(st_)) return;
    if (const auto why = no_trigger_->poll())
      Write_InfoMessage(st_, *why + kNoTriggerWhereToChange, kInfo);
  });
}

GuiApp::~GuiApp() {
  timer_->stop();
  web_panel_.reset();
  web_.reset();
  st_.StopRequest().store(1);
  // Workers may still post to the windows; let them finish before anything goes away.
  while (st_.AcquisitionRunning.load() == 1 || st_.ConnectingThreadReleased.load() == 0)
    QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
  pool_.wait_idle();
  if (st_.tcp.ServerOnline == 1) UnRegister_TCPIP_Server(st_, st_);
  Shutdown_Core(st_, st_);
  ui_.attach(nullptr);
  st_.digitizer = nullptr;
}

void GuiApp::start() {
  timer_->start();
  connection_->show();
}

int GuiApp::exec() {
  // A quit that was decided ends the event loop at once: QApplication::quit would first ask
  // every window to close, and the connection panel, still open, would ask its question
  // again (and again, at each yes).
  connect(
      this, &GuiApp::quit_requested, this, [] { QCoreApplication::exit(0); }, Qt::QueuedConnection);
  start();
  ui_.set_top_loop_level(QThread::currentThread()->loopLevel() + 1);
  return QApplication::exec();
}

// The connection panel offers the model the simulation configuration describes when one was
// given; otherwise the one last connected, or else the command line's default: a first
// Connect needs no choice.
void GuiApp::preselect_board(bool configured) {
  const int described = source_->described_model().value_or(kModelVme);
  LastConnection choice{described, Default_LinkType(described)};
  if (!configured) choice = Load_LastConnection(st_.UserPath).value_or(choice);
  Select_BoardModel(st_, st_, st_, choice.model);
  st_.board.LinkType = choice.link_type;
  st_.ui.refresh_panel(Panel::Connection);
}

void GuiApp::make_board(int model) {
  DriverArgs connection;
  if (const std::string input = connection_->simulated_input(); !input.empty())
    connection["inputs"] = input;
  st_.digitizer = nullptr;
  board_ = source_->make(model, st_.UserPath, connection);
  st_.digitizer = board_.get();
}

void GuiApp::append_message(MessageTab tab, MessageKind kind, const QString& text) {
  main_->append_message(tab, kind, text);
}

bool GuiApp::defer_while_lent() {
  if (!Records_Lent(st_)) return false;
  refresh_when_returned_ = true;
  return true;
}

void GuiApp::records_lent(bool lent) {
  if (lent) {
    // No control may change the records meanwhile; the rate scan's panel keeps its BREAK
    // (its settings are dimmed while it scans) and the connection panel its light and label.
    connection_->set_inputs_enabled(false);
    for (QWidget* w : QApplication::topLevelWidgets()) {
      if (w == connection_.get() || w == main_->rate_scan_panel() || !w->isEnabled()) continue;
      w->setEnabled(false);
      disabled_while_lent_.append(w);
    }
    return;
  }
  for (const QPointer<QWidget>& w : disabled_while_lent_)
    if (w) w->setEnabled(true);
  disabled_while_lent_.clear();
  connection_->set_inputs_enabled(true);
  if (!refresh_when_returned_) return;
  refresh_when_returned_ = false;
  refresh_panel(Panel::AllValues);
  main_->refresh_channel_leds();
  main_->redraw_now();
}

void GuiApp::show_panel(Panel panel, bool visible) {
  if (panel == Panel::Main) {
    if (visible) {
      if (!defer_while_lent()) main_->refresh_all();
      main_->show();
      main_->raise();
    } else {
      main_->hide();
    }
  } else if (panel == Panel::Connection) {
    connection_->setVisible(visible);
  } else if (panel == Panel::TcpServer) {
    if (visible) tcp_->refresh();
    tcp_->setVisible(visible);
  } else if (panel == Panel::RateVsThreshold) {
    main_->rate_scan_panel()->refresh();
    main_->rate_scan_panel()->setVisible(visible);
  } else if (defer_while_lent()) {
    return;
  }
}

void GuiApp::refresh_panel(Panel panel) {
  // The rate scan's panel shows the published copy and the scan's own progress; the TCP
  // panel shows the remote-control record, which is never lent.
  if (panel != Panel::RateVsThreshold && panel != Panel::TcpServer && defer_while_lent()) return;
  switch (panel) {
    case Panel::Connection:
      connection_->refresh();
      break;
    case Panel::Main:
      main_->refresh_main_tab();
      // A replay's first event decides which channels are shown and lit.
      main_->refresh_channel_leds();
      break;
    case Panel::TcpServer:
      tcp_->refresh();
      break;
    case Panel::InlCalibration:
      main_->inl_panel()->refresh_histograms();
      break;
    case Panel::SlowControl:
    case Panel::Debug:
    case Panel::Sync:
      main_->refresh_settings_panels();
      break;
    case Panel::Rates:
      main_->rate_panel()->refresh();
      break;
    case Panel::RateVsThreshold:
      main_->rate_scan_panel()->refresh();
      break;
    case Panel::TimeHistogram:
      time_histogram_->redraw_soon();
      break;
    case Panel::ChargeHistogram:
      main_->charge_histo_panel()->redraw();
      break;
    case Panel::Noise:
      main_->noise_panel()->redraw();
      break;
    case Panel::AllValues:
      time_measurements_->refresh();
      time_histogram_->refresh();
      main_->noise_panel()->refresh();
      main_->rate_panel()->refresh();
      main_->rate_scan_panel()->refresh();
      connection_->refresh();
      main_->refresh_all();
      main_->inl_panel()->refresh();
      tcp_->refresh();
      break;
    default:
      break;
  }
}

bool GuiApp::capture_panel(Panel panel) {
  if (panel == Panel::TimeHistogram) time_histogram_->capture();
  if (panel == Panel::ChargeHistogram) return main_->charge_histo_panel()->capture();
  if (panel == Panel::Noise) return main_->noise_panel()->capture();
  return true;
}

void GuiApp::set_window_title(const QString& title) {
  main_->setWindowTitle(title);
}
void GuiApp::run_state_changed(bool running) {
  main_->run_state_changed(running);
  time_histogram_->run_state_changed(running);
}

void GuiApp::set_led(vx::Led led, bool on) {
  if (led == vx::Led::Connection) {
    connection_->set_indicator(on);
  } else {
    main_->set_led(led, on);
  }
}

void GuiApp::show_help_message(const QString& text) {
  main_->show_help_message(text);
}

void GuiApp::plot_strip_chart(StripChart chart, double seconds, const QVector<double>& points) {
  if (chart == StripChart::Rate) main_->rate_panel()->add_points(seconds, points);
  if (chart == StripChart::Noise) main_->noise_panel()->add_points(seconds, points);
}

void GuiApp::set_text(Field field, int index, const QString& text) {
  if (field == Field::ConnectionLabel) {
    connection_->set_label(text);
  } else if (field == Field::ChannelRate) {
    main_->rate_panel()->set_rate_text(index, text);
  } else if (field == Field::ChannelRateUnit) {
    main_->rate_panel()->set_unit_text(index, text);
  } else {
    main_->set_text(field, index, text);
  }
}

void GuiApp::set_colour(Field field, Rgb colour) {
  main_->set_colour(field, colour);
}

QWidget* GuiApp::dialog_parent() {
  return main_->isVisible() ? static_cast<QWidget*>(main_.get()) : connection_.get();
}

}  // namespace vx::ui
