#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdio>

#include "cli/commands.h"
#include "files/hdf5_export.h"

namespace vx::cli {

namespace {

volatile std::sig_atomic_t export_interrupted = 0;

void on_interrupt(int) {
  export_interrupted = 1;
}

// A progress bar on a terminal, a line per tenth otherwise (logs stay short).
class ProgressBar {
 public:
  bool update(const ExportProgress& p) {
    const int percent =
        p.bytes_total == 0 ? 0 : static_cast<int>(100.0 * p.bytes_done / p.bytes_total);
    const auto now = std::chrono::steady_clock::now();
    if (tty_) {
      if (percent != percent_ && now - last_ > std::chrono::milliseconds(100)) {
        constexpr int kWidth = 40;
        const int filled = percent * kWidth / 100;
        std::fprintf(stderr, "\rExporting [%.*s%*s] %3d %%  %llu events", filled,
                     "########################################", kWidth - filled, "", percent,
                     static_cast<unsigned long long>(p.events));
        last_ = now;
        shown_ = true;
      }
    } else if (percent / 10 != percent_ / 10) {
      std::fprintf(stderr, "Exporting: %3d %%  %llu events\n", percent,
                   static_cast<unsigned long long>(p.events));
    }
    percent_ = percent;
    return export_interrupted == 0;
  }
  ~ProgressBar() {
    if (shown_) std::fprintf(stderr, "\n");
  }

 private:
  bool tty_ = isatty(STDERR_FILENO) == 1;
  bool shown_ = false;
  int percent_ = -1;
  std::chrono::steady_clock::time_point last_{};
};

// "none" gives 0, "deflate" the default level, "deflate=N" level N (1 to 9); -1 otherwise.
int deflate_level_of(const std::string& text) {
  if (text == "none") return 0;
  if (text == "deflate") return kDefaultExportDeflateLevel;
  const std::string prefix = "deflate=";
  if (text.size() != prefix.size() + 1 || text.compare(0, prefix.size(), prefix) != 0) return -1;
  const int level = text.back() - '0';
  return level >= 1 && level <= kMaxExportDeflateLevel ? level : -1;
}

}  // namespace

CLI::App* add_export_command(CLI::App& app, ExportOptions& o) {
  auto* cmd = app.add_subcommand(
      "export", "Convert a saved run (its whole split series and measurements) to HDF5");
  cmd->add_option("RUN_FILE", o.run_file, "First data file of the run (.dat or .bin)")
      ->required()
      ->check(CLI::ExistingFile)
      ->option_text("FILE");
  cmd->add_option("--hdf5", o.hdf5, "HDF5 file to write")->required()->option_text("FILE");
  cmd->add_flag("--overwrite", o.overwrite, "Replace the HDF5 file if it exists");
  cmd->add_option("--compression", o.compression,
                  "none, or deflate[=LEVEL] with LEVEL 1..9, 1 the fastest (default deflate=1)")
      ->check(CLI::Validator(
          [](std::string& text) -> std::string {
            if (deflate_level_of(text) >= 0) return {};
            return "'" + text + "' is not allowed: give none, deflate, or deflate=LEVEL with " +
                   "LEVEL 1 to 9, for example --compression deflate=6";
          },
          "none|deflate[=LEVEL]"));
  cmd->add_flag("--skip-missing", o.skip_missing,
                "Go on past a file missing in the middle of the series, telling what it cost");
  cmd->footer(
      "Exit status: 0 when the whole run was exported (a run cut short by a crash up to its "
      "last whole event); 3 when the run is damaged (an event unreadable, or one or a split "
      "file that disagrees with its file's header): OUT holds every whole event before the "
      "damage, and the error names where it stopped; 1 when nothing was exported (no OUT); 2 "
      "for a command-line error.");
  return cmd;
}

int command_export(const ExportOptions& o, const GlobalOptions& global) {
  ExportRequest request;
  request.run_file = o.run_file;
  request.output = o.hdf5;
  request.overwrite = o.overwrite;
  request.deflate_level = deflate_level_of(o.compression);
  request.skip_missing = o.skip_missing;
  request.accept_other_version = global.yes;
  std::string last_told;
  request.message = [&](const std::string& text, int kind) {
    if (kind == 0) return;  // the header lines and file changes the reader reports
    std::fprintf(stdout, "%s %s%s", kind == 2 ? "ERROR  " : "WARNING", text.c_str(),
                 !text.empty() && text.back() == '\n' ? "" : "\n");
    last_told = text;
  };
  ExportResult result;
  {
    ProgressBar bar;
    request.progress = [&](const ExportProgress& p) { return bar.update(p); };
    export_interrupted = 0;
    auto* previous = std::signal(SIGINT, on_interrupt);
    result = Export_RunToHdf5(request);
    std::signal(SIGINT, previous);
  }
  if (!result.ok) {
    if (result.error != last_told) std::fprintf(stdout, "ERROR   %s\n", result.error.c_str());
    if (result.error.find("already exists") != std::string::npos)
      std::fprintf(stdout, "        Pass --overwrite to replace it.\n");
    return 1;
  }
  std::fprintf(stdout, "Exported %llu events of %d channel%s%s to '%s'.\n",
               static_cast<unsigned long long>(result.events), result.channels,
               result.channels == 1 ? "" : "s", result.measurements ? " with measurements" : "",
               o.hdf5.c_str());
  std::fprintf(stdout, "The last whole event is event %d.\n", result.last_event);
  if (result.stopped_at_damage) {
    std::fprintf(stdout,
                 "The export stopped at the damage told above: no event after event %d is in "
                 "it.\n",
                 result.last_event);
    return kExportStoppedAtDamage;
  }
  return 0;
}

}  // namespace vx::cli
