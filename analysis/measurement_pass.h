// The per-event measurement pass and the per-run lists it fills, as the acquisition loop
// drives them: at run setup, for every event, and at the end of the run.
#pragma once

#include "app/measurement_jobs.h"
#include "app/run_config.h"
#include "app/state.h"

namespace vx {

// Run setup. The run's histogram ranges from the loop's settings (Init_HistoRanges). With
// EnTimeJitter or EnSoftwareChargeHisto: releases the previous run's lists and clears its
// histograms (not when a settings restart continues the run, ContinuingRun), caps the lists
// at ListEntriesKept events and makes room for the next event. Always sizes the work buffers
// for the current settings.
void Prepare_MeasurementsForRun(RunState& st, FrontEndLinks& links, const RunConfig& cfg);

// Clears the run's amplitude and charge sums and its acquisition time (a new run, not a
// restart within one). The next run setup then starts fresh lists.
void Reset_RunSummary(RunState& st);

// Releases every per-event list and marks it absent.
void Free_MeasurementHistos(RunState& st);

// True when some consumer needs the per-event measurements (display of times, saved
// measurements, time jitter, software charge histograms).
bool Measurements_Needed(const RunConfig& cfg);

// Time, amplitude and charge of every enabled channel of the current event into the
// per-event results, and as entry ListEntries of the run's lists with EnTimeJitter /
// EnSoftwareChargeHisto. Does nothing when no consumer needs it. Allocates nothing when
// Grow_MeasurementLists made room for the entry. The channels are measured in groups on
// `threads` threads (the caller's and the pool's); the results and lists are filled
// afterwards in channel order, the same whatever the number of threads. Without a count,
// Measurement_Threads(): one thread below four cores, half the cores (at most 4) above.
void Compute_EventMeasurements(RunState& st, ThreadPool& pool, const RunConfig& cfg,
                               const DecodedEvent& event);
void Compute_EventMeasurements(RunState& st, ThreadPool& pool, const RunConfig& cfg,
                               const DecodedEvent& event, int threads);
int Measurement_Threads();

// The jobs of the current event's enabled channels, as Compute_EventMeasurements measures
// them (the jobs point into the event's samples).
void Collect_EventJobs(const RunState& st, const RunConfig& cfg, const DecodedEvent& event,
                       EventJobs& jobs);
// Measures the jobs on the calling thread into r, with the very results of
// Compute_EventMeasurements; with sums, adds them to the run's amplitude and charge sums.
void Measure_EventJobs(const EventJobs& jobs, EventResults& r, MeasurementData* sums);
// The measurement file is the only consumer of this loop's measurements: the writer's
// formatter can make them from the events' copies.
bool Measurements_OnlyForMeasurementFile(const RunConfig& cfg);

// After each event of a run with EnTimeJitter or EnSoftwareChargeHisto: makes room for the
// next entries (Grow_MeasurementLists), adds the event to the time-difference histogram and
// the software charge histograms, and on histogram-refresh events shows them.
void Update_RunMeasurements(Settings& settings, RunState& st, FrontEndLinks& links,
                            const RunConfig& cfg);

// Makes room for the next event's entry in every list of the enabled channels: a new chunk
// every few thousand events, or the oldest one once the lists hold their cap (the log says
// so once per run).
void Grow_MeasurementLists(RunState& st, MessageLog& log, const RunConfig& cfg);

// End of run: final time-difference histogram (its automatic range brought up to date)
// with FWHM and Gaussian fit, and the final software charge histograms.
void Finish_MeasurementsForRun(RunState& st, FrontEndLinks& links, const RunConfig& cfg);

}  // namespace vx
