// Amplitude spectrum of each channel in dB, and the per-channel noise (standard deviation
// inside a sample window) with its running mean.
#pragma once

#include <span>

#include "app/run_config.h"
#include "app/state.h"

namespace vx {

// Value written for a spectral bin of zero magnitude, whose logarithm is -infinity.
inline constexpr float kSpectrumFloorDb = -400.0f;

// Spectrum of every enabled channel of the current event into Spectra: the magnitudes of
// its bins, kept until they are shown, saved or sent.
void Compute_FFT(RunState& st, const RunConfig& cfg, const DecodedEvent& event);

// The decibel reference of a run's spectra: RecordLength / 2, or half the record's own
// samples when it is too short for that.
int Spectrum_Reference(const RunConfig& cfg, int samples);
// The magnitudes of one channel's samples into spectrum, with the reference half; false,
// and the spectrum untouched, when no transform could be made.
bool Transform_Channel(FftPlanCache& plans, std::span<const float> samples, int half,
                       ChannelSpectrum& spectrum);

// Compute_FFT for the event now being handled, unless done already for it: its readers (the
// display, the remote client, the data file) each ask, and only those events someone reads
// are transformed. The loop marks each new event (RunData::SpectrumOfEvent).
void Compute_SpectrumOfEvent(RunState& st, const RunConfig& cfg, const DecodedEvent& event);

// Bin k of a spectrum in dB, 20 log10(|X[k]| / (RecordLength / 2)), for k = 0 ... n - 1
// (bins past n/2 mirror those below); 0 past the record, kSpectrumFloorDb for a zero
// magnitude. What the display shows, the data file stores and the remote client receives.
float Spectrum_Db(const ChannelSpectrum& spectrum, int k);

// Spectrum_Db(spectrum, k) for k = 0 ... out.size() - 1, the same values, at a fraction of
// the cost of one logarithm per bin.
void Spectrum_DbValues(const ChannelSpectrum& spectrum, std::span<float> out);

// Standard deviation of waveform[first ... last]; 0 when first >= last. Bounds outside
// the waveform are brought back inside it.
float Compute_WaveformSigma(std::span<const float> waveform, int first, int last);

// Running mean after an event whose noise is sigma, n being the events counted since the
// last reset: arithmetic mean up to 99 events, then an exponential mean of weight 1/100.
float Update_MeanSigma(float mean, float sigma, int n);

// Noise of every channel of the run's blocks (enabled or not) for the current event:
// Sigma, MeanSigma and MeanSigmaForStripChart (mV).
void Compute_NoiseMeasurement(State& st, const RunConfig& cfg, const DecodedEvent& event);

// MeanSigma of the block's two channels (block -1: all channels) and EventNumberForSigma
// back to 0.
void Reset_MeanSigma(RunState& st, int block);

}  // namespace vx
