#include "analysis/fft_noise.h"

#include <algorithm>
#include <array>
#include <atomic>
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
  const int half = Spectrum_Reference(cfg, n);
  if (n < 2 || half <= 0) return;
  for (int b = 0; b < Run_NbOfBlocks(cfg); ++b) {
    for (int c = 0; c < kChannelsPerBlock; ++c) {
      if (!Is_ChannelEnabled(cfg, b, c)) continue;
      const std::span<const float> samples(event.FullyOrderedValues[b][c].data(), n);
      Transform_Channel(m.FftPlans, samples, half, m.Spectra[b][c]);
    }
  }
}

int Spectrum_Reference(const RunConfig& cfg, int samples) {
  // RecordLength / 2 is an integer halving; a record too short for it falls back to the
  // event's own length so that the division stays defined.
  const int half = cfg.sys.RecordLength / 2;
  return half > 0 ? half : samples / 2;
}

bool Transform_Channel(FftPlanCache& plans, std::span<const float> samples, int half,
                       ChannelSpectrum& spectrum) {
  if (ReFFT_Magnitudes(plans, samples, spectrum.magnitude) != 0) return false;
  spectrum.samples = static_cast<int>(samples.size());
  spectrum.half = half;
  return true;
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

// ln of the table's centres: m in [1, 2) is taken as c (1 + r), c = 1 + (i + 1/2) / 128 by
// its top seven fraction bits i, with |r| < 1/256.
struct LogTable {
  std::array<double, 128> inverse;       // 1 / c, rounded
  std::array<double, 128> minus_log_of;  // -ln(inverse), of the rounded inverse itself
  LogTable() {
    for (int i = 0; i < 128; ++i) {
      inverse[i] = 1.0 / (1.0 + (i + 0.5) / 128.0);
      minus_log_of[i] = -std::log(inverse[i]);
    }
  }
};
const LogTable kLogTable;

// 20 log10(q) for a positive normal q, within 1e-13 dB: ln q = e ln 2 + ln(m / c) + ln c,
// m / c = 1 + r computed as m times the rounded inverse (whose own logarithm the table
// holds), ln(1 + r) summed to r^5 (the rest below 1e-15), ln 2 in two parts. No division
// and no call: several bins are in flight at once.
double fast_db(double q) {
  std::uint64_t bits;
  std::memcpy(&bits, &q, sizeof bits);
  const int e = static_cast<int>(bits >> 52) - 1023;
  const auto i = static_cast<std::size_t>((bits >> 45) & 127);
  const std::uint64_t m_bits =
      (bits & ((std::uint64_t{1} << 52) - 1)) | (std::uint64_t{1023} << 52);
  double m;
  std::memcpy(&m, &m_bits, sizeof m);
  const double r = m * kLogTable.inverse[i] - 1.0;
  const double r2 = r * r;
  // r - r^2/2 + r^3/3 - r^4/4 + r^5/5, in two halves side by side.
  const double ln1p = r + r2 * ((-0.5 + r * (1.0 / 3.0)) + r2 * (-0.25 + r * 0.2));
  constexpr double kLn2Hi = 0x1.62e42fefa39efp-1;   // ln 2 to 53 bits
  constexpr double kLn2Lo = 0x1.abc9e3b39803fp-56;  // and the rest
  const double ln = e * kLn2Hi + (kLogTable.minus_log_of[i] + (ln1p + e * kLn2Lo));
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
  for (int k = 0; k < distinct; ++k) y[k] = fast_db(q[k]);
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
