#include "analysis/fft_noise.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>

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

void Compute_SpectrumOfEvent(RunState& st, const RunConfig& cfg, const DecodedEvent& event) {
  if (st.run.SpectrumOfEvent) return;
  Compute_FFT(st, cfg, event);
  st.run.SpectrumOfEvent = true;
}

float Spectrum_Db(const ChannelSpectrum& spectrum, int k) {
  const int n = spectrum.samples;
  if (k < 0 || k >= n || spectrum.half <= 0) return 0.0f;
  const double magnitude = spectrum.magnitude[k <= n / 2 ? k : n - k];
  if (!(magnitude > 0.0)) return kSpectrumFloorDb;
  return std::max(static_cast<float>(20.0 * std::log10(magnitude / spectrum.half)),
                  kSpectrumFloorDb);
}

namespace {

// Two doubles at a time, in the instructions every x86-64 machine has.
using Doubles2 = double __attribute__((vector_size(16)));
using Bits2 = std::uint64_t __attribute__((vector_size(16)));

// 20 log10(q) of two positive normal q, each within 1e-12 dB: q = 2^e m with m in
// [sqrt(1/2), sqrt(2)), ln m = 2 atanh(z) with z = (m - 1) / (m + 1), |z| < 0.1716, summed
// to z^17 (the rest is below 4e-16), e ln 2 with ln 2 in two parts.
Doubles2 fast_db(Doubles2 q) {
  constexpr std::uint64_t kMantissa = (std::uint64_t{1} << 52) - 1;
  const Bits2 bits = std::bit_cast<Bits2>(q);
  Bits2 exponent = bits >> 52;
  Doubles2 m = std::bit_cast<Doubles2>((bits & kMantissa) | (std::uint64_t{1023} << 52));
  // Above sqrt(2), m is halved (its exponent field one less) and e one more.
  const Bits2 high = std::bit_cast<Bits2>(m > 1.4142135623730951) & 1;
  m = std::bit_cast<Doubles2>(std::bit_cast<Bits2>(m) - (high << 52));
  exponent += high;
  // The biased exponent as a double, exactly: 2^52 + field, less 2^52 + 1023.
  const Doubles2 e =
      std::bit_cast<Doubles2>(exponent | std::bit_cast<std::uint64_t>(0x1p52)) - (0x1p52 + 1023.0);
  const Doubles2 z = (m - 1.0) / (m + 1.0);
  const Doubles2 z2 = z * z;
  const Doubles2 z4 = z2 * z2;
  // 1 + z^2/3 + ... + z^16/17 in two halves, evaluated side by side.
  const Doubles2 odd = ((1.0 / 15.0 * z4 + 1.0 / 11.0) * z4 + 1.0 / 7.0) * z4 + 1.0 / 3.0;
  const Doubles2 even =
      (((1.0 / 17.0 * z4 + 1.0 / 13.0) * z4 + 1.0 / 9.0) * z4 + 1.0 / 5.0) * z4 + 1.0;
  constexpr double kLn2Hi = 0x1.62e42fefa39efp-1;   // ln 2 to 53 bits
  constexpr double kLn2Lo = 0x1.abc9e3b39803fp-56;  // and the rest
  const Doubles2 ln = e * kLn2Hi + (2.0 * z * (even + odd * z2) + e * kLn2Lo);
  return ln * (20.0 / 2.302585092994046);
}

// Bins whose fast value lies this close to a rounding boundary of float are worked out by
// log10 itself: the float then cannot differ. A thousand times the fast value's error.
constexpr double kFastDbMargin = 1e-9;

}  // namespace

void Spectrum_DbValues(const ChannelSpectrum& spectrum, std::span<float> out) {
  const int n = spectrum.samples;
  const int count = static_cast<int>(out.size());
  if (spectrum.half <= 0 || n <= 0) {
    std::fill(out.begin(), out.end(), 0.0f);
    return;
  }
  // The distinct bins (k <= n/2) once, the others mirroring them. The fast value needs q
  // only within its own error: a product with the inverse does.
  const int distinct = std::min(count, n / 2 + 1);
  const double inverse_half = 1.0 / spectrum.half;
  std::array<double, kMaxSamples / 2 + 2> q;
  std::array<double, kMaxSamples / 2 + 2> y;
  for (int k = 0; k < distinct; ++k) q[k] = spectrum.magnitude[k] * inverse_half;
  for (int k = distinct; k % 2 != 0; ++k) q[k] = 1.0;
  for (int k = 0; k < distinct; k += 2) {
    Doubles2 v;
    std::memcpy(&v, &q[k], sizeof v);
    v = fast_db(v);
    std::memcpy(&y[k], &v, sizeof v);
  }
  std::array<float, kMaxSamples / 2 + 1> db;
  for (int k = 0; k < distinct; ++k) {
    const float low = static_cast<float>(y[k] - kFastDbMargin);
    const bool sure =
        q[k] > 0x1p-1000 && q[k] < 0x1p1000 && low == static_cast<float>(y[k] + kFastDbMargin);
    db[k] = sure ? std::max(low, kSpectrumFloorDb) : Spectrum_Db(spectrum, k);
  }
  for (int k = 0; k < count; ++k) out[k] = k >= n ? 0.0f : db[k <= n / 2 ? k : n - k];
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
