// What the measurement pass takes of an event: its settings and its channels' jobs. Plain
// values, so that an event's jobs can travel with its copy to another thread.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "app/edge_timing.h"
#include "app/params.h"

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
  EdgeTiming edge_timing = EdgeTiming::kStandard;
  bool limited = false;  // crossing-to-peak distance limit on
  double limit = 0.0;    // that limit in points of the searched waveform
  double period_ns = 0.0;
  double period_ps = 0.0;
};

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

// One event's channels as the pass measures them: the settings, and the enabled channels in
// channel order, each with its block, channel and job.
struct EventJobs {
  MeasurementSettings settings;
  std::array<ChannelJob, kMaxChannels> jobs{};
  std::array<int, kMaxChannels> block{};
  std::array<int, kMaxChannels> channel{};
  std::size_t count = 0;
};

}  // namespace vx
