// The command-line subcommands.
#pragma once

#include <CLI/CLI.hpp>

#include <memory>

#include "cli/session.h"
#include "cli/settings_options.h"

namespace vx::cli {

struct RunOptions {
  std::optional<int> events;
  std::optional<int> seconds;
  bool continuous = false;
  bool single = false;
  std::string trigger;  // software, normal, auto, external; empty = as configured
  // Measurements.
  std::vector<int> time_jitter;  // channels A,B of the time-difference histogram
  std::string charge;            // software, firmware
  bool fft = false;
  bool noise = false;
  std::optional<std::string> noise_window;  // FROM-TO in ns
  bool no_summary_measurements = false;
  std::optional<float> cfd;
  std::optional<float> fixed_threshold;      // volts
  std::optional<std::string> timing_method;  // standard, band-limited
  std::optional<int> list_cap;               // events the per-run lists keep

  // Run data files.
  std::string save;  // ascii, binary; empty = no data file
  bool with_measurements = false;
  bool measurement_file = false;
  std::optional<int> split;
  bool no_split = false;
  std::optional<std::string> data_dir;
  std::optional<std::string> base_name;
  std::optional<int> run_id;
  bool date = false;
  bool time = false;
  std::optional<std::string> replay;
  bool skip_missing = false;

  SettingsOptions settings;
  std::optional<std::string> save_histos;  // directory receiving the histogram files
};

void add_run_options(CLI::App& command, RunOptions& options);
// Applies the run options to the session's state, as a run from the command line uses them.
// False (the reasons printed) when a setting is out of its range: then none is applied.
bool apply_run_options(Session& session, const RunOptions& options);

struct ServeOptions {
  int port = 8008;
  bool commands = false;
  bool transmit_data = false;
  std::string bind = "127.0.0.1";
  std::optional<std::string> allow;  // HOST[,HOST...]: the only clients accepted
};

// The text of a command-line error; what was not understood is listed in the order typed.
std::string failure_text(const CLI::App* app, const CLI::Error& e, int argc, char** argv);

struct ExportOptions {
  std::string run_file;
  std::string hdf5;
  bool overwrite = false;
  std::string compression = "deflate=1";
  bool skip_missing = false;
};
// The export's exit status when the series is damaged: OUT holds the whole events before the
// damage (0 is a whole export, 1 a failure with no OUT, 2 a command-line error).
inline constexpr int kExportStoppedAtDamage = 3;
CLI::App* add_export_command(CLI::App& app, ExportOptions& options);
// Needs no board: converts a saved run to HDF5.
int command_export(const ExportOptions& options, const GlobalOptions& global);
struct CalibrateOptions {
  CLI::App* command = nullptr;
  int events = 0;
  bool save_to_flash = false;
};
void add_calibrate_command(CLI::App& app, CalibrateOptions& options);
int command_calibrate(Session& session, const CalibrateOptions& options);
// veltrix-cli eeprom ...: registered by add_eeprom_command, run when its command is parsed.
struct EepromOptions {
  CLI::App* command = nullptr;
  std::string board = "all";
  std::optional<std::string> serial;
  std::optional<float> gain, offset_gain;
  std::optional<int> sca_type, acdc_coupling, sam_long_type;
  std::string file, address, count, hex;
};
std::shared_ptr<EepromOptions> add_eeprom_command(CLI::App& app);
int command_eeprom(Session& session, const EepromOptions& options);

// veltrix-cli calibrate inl ... and veltrix-cli inl load.
struct InlOptions {
  CLI::App* calibrate = nullptr;
  CLI::App* load = nullptr;
  int events = 20000;
  bool save_to_flash = false;
  std::string location;  // both required with --save-to-flash
  std::string responsible;
};
// Adds `inl` to the `calibrate` command (created when not there yet) and the `inl` command.
std::shared_ptr<InlOptions> add_inl_commands(CLI::App& app);
int command_inl(Session& session, const InlOptions& options);

int command_info(Session& session);
// What the EEPROM of daughter board d holds, as read by Read_EEPROM_Info.
void print_daughter_board(BoardLink& st, int d);
int command_run(Session& session, const RunOptions& options);
int command_demo(Session& session);
int command_setup_save(Session& session, const std::string& file);
int command_setup_load(Session& session, const std::string& file);
// Applies the settings, as run takes them, before saving.
int command_setup_save_with(Session& session, const std::string& file, const RunOptions& options);
// Prints what a setup file holds, without a board.
int command_setup_show(const std::string& file);
int command_serve(Session& session, const ServeOptions& options, const RunOptions& run_options);
// Prints where the user's guide is (exit 1 when it is not installed).
int command_guide();

}  // namespace vx::cli
