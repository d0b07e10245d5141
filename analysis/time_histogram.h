// Histogram of the leading-edge time differences between two channels over a run, with
// its mean, RMS, FWHM and Gaussian fit.
#pragma once

#include "app/state.h"

namespace vx {

// Rebuilds the accepted differences (ThresholdCrossingDistance, NbOfValidTimes), their
// statistics, the automatic range and bin count, the histogram and the strip-chart mean
// of the latest 100 differences, from the run's lists of TimeHistoChannelA and B.
void Compute_TimeHisto(State& st);

// FWHM of the histogram when computeFWHM is 1, Gaussian fit when computeFit is 1.
void Compute_TimeHistoParameters(State& st, int computeFWHM, int computeFit);

}  // namespace vx
