// Renders the connection panel, the main window and every other panel of the application
// during a run on the simulated board and saves them as PNG files: the pictures of the
// documentation.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QCommandLineParser>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <functional>

#include <fstream>

#include "acquisition/acquisition_controls.h"
#include "acquisition/run_control.h"
#include "acquisition/time_measurement_controls.h"
#include "analysis/charge.h"
#include "analysis/noise_controls.h"
#include "analysis/rate_measurement.h"
#include "app/record_loan.h"
#include "app/timer_tick.h"
#include "calibration/inl_calibration.h"
#include "calibration/rate_scan.h"
#include "ui/connection_panel.h"
#include "ui/dialogs.h"
#include "ui/gui_app.h"
#include "ui/main_graph_view.h"
#include "ui/main_window.h"
#include "ui/panels/file_menu_panel.h"
#include "ui/panels/inl_panel.h"
#include "ui/tcp_panel.h"
#include "ui/web_monitor_panel.h"

namespace {

using vx::ui::MenuAction;

bool wait_until(const std::function<bool()>& pred, int timeout_ms) {
  QElapsedTimer t;
  t.start();
  while (!pred()) {
    if (t.elapsed() > timeout_ms) return false;
    QApplication::processEvents(QEventLoop::AllEvents, 10);
  }
  return true;
}

void settle(int ms) {
  QElapsedTimer t;
  t.start();
  while (t.elapsed() < ms) QApplication::processEvents(QEventLoop::AllEvents, 10);
}

// The remote-control server on a free port with a client that has sent a start command.
bool grab_tcp_panel(vx::ui::GuiApp& gui, const QString& file) {
  auto& tcp = gui.tcp_panel();
  gui.main_window().action(MenuAction::TcpServer)->trigger();
  tcp.port()->setValue(0);
  tcp.register_button()->click();
  vx::State& st = gui.state();
  if (st.tcp.ServerOnline != 1) return false;
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(static_cast<uint16_t>(st.tcp.ServerPort));
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  bool ok = fd >= 0 && ::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
  settle(300);
  const char command[] = "RUN_START00000042";
  ok = ok && ::send(fd, command, sizeof command - 1, 0) == sizeof command - 1;
  settle(500);
  tcp.refresh();
  ok = ok && tcp.grab().save(file);
  if (fd >= 0) ::close(fd);
  settle(200);
  tcp.register_button()->click();
  tcp.hide();
  return ok;
}

// The web monitor serving on a free port of this machine, with its address shown.
bool grab_web_panel(vx::ui::GuiApp& gui, const QString& file) {
  auto& web = gui.web_panel();
  gui.main_window().action(MenuAction::WebMonitor)->trigger();
  web.address()->setText("127.0.0.1:0");
  if (!web.toggle()) return false;
  settle(200);
  const bool ok = web.grab().save(file);
  web.toggle();
  web.hide();
  return ok;
}

// The windows to render: the main window's own secondary windows and the application's
// other top-level windows, each with an object name; menus and the windows rendered
// already are left out.
QList<QWidget*> panels_to_render(vx::ui::GuiApp& gui) {
  QList<QWidget*> found;
  auto add = [&found, &gui](QWidget* w) {
    if (w == nullptr || !w->isWindow() || w->objectName().isEmpty()) return;
    if (qobject_cast<QMenu*>(w) != nullptr || w == &gui.main_window()) return;
    if (w == &gui.connection_panel() || w == &gui.tcp_panel() || w == &gui.web_panel() ||
        found.contains(w))
      return;
    found.append(w);
  };
  for (QWidget* w : gui.main_window().findChildren<QWidget*>()) add(w);
  for (QWidget* w : QApplication::topLevelWidgets()) add(w);
  std::sort(found.begin(), found.end(),
            [](QWidget* a, QWidget* b) { return a->objectName() < b->objectName(); });
  return found;
}

// Answers the calibration's prompt as a user would, and takes the warnings without a click.
class CalibrationAnswers : public vx::ui::Dialogs {
 public:
  void popup(vx::PopupKind, const QString&, const QString&) override {}
  bool confirm(const QString&, const QString&) override { return yes; }
  std::optional<QString> prompt(const QString&, const QString&, const QString&) override {
    return QString("40");
  }
  std::optional<QString> select_file(const vx::FileDialogRequest&) override { return std::nullopt; }
  std::optional<QString> select_directory(const QString&, const QString&) override {
    return std::nullopt;
  }
  bool yes = false;  // the answer to confirmations
};

// A rate-versus-threshold scan of every channel, from beyond the pulses to past the baseline.
bool run_rate_scan(vx::ui::GuiApp& gui, CalibrationAnswers& answers) {
  vx::State& st = gui.state();
  vx::Select_RateVsThresholdChannel(st, st, -1);
  vx::Set_RateScanRange(st, st, -0.35f, 0.05f);
  vx::Set_RateScanNbOfSteps(st, 41);
  vx::Set_RateScanStepValue(st, 0.1f);
  const int finished = st.rates.ScansFinished.load();
  answers.yes = true;
  const bool started = vx::Run_RateVsThresholdScan(st) == 1;
  answers.yes = false;
  return started && wait_until([&] { return st.rates.ScansFinished.load() != finished; }, 60000);
}

// The main graph right after a pedestal calibration: the samples by physical cell.
// The last picture: the prompt's answers stay with the application from here on.
bool grab_pedestal_view(vx::ui::GuiApp& gui, CalibrationAnswers& answers, const QString& file) {
  gui.front_end().set_dialogs(&answers);
  auto& main = gui.main_window();
  main.action(MenuAction::DeleteCursors)->trigger();
  main.action(MenuAction::CalibratePedestals)->trigger();
  const bool done =
      wait_until([&] { return main.action(MenuAction::CalibratePedestals)->isEnabled(); }, 60000);
  settle(500);
  return done && main.grab().save(file);
}

int grab_every_panel(vx::ui::GuiApp& gui, CalibrationAnswers& answers, const QString& dir) {
  auto& main = gui.main_window();
  // Times, charges and noise measured, so that their histograms and charts fill; from here on
  // no modal dialog waits for a click.
  gui.front_end().set_dialogs(&answers);
  vx::State& st = gui.state();
  vx::Set_TimeJitterEnabled(st, true);
  vx::Select_ChargeMode(st, vx::ChargeMode::Software);
  vx::Enable_NoiseMeasurement(st, st, true);
  vx::Set_NoiseWindowStart(st, st, 0.0);
  vx::Set_NoiseWindowEnd(st, st, 30.0);  // before the first pulse
  // The hit counters see the negative pulses: the rate panel shows their rate.
  if (!run_rate_scan(gui, answers)) return -1;
  for (int ch = 0; ch < st.sys.NbOfChannels; ++ch) {
    vx::Set_Threshold(st, ch, -0.05f);
    vx::Set_TriggerEdge(st, ch, vx::kPolarityFallingEdge);
  }
  vx::Enable_RateMeasurement(st, st, st, true);
  st.ui.refresh_panel(vx::Panel::AllValues);
  main.action(MenuAction::Start)->trigger();
  // Half a minute: the strip charts show their seconds and the rates have settled.
  settle(32000);
  main.show_help_message(
      "Right-click a control of the File Menu panel to see its help here; a click on the main "
      "window hides it.");
  int count = 0;
  for (QWidget* w : panels_to_render(gui)) {
    const bool was_visible = w->isVisible();
    w->show();
    w->raise();
    settle(700);
    const QString file = dir + "/" + w->objectName().toLower() + ".png";
    const bool ok = w->grab().save(file);
    if (!was_visible) w->hide();
    if (!ok) {
      std::fprintf(stderr, "cannot write %s\n", qPrintable(file));
      main.action(MenuAction::Stop)->trigger();
      return -1;
    }
    ++count;
  }
  main.action(MenuAction::Stop)->trigger();
  // The run's end fits the time histogram: the fit with its quality.
  QWidget* histogram = gui.main_window().findChild<QWidget*>("PANEL_TH");
  wait_until([&] { return st.AcquisitionRunning.load() == 0; }, 20000);
  if (histogram != nullptr) {
    histogram->show();
    settle(700);
    const bool ok = histogram->grab().save(dir + "/time-histogram-fit.png");
    histogram->hide();
    if (!ok) return -1;
  }
  settle(200);
  return count;
}

// A first session as a new user has it: no simulation configuration, a fresh user directory,
// Connect with what the panel offers, Start, then Auto Scale.
bool grab_first_run(vx::ui::GuiOptions options, const QString& file) {
  options.sim_config.reset();
  *options.user_dir += "/first-run";
  vx::ui::GuiApp gui(options);
  gui.start();
  auto& panel = gui.connection_panel();
  panel.connect_button()->click();
  vx::State& st = gui.state();
  if (!wait_until([&] { return st.Board_Connected.load() == 1 && !vx::Records_Lent(st); }, 20000))
    return false;
  auto& main = gui.main_window();
  main.fit_to_screen(QRect(0, 0, 1366, 768));
  main.action(MenuAction::Start)->trigger();
  settle(2000);
  main.action(MenuAction::AutoScale)->trigger();
  settle(1500);
  const bool ok = main.grab().save(file);
  main.action(MenuAction::Stop)->trigger();
  settle(300);
  return ok;
}

// The HORIZONTAL/ACQ page while a run saves its waveforms: the recording depth and the
// sampling frequency dimmed, and the page saying why. Saving is switched on and off as a user
// does, without the directory question.
bool grab_page_of_saving_run(vx::ui::GuiApp& gui, const QString& file) {
  auto& main = gui.main_window();
  auto* ask = main.file_menu_panel()->findChild<QCheckBox*>("POPUPFORFILENAME");
  const bool asked = ask->isChecked();
  if (asked) ask->click();
  main.action(MenuAction::SaveWaveforms)->trigger();
  auto* tabs = main.findChild<QTabWidget*>("GENERALTAB");
  tabs->setCurrentIndex(2);
  main.action(MenuAction::Start)->trigger();
  settle(1500);
  const bool ok = tabs->grab().save(file);
  main.action(MenuAction::Stop)->trigger();
  settle(200);
  main.action(MenuAction::SaveWaveforms)->trigger();
  if (asked) ask->click();
  tabs->setCurrentIndex(0);
  return ok;
}

// Connects the V1743 over the optical link from the connection panel; true once connected.
bool connect_vme_board(vx::ui::GuiApp& gui) {
  auto& panel = gui.connection_panel();
  panel.model_box()->setCurrentIndex(2);  // V1743
  panel.link_box()->setCurrentIndex(1);   // OPTICAL
  panel.connect_button()->click();
  vx::State& st = gui.state();
  vx::TimerCB(st);  // a tick while connecting, as the one-second timer would give
  return wait_until(
             [&] {
               return st.ConnectingThreadReleased.load() == 1 && st.Connecting.load() == 0 &&
                      !vx::Records_Lent(st);
             },
             20000) &&
         st.Board_Connected.load() == 1;
}

// The INL Calibration Histos after a calibration run, on a board of its own whose inputs
// carry the 200 MHz sine the calibration needs.
bool grab_inl_histograms(vx::ui::GuiOptions options, const QString& dir) {
  const std::string config = *options.user_dir + "/sine.cfg";
  std::ofstream(config) << "seed = 7\ninput = sine\n";
  options.sim_config = config;
  vx::ui::GuiApp gui(options);
  CalibrationAnswers answers;
  gui.front_end().set_dialogs(&answers);
  gui.start();
  vx::State& st = gui.state();
  if (!connect_vme_board(gui)) return false;
  auto& main = gui.main_window();
  vx::Enable_INLCalibration(st, true);
  vx::Set_RunType(st, st, vx::kRunFiniteEvents, 5000);
  main.action(MenuAction::Start)->trigger();
  if (!wait_until([&] { return st.inl.computed && st.AcquisitionRunning.load() == 0; }, 300000))
    return false;
  settle(300);
  auto* histos = main.inl_panel()->histograms();
  histos->refresh();
  histos->show();
  settle(500);
  return histos->grab().save(dir + "/panel_inl_histos.png");
}

// The connection panel, the main window, the TCP panel, the settings pages, every other
// panel and the pedestal view, from one application on the configured board.
int render_application(const vx::ui::GuiOptions& options, const QString& dir) {
  vx::ui::GuiApp gui(options);
  if (!gui.config_errors().empty()) {
    for (const auto& e : gui.config_errors()) std::fprintf(stderr, "%s\n", e.c_str());
    return 2;
  }
  gui.start();
  auto& panel = gui.connection_panel();
  vx::State& st = gui.state();
  if (!connect_vme_board(gui)) {
    std::fprintf(stderr, "the simulated board did not connect\n");
    return 1;
  }
  vx::TimerCB(st);  // the tick after a connection lights the indicator
  settle(200);
  if (!panel.grab().save(dir + "/connection.png")) {
    std::fprintf(stderr, "cannot write %s/connection.png\n", qPrintable(dir));
    return 1;
  }

  auto& main = gui.main_window();
  // As it opens on a 1366 x 768 screen.
  main.fit_to_screen(QRect(0, 0, 1366, 768));
  main.action(MenuAction::Start)->trigger();
  settle(3500);
  main.action(MenuAction::EnableCursors)->trigger();
  main.graph()->set_cursor(0, QPointF(1500, 3.0));
  main.graph()->set_cursor(1, QPointF(3100, -1.5));
  settle(300);
  const bool saved = main.grab().save(dir + "/main-window.png");
  main.action(MenuAction::Stop)->trigger();
  settle(200);
  if (!saved) {
    std::fprintf(stderr, "cannot write %s/main-window.png\n", qPrintable(dir));
    return 1;
  }
  // The spectra of the same pulses.
  main.action(MenuAction::DeleteCursors)->trigger();
  auto* fft = main.findChild<QCheckBox*>("FFTONOFF");
  fft->click();
  main.action(MenuAction::Start)->trigger();
  settle(2500);
  const bool spectra = main.grab().save(dir + "/main-window-fft.png");
  main.action(MenuAction::Stop)->trigger();
  settle(200);
  fft->click();
  if (!spectra) return 1;
  if (!grab_web_panel(gui, dir + "/web-monitor-panel.png")) {
    std::fprintf(stderr, "cannot render %s/web-monitor-panel.png\n", qPrintable(dir));
    return 1;
  }
  if (!grab_tcp_panel(gui, dir + "/tcp-server.png")) {
    std::fprintf(stderr, "cannot render %s/tcp-server.png\n", qPrintable(dir));
    return 1;
  }

  // The settings pages of the main tab.
  auto* tabs = main.findChild<QTabWidget*>("GENERALTAB");
  const std::pair<int, const char*> pages[] = {
      {1, "vertical-page"}, {2, "horizontal-page"}, {3, "trigger-page"}};
  for (const auto& [index, name] : pages) {
    tabs->setCurrentIndex(index);
    settle(100);
    if (!tabs->grab().save(dir + "/" + name + ".png")) return 1;
  }
  tabs->setCurrentIndex(0);
  if (!grab_page_of_saving_run(gui, dir + "/horizontal-page-saving.png")) return 1;

  // Every other window of the application, found by its name, during a run so that its
  // plots and read-outs have something to show.
  CalibrationAnswers answers;
  const int shown = grab_every_panel(gui, answers, dir);
  if (shown < 0) return 1;
  if (!grab_pedestal_view(gui, answers, dir + "/pedestal-calibration.png")) {
    std::fprintf(stderr, "cannot render %s/pedestal-calibration.png\n", qPrintable(dir));
    return 1;
  }
  std::printf(
      "saved the main window, the connection and TCP panels, the settings pages and %d "
      "panels in %s\n",
      shown, qPrintable(dir));
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QCommandLineParser parser;
  QCommandLineOption out("out", "Directory for the pictures.", "DIR", "docs/screenshots");
  QCommandLineOption user_dir("user-dir", "User data directory.", "DIR");
  QCommandLineOption sim_config("sim-config", "Configuration of the simulated board.", "FILE");
  parser.addOptions({out, user_dir, sim_config});
  parser.process(app);

  vx::ui::GuiOptions options;
  if (parser.isSet(user_dir)) options.user_dir = parser.value(user_dir).toStdString();
  if (parser.isSet(sim_config)) options.sim_config = parser.value(sim_config).toStdString();
  const QString dir = parser.value(out);
  if (!options.user_dir) {
    std::fprintf(stderr, "--user-dir is needed\n");
    return 2;
  }
  if (const int rc = render_application(options, dir); rc != 0) return rc;
  if (!grab_first_run(options, dir + "/first-run-autoscaled.png")) {
    std::fprintf(stderr, "cannot render %s/first-run-autoscaled.png\n", qPrintable(dir));
    return 1;
  }
  if (!grab_inl_histograms(options, dir)) {
    std::fprintf(stderr, "cannot render %s/panel_inl_histos.png\n", qPrintable(dir));
    return 1;
  }
  return 0;
}
