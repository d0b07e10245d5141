#include "acquisition/time_measurement_controls.h"

#include <algorithm>
#include <cmath>

#include "acquisition/run_control.h"
#include "analysis/time_histogram.h"
#include "analysis/waveform_utilities.h"
#include "app/field_ranges.h"
#include "files/saving_run_lock.h"

namespace vx {

namespace {

// A manual range is at least one picosecond wide.
constexpr double kMinRangeNs = 0.001;

template <typename F>
void for_pulse_channels(int channel, F f) {
  if (channel < 0) {
    for (int b = 0; b < kMaxSamBlocks; ++b)
      for (int c = 0; c < kChannelsPerBlock; ++c) f(b, c);
  } else if (channel < kMaxChannels) {
    f(channel / kChannelsPerBlock, channel % kChannelsPerBlock);
  }
}

// A value that is not a finite number gives way to the fallback.
double finite_or(double v, double fallback) {
  return std::isfinite(v) ? v : fallback;
}

// A run is going on, also while a settings restart holds its loop stopped. Taken before
// the change's own restart guard, which sees the loop already stopped.
bool run_going_on(const RunState& st) {
  return st.RestartPending.load() == 1 || st.AcquisitionRunning.load() == 1;
}

void rebuild(State& st, bool running) {
  const RunConfig cfg = Freeze_RunConfig(st);
  Compute_TimeHisto(st, cfg);
  // The fit waits for the end of the run.
  if (st.meas.NbOfValidTimes > 0) Compute_TimeHistoParameters(st, st, cfg, 1, running ? 0 : 1);
}

}  // namespace

void Set_DisplayTimeOnWaveforms(State& st, bool on) {
  RestartGuard restart(st);
  st.gui.DisplayTimeOnWaveforms = on ? 1 : 0;
  if (st.hooks.recompute_main_graph) st.hooks.recompute_main_graph();
}

void Set_TimeJitterEnabled(State& st, bool on) {
  RestartGuard restart(st);
  st.acq.EnTimeJitter = on ? 1 : 0;
}

void Set_PeakInterpolation(RunState& st, bool polynomial) {
  st.meas.PeakInterp = polynomial ? 1 : 0;
}

void Set_SplineInterpolation(RunState& st, bool on) {
  st.meas.PerformSplineInterp = on ? 1 : 0;
}

void Set_TimingMethod(State& st, bool cfd) {
  RestartGuard restart(st);
  st.acq.CFDMethod = cfd ? 1 : 0;
}

void Set_CFDRatio(State& st, double ratio) {
  RestartGuard restart(st);
  st.acq.CFDRatio = static_cast<float>(std::clamp(finite_or(ratio, 0.5), 0.0, 1.0));
}

void Set_EdgeTiming(State& st, EdgeTiming timing) {
  if (Refuse_ChangeDuringSavingRun(st, "edge timing")) return;
  RestartGuard restart(st);
  st.acq.TimeMeasSpareOption = static_cast<std::int32_t>(timing);
}

void Set_NbOfBinsForSpline(State& st, int bins) {
  RestartGuard restart(st);
  constexpr IntRange allowed = int_range_of<&AcqParams::NbOfBinsForSpline>();
  st.acq.NbOfBinsForSpline = std::clamp(bins, allowed.lo, allowed.hi);
}

void Set_NbOfBinsForBaseline(State& st, int bins) {
  RestartGuard restart(st);
  st.acq.NbOfBinsForBaseline = std::clamp(bins, 1, kMaxSamples);
}

void Set_NoMaxPeakThresholdDistance(State& st, bool no_max) {
  RestartGuard restart(st);
  st.acq.NoMaxPeakThresholdDistance = no_max ? 1 : 0;
}

void Set_MaxPeakThresholdDistance(State& st, double ns) {
  RestartGuard restart(st);
  st.acq.MaxPeakThresholdDistance = static_cast<float>(std::max(0.0, finite_or(ns, 5.0)));
}

void Set_PulseEdge(State& st, int channel, int edge) {
  RestartGuard restart(st);
  for_pulse_channels(channel, [&](int b, int c) { st.acq.PulseEdge[b][c] = edge == 0 ? 0 : 1; });
}

void Set_PulseThreshold(State& st, int channel, double volts) {
  RestartGuard restart(st);
  const auto counts = static_cast<float>(finite_or(volts, 0.0) * kThresholdCountsPerVolt);
  for_pulse_channels(channel, [&](int b, int c) { st.acq.PulseThreshold[b][c] = counts; });
}

float pulse_threshold_counts(const Settings& st, int channel) {
  if (channel < 0 || channel >= kMaxChannels) return 0.0f;
  return st.acq.PulseThreshold[channel / kChannelsPerBlock][channel % kChannelsPerBlock];
}

TimeHistoFilters time_histo_filters(const Settings& st, const RunState& run_state) {
  TimeHistoFilters f;
  f.by_distance = run_state.meas.EnableExcludePulses.load() == 1;
  f.min_distance_ns = st.acq.MinPulsesDistance;
  f.max_distance_ns = st.acq.MaxPulsesDistance;
  f.below_amplitude = st.acq.EnExcludeBelowAmplitude == 1;
  f.min_amplitude_v = st.acq.MinPeakAmplitude;
  f.above_amplitude = st.acq.EnExcludeAboveAmplitude == 1;
  f.max_amplitude_v = st.acq.MaxPeakAmplitude;
  return f;
}

void Set_TimeHistoFilters(State& st, const TimeHistoFilters& f) {
  const bool running = run_going_on(st);
  RestartGuard restart(st);
  st.meas.EnableExcludePulses = f.by_distance ? 1 : 0;
  st.acq.MinPulsesDistance = static_cast<float>(finite_or(f.min_distance_ns, -10.0));
  st.acq.MaxPulsesDistance = static_cast<float>(finite_or(f.max_distance_ns, 10.0));
  st.acq.EnExcludeBelowAmplitude = f.below_amplitude ? 1 : 0;
  st.acq.MinPeakAmplitude = static_cast<float>(finite_or(f.min_amplitude_v, 0.0));
  st.acq.EnExcludeAboveAmplitude = f.above_amplitude ? 1 : 0;
  st.acq.MaxPeakAmplitude = static_cast<float>(finite_or(f.max_amplitude_v, 0.0));
  rebuild(st, running);
}

void Set_TimeHistoChannels(State& st, int channel_a, int channel_b) {
  const bool running = run_going_on(st);
  RestartGuard restart(st);
  st.acq.TimeHistoChannelA = channel_a;
  st.acq.TimeHistoChannelB = channel_b;
  rebuild(st, running);
}

void Set_TimeHistoBins(State& st, bool automatic, int bins) {
  const bool running = run_going_on(st);
  RestartGuard restart(st);
  st.gui.TimeHistoOption1 = automatic ? 1 : 0;
  if (!automatic) st.gui.TimeHistoNbOfBins = std::clamp(bins, 1, kMaxTimeHistoBins);
  rebuild(st, running);
}

void Set_TimeHistoRange(State& st, bool automatic, double min_ns, double max_ns) {
  const bool running = run_going_on(st);
  RestartGuard restart(st);
  st.ui.set_wait_cursor(true);
  st.gui.TimeHistoOption2 = automatic ? 1 : 0;
  if (!automatic) {
    const double lo = finite_or(min_ns, st.gui.TimeHistoMin);
    const double hi = finite_or(max_ns, st.gui.TimeHistoMax);
    st.gui.TimeHistoMin = std::min(lo, hi);
    st.gui.TimeHistoMax = std::max(std::max(lo, hi), st.gui.TimeHistoMin + kMinRangeNs);
  }
  rebuild(st, running);
  st.ui.set_wait_cursor(false);
}

}  // namespace vx
