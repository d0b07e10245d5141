// The per-event measurement pass as it stood before its rewrite for speed, frozen here so
// that the production pass can be compared with it value for value and benchmarked
// beside it. Not to be changed: it is the yardstick.
#pragma once

#include <span>

#include "app/state.h"

namespace vx::reference {

// Time, amplitude and charge of every enabled channel of the current event into
// st.results and the run's lists, as the production Compute_EventMeasurements does.
void Compute_EventMeasurements(State& st);

void Compute_TimeAndAmplitude(State& st, int block, int channel, float& leadingTime,
                              float& trailingTime, float& amplitude, int computeTrailing);

float Compute_Charge(State& st, std::span<const float> waveform, int nbBaselineSamples,
                     int nbSamples, int start, int length, float& baseline);

// Spectrum of every enabled channel of the current event into st.meas.FFTResult.
void Compute_FFT(State& st);

}  // namespace vx::reference
