#include "analysis/fft_noise.h"

#include <algorithm>
#include <atomic>
#include <cmath>

#include "analysis/measurement_context.h"
#include "platform/fft.h"
#include "platform/numeric.h"

namespace vx {

void Compute_FFT(RunState& st, const RunConfig& cfg, const DecodedEvent& event) {
  MeasurementData& m = st.meas;
  const int n = Run_NbOfSamples(cfg);
  // RecordLength / 2 is an integer halving; a record too short for it falls back to the
  // event's own length so that the division stays defined.
  int half = cfg.sys.RecordLength / 2;
  if (half <= 0) half = n / 2;
  if (n < 2 || half <= 0) return;
  for (int b = 0; b < Run_NbOfBlocks(cfg); ++b) {
    for (int c = 0; c < kChannelsPerBlock; ++c) {
      if (!Is_ChannelEnabled(cfg, b, c)) continue;
      ChannelSpectrum& s = m.Spectra[b][c];
      const std::span<const float> samples(event.FullyOrderedValues[b][c].data(), n);
      if (ReFFT_Magnitudes(m.FftPlans, samples, s.magnitude) != 0) continue;
      s.samples = n;
      s.half = half;
    }
  }
}

float Spectrum_Db(const ChannelSpectrum& spectrum, int k) {
  const int n = spectrum.samples;
  if (k < 0 || k >= n || spectrum.half <= 0) return 0.0f;
  const double magnitude = spectrum.magnitude[k <= n / 2 ? k : n - k];
  if (!(magnitude > 0.0)) return kSpectrumFloorDb;
  return std::max(static_cast<float>(20.0 * std::log10(magnitude / spectrum.half)),
                  kSpectrumFloorDb);
}

float Compute_WaveformSigma(std::span<const float> waveform, int first, int last) {
  const int size = static_cast<int>(waveform.size());
  first = std::max(first, 0);
  last = std::min(last, size - 1);
  if (first >= last) return 0.0f;
  return static_cast<float>(
      StdDev(waveform.subspan(first, static_cast<std::size_t>(last - first + 1))).sigma);
}

float Update_MeanSigma(float mean, float sigma, int n) {
  if (n <= 0) return sigma;
  if (n < 100) return static_cast<float>((sigma + (n - 1) * static_cast<double>(mean)) / n);
  return static_cast<float>((sigma + 99.0 * mean) / 100.0);
}

void Compute_NoiseMeasurement(State& st, const RunConfig& cfg, const DecodedEvent& event) {
  MeasurementData& m = st.meas;
  const int n = m.EventNumberForSigma.load();
  const int samples = Run_NbOfSamples(cfg);
  // The noise panel moves the window while a run goes on.
  const int first = std::atomic_ref<int>(st.StartSigmaSample).load();
  const int last = std::atomic_ref<int>(st.EndSigmaSample).load();
  for (int b = 0; b < Run_NbOfBlocks(cfg); ++b) {
    for (int c = 0; c < kChannelsPerBlock; ++c) {
      const std::span<const float> w(event.FullyOrderedValues[b][c].data(), samples);
      const float sigma = Compute_WaveformSigma(w, first, last);
      m.Sigma[b][c] = sigma;
      const float mean = Update_MeanSigma(m.MeanSigma[b][c].load(), sigma, n);
      m.MeanSigma[b][c].store(mean);
      st.MeanSigmaForStripChart[kChannelsPerBlock * b + c] =
          static_cast<float>(mean * kVoltsPerAdcCount * 1000.0);
    }
  }
  if (Is_DisplayEvent(st, st, cfg)) st.ui.refresh_panel(Panel::Noise);
}

void Reset_MeanSigma(RunState& st, int block) {
  for (int b = 0; b < kMaxSamBlocks; ++b) {
    if (block != -1 && block != b) continue;
    for (int c = 0; c < kChannelsPerBlock; ++c) st.meas.MeanSigma[b][c].store(0.0f);
  }
  st.meas.EventNumberForSigma.store(0);
}

}  // namespace vx
