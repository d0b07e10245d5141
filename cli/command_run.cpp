#include <unistd.h>

#include <cstdio>
#include <map>

#include "acquisition/run_control.h"
#include "cli/commands.h"
#include "digitizer/board_configuration.h"

namespace vx::cli {

namespace {

const std::map<std::string, int> kTriggerSources = {
    {"software", 0}, {"normal", 1}, {"auto", 2}, {"external", 3}};

void apply_run_type(State& st, const RunOptions& o) {
  if (o.single) {
    Set_RunType(st, 0, 1);
  } else if (o.events) {
    Set_RunType(st, 1, *o.events);
  } else if (o.seconds) {
    Set_RunDuration(st, 0, 0, 0, *o.seconds);
    Set_RunType(st, 2, 0);
  } else if (o.continuous) {
    Set_RunType(st, 3, 0);
  }
}

void apply_trigger(State& st, const std::string& trigger) {
  if (trigger.empty()) return;
  st.sys.TriggerSource = kTriggerSources.at(trigger);
  Set_SystemTriggerMode(st);
  Set_SystemEnabledTriggerSources(st);
}

class Progress {
 public:
  explicit Progress(State& st) : st_(st), tty_(isatty(STDERR_FILENO) != 0), start_(st.clock.now()) {}

  void update() {
    const double now = st_.clock.now();
    if (now - last_ < (tty_ ? 0.2 : 5.0)) return;
    last_ = now;
    const int events = st_.EventNumber.load() - st_.FirstEventNumber.load();
    const double elapsed = now - start_;
    const double rate = elapsed > 0 ? events / elapsed : 0.0;
    std::fprintf(stderr, tty_ ? "\r  %d events  %.0f events/s  %.1f s   " : "  %d events  %.0f events/s  %.1f s\n",
                 events, rate, elapsed);
  }

  void done() const {
    if (tty_) std::fprintf(stderr, "\n");
  }

 private:
  State& st_;
  bool tty_;
  double start_;
  double last_ = 0.0;
};

void print_summary(State& st, double elapsed) {
  const int events = st.EventNumber.load() - st.FirstEventNumber.load();
  std::printf("\nRun summary\n");
  std::printf("  events             %d\n", events);
  std::printf("  duration           %.2f s\n", elapsed);
  std::printf("  mean rate          %.1f events/s\n", elapsed > 0 ? events / elapsed : 0.0);
}

}  // namespace

void add_run_options(CLI::App& command, RunOptions& o) {
  auto* events = command.add_option("--events", o.events, "Finite Event Number run of N events")
                     ->check(CLI::PositiveNumber);
  auto* seconds = command.add_option("--seconds", o.seconds, "Finite Time run of S seconds")
                      ->check(CLI::PositiveNumber);
  auto* continuous = command.add_flag("--continuous", o.continuous, "Continuous run, until Ctrl-C");
  auto* single = command.add_flag("--single", o.single, "Single Event run");
  events->excludes(seconds)->excludes(continuous)->excludes(single);
  seconds->excludes(continuous)->excludes(single);
  continuous->excludes(single);
  command.add_option("--trigger", o.trigger, "Trigger source")
      ->check(CLI::IsMember({"software", "normal", "auto", "external"}));
}

void apply_run_options(Session& session, const RunOptions& options) {
  apply_trigger(session.state(), options.trigger);
  apply_run_type(session.state(), options);
}

int command_run(Session& session, const RunOptions& options) {
  if (!session.connect()) return 1;
  State& st = session.state();
  apply_run_options(session, options);

  const int errors_before = session.ui().errors_seen.load();
  const int generation = st.AcquisitionGeneration.load();
  if (Start_AcquisitionFromUser(st) != 1) return 1;
  const double start = st.clock.now();
  Progress progress(st);
  session.run_until(
      [&] { return st.AcquisitionGeneration.load() != generation && st.AcquisitionRunning.load() == 0; },
      [&] { progress.update(); });
  progress.done();
  print_summary(st, st.clock.now() - start);
  return session.ui().errors_seen.load() != errors_before ? 1 : 0;
}

int command_demo(Session& session) {
  RunOptions options;
  options.events = 2000;
  return command_run(session, options);
}

}  // namespace vx::cli
