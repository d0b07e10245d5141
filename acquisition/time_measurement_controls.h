// The time-measurement controls: how leading and trailing edges are timed, and the
// time-difference histogram's channels, binning, range and filters. The desktop panels, the
// command line and the tests call these. A change made during a run stops the acquisition,
// is applied and the run goes on (restart within the same run).
#pragma once

#include "app/board_port.h"
#include "app/edge_timing.h"
#include "app/state.h"

namespace vx {

// Fixed thresholds are entered in volts and kept in ADC counts.
inline constexpr double kThresholdCountsPerVolt = 1638.0;

void Set_DisplayTimeOnWaveforms(ControlPort port, bool on);
void Set_TimeJitterEnabled(ControlPort port, bool on);
// Parabolic refinement of the peak value (true) or the largest sample as it is.
void Set_PeakInterpolation(RunState& st, bool polynomial);
void Set_SplineInterpolation(RunState& st, bool on);
// Constant fraction (true) or fixed threshold (false).
void Set_TimingMethod(ControlPort port, bool cfd);
void Set_CFDRatio(ControlPort port, double ratio);
// How the crossings are taken. Data files name it in their header, so a saving run refuses
// the change.
void Set_EdgeTiming(ControlPort port, EdgeTiming timing);
void Set_NbOfBinsForSpline(ControlPort port, int bins);
void Set_NbOfBinsForBaseline(ControlPort port, int bins);
void Set_NoMaxPeakThresholdDistance(ControlPort port, bool no_max);
void Set_MaxPeakThresholdDistance(ControlPort port, double ns);

// Fixed-threshold edge (0 rising, 1 falling) and threshold of one channel (2 x block +
// channel), or of both channels of every block with channel -1.
void Set_PulseEdge(ControlPort port, int channel, int edge);
void Set_PulseThreshold(ControlPort port, int channel, double volts);
float pulse_threshold_counts(const Settings& st, int channel);

// Which time differences enter the histogram. Each change rebuilds it at once.
struct TimeHistoFilters {
  bool by_distance = false;
  double min_distance_ns = -10.0, max_distance_ns = 10.0;
  bool below_amplitude = false;
  double min_amplitude_v = 0.0;
  bool above_amplitude = false;
  double max_amplitude_v = 0.0;
};
TimeHistoFilters time_histo_filters(const Settings& st, const RunState& run_state);
void Set_TimeHistoFilters(ControlPort port, RunState& run, const TimeHistoFilters& f);

// The histogram's channels (2 x block + channel), bin count and range in ns. Each change
// rebuilds it at once from the run's lists, with its FWHM; the Gaussian fit too unless a
// run is going on (the end of the run fits it).
void Set_TimeHistoChannels(ControlPort port, RunState& run, int channel_a, int channel_b);
void Set_TimeHistoBins(ControlPort port, RunState& run, bool automatic, int bins);
void Set_TimeHistoRange(ControlPort port, RunState& run, bool automatic, double min_ns,
                        double max_ns);

}  // namespace vx
