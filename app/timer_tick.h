// The one-second heartbeat: indicators, remote requests, elapsed time, the "Finite Time"
// stop and the event rate. It only reads counters and sets request flags; it never
// touches the board.
#pragma once

#include "app/state.h"

namespace vx {

inline constexpr Rgb kCounterLight{255, 191, 255};
inline constexpr Rgb kCounterDark{255, 100, 255};

void TimerCB(State& st);

// Shows an elapsed time in seconds in the four "Elapsed Time:" fields (days, hours,
// minutes, seconds).
void Update_RunElapsedTime(State& st);

// At the end of a run (or replay): its whole elapsed time and its mean event rate, so
// that a run shorter than a tick does not leave an earlier run's values on show.
void Update_RunTotals(State& st);

}  // namespace vx
