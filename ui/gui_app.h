// The desktop application around one core state: the front end, the windows, the
// one-second timer and the board behind the connection panel (from the board drivers).
#pragma once

#include <QList>
#include <QObject>
#include <QPointer>
#include <QWidget>
#include <memory>
#include <optional>
#include <string>

#include "acquisition/no_trigger_hint.h"
#include "app/state.h"
#include "digitizer/board_registry.h"
#include "platform/clock.h"
#include "platform/thread_pool.h"
#include "ui/qt_front_end.h"
#include "web/web_monitor.h"

class QTimer;

namespace vx::ui {

class ConnectionPanel;
class MainWindow;
class TcpPanel;
class WebMonitorPanel;
class TimeHistogramPanel;
class TimeMeasurementsPanel;
class TimeStripChartPanel;

struct GuiOptions {
  std::optional<std::string> user_dir;    // --user-dir, else VELTRIX_USER_DIR
  std::optional<std::string> sim_config;  // --sim-config, else VELTRIX_SIM_CONFIG
  std::optional<std::string> driver;      // --driver NAME[:KEY=VALUE,...]
  std::optional<std::string> web;         // --web [ADDRESS:]PORT: the web monitor at start
  std::optional<std::string> web_token_file;
  int web_max_clients = 32;
};

class GuiApp final : public QObject, private FrontEndViews {
  Q_OBJECT
 public:
  explicit GuiApp(const GuiOptions& options);
  ~GuiApp() override;

  // Problems with the board driver's arguments or the user data directory, one line each
  // (empty when both are usable).
  const std::vector<std::string>& config_errors() const { return config_errors_; }
  // Shows the connection panel and starts the timer.
  void start();
  // Starts and runs the application's event loop until the user quits: Exit, the main
  // window's close, or a yes to the connection panel's question. Returns its exit code.
  int exec();

  State& state() { return st_; }
  QtFrontEnd& front_end() { return ui_; }
  ConnectionPanel& connection_panel() { return *connection_; }
  MainWindow& main_window() { return *main_; }
  TcpPanel& tcp_panel() { return *tcp_; }
  WebMonitorPanel& web_panel() { return *web_panel_; }
  TimeMeasurementsPanel& time_measurements_panel() { return *time_measurements_; }
  TimeHistogramPanel& time_histogram_panel() { return *time_histogram_; }
  TimeStripChartPanel& time_strip_chart_panel() { return *time_strip_chart_; }
  // The board made for the connection (the tests use the simulated board's extras).
  Digitizer* board() { return board_.get(); }
  QTimer& timer() { return *timer_; }

 signals:
  void quit_requested();

 private:
  void make_board(int model);
  void preselect_board(bool configured);

  void append_message(MessageTab tab, MessageKind kind, const QString& text) override;
  void show_panel(Panel panel, bool visible) override;
  void refresh_panel(Panel panel) override;
  bool capture_panel(Panel panel) override;
  void set_window_title(const QString& title) override;
  void run_state_changed(bool running) override;
  void set_led(vx::Led led, bool on) override;
  void show_help_message(const QString& text) override;
  void set_text(Field field, int index, const QString& text) override;
  void set_colour(Field field, Rgb colour) override;
  void plot_strip_chart(StripChart chart, double seconds, const QVector<double>& points) override;
  void records_lent(bool lent) override;
  QWidget* dialog_parent() override;
  // While a worker holds the records, what would read them waits for their return.
  bool defer_while_lent();

  QtFrontEnd ui_;
  SystemClock clock_;
  ThreadPool pool_;
  State st_;
  std::unique_ptr<BoardSource> source_;
  std::vector<std::string> config_errors_;
  std::unique_ptr<Digitizer> board_;
  std::unique_ptr<MainWindow> main_;
  std::unique_ptr<ConnectionPanel> connection_;
  std::unique_ptr<TcpPanel> tcp_;
  std::unique_ptr<WebMonitor> web_;
  std::unique_ptr<WebMonitorPanel> web_panel_;
  // Windows of the main window (it deletes them).
  TimeStripChartPanel* time_strip_chart_ = nullptr;
  TimeHistogramPanel* time_histogram_ = nullptr;
  TimeMeasurementsPanel* time_measurements_ = nullptr;
  QTimer* timer_ = nullptr;
  QList<QPointer<QWidget>> disabled_while_lent_;
  bool refresh_when_returned_ = false;
  std::optional<NoTriggerWatch> no_trigger_;  // after the simulation configuration
};

}  // namespace vx::ui
