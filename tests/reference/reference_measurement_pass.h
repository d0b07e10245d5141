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

// The spectra in dB and the transform's work arrays.
struct Spectra {
  PerChannel<std::array<float, kMaxSamples>> db{};
  std::array<double, kMaxSamples> real{};
  std::array<double, kMaxSamples> imaginary{};
  std::array<double, kMaxSamples> magnitude{};
};

// Spectrum of every enabled channel of the current event in dB into spectra.db.
void Compute_FFT(State& st, Spectra& spectra);

}  // namespace vx::reference
