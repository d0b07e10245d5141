#include "cli/session.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>

#include "app/lifecycle.h"
#include "app/record_loan.h"
#include "app/timer_tick.h"
#include "app/user_path.h"
#include "calibration/stored_calibrations.h"
#include "digitizer/board_connection.h"
#include "digitizer/connection_rules.h"
#include "files/setup_file.h"
#include "platform/clock.h"
#include "wiring/core_wiring.h"

namespace vx::cli {

namespace {

// Set by the Ctrl-C handler; a signal handler can reach nothing else.
volatile std::sig_atomic_t g_interrupted = 0;

void on_interrupt(int) {
  g_interrupted = 1;
}

volatile std::sig_atomic_t g_disconnect_requested = 0;

void on_disconnect_request(int) {
  g_disconnect_requested = 1;
}

}  // namespace

Session::Session(const GlobalOptions& options) : options_(options), st_(ui_, clock_, pool_) {
  ui_.assume_yes = options.yes;
  ui_.overwrite = options.overwrite;
  FrontEndHooks hooks;
  hooks.select_board_model = [this](int model) { make_board(model); };
  Install_CoreHooks(st_, std::move(hooks));
  std::signal(SIGINT, on_interrupt);
  std::signal(SIGTERM, on_interrupt);
  std::signal(SIGUSR1, on_disconnect_request);
}

Session::~Session() {
  web_.reset();
  pool_.wait_idle();
  Shutdown_Core(st_, st_);
  st_.digitizer = nullptr;
}

bool Session::interrupted() {
  return g_interrupted != 0;
}

bool Session::take_disconnect_request() {
  if (g_disconnect_requested == 0) return false;
  g_disconnect_requested = 0;
  return true;
}

bool Session::start() {
  // Everything is checked before the log of the previous session is replaced.
  if (!open_driver()) return false;
  const auto env = read_user_path_environment(options_.user_dir, executable_directory());
  const auto user_path = Resolve_UserPath(env);
  if (user_path.empty()) {
    std::fprintf(stderr,
                 "The user data directory '%s' (%s) cannot be created or written into.\n"
                 "Give a writable directory with --user-dir DIR.\n",
                 env.override_dir->c_str(),
                 options_.user_dir ? "--user-dir" : "environment variable VELTRIX_USER_DIR");
    return false;
  }
  Start_Core(st_, st_, user_path);
  if (options_.web) {
    WebOptions web;
    web.token_file = options_.web_token_file.value_or("");
    web.max_clients = options_.web_max_clients;
    std::string error;
    web_ = std::make_unique<WebMonitor>(st_);
    if (!Parse_WebAddress(*options_.web, web, error) || !web_->start(web, error)) {
      std::fprintf(stderr, "The web monitor cannot start: %s.\n", error.c_str());
      return false;
    }
  }
  return true;
}

bool Session::open_driver() {
  const std::string spec = Board_DriverSpec(options_.driver, options_.sim_config);
  auto opened = Open_BoardDriver(spec);
  if (!opened.ok()) {
    std::fprintf(stderr, "The board driver '%s' cannot be used:\n", spec.c_str());
    for (const auto& e : opened.errors) std::fprintf(stderr, "  %s\n", e.c_str());
    return false;
  }
  source_ = std::move(opened.source);
  return true;
}

void Session::make_board(int model) {
  st_.digitizer = nullptr;
  board_ = source_->make(model, st_.UserPath, {});
  st_.digitizer = board_.get();
}

int Session::board_model() const {
  if (options_.model) return *options_.model == "dt5743" ? kModelDesktop : kModelVme;
  return source_->described_model().value_or(kModelVme);
}

bool Session::connect() {
  const int model = board_model();
  Select_BoardModel(st_, st_, st_, model);
  st_.board.LinkType = Default_LinkType(model);
  Connect_Board(st_, model);
  // Until the connection thread has given the records back, too.
  run_until([&] {
    return st_.ConnectingThreadReleased.load() == 1 && st_.Connecting.load() == 0 &&
           !Records_Lent(st_);
  });
  if (st_.Board_Connected.load() != 1) return false;
  if (options_.load_calibration && Load_Calibrations_And_Reload(st_, -1) != 0) return false;
  return !options_.setup || Load_SetupFromFile(st_, *options_.setup, 0) == 1;
}

void Session::run_until(const std::function<bool()>& pred, const std::function<void()>& each_pass,
                        bool with_tick) {
  bool stop_sent = false;
  if (next_tick_ == 0.0) next_tick_ = clock_.now() + 1.0;
  while (!pred()) {
    ui_.loop.run_until(pred, 0.1);
    // Work that owns the records (without the tick) is cancelled through its own flag: the
    // records are not this thread's to write meanwhile.
    if (g_interrupted != 0 && !stop_sent && with_tick) {
      st_.request_run_end();
      stop_sent = true;
    }
    if (with_tick && clock_.now() >= next_tick_) {
      TimerCB(st_);
      next_tick_ += 1.0;
    }
    if (each_pass) each_pass();
  }
  ui_.loop.process_pending();
}

}  // namespace vx::cli
