// Time, amplitude and charge of a group of channels of one event, with every setting read
// once per event, so that groups can be measured on several threads at once.
#pragma once

#include <cstdint>
#include <span>

#include "app/measurement_jobs.h"
#include "app/run_config.h"
#include "app/state.h"

namespace vx {

MeasurementSettings Snapshot_MeasurementSettings(const RunState& st, const RunConfig& cfg);

// Measures jobs[i] into results[i] (both the same size). Channels are taken four at a time
// so that their spline solves overlap; the work buffers belong to the calling thread and
// are kept from call to call, so that a run's measurements allocate nothing.
void Measure_Channels(const MeasurementSettings& settings, std::span<const ChannelJob> jobs,
                      std::span<ChannelResult> results);

}  // namespace vx
