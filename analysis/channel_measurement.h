// Time, amplitude and charge of a group of channels of one event, with every setting read
// once per event, so that groups can be measured on several threads at once.
#pragma once

#include <cstdint>
#include <span>

#include "app/state.h"

namespace vx {

// The settings the measurements of one event use.
struct MeasurementSettings {
  int samples = 0;         // samples per channel of the event
  int charge_samples = 0;  // RecordLength: the charge window ends there at the latest
  bool spline = false;
  int per = 1;  // points per sample interval of the spline copy (1 without spline)
  bool cfd = true;
  double cfd_ratio = 0.5;
  std::int64_t baseline_bins = 0;  // samples averaged for the constant-fraction baseline
  int peak_interp = 1;
  bool limited = false;  // crossing-to-peak distance limit on
  double limit = 0.0;    // that limit in points of the searched waveform
  double period_ns = 0.0;
  double period_ps = 0.0;
};

MeasurementSettings Snapshot_MeasurementSettings(const State& st);

// One channel to measure: its waveform (kMaxSamples values) and its own settings.
struct ChannelJob {
  const float* waveform = nullptr;
  float threshold = 0.0f;  // fixed threshold, ADC counts
  int edge = 0;            // fixed threshold: 0 rising, 1 falling
  bool compute_trailing = true;
  bool charge = true;
  int charge_baseline_samples = 0;
  int charge_start = 0;
  int charge_length = 0;
};

struct ChannelResult {
  float leading = -1.0f;   // ns, -1 when no valid crossing
  float trailing = -1.0f;  // ns, -1 when no valid crossing
  float amplitude = 0.0f;  // V
  float charge = 0.0f;     // pC
  float baseline = 0.0f;   // V, the charge's baseline
};

// Measures jobs[i] into results[i] (both the same size). Channels are taken four at a time
// so that their spline solves overlap; the work buffers belong to the calling thread and
// are kept from call to call, so that a run's measurements allocate nothing.
void Measure_Channels(const MeasurementSettings& settings, std::span<const ChannelJob> jobs,
                      std::span<ChannelResult> results);

}  // namespace vx
