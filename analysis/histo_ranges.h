// The ranges a run's histograms are cut into belong to the run (MeasurementData's
// TimeHistoRange and ChargeRange): taken from the loop's settings as a run starts, moved by
// the automatic ranges, read by every computation of the loop. The records hold the same
// fields for the panels and the setup files; the user-interface thread owns them, and the
// loop hands its changes over through the front end's task queue.
#pragma once

#include "app/run_config.h"
#include "app/state.h"

namespace vx {

// The ranges as the records hold them.
TimeHistoBounds Time_HistoRangeOf(const GuiParams& gui);
ChargeBounds Charge_RangeOf(const AcqParams& acq, int b, int c);

// A loop's start: what the records hold, from the loop's settings, and the run's ranges from
// them. A loop that goes on with its run after a settings restart (`continuing`) keeps the
// ranges the run found itself: the time histogram's (a changed setting rebuilds it), and the
// firmware charge ranges when they are automatic.
void Init_HistoRanges(RunState& st, const RunConfig& cfg, bool continuing);

// Acquisition thread: posts the ranges that differ from what the records hold to the
// user-interface thread, which writes them into the records and shows them. A task finds the
// records as the loop left them or does nothing: not once another loop has started, nor while
// the records are lent to a worker, nor over a value written since (the user's).
void Post_HistoRanges(Settings& st, RunState& run_state, FrontEndLinks& links);

// User-interface thread, no loop running: the time histogram's range into the records.
void Store_TimeHistoRange(Settings& st, RunState& run_state);

}  // namespace vx
