// Where the acquisition loop hands the current event to the measurements.
#pragma once

#include "app/state.h"

namespace vx {

void reset_noise_statistics(State& st);
// Run setup: fresh per-run lists and histograms when time jitter or charge histograms are on.
void prepare_run_measurements(State& st);
void measure_spectrum(State& st);
void measure_noise(State& st);
// Time, amplitude and charge of every enabled channel, kept in the per-run lists.
void measure_channels(State& st);
// Firmware charge mode: the readout's charges into the charge histograms.
void accumulate_firmware_charges(State& st);
// Every 200 events the per-run lists grow; at display time the histograms are rebuilt.
void update_run_histograms(State& st);
void finish_run_histograms(State& st);

}  // namespace vx
