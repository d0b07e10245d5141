// One command-line session: the core's state around a board of the registered drivers (the
// simulated board unless told otherwise), connected and driven from the terminal.
#pragma once

#include <csignal>
#include <memory>
#include <optional>
#include <string>

#include "app/state.h"
#include "cli/headless_front_end.h"
#include "digitizer/board_registry.h"
#include "platform/clock.h"
#include "platform/thread_pool.h"
#include "web/web_monitor.h"

namespace vx::cli {

struct GlobalOptions {
  std::optional<std::string> user_dir;
  std::optional<std::string> sim_config;
  std::optional<std::string> driver;  // NAME[:KEY=VALUE,...]; unset: the simulated board
  std::optional<std::string> model;   // dt5743 or v1743; unset: the driver's, else v1743
  bool yes = false;
  bool overwrite = false;
  // After connecting, every calibration table is read from the EEPROMs and put in use.
  bool load_calibration = false;
  // A setup file loaded after connecting, before the command's own options.
  std::optional<std::string> setup;
  // The web monitor: [ADDRESS:]PORT, the token file, the connection cap.
  std::optional<std::string> web;
  std::optional<std::string> web_token_file;
  int web_max_clients = 32;
};

class Session {
 public:
  explicit Session(const GlobalOptions& options);
  ~Session();
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  // Checks the board driver's arguments and the user data directory, then starts the core
  // (log file, user folders) and the web monitor if asked; false, with the reason printed,
  // when one of them is unusable.
  bool start();
  // Connects the board and waits for the connection thread; true when a board is there (and,
  // with load_calibration, its stored calibrations were loaded, and the setup file given was
  // loaded).
  bool connect();
  const std::optional<std::string>& setup_file() const { return options_.setup; }
  // Runs the user-interface loop (posted tasks and the one-second tick) until pred holds.
  // Ctrl-C sets StopRequest once.
  // Without the tick, for work that owns the parameter records meanwhile (a calibration
  // snapshots and restores them on its worker, and the tick reads them): Ctrl-C then leaves the
  // records alone, and each_pass turns it into the work's own cancel.
  void run_until(const std::function<bool()>& pred, const std::function<void()>& each_pass = {},
                 bool with_tick = true);

  State& state() { return st_; }
  HeadlessFrontEnd& ui() { return ui_; }
  // The board made for the connection (the tests use the simulated board's extras).
  Digitizer* board() { return board_.get(); }
  static bool interrupted();
  // SIGUSR1 asks to disconnect the remote client; true once per request.
  static bool take_disconnect_request();

 private:
  // Opens the board driver --driver and --sim-config name; false (with the reason printed)
  // when its arguments are bad.
  bool open_driver();
  void make_board(int model);
  // The model to connect: --model, else the one the driver's arguments describe.
  int board_model() const;

  GlobalOptions options_;
  HeadlessFrontEnd ui_;
  SystemClock clock_;
  ThreadPool pool_;
  State st_;
  std::unique_ptr<BoardSource> source_;
  std::unique_ptr<Digitizer> board_;
  double next_tick_ = 0.0;
  std::unique_ptr<WebMonitor> web_;
};

}  // namespace vx::cli
