#include "analysis/time_amplitude.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <span>

#include "analysis/channel_measurement.h"
#include "analysis/measurement_context.h"
#include "analysis/waveform_utilities.h"
#include "platform/numeric.h"

namespace vx {

void Compute_TimeAndAmplitude(Settings& st, RunState& run_state, int block, int channel,
                              float& leadingTime, float& trailingTime, float& amplitude,
                              int computeTrailing) {
  leadingTime = -1.0f;
  trailingTime = -1.0f;
  amplitude = 0.0f;
  if (block < 0 || block >= kMaxSamBlocks || channel < 0 || channel >= kChannelsPerBlock) return;
  const MeasurementSettings settings =
      Snapshot_MeasurementSettings(run_state, Freeze_RunConfig(st));
  ChannelJob job;
  job.waveform = run_state.event.FullyOrderedValues[block][channel].data();
  job.threshold = st.acq.PulseThreshold[block][channel];
  job.edge = st.acq.PulseEdge[block][channel];
  job.compute_trailing = computeTrailing == 1;
  job.charge = false;
  ChannelResult result;
  Measure_Channels(settings, std::span<const ChannelJob>(&job, 1),
                   std::span<ChannelResult>(&result, 1));
  leadingTime = result.leading;
  trailingTime = result.trailing;
  amplitude = result.amplitude;
}

void Set_FixedThresholdTiming(Settings& st, double volts) {
  constexpr double kCountsPerVolt = 1638.0;
  st.acq.CFDMethod = 0;
  for (int b = 0; b < kMaxSamBlocks; ++b) {
    for (int c = 0; c < kChannelsPerBlock; ++c) {
      st.acq.PulseThreshold[b][c] = static_cast<float>(volts * kCountsPerVolt);
      st.acq.PulseEdge[b][c] = volts < 0.0 ? 1 : 0;
    }
  }
}

}  // namespace vx
