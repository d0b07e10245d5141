// Renders the connection panel, the main window and every other panel of the application
// during a run on the simulated board and saves them as PNG files: the pictures of the
// documentation.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QCommandLineParser>
#include <QElapsedTimer>
#include <QMenu>
#include <QPushButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <functional>

#include "acquisition/time_measurement_controls.h"
#include "analysis/charge.h"
#include "analysis/noise_controls.h"
#include "app/record_loan.h"
#include "app/timer_tick.h"
#include "ui/connection_panel.h"
#include "ui/dialogs.h"
#include "ui/gui_app.h"
#include "ui/main_graph_view.h"
#include "ui/main_window.h"
#include "ui/tcp_panel.h"

namespace {

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
  gui.main_window().action("TCP_SERVER")->trigger();
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

// The windows to render: the main window's own secondary windows and the application's
// other top-level windows, each with an object name; menus and the windows rendered
// already are left out.
QList<QWidget*> panels_to_render(vx::ui::GuiApp& gui) {
  QList<QWidget*> found;
  auto add = [&found, &gui](QWidget* w) {
    if (w == nullptr || !w->isWindow() || w->objectName().isEmpty()) return;
    if (qobject_cast<QMenu*>(w) != nullptr || w == &gui.main_window()) return;
    if (w == &gui.connection_panel() || w == &gui.tcp_panel() || found.contains(w)) return;
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
  bool confirm(const QString&, const QString&) override { return false; }
  std::optional<QString> prompt(const QString&, const QString&, const QString&) override {
    return QString("40");
  }
  std::optional<QString> select_file(const vx::FileDialogRequest&) override { return std::nullopt; }
  std::optional<QString> select_directory(const QString&, const QString&) override {
    return std::nullopt;
  }
};

// The main graph right after a pedestal calibration: the samples by physical cell.
// The last picture: the prompt's answers stay with the application from here on.
bool grab_pedestal_view(vx::ui::GuiApp& gui, CalibrationAnswers& answers, const QString& file) {
  gui.front_end().set_dialogs(&answers);
  auto& main = gui.main_window();
  main.action("DELETECURSORS")->trigger();
  main.action("CALIBRATE")->trigger();
  const bool done = wait_until([&] { return main.action("CALIBRATE")->isEnabled(); }, 60000);
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
  vx::Enable_NoiseMeasurement(st, true);
  vx::Set_NoiseWindowStart(st, 0.0);
  vx::Set_NoiseWindowEnd(st, 30.0);  // before the first pulse
  st.ui.refresh_panel(vx::Panel::AllValues);
  main.action("START")->trigger();
  settle(1500);
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
      main.action("STOP")->trigger();
      return -1;
    }
    ++count;
  }
  main.action("STOP")->trigger();
  settle(200);
  return count;
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
  vx::ui::GuiApp gui(options);
  if (!gui.config_errors().empty()) {
    for (const auto& e : gui.config_errors()) std::fprintf(stderr, "%s\n", e.c_str());
    return 2;
  }
  gui.start();
  auto& panel = gui.connection_panel();
  panel.model_box()->setCurrentIndex(2);  // V1743
  panel.link_box()->setCurrentIndex(1);   // OPTICAL
  panel.connect_button()->click();
  vx::State& st = gui.state();
  vx::TimerCB(st);  // a tick while connecting, as the one-second timer would give
  if (!wait_until(
          [&] {
            return st.ConnectingThreadReleased.load() == 1 && st.Connecting.load() == 0 &&
                   !vx::Records_Lent(st);
          },
          20000) ||
      st.Board_Connected.load() != 1) {
    std::fprintf(stderr, "the simulated board did not connect\n");
    return 1;
  }
  vx::TimerCB(st);  // the tick after a connection lights the indicator
  settle(200);
  const QString dir = parser.value(out);
  if (!panel.grab().save(dir + "/connection.png")) {
    std::fprintf(stderr, "cannot write %s/connection.png\n", qPrintable(dir));
    return 1;
  }

  auto& main = gui.main_window();
  main.resize(1480, 900);
  main.action("START")->trigger();
  settle(3500);
  main.action("ENABLECURSORS")->trigger();
  main.graph()->set_cursor(0, QPointF(1500, 3.0));
  main.graph()->set_cursor(1, QPointF(3100, -1.5));
  settle(300);
  const bool saved = main.grab().save(dir + "/main-window.png");
  main.action("STOP")->trigger();
  settle(200);
  if (!saved) {
    std::fprintf(stderr, "cannot write %s/main-window.png\n", qPrintable(dir));
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
