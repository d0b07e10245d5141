// The per-event measurement pass and the per-run lists it fills, as the acquisition loop
// drives them: at run setup, for every event, and at the end of the run.
#pragma once

#include "app/state.h"

namespace vx {

// Run setup. With EnTimeJitter or EnSoftwareChargeHisto: releases the previous run's
// lists and histograms, creates the lists with room for 201 events (the accepted
// differences for 200) and clears the time-difference histogram. Always sizes the work
// buffers for the current settings.
void Prepare_MeasurementsForRun(State& st);

// Clears the run's amplitude and charge sums (a new run, not a restart within one).
void Reset_RunSummary(State& st);

// Releases every per-event list and marks it absent.
void Free_MeasurementHistos(State& st);

// True when some consumer needs the per-event measurements (display of times, saved
// measurements, time jitter, software charge histograms).
bool Measurements_Needed(const State& st);

// Time, amplitude and charge of every enabled channel of the current event into the
// per-event results, and into the run's lists with EnTimeJitter / EnSoftwareChargeHisto.
// Does nothing when no consumer needs it. Allocates nothing.
void Compute_EventMeasurements(State& st);

// After each event of a run with EnTimeJitter or EnSoftwareChargeHisto: every 200 events
// grows the lists (Grow_MeasurementLists), and on histogram-refresh events rebuilds the
// time-difference histogram and the software charge histograms.
void Update_RunMeasurements(State& st);

// Grows every list of the enabled channels to (run events + 201) entries and the
// accepted-difference list to (EventNumber + 201) when the run's event count is a
// multiple of 200. Existing entries are kept.
void Grow_MeasurementLists(State& st);

// End of run: final time-difference histogram with FWHM and Gaussian fit, and the final
// software charge histograms.
void Finish_MeasurementsForRun(State& st);

}  // namespace vx
