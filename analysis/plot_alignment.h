// The plot-alignment panel: the main graph's waveforms drawn aligned on a threshold
// crossing of a reference channel. The display settings only; the caller recomputes the
// graph's scaling and annotations.
#pragma once

#include "app/state.h"

namespace vx {

// Switching it on switches the averaging off (aligned curves are not averaged).
void Set_PlotAlignment(Settings& st, bool on);
// Reference channel 0-15, edge 1 rising / 0 falling, threshold in volts, stored as entered.
void Set_PlotAlignmentOptions(Settings& st, int channel, int rising, float volts);

}  // namespace vx
