// The desktop application's event rate with the display on and off, offscreen, on the
// simulated 16-channel board at its dead-time limit (1 MHz pulses self-triggering every
// channel at -50 mV, Normal trigger, 1 024 samples): the rate a user reads in Events/s.
// Each case is a continuous run measured over a few seconds after a settling second; the
// cases alternate, so a busy machine weighs on both alike.
#include <benchmark/benchmark.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QPushButton>
#include <QTemporaryDir>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <memory>
#include <string>

#include "acquisition/acquisition_controls.h"
#include "app/record_loan.h"
#include "digitizer/board_configuration.h"
#include "ui/connection_panel.h"
#include "ui/gui_app.h"
#include "ui/main_window.h"

namespace {

class NoDialogs final : public vx::ui::Dialogs {
 public:
  void popup(vx::PopupKind, const QString&, const QString&) override {}
  bool confirm(const QString&, const QString&) override { return false; }
  std::optional<QString> prompt(const QString&, const QString&, const QString&) override {
    return std::nullopt;
  }
  std::optional<QString> select_file(const vx::FileDialogRequest&) override { return std::nullopt; }
  std::optional<QString> select_directory(const QString&, const QString&) override {
    return std::nullopt;
  }
};

// Runs the event loop, as QApplication::exec would, for ms milliseconds or until done().
template <typename F>
bool pump_until(F done, int ms) {
  QElapsedTimer t;
  t.start();
  while (!done()) {
    if (t.elapsed() > ms) return false;
    QApplication::processEvents(QEventLoop::AllEvents, 5);
  }
  return true;
}

struct Desktop {
  QTemporaryDir home;
  NoDialogs dialogs;
  std::unique_ptr<vx::ui::GuiApp> app;
  bool ready = false;

  Desktop() {
    const QString config = home.filePath("sim.cfg");
    std::ofstream(config.toStdString()) << "trigger_rate_hz = 1e6\n";
    vx::ui::GuiOptions options;
    options.user_dir = home.filePath("user").toStdString();
    options.sim_config = config.toStdString();
    app = std::make_unique<vx::ui::GuiApp>(options);
    app->front_end().set_dialogs(&dialogs);
    app->start();
    auto& panel = app->connection_panel();
    panel.model_box()->setCurrentIndex(2);  // the 16-channel VME board
    panel.link_box()->setCurrentIndex(1);   // optical link
    panel.connect_button()->click();
    vx::State& st = app->state();
    ready = pump_until(
                [&] {
                  return st.ConnectingThreadReleased.load() == 1 && st.Connecting.load() == 0 &&
                         !vx::Records_Lent(st);
                },
                30000) &&
            st.Board_Connected.load() == 1;
    if (!ready) return;
    vx::Set_Threshold(st, -1, -0.05f);
    vx::Set_TriggerEdge(st, -1, vx::kPolarityFallingEdge);
    vx::Set_TriggerSourceOption(st, vx::kTriggerNormal);
    vx::Set_SystemEnabledTriggerSources(st);
  }
  ~Desktop() {
    if (app && app->state().AcquisitionRunning.load() == 1) app->main_window().stop_and_wait();
  }
};

Desktop& desktop() {
  static Desktop d;
  return d;
}

void BM_DesktopRunEventsPerSecond(benchmark::State& state) {
  Desktop& d = desktop();
  if (!d.ready) {
    state.SkipWithError("the simulated board did not connect");
    return;
  }
  vx::State& st = d.app->state();
  auto& main = d.app->main_window();
  const bool display = state.range(0) == 1;
  if (main.display_switch()->isChecked() != display) main.display_switch()->click();
  const int frames_before = main.redraw_count();
  double events = 0, seconds = 0;
  for (auto _ : state) {
    if (!pump_until([&] { return main.action(vx::ui::MenuAction::Start)->isEnabled(); }, 30000)) {
      state.SkipWithError("Start stayed disabled");
      return;
    }
    main.action(vx::ui::MenuAction::Start)->trigger();
    pump_until([] { return false; }, 1000);  // the run settles
    const int first = st.EventNumber.load();
    const auto t0 = std::chrono::steady_clock::now();
    pump_until([] { return false; }, 4000);
    const int last = st.EventNumber.load();
    const double dt = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    main.stop_and_wait();
    events += last - first;
    seconds += dt;
  }
  state.counters["events_per_s"] = events / seconds;
  state.counters["frames_per_s"] = (main.redraw_count() - frames_before) / (seconds + 1.0);
}
// Alternated, twice each.
BENCHMARK(BM_DesktopRunEventsPerSecond)
    ->ArgName("display")
    ->Arg(1)
    ->Arg(0)
    ->Arg(1)
    ->Arg(0)
    ->Iterations(1)
    ->Unit(benchmark::kSecond);

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  std::string load;
  std::getline(std::ifstream("/proc/loadavg"), load);
  std::printf("load average before: %s\n", load.c_str());
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
