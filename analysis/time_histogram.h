// Histogram of the leading-edge time differences between two channels over a run, with
// its mean, RMS, FWHM and Gaussian fit. During a run the histogram and its statistics take
// each event as it comes; they are rebuilt from the run's lists only when a setting
// changes, or when the automatic range has to follow new extremes.
#pragma once

#include "app/run_config.h"
#include "app/state.h"

namespace vx {

// Rebuilds the histogram from the run's lists of TimeHistoChannelA and B: the accepted
// differences' statistics, the automatic range and bin count, the counts and the
// strip-chart mean of the latest 100 differences. The user-interface thread's rebuild, with no
// loop running: the range and bins go into the records too.
void Compute_TimeHisto(Settings& settings, RunState& st, FrontEndLinks& links,
                       const RunConfig& cfg);

// Takes the lists' entries measured since the last call into the statistics and the counts
// (after each event of a run); rebuilds first when a setting changed since the last build.
void Update_TimeHisto(RunState& st, MessageLog& log, const RunConfig& cfg);

// Display refresh: takes the new entries, rebuilds when the automatic range has to follow
// new extremes (at most once per eighth of growth of the run, and always at run_end, unless
// the lists already let entries go), then shows the statistics and adds the strip-chart
// point.
void Refresh_TimeHisto(RunState& st, FrontEndLinks& links, const RunConfig& cfg, bool run_end);

// FWHM of the histogram when computeFWHM is 1, Gaussian fit when computeFit is 1.
void Compute_TimeHistoParameters(RunState& st, FrontEndLinks& links, const RunConfig& cfg,
                                 int computeFWHM, int computeFit);

}  // namespace vx
