// veltrix-cli rates, veltrix-cli scan and the histogram files of run --save-histos.
#pragma once

#include <CLI/CLI.hpp>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "cli/session.h"
#include "cli/settings_options.h"

namespace vx::cli {

struct RatesOptions {
  CLI::App* command = nullptr;
  int seconds = 10;
  std::string trigger;  // empty = as configured
  // As for run: thresholds, edges, offsets; the channels acquired are the ones shown.
  SettingsOptions settings;
};
std::shared_ptr<RatesOptions> add_rates_command(CLI::App& app);
int command_rates(Session& session, const RatesOptions& options);

struct ScanOptions {
  CLI::App* command = nullptr;
  float from = -0.02f, to = 0.02f;
  int steps = 99;
  float time = 0.1f;
  std::string channel = "all";
  std::optional<std::string> save;
};
std::shared_ptr<ScanOptions> add_scan_command(CLI::App& app);
int command_scan(Session& session, const ScanOptions& options);

// Writes the charge histograms (when a charge mode is on) and the time-difference histogram
// (when it was measured) of the run just ended into directory; 0 when all went well.
int save_run_histos(Session& session, const std::string& directory);

}  // namespace vx::cli
