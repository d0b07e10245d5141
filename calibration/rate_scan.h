// The rate-versus-threshold scan: every channel's threshold steps through a range while the
// board's hit counters count for a fixed time at each step. It runs on its own thread; a
// break stops it between steps, and every setting it changed comes back afterwards.
#pragma once

#include "app/state.h"

namespace vx {

// The scan panel's start: asks for confirmation, stops the acquisition, sets every channel's
// offset to 0 and starts the scan thread. Returns 1 when the thread was started.
int Run_RateVsThresholdScan(State& st);
// The scan itself (the scan thread's body; the caller has stopped the acquisition).
void Compute_RateVsThreshold(State& st);
// The break button: the scan stops before its next step (or during the current count).
void Break_RateVsThresholdScan(RunState& st);
// Asks the front end to draw the kept result again.
void Plot_RateVsThreshold(FrontEndLinks& st);

// Scan panel settings.
void Set_RateScanRange(Settings& st, FrontEndLinks& links, float start_volts, float end_volts);
void Set_RateScanNbOfSteps(Settings& st, int steps);      // at least 1
void Set_RateScanStepValue(Settings& st, float seconds);  // counting time, above 0
void Select_RateVsThresholdChannel(Settings& st, FrontEndLinks& links, int channel);  // -1 = all

}  // namespace vx
