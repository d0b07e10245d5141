// Amplitude, leading-edge and trailing-edge time of one channel's pulse, by constant
// fraction or fixed threshold, on the raw or spline up-sampled waveform.
#pragma once

#include "app/state.h"

namespace vx {

// Measures FullyOrderedValues[block][channel]. Times are in ns from sample 0, -1.0 when
// there is no valid crossing; the amplitude is in volts, negative for negative pulses.
// The trailing edge is searched only when computeTrailing is 1.
void Compute_TimeAndAmplitude(Settings& st, RunState& run_state, int block, int channel,
                              float& leadingTime, float& trailingTime, float& amplitude,
                              int computeTrailing);

// Fixed-threshold timing on every channel at `volts`, the sign giving the pulses' polarity:
// the threshold in ADC counts (1638 per volt) and a falling edge for negative pulses.
void Set_FixedThresholdTiming(Settings& st, double volts);

}  // namespace vx
