#include "cli/command_rates.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <stdexcept>
#include <string>

#include "acquisition/run_control.h"
#include "analysis/rate_measurement.h"
#include "calibration/rate_scan.h"
#include "cli/commands.h"
#include "cli/no_event_hint.h"
#include "cli/option_checks.h"
#include "digitizer/board_configuration.h"
#include "files/result_files.h"

namespace vx::cli {

namespace {

std::vector<int> enabled_channels(const Settings& st) {
  std::vector<int> out;
  const int n = std::min(static_cast<int>(st.sys.NbOfChannels), kMaxChannels);
  for (int ch = 0; ch < n; ++ch)
    if (st.gui.ChannelEnabled[ch] != 0) out.push_back(ch);
  return out;
}

void print_live_rates(RunState& st, const std::vector<int>& channels, int second) {
  std::printf("%4d s", second);
  for (int ch : channels) {
    RateEstimate rate;
    rate.valid = st.rates.TriggerRateUnit[ch].load() != 0;
    rate.hz = st.rates.RawTriggerRate[ch].load();
    rate.error_hz = st.rates.RawTriggerRateError[ch].load();
    const RateText text = Format_Rate(rate);
    // The sign takes two bytes and one column.
    std::printf("  ch%-2d %17s %-3s", ch, text.value.c_str(), text.trimmed_unit().c_str());
  }
  std::printf("\n");
  std::fflush(stdout);
}

std::string dated_name(Settings& st, FrontEndLinks& links, const char* kind) {
  const WallTime now = links.clock.wall();
  char name[96];
  std::snprintf(name, sizeof name, "Run_%d_%s_%d_%d_%d.dat", st.acq.AutoRunId, kind, now.month,
                now.day, now.year);
  return name;
}

}  // namespace

std::shared_ptr<RatesOptions> add_rates_command(CLI::App& app) {
  auto o = std::make_shared<RatesOptions>();
  o->command = app.add_subcommand(
      "rates", "Acquire and print every channel's hit rate once a second, then a table");
  o->command->add_option("--seconds", o->seconds, "Counting time (default 10)")
      ->check(whole_number(1, 86400, "--seconds 10"));
  o->command
      ->add_option("--trigger", o->trigger, "Trigger source of the events carrying the counts")
      ->check(CLI::IsMember({"software", "normal", "auto", "external"}));
  add_settings_options(*o->command, o->settings);
  return o;
}

int command_rates(Session& session, const RatesOptions& options) {
  if (!session.connect()) return 1;
  State& st = session.state();
  RunOptions run;
  run.seconds = options.seconds;
  run.trigger = options.trigger;
  run.settings = options.settings;
  if (!apply_run_options(session, run)) return kUsageExitCode;
  st.gui.DisplayTimeOnWaveforms = 0;  // the rates need no per-event measurement
  Enable_RateMeasurement(st, st, st, true);
  const std::vector<int> channels = enabled_channels(st);
  if (channels.empty()) {
    std::fprintf(stderr, "No channel is acquired: give --channels LIST.\n");
    return kUsageExitCode;
  }

  const int errors_before = session.ui().errors_seen.load();
  const int generation = st.AcquisitionGeneration.load();
  if (Start_AcquisitionFromUser(st) != kDone) return 1;
  const double start = st.clock.now();
  int printed = 0;
  NoEventHint hint(st);
  session.run_until(
      [&] {
        return st.AcquisitionGeneration.load() != generation && st.AcquisitionRunning.load() == 0;
      },
      [&] {
        hint.update();
        const int second = static_cast<int>(st.clock.now() - start);
        if (second > printed) print_live_rates(st, channels, printed = second);
      });

  std::printf("\nHit rates over the run\n  channel        hits     time (s)                rate\n");
  for (int ch : channels) {
    const double micros = st.rates.TotalTime[ch];
    const auto hits = static_cast<long long>(st.rates.TotalCount[ch]);
    const RateText rate = Format_Rate(Rate_FromCounts(hits, micros));
    std::printf("  %7d %11lld %12.3f %17s %s\n", ch, hits, micros * 1e-6, rate.value.c_str(),
                rate.trimmed_unit().c_str());
  }
  return session.ui().errors_seen.load() != errors_before ? 1 : 0;
}

std::shared_ptr<ScanOptions> add_scan_command(CLI::App& app) {
  auto o = std::make_shared<ScanOptions>();
  o->command = app.add_subcommand(
      "scan", "Hit rate versus threshold: every channel's threshold stepped through a range");
  o->command->add_option("--from", o->from, "First threshold (V)")
      ->required()
      ->check(number_between(-1.25, 1.25, "--from -0.05"));
  o->command->add_option("--to", o->to, "Last threshold (V)")
      ->required()
      ->check(number_between(-1.25, 1.25, "--to 0.05"));
  o->command->add_option("--steps", o->steps, "Number of thresholds, both ends included")
      ->required()
      ->check(whole_number(1, 10000, "--steps 99"));
  o->command->add_option("--time", o->time, "Counting time per threshold (s)")
      ->required()
      ->check(number_between(0.001, 3600.0, "--time 0.3"));
  o->command
      ->add_option("--channel", o->channel, "Channel shown and saved: N, or all (default all)")
      ->check(CLI::Validator(
          [](std::string& text) -> std::string {
            if (text == "all" || whole_number(0, kMaxChannels - 1, "")(text).empty()) return {};
            return "'" + text + "' is not allowed: give a channel from 0 to " +
                   std::to_string(kMaxChannels - 1) + ", or all, for example --channel 3";
          },
          "N|all"));
  o->command->add_option("--save", o->save, "Write the result file FILE")->option_text("FILE");
  return o;
}

int command_scan(Session& session, const ScanOptions& options) {
  // Checked by the parser: all, or a whole number in range.
  const int channel = options.channel == "all" ? -1 : std::stoi(options.channel);
  if (!session.connect()) return 1;
  State& st = session.state();
  if (channel >= st.sys.NbOfChannels) {
    std::fprintf(stderr, "--channel: the board has %d channels\n", st.sys.NbOfChannels);
    return 2;
  }
  Set_RateScanRange(st, st, options.from, options.to);
  Set_RateScanNbOfSteps(st, options.steps);
  Set_RateScanStepValue(st, options.time);
  Select_RateVsThresholdChannel(st, st, channel);

  const int errors_before = session.ui().errors_seen.load();
  // A failed register access is reported as a warning, and the scan goes on without it.
  const int communication_errors_before = st.NbOfCommunicatonErrors.load();
  const int finished = st.rates.ScansFinished.load();
  if (Run_RateVsThresholdScan(st) != 1) return 1;
  int shown_step = 0;
  bool break_sent = false;
  session.run_until([&] { return st.rates.ScansFinished.load() != finished; },
                    [&] {
                      if (Session::interrupted() && !break_sent) {
                        Break_RateVsThresholdScan(st);
                        break_sent = true;
                      }
                      const int step = st.rates.ScanStep.load();
                      if (step == shown_step) return;
                      shown_step = step;
                      std::fprintf(stderr, "  step %d/%d  threshold %+.4f V\n", step, options.steps,
                                   static_cast<double>(st.rates.ScanThreshold.load()));
                    });

  const RateScanResult r = RateScan_Result(st);
  std::printf("\nHit rate (Hz) versus threshold%s\n  threshold (V)",
              r.partial() ? " (partial: the scan was stopped)" : "");
  for (int ch = 0; ch < r.channels; ++ch)
    if (channel == -1 || ch == channel) std::printf(" %9s%-2d", "ch", ch);
  std::printf("\n");
  for (int i = 0; i < r.measured; ++i) {
    std::printf("  %13.4f", r.ThresholdValuesForPlot[0][i]);
    for (int ch = 0; ch < r.channels; ++ch)
      if (channel == -1 || ch == channel)
        std::printf(" %11d", RateVsThreshold_WholeHz(r.RateValuesForPlot[ch][i]));
    std::printf("\n");
  }
  int rc = session.ui().errors_seen.load() != errors_before || r.partial() ||
                   st.NbOfCommunicatonErrors.load() != communication_errors_before
               ? 1
               : 0;
  if (options.save && Write_RateVsThresholdFile(st, st, st, *options.save) != 1) rc = 1;
  return rc;
}

int save_run_histos(Session& session, const std::string& directory) {
  State& st = session.state();
  std::error_code ec;
  std::filesystem::create_directories(directory, ec);
  const std::filesystem::path dir(directory);
  int rc = 0;
  if (st.acq.EnSoftwareChargeHisto == 1 || st.sam[0].ChargeModeEnabled == 1) {
    if (Write_ChargeHistoFile(st, st, st, dir / dated_name(st, st, "ChargeHistos")) != 1) rc = 1;
  }
  if (st.acq.EnTimeJitter == 1) {
    const auto path = dir / dated_name(st, st, "TimeHistos");
    if (Write_TimeHistoFile(st, st, st, path) != 1) {
      rc = 1;
    } else {
      std::printf("Time histogram saved in '%s'.\n", path.string().c_str());
    }
  }
  return rc;
}

}  // namespace vx::cli
