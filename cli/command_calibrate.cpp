// veltrix-cli calibrate pedestals N | sam-dac | trigger-dac: one calibration on the connected
// board, with the progress on stderr and what it measured on stdout.
#include <cmath>
#include <cstdio>
#include <functional>

#include "calibration/calibration_pass.h"
#include "calibration/pedestal_calibration.h"
#include "calibration/sam_dac_calibration.h"
#include "calibration/trigger_dac_calibration.h"
#include "cli/commands.h"
#include "eeprom/calibration_tables.h"

namespace vx::cli {

namespace {

void print_pedestals(const State& st) {
  std::printf("\nPedestals over %d events (ADC counts)\n", st.EventNumber.load());
  std::printf("  channel       mean     spread\n");
  for (int b = 0; b < calibration_blocks(st); ++b)
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

void print_sam_dac_codes(const State& st) {
  std::printf("\nSAM DAC line codes (lines 0 to 15)\n");
  for (int b = 0; b < calibration_blocks(st); ++b)
    for (int c = 0; c < kChannelsPerBlock; ++c) {
      const std::uint8_t* codes = c == 0 ? st.sam[b].SamDacOffsetCh0 : st.sam[b].SamDacOffsetCh1;
      std::printf("  channel %2d:", 2 * b + c);
      for (int line = 0; line < 16; ++line) std::printf(" %3d", codes[line]);
      std::printf("\n");
    }
}

void print_threshold_offsets(const State& st) {
  std::printf("\nTrigger threshold offsets (mV)\n");
  for (int b = 0; b < calibration_blocks(st); ++b)
    for (int c = 0; c < kChannelsPerBlock; ++c)
      std::printf("  channel %2d: %.5f\n", 2 * b + c, st.calib.MeanThreshold[b][c] * 1000.0);
}

// Runs the calibration on a worker while the session's loop serves the posted work and turns
// Ctrl-C into a cancel.
bool run_calibration(Session& session, const std::function<bool(State&)>& calibration) {
  State& st = session.state();
  std::atomic<bool> done{false};
  std::atomic<bool> ok{false};
  st.pool.schedule([&] {
    ok = calibration(st);
    done = true;
  });
  session.run_until([&] { return done.load(); },
                    [&] {
                      if (Session::interrupted()) st.calib.CalibrationCancel = true;
                    });
  return ok.load();
}

// Stores the result on every daughter board; the library takes new pedestals at once.
bool save_to_flash(State& st, int (*save)(State&, int), bool reload_corrections) {
  if (save(st, -1) != 0) return false;
  if (!reload_corrections) return true;
  if (st.digitizer->LoadSAMCorrectionData(st.DeviceHandle.load()) == 0) return true;
  std::fprintf(stderr, "The library could not reload its correction data from the boards.\n");
  return false;
}

}  // namespace

void add_calibrate_command(CLI::App& app, CalibrateOptions& options) {
  auto* calibrate = app.add_subcommand(
      "calibrate", "Calibrate the board: pedestals, SAM DAC offsets or trigger DAC offsets");
  calibrate->require_subcommand(1);
  auto* pedestals = calibrate->add_subcommand(
      "pedestals", "Average every cell's level over N events with no signal at the inputs");
  pedestals->add_option("N", options.events, "Number of events")
      ->required()
      ->check(CLI::Range(0, 99999999));
  calibrate->add_subcommand("sam-dac",
                            "Find the SAM line DAC codes that bring every line to mid-scale");
  calibrate->add_subcommand("trigger-dac",
                            "Measure the offset of every channel's trigger threshold DAC");
  for (auto* sub : calibrate->get_subcommands({}))
    sub->add_flag("--save-to-flash", options.save_to_flash,
                  "Store the result in the daughter boards' FLASH memories");
  options.command = calibrate;
}

int command_calibrate(Session& session, const CalibrateOptions& options) {
  const CLI::App& cmd = *options.command;
  if (!session.connect()) return 1;
  State& st = session.state();
  if (cmd.got_subcommand("pedestals")) {
    if (!run_calibration(session,
                         [&](State& s) { return Run_PedestalCalibration(s, options.events); }))
      return 1;
    print_pedestals(st);
    if (options.save_to_flash && !save_to_flash(st, Save_Pedestal_Values_To_EEPROM, true)) return 1;
  } else if (cmd.got_subcommand("sam-dac")) {
    if (!run_calibration(session, Calibrate_SAMDACsOffset)) return 1;
    print_sam_dac_codes(st);
    if (options.save_to_flash && !save_to_flash(st, Save_SAMDACsOffsets_To_EEPROM, false)) return 1;
  } else {
    if (!run_calibration(session, Calibrate_TriggerThresholdDACsOffset)) return 1;
    print_threshold_offsets(st);
    if (options.save_to_flash && !save_to_flash(st, Save_TriggerThresholdDACs_To_EEPROM, false))
      return 1;
  }
  return 0;
}

}  // namespace vx::cli
