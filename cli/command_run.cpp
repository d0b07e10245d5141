#include <unistd.h>

#include <climits>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <map>

#include "acquisition/run_control.h"
#include "analysis/charge.h"
#include "analysis/measurement_context.h"
#include "analysis/noise_controls.h"
#include "analysis/time_amplitude.h"
#include "app/dac_conversions.h"
#include "app/edge_timing.h"
#include "app/field_ranges.h"
#include "app/message_log.h"
#include "cli/command_rates.h"
#include "cli/commands.h"
#include "cli/no_event_hint.h"
#include "cli/option_checks.h"
#include "cli/setup_changes.h"
#include "digitizer/board_configuration.h"
#include "files/data_file_reader.h"
#include "files/data_file_writer.h"
#include "files/file_menu.h"

namespace vx::cli {

namespace {

const std::map<std::string, int> kTriggerSources = {{"software", kTriggerSoftware},
                                                    {"normal", kTriggerNormal},
                                                    {"auto", kTriggerAuto},
                                                    {"external", kTriggerExternal}};

void apply_run_type(State& st, const RunOptions& o) {
  if (o.single) {
    Set_RunType(st, st, kRunSingleEvent, 1);
  } else if (o.events) {
    Set_RunType(st, st, kRunFiniteEvents, *o.events);
  } else if (o.seconds) {
    Set_RunDuration(st, 0, 0, 0, *o.seconds);
    Set_RunType(st, st, kRunFiniteTime, 0);
  } else if (o.continuous) {
    Set_RunType(st, st, kRunContinuous, 0);
  }
}

void apply_trigger(BoardPort port, const std::string& trigger) {
  if (trigger.empty()) return;
  port.settings.sys.TriggerSource = kTriggerSources.at(trigger);
  Set_SystemTriggerMode(port);
  Set_SystemEnabledTriggerSources(port);
}

void apply_measurements(State& st, const RunOptions& o) {
  // The summary reports every channel's measurements, unless asked to measure only what the
  // other options need (to see what the engine costs without them).
  st.gui.DisplayTimeOnWaveforms = o.no_summary_measurements ? 0 : 1;
  if (o.time_jitter.size() == 2) {
    st.acq.EnTimeJitter = 1;
    st.acq.TimeHistoChannelA = o.time_jitter[0];
    st.acq.TimeHistoChannelB = o.time_jitter[1];
  }
  if (o.charge == "software") Select_ChargeMode(st, ChargeMode::Software);
  if (o.charge == "firmware") Select_ChargeMode(st, ChargeMode::Firmware);
  if (o.fft) st.acq.FFTMode = 1;
  if (o.noise) st.gui.NoiseMeasurementOn = 1;
  if (o.cfd) {
    st.acq.CFDMethod = 1;
    st.acq.CFDRatio = *o.cfd;
  }
  if (o.fixed_threshold) Set_FixedThresholdTiming(st, *o.fixed_threshold);
  if (o.timing_method)
    st.acq.TimeMeasSpareOption = static_cast<std::int32_t>(*EdgeTiming_Named(*o.timing_method));
  if (o.list_cap) st.meas.ListEntriesKept = *o.list_cap;
}

// --noise-window FROM-TO (ns), checked against the record of the settings in force.
bool apply_noise_window(Settings& st, RunState& run_state, const RunOptions& o) {
  if (!o.noise_window) return true;
  double from = 0.0, to = 0.0;
  char end = '\0';
  const double period_ps = Measurement_SamplingPeriodPs(st.sam);
  const double record_ns = Noise_NsFromSample(st.sys.RecordLength, period_ps);
  if (std::sscanf(o.noise_window->c_str(), "%lf-%lf%c", &from, &to, &end) != 2 || from < 0.0 ||
      to <= from || from >= record_ns) {
    std::fprintf(stderr,
                 "--noise-window %s: give FROM-TO in ns, FROM from 0 and below the record's "
                 "%.1f ns, TO above FROM (for example --noise-window 0-10)\n",
                 o.noise_window->c_str(), record_ns);
    return false;
  }
  st.gui.NoiseMeasurementOn = 1;
  Set_NoiseWindowStart(st, run_state, from);
  Set_NoiseWindowEnd(st, run_state, to);
  return true;
}

// The file options go into the records as the file panel would put them; the directory
// dialog is answered with --data-dir (or the settings' data directory), the replay file dialog with
// --replay.
bool apply_file_options(Session& session, const RunOptions& o) {
  State& st = session.state();
  AcqParams& a = st.acq;
  if (!o.save.empty()) {
    a.SaveDataInFile = 1;
    a.DataFileType = o.save == "binary" ? 1 : 0;
  }
  if (o.with_measurements) a.MeasurementsEnabled = 1;
  if (o.measurement_file) a.SaveMeasurementsInFile = 1;
  if (o.split) {
    a.SplitFileToSaveData = 1;
    a.NbOfEventsPerFile = *o.split;
  }
  if (o.no_split) a.SplitFileToSaveData = 0;
  // Refused rather than cut to what the settings hold.
  if (o.base_name && !Set_BaseFileName(st, *o.base_name)) return false;
  if (o.run_id) {
    a.AddRunId = 1;
    a.AutoIncRunId = 0;
    a.RunIdUser = *o.run_id;
  }
  if (o.date) a.AddSystemDate = 1;
  if (o.time) a.AddSystemTime = 1;
  if (o.data_dir && !Set_DataDirectory(st, *o.data_dir)) return false;
  const std::filesystem::path dir(std::string(a.DataDirectory, text_length(a.DataDirectory)));
  std::error_code ec;
  std::filesystem::create_directories(dir, ec);  // the dialog can create folders too
  session.ui().directory_answer = dir;

  if (o.replay) {
    const bool measurements = o.measurement_file;
    Set_RunFromFile(st, 1);
    a.SaveMeasurementsInFile = measurements ? 1 : 0;
    st.files.SkipMissingFiles = o.skip_missing;
    session.ui().file_answer = std::filesystem::path(*o.replay);
  }
  return true;
}

class Progress {
 public:
  explicit Progress(State& st)
      : st_(st), tty_(isatty(STDERR_FILENO) != 0), start_(st.clock.now()) {}

  void update() {
    const double now = st_.clock.now();
    if (now - last_ < (tty_ ? 0.2 : 5.0)) return;
    last_ = now;
    const int events = st_.NbOfEventsInRun.load();
    const double elapsed = now - start_;
    const double rate = elapsed > 0 ? events / elapsed : 0.0;
    std::fprintf(
        stderr,
        tty_ ? "\r  %d events  %.0f events/s  %.1f s   " : "  %d events  %.0f events/s  %.1f s\n",
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

void print_noise_window(const Settings& st, const RunState& run_state) {
  const NoiseWindow w = Noise_Window(run_state);
  const double period_ps = Measurement_SamplingPeriodPs(st.sam);
  std::printf("  noise window       %.3f to %.3f ns (samples %d to %d)\n",
              Noise_NsFromSample(w.start, period_ps), Noise_NsFromSample(w.end, period_ps), w.start,
              w.end);
}

void print_channels(State& st) {
  const MeasurementData& m = st.meas;
  bool header = false;
  for (int ch = 0; ch < st.sys.NbOfChannels && ch < kMaxChannels; ++ch) {
    const int b = ch / 2, c = ch % 2;
    if (st.gui.ChannelEnabled[ch] == 0 || m.MeasuredEvents[b][c] == 0) continue;
    if (!header) {
      if (st.gui.NoiseMeasurementOn == 1) print_noise_window(st, st);
      std::printf("  channel   amplitude (V)   charge (pC)%s\n",
                  st.gui.NoiseMeasurementOn == 1 ? "   noise (mV)" : "");
      header = true;
    }
    const double n = static_cast<double>(m.MeasuredEvents[b][c]);
    std::printf("  %7d   %13.4f   %11.3f", ch, m.AmplitudeSum[b][c] / n, m.ChargeSum[b][c] / n);
    if (st.gui.NoiseMeasurementOn == 1)
      std::printf("   %10.3f", m.MeanSigma[b][c].load() * kVoltsPerAdcCount * 1000.0);
    std::printf("\n");
  }
}

void print_time_histogram(Settings& st, RunState& run_state) {
  const TimeHistoResults& t = run_state.meas.TimeHisto;
  // The differences are t(A) - t(B).
  std::printf("  time difference ch%d - ch%d over %d events\n", st.acq.TimeHistoChannelA,
              st.acq.TimeHistoChannelB, t.entries);
  std::printf("    mean             %.4f ns\n", t.mean_ns);
  std::printf("    RMS              %.2f ps\n", t.rms_ps);
  std::printf("    FWHM             %.2f ps\n", t.fwhm_ps);
  if (t.fitted) {
    std::printf("    fitted sigma     %.2f ps\n", t.fitted_sigma_ps);
  } else {
    std::printf("    fitted sigma     (no fit)\n");
  }
}

// The rate is over the time spent acquiring; the wall time adds the run's setup, the
// writer's last second and the closing of the files.
void print_summary(State& st, double wall_seconds) {
  const int events = st.NbOfEventsInRun.load();
  const double acquiring = st.run.AcquisitionSeconds;
  static const char* const kSourceNames[] = {"Software", "Normal", "Auto", "External"};
  const int source = st.sys.TriggerSource;
  std::printf("\nRun summary\n");
  std::printf("  events             %d\n", events);
  if (st.acq.SaveDataInFile == 1 || st.acq.SaveMeasurementsInFile == 1)
    std::printf("  events saved       %lld\n", static_cast<long long>(Saved_EventCount(st, st)));
  std::printf("  trigger            %s\n",
              source >= 0 && source < 4 ? kSourceNames[source] : "unknown");
  std::printf("  duration           %.2f s acquiring, %.2f s in all\n", acquiring, wall_seconds);
  std::printf("  mean rate          %.1f events/s\n", acquiring > 0 ? events / acquiring : 0.0);
  print_channels(st);
  if (st.acq.EnTimeJitter == 1) print_time_histogram(st, st);
}

// The run's log tells which values of the setup file the command line replaced.
void log_overrides(Settings& st, MessageLog& log, const std::string& setup,
                   const RestoredRecords& from_setup) {
  const auto changes = describe_changes(from_setup, snapshot_restored_records(st));
  std::string text = "Setup " + setup + " loaded; ";
  if (changes.empty()) {
    text += "the command line changed none of its values.\n";
  } else {
    text += "the command line changed " + std::to_string(changes.size()) + " of its values:\n";
    for (const auto& line : changes) text += "  " + line + "\n";
  }
  Write_InfoMessage(log, text, kInfo);
}

}  // namespace

void add_run_options(CLI::App& command, RunOptions& o) {
  auto* events = command.add_option("--events", o.events, "Finite Event Number run of N events")
                     ->check(whole_number(1, INT_MAX, "--events 1000"));
  auto* seconds = command.add_option("--seconds", o.seconds, "Finite Time run of S seconds")
                      ->check(whole_number(1, INT_MAX, "--seconds 60"));
  auto* continuous = command.add_flag("--continuous", o.continuous, "Continuous run, until Ctrl-C");
  auto* single = command.add_flag("--single", o.single, "Single Event run");
  events->excludes(seconds)->excludes(continuous)->excludes(single);
  seconds->excludes(continuous)->excludes(single);
  continuous->excludes(single);
  command
      .add_option("--trigger", o.trigger, "Trigger source (default: the setup's, else software)")
      ->check(CLI::IsMember({"software", "normal", "auto", "external"}));
  command
      .add_option("--time-jitter", o.time_jitter,
                  "Histogram the time difference between two channels A and B, each 0..15 "
                  "(within the board's channels)")
      ->option_text("A,B")
      ->delimiter(',')
      ->expected(2)
      ->check(whole_number(0, kMaxChannels - 1, "--time-jitter 0,1"));
  command.add_option("--charge", o.charge, "Charge histograms computed by software or the board")
      ->check(CLI::IsMember({"software", "firmware"}));
  command.add_flag("--fft", o.fft,
                   "Spectra mode: a saved data file holds each event's spectrum, and the remote "
                   "client gets spectra");
  command.add_flag("--noise", o.noise, "Track every channel's noise");
  command
      .add_option("--noise-window", o.noise_window,
                  "Measure the noise from FROM to TO ns of the record (implies --noise; "
                  "default: the baseline samples before the pulses)")
      ->option_text("FROM-TO");
  command.add_flag("--no-summary-measurements", o.no_summary_measurements,
                   "Do not measure every channel for the summary's table");
  auto* cfd = command
                  .add_option("--cfd", o.cfd,
                              "Constant-fraction timing at RATIO, 0.01..0.99 (default: the "
                              "setup's timing, else constant fraction at 0.5)")
                  ->option_text("RATIO")
                  ->check(number_between(0.01, 0.99, "--cfd 0.5"));
  auto* fixed = command
                    .add_option("--fixed-threshold", o.fixed_threshold,
                                "Fixed-threshold timing at VOLTS (sign of the pulses)")
                    ->option_text("VOLTS");
  cfd->excludes(fixed);
  command
      .add_option("--timing-method", o.timing_method,
                  "How the edges' times are taken: standard (the crossing on the samples or "
                  "their spline) or band-limited (the crossing on the waveform's band-limited "
                  "reconstruction, low-passed at half the Nyquist frequency: no bias with the "
                  "pulse's place within a sample, less noise). Default: the setup's, else "
                  "standard")
      ->option_text("NAME")
      ->check(CLI::IsMember({"standard", "band-limited"}));
  command
      .add_option("--list-cap", o.list_cap,
                  "Events whose measurements the run keeps for rebuilding the histograms "
                  "(default " +
                      std::to_string(kDefaultListEntriesKept) + ")")
      ->check(whole_number(1, INT_MAX, "--list-cap 1000000"));

  auto* save =
      command.add_option("--save", o.save, "Save the events in an ascii or binary data file")
          ->check(CLI::IsMember({"ascii", "binary"}));
  auto* with = command.add_flag("--with-measurements", o.with_measurements,
                                "Data file records carry each channel's measurements");
  command.add_flag("--measurement-file", o.measurement_file,
                   "Write the per-event measurement file");
  auto* split =
      command.add_option("--split", o.split, "A new data file every N events (default 500)")
          ->check(whole_number(kFewestEventsPerFile, kEventsPerFile.hi, "--split 500"));
  auto* no_split = command.add_flag("--no-split", o.no_split, "One data file for the whole run");
  split->excludes(no_split);
  command
      .add_option("--data-dir", o.data_dir,
                  "Directory receiving the run directories (default <user dir>/RunData)")
      ->option_text("DIR");
  command.add_option("--base-name", o.base_name, "Base of the run name (default veltrix)")
      ->option_text("NAME");
  command.add_option("--run-id", o.run_id, "Run number instead of the next free one")
      ->check(whole_number(int_range_of<&AcqParams::RunIdUser>().lo,
                           int_range_of<&AcqParams::RunIdUser>().hi, "--run-id 7"));
  command.add_flag("--date", o.date, "Add the date to the run name");
  command.add_flag("--time", o.time, "Add the time to the run name");
  auto* replay =
      command.add_option("--replay", o.replay, "Replay a saved data file instead of the board")
          ->check(CLI::ExistingFile)
          ->option_text("FILE");
  replay->excludes(save)->excludes(with);
  command
      .add_flag("--skip-missing", o.skip_missing,
                "Replay past a file missing in the middle of the series, telling what it cost")
      ->needs(replay);
  add_settings_options(command, o.settings);
  command
      .add_option("--save-histos", o.save_histos,
                  "Write the charge and time-difference histogram files into DIR")
      ->option_text("DIR");
}

bool apply_run_options(Session& session, const RunOptions& options) {
  const int channels = session.state().sys.NbOfChannels;
  for (const int ch : options.time_jitter)
    if (ch >= channels) {
      std::fprintf(stderr, "--time-jitter %d,%d: this board has channels 0 to %d\n",
                   options.time_jitter[0], options.time_jitter[1], channels - 1);
      return false;
    }
  // The trigger source first: choosing "External" clears the gate option given after it.
  apply_trigger(session.state(), options.trigger);
  if (!apply_cli_settings(session.state(), options.settings)) return false;
  apply_run_type(session.state(), options);
  apply_measurements(session.state(), options);
  if (!apply_noise_window(session.state(), session.state(), options)) return false;
  return apply_file_options(session, options);
}

int command_run(Session& session, const RunOptions& options) {
  if (!session.connect()) return 1;
  State& st = session.state();
  const RestoredRecords from_setup = snapshot_restored_records(st);
  if (!apply_run_options(session, options)) return 2;
  if (session.setup_file()) log_overrides(st, st.log, *session.setup_file(), from_setup);

  const int errors_before = session.ui().errors_seen.load();
  const int generation = st.AcquisitionGeneration.load();
  if (Start_AcquisitionFromUser(st) != kDone) return 1;
  const double start = st.clock.now();
  Progress progress(st);
  NoEventHint hint(st);
  session.run_until(
      [&] {
        return st.AcquisitionGeneration.load() != generation && st.AcquisitionRunning.load() == 0;
      },
      [&] {
        progress.update();
        hint.update();
      });
  progress.done();
  print_summary(st, st.clock.now() - start);
  const int histos = options.save_histos ? save_run_histos(session, *options.save_histos) : 0;
  if (options.replay) Set_RunFromFile(st, 0);
  return session.ui().errors_seen.load() != errors_before || histos != 0 ? 1 : 0;
}

int command_demo(Session& session) {
  RunOptions options;
  options.events = 2000;
  return command_run(session, options);
}

}  // namespace vx::cli
