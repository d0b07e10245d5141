// The one-second heartbeat: indicators, remote requests, elapsed time, the "Finite Time"
// stop and the event rate. It only reads counters and sets request flags; it never
// touches the board.
#pragma once

#include "app/state.h"

namespace vx {

inline constexpr Rgb kCounterLight{255, 191, 255};
inline constexpr Rgb kCounterDark{255, 100, 255};

// Live values are shown, and the strip charts take a point, on every second tick: every
// two seconds.
inline constexpr double kLiveRefreshSeconds = 2.0;

void TimerCB(State& st);

// The strip charts' time axis: a point's x is the time since the run started, in seconds,
// however often points come; the axis shows the last span seconds, from 0 while the run is
// younger than that.
inline constexpr double kStripChartSpanSeconds = 120.0;
struct AxisWindow {
  double lower = 0.0, upper = 0.0;
};
double Run_Seconds(Settings& st, FrontEndLinks& links);
AxisWindow Strip_ChartWindow(double latest_seconds, double span = kStripChartSpanSeconds);

// Shows an elapsed time in seconds in the four "Elapsed Time:" fields (days, hours,
// minutes, seconds).
void Update_RunElapsedTime(Settings& st, FrontEndLinks& links);

// At the end of a run (or replay): its whole elapsed time and its mean event rate, so
// that a run shorter than a tick does not leave an earlier run's values on show.
void Update_RunTotals(State& st);

}  // namespace vx
