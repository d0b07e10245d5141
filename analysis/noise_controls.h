// What the noise panel's controls do: the sample window of the noise measurement, entered
// in ns, the switch and the strip chart's channel; and the values the panel shows.
#pragma once

#include <array>

#include "app/state.h"

namespace vx {

// A sample to the time it starts at: sample * T / 1000 ns.
double Noise_NsFromSample(int sample, double period_ps);

// Each bound is kept inside the record; an end not above the start becomes start + 1 (a
// start moved onto or past the end pushes the end along). Both restart the running means.
void Set_NoiseWindowStart(Settings& st, RunState& run_state, double ns);
void Set_NoiseWindowEnd(Settings& st, RunState& run_state, double ns);
struct NoiseWindow {
  int start = 0, end = 0;
};
NoiseWindow Noise_Window(const RunState& st);

void Enable_NoiseMeasurement(Settings& st, RunState& run_state, bool on);
// -1: every channel. The front end starts its strip chart afresh.
void Select_NoiseStripChartChannel(Settings& st, int channel);

// The last event's noise and the running mean of every channel, in mV.
struct NoiseView {
  std::array<double, kMaxChannels> sigma_mv{}, mean_mv{};
};
NoiseView Noise_View(const RunState& st);

}  // namespace vx
