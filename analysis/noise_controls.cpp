#include "analysis/noise_controls.h"

#include <algorithm>
#include <atomic>
#include <cmath>

#include "analysis/fft_noise.h"
#include "analysis/measurement_context.h"

namespace vx {

namespace {

// The acquisition thread reads the window while the panel sets it.
std::atomic_ref<int> bound(RunState& st, bool end) {
  return std::atomic_ref<int>(end ? st.EndSigmaSample : st.StartSigmaSample);
}

int last_sample(const SystemParams& sys) {
  return std::clamp(static_cast<int>(sys.RecordLength), 2, kMaxSamples) - 1;
}

int to_sample(const Settings& st, double ns) {
  const double s = std::trunc(ns * 1000.0 / Measurement_SamplingPeriodPs(st.sam));
  return static_cast<int>(std::isfinite(s) ? std::clamp(s, 0.0, double(last_sample(st.sys))) : 0.0);
}

}  // namespace

double Noise_NsFromSample(int sample, double period_ps) {
  return sample * period_ps / 1000.0;
}

void Set_NoiseWindowStart(Settings& st, RunState& run_state, double ns) {
  const int start = std::min(to_sample(st, ns), last_sample(st.sys) - 1);
  bound(run_state, false).store(start);
  if (bound(run_state, true).load() <= start) bound(run_state, true).store(start + 1);
  Reset_MeanSigma(run_state, -1);
}

void Set_NoiseWindowEnd(Settings& st, RunState& run_state, double ns) {
  const int start = bound(run_state, false).load();
  int end = to_sample(st, ns);
  if (end <= start) end = start + 1;
  bound(run_state, true).store(end);
  Reset_MeanSigma(run_state, -1);
}

NoiseWindow Noise_Window(const RunState& st) {
  auto& s = const_cast<RunState&>(st);
  return {bound(s, false).load(), bound(s, true).load()};
}

void Enable_NoiseMeasurement(Settings& st, RunState& run_state, bool on) {
  Reset_MeanSigma(run_state, -1);
  st.NoiseMeasurementOn().store(on ? 1 : 0);
}

void Select_NoiseStripChartChannel(Settings& st, int channel) {
  st.gui.NoiseStripChartChannel = std::clamp(channel, -1, kMaxChannels - 1);
}

NoiseView Noise_View(const RunState& st) {
  NoiseView v;
  constexpr double kMvPerCount = kVoltsPerAdcCount * 1000.0;
  for (int ch = 0; ch < kMaxChannels; ++ch) {
    const int b = ch / kChannelsPerBlock, c = ch % kChannelsPerBlock;
    v.sigma_mv[ch] = st.meas.Sigma[b][c] * kMvPerCount;
    v.mean_mv[ch] = st.meas.MeanSigma[b][c].load() * kMvPerCount;
  }
  return v;
}

}  // namespace vx
