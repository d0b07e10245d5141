// Live hit rates: the trigger and time counters each event carries, summed per channel
// until they are worth a rate, and the rate panel's controls.
#pragma once

#include <string>

#include "app/state.h"

namespace vx {

// Rate r in triggers per microsecond as shown: value in the unit's scale and the unit text.
struct ShownRate {
  float value = 0.0f;
  int unit = 0;  // 1 " Hz", 2 "kHz", 3 "MHz"
};
ShownRate Scale_Rate(float per_microsecond);
const char* Rate_UnitText(int unit);  // "" for 0

// Clears the accumulators and the shown rates (run preparation).
void Init_RateMeasurement(State& st);
// Adds the current event's counters of block to the sums of its enabled channels.
void Update_RateMeasurement(State& st, int block);

// Panel controls.
void Enable_RateMeasurement(State& st, bool on);
void Select_RateStripChartChannel(State& st, int channel);  // -1 = all
// Veto of the hit counting: enable and window (ns, kept divided by 5) of one channel, or of
// every channel when channel is -1.
void Set_TrigCountVeto(State& st, int channel, int enable, int window_ns);

}  // namespace vx
