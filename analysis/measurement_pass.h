// The per-event measurement pass and the per-run lists it fills, as the acquisition loop
// drives them: at run setup, for every event, and at the end of the run.
#pragma once

#include "app/state.h"

namespace vx {

// Run setup. With EnTimeJitter or EnSoftwareChargeHisto: releases the previous run's
// lists (not when a settings restart continues the run, ContinuingRun), makes room for 201
// more events and clears the time-difference histogram. Always sizes the work buffers for
// the current settings.
void Prepare_MeasurementsForRun(State& st);

// Clears the run's amplitude and charge sums (a new run, not a restart within one).
// The next run setup then starts fresh lists.
void Reset_RunSummary(State& st);

// Releases every per-event list and marks it absent.
void Free_MeasurementHistos(State& st);

// True when some consumer needs the per-event measurements (display of times, saved
// measurements, time jitter, software charge histograms).
bool Measurements_Needed(const State& st);

// Time, amplitude and charge of every enabled channel of the current event into the
// per-event results, and as entry ListEntries of the run's lists with EnTimeJitter /
// EnSoftwareChargeHisto. Does nothing when no consumer needs it. Allocates nothing until
// the lists outgrow the room made for them. The channels are measured in groups on
// `threads` threads (the caller's and the pool's); the results and lists are filled
// afterwards in channel order, the same whatever the number of threads. Without a count,
// Measurement_Threads(): one thread below four cores, half the cores (at most 4) above.
void Compute_EventMeasurements(State& st);
void Compute_EventMeasurements(State& st, int threads);
int Measurement_Threads();

// After each event of a run with EnTimeJitter or EnSoftwareChargeHisto: every 200 events
// grows the lists (Grow_MeasurementLists), and on histogram-refresh events rebuilds the
// time-difference histogram and the software charge histograms.
void Update_RunMeasurements(State& st);

// Makes room for (entries + 201) entries in every list of the enabled channels and in the
// accepted-difference list when the lists' entry count is a multiple of 200.
void Grow_MeasurementLists(State& st);

// End of run: final time-difference histogram with FWHM and Gaussian fit, and the final
// software charge histograms.
void Finish_MeasurementsForRun(State& st);

}  // namespace vx
