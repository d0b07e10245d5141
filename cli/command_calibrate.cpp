// veltrix-cli calibrate pedestals N | sam-dac | trigger-dac: one calibration on the connected
// board, with the progress on stderr and what it measured on stdout.
#include <cmath>
#include <cstdio>
#include <functional>

#include "calibration/calibration_pass.h"
#include "calibration/pedestal_calibration.h"
#include "calibration/sam_dac_calibration.h"
#include "calibration/stored_calibrations.h"
#include "calibration/trigger_dac_calibration.h"
#include "cli/commands.h"
#include "cli/option_checks.h"
#include "eeprom/calibration_tables.h"

namespace vx::cli {

namespace {

// Fewer events leave a table that holds one event's noise rather than the cells' levels.
constexpr int kMinPedestalEvents = 10;

void print_pedestals(const BoardLink& st, const Settings& settings, const RunState& run_state) {
  std::printf("\nPedestals over %d events (ADC counts)\n", run_state.EventNumber.load());
  std::printf("  channel       mean     spread\n");
  for (int b = 0; b < board_blocks(settings); ++b)
    for (int c = 0; c < kChannelsPerBlock; ++c) {
      const auto& cells = st.calib.IndividualOffsetDistribution[b][c];
      double sum = 0.0, sum2 = 0.0;
      for (const float v : cells) {
        sum += v;
        sum2 += static_cast<double>(v) * v;
      }
      const double mean = sum / kMaxSamples;
      const double spread = std::sqrt(std::max(0.0, sum2 / kMaxSamples - mean * mean));
      std::printf("  %7d  %9.3f  %9.3f\n", 2 * b + c, mean, spread);
    }
}

void print_sam_dac_codes(const Settings& st) {
  std::printf("\nSAM DAC line codes (lines 0 to 15)\n");
  for (int b = 0; b < board_blocks(st); ++b)
    for (int c = 0; c < kChannelsPerBlock; ++c) {
      const std::uint8_t* codes = c == 0 ? st.sam[b].SamDacOffsetCh0 : st.sam[b].SamDacOffsetCh1;
      std::printf("  channel %2d:", 2 * b + c);
      for (int line = 0; line < 16; ++line) std::printf(" %3d", codes[line]);
      std::printf("\n");
    }
}

void print_threshold_offsets(const BoardLink& st, const Settings& settings) {
  std::printf("\nTrigger threshold offsets (mV)\n");
  for (int b = 0; b < board_blocks(settings); ++b)
    for (int c = 0; c < kChannelsPerBlock; ++c)
      std::printf("  channel %2d: %.5f\n", 2 * b + c, st.calib.MeanThreshold[b][c] * 1000.0);
}

// Runs the calibration on a worker while the session's loop serves the posted work and turns
// Ctrl-C into a cancel. True when it measured, and nothing went wrong meanwhile.
bool run_calibration(Session& session, const std::function<bool(State&)>& calibration) {
  State& st = session.state();
  const int errors_before = session.ui().errors_seen.load();
  const int communication_errors_before = st.NbOfCommunicatonErrors.load();
  std::atomic<bool> done{false};
  std::atomic<bool> ok{false};
  st.pool.schedule([&] {
    ok = calibration(st);
    done = true;
  });
  session.run_until([&] { return done.load(); },
                    [&] {
                      if (Session::interrupted()) st.calib.CalibrationCancel = true;
                    },
                    false);
  return ok.load() && session.ui().errors_seen.load() == errors_before &&
         st.NbOfCommunicatonErrors.load() == communication_errors_before;
}

}  // namespace

void add_calibrate_command(CLI::App& app, CalibrateOptions& options) {
  auto* calibrate = app.add_subcommand(
      "calibrate",
      "Calibrate the board: pedestals, SAM DAC offsets, trigger DAC offsets or time INL");
  calibrate->require_subcommand(1);
  auto* pedestals = calibrate->add_subcommand(
      "pedestals", "Average every cell's level over N events with no signal at the inputs");
  pedestals->add_option("N", options.events, "Number of events averaged")
      ->required()
      ->check(whole_number(kMinPedestalEvents, 99999999, "calibrate pedestals 500"));
  calibrate->add_subcommand("sam-dac",
                            "Find the SAM line DAC codes that bring every line to mid-scale");
  calibrate->add_subcommand("trigger-dac",
                            "Measure the offset of every channel's trigger threshold DAC");
  for (auto* sub : calibrate->get_subcommands({}))
    sub->add_flag("--save-to-flash", options.save_to_flash,
                  "Store the result in the daughter boards' EEPROMs");
  options.command = calibrate;
}

int command_calibrate(Session& session, const CalibrateOptions& options) {
  const CLI::App& cmd = *options.command;
  session.ui().saves_calibration = options.save_to_flash;
  if (!session.connect()) return 1;
  State& st = session.state();
  // A calibration that failed, was refused or cancelled stores nothing: the previous table
  // stays in use and on the EEPROMs.
  if (cmd.got_subcommand("pedestals")) {
    // The calibration takes events until it holds more than the number it is given.
    if (!run_calibration(session,
                         [&](State& s) { return Run_PedestalCalibration(s, options.events - 1); }))
      return 1;
    print_pedestals(st, st, st);
    if (options.save_to_flash && !Save_PedestalsToFlash(st, st, st.log, -1)) return 1;
  } else if (cmd.got_subcommand("sam-dac")) {
    if (!run_calibration(session, Calibrate_SAMDACsOffset)) return 1;
    print_sam_dac_codes(st);
    if (options.save_to_flash && Save_SAMDACsOffsets_To_EEPROM(st, st, st.log, -1) != 0) return 1;
  } else {
    if (!run_calibration(session, Calibrate_TriggerThresholdDACsOffset)) return 1;
    print_threshold_offsets(st, st);
    if (options.save_to_flash && Save_TriggerThresholdDACs_To_EEPROM(st, st, st.log, -1) != 0)
      return 1;
  }
  return 0;
}

}  // namespace vx::cli
