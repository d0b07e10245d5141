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

// `running`: a run is going on, also while a settings restart holds its loop stopped. Taken
// before the change's own restart guard, which sees the loop already stopped.
void rebuild(BoardPort port, RunState& run, bool running) {
  const RunConfig cfg = Freeze_RunConfig(port.settings);
  Compute_TimeHisto(port.settings, run, port.links, cfg);
  // The fit waits for the end of the run.
  if (run.meas.NbOfValidTimes > 0)
    Compute_TimeHistoParameters(run, port.links, cfg, 1, running ? 0 : 1);
}

}  // namespace

void Set_DisplayTimeOnWaveforms(ControlPort port, bool on) {
  RestartGuard restart(port);
  port.settings.gui.DisplayTimeOnWaveforms = on ? 1 : 0;
  if (port.links.hooks.recompute_main_graph) port.links.hooks.recompute_main_graph();
}

void Set_TimeJitterEnabled(ControlPort port, bool on) {
  RestartGuard restart(port);
  port.settings.acq.EnTimeJitter = on ? 1 : 0;
}

void Set_PeakInterpolation(RunState& st, bool polynomial) {
  st.meas.PeakInterp = polynomial ? 1 : 0;
}

void Set_SplineInterpolation(RunState& st, bool on) {
  st.meas.PerformSplineInterp = on ? 1 : 0;
}

void Set_TimingMethod(ControlPort port, bool cfd) {
  RestartGuard restart(port);
  port.settings.acq.CFDMethod = cfd ? 1 : 0;
}

void Set_CFDRatio(ControlPort port, double ratio) {
  RestartGuard restart(port);
  port.settings.acq.CFDRatio = static_cast<float>(std::clamp(finite_or(ratio, 0.5), 0.0, 1.0));
}

void Set_EdgeTiming(ControlPort port, EdgeTiming timing) {
  if (Refuse_ChangeDuringSavingRun(port, "edge timing")) return;
  RestartGuard restart(port);
  port.settings.acq.TimeMeasSpareOption = static_cast<std::int32_t>(timing);
}

void Set_NbOfBinsForSpline(ControlPort port, int bins) {
  RestartGuard restart(port);
  constexpr IntRange allowed = int_range_of<&AcqParams::NbOfBinsForSpline>();
  port.settings.acq.NbOfBinsForSpline = std::clamp(bins, allowed.lo, allowed.hi);
}

void Set_NbOfBinsForBaseline(ControlPort port, int bins) {
  RestartGuard restart(port);
  port.settings.acq.NbOfBinsForBaseline = std::clamp(bins, 1, kMaxSamples);
}

void Set_NoMaxPeakThresholdDistance(ControlPort port, bool no_max) {
  RestartGuard restart(port);
  port.settings.acq.NoMaxPeakThresholdDistance = no_max ? 1 : 0;
}

void Set_MaxPeakThresholdDistance(ControlPort port, double ns) {
  RestartGuard restart(port);
  port.settings.acq.MaxPeakThresholdDistance =
      static_cast<float>(std::max(0.0, finite_or(ns, 5.0)));
}

void Set_PulseEdge(ControlPort port, int channel, int edge) {
  RestartGuard restart(port);
  for_pulse_channels(channel,
                     [&](int b, int c) { port.settings.acq.PulseEdge[b][c] = edge == 0 ? 0 : 1; });
}

void Set_PulseThreshold(ControlPort port, int channel, double volts) {
  RestartGuard restart(port);
  const auto counts = static_cast<float>(finite_or(volts, 0.0) * kThresholdCountsPerVolt);
  for_pulse_channels(channel,
                     [&](int b, int c) { port.settings.acq.PulseThreshold[b][c] = counts; });
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

void Set_TimeHistoFilters(ControlPort port, RunState& run, const TimeHistoFilters& f) {
  const bool running = port.run_going_on();
  RestartGuard restart(port);
  run.meas.EnableExcludePulses = f.by_distance ? 1 : 0;
  port.settings.acq.MinPulsesDistance = static_cast<float>(finite_or(f.min_distance_ns, -10.0));
  port.settings.acq.MaxPulsesDistance = static_cast<float>(finite_or(f.max_distance_ns, 10.0));
  port.settings.acq.EnExcludeBelowAmplitude = f.below_amplitude ? 1 : 0;
  port.settings.acq.MinPeakAmplitude = static_cast<float>(finite_or(f.min_amplitude_v, 0.0));
  port.settings.acq.EnExcludeAboveAmplitude = f.above_amplitude ? 1 : 0;
  port.settings.acq.MaxPeakAmplitude = static_cast<float>(finite_or(f.max_amplitude_v, 0.0));
  rebuild(port, run, running);
}

void Set_TimeHistoChannels(ControlPort port, RunState& run, int channel_a, int channel_b) {
  const bool running = port.run_going_on();
  RestartGuard restart(port);
  port.settings.acq.TimeHistoChannelA = channel_a;
  port.settings.acq.TimeHistoChannelB = channel_b;
  rebuild(port, run, running);
}

void Set_TimeHistoBins(ControlPort port, RunState& run, bool automatic, int bins) {
  const bool running = port.run_going_on();
  RestartGuard restart(port);
  port.settings.gui.TimeHistoOption1 = automatic ? 1 : 0;
  if (!automatic) port.settings.gui.TimeHistoNbOfBins = std::clamp(bins, 1, kMaxTimeHistoBins);
  rebuild(port, run, running);
}

void Set_TimeHistoRange(ControlPort port, RunState& run, bool automatic, double min_ns,
                        double max_ns) {
  const bool running = port.run_going_on();
  RestartGuard restart(port);
  port.links.ui.set_wait_cursor(true);
  port.settings.gui.TimeHistoOption2 = automatic ? 1 : 0;
  if (!automatic) {
    const double lo = finite_or(min_ns, port.settings.gui.TimeHistoMin);
    const double hi = finite_or(max_ns, port.settings.gui.TimeHistoMax);
    port.settings.gui.TimeHistoMin = std::min(lo, hi);
    port.settings.gui.TimeHistoMax =
        std::max(std::max(lo, hi), port.settings.gui.TimeHistoMin + kMinRangeNs);
  }
  rebuild(port, run, running);
  port.links.ui.set_wait_cursor(false);
}

}  // namespace vx
