// Where the acquisition loop hands the current event to the measurements.
#pragma once

#include "app/run_config.h"
#include "app/state.h"

namespace vx {

void reset_noise_statistics(RunState& st);
// Run setup: fresh per-run lists and histograms when time jitter or charge histograms are on.
void prepare_run_measurements(RunState& st, Indicators& indicators, FrontEndLinks& links,
                              const RunConfig& cfg);
void measure_spectrum(RunState& st, const RunConfig& cfg, const DecodedEvent& event);
void measure_noise(State& st, const RunConfig& cfg, const DecodedEvent& event);
// Time, amplitude and charge of every enabled channel, kept in the per-run lists.
void measure_channels(RunState& st, ThreadPool& pool, const RunConfig& cfg,
                      const DecodedEvent& event);
// Firmware charge mode: the readout's charges into the charge histograms. This and the two
// below post the run's changed histogram ranges to the records.
void accumulate_firmware_charges(Settings& st, RunState& run_state, FrontEndLinks& links,
                                 const RunConfig& cfg, const DecodedEvent& event);
// Every 200 events the per-run lists grow; at display time the histograms are rebuilt.
void update_run_histograms(Settings& st, RunState& run_state, FrontEndLinks& links,
                           const RunConfig& cfg);
void finish_run_histograms(Settings& st, RunState& run_state, FrontEndLinks& links,
                           const RunConfig& cfg);

}  // namespace vx
