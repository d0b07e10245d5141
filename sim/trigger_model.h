// Discriminator statistics: how often each channel's discriminator fires (noise crossings by
// Rice's formula, pulses that reach past the threshold, sine crossings) and how often the
// self-trigger logic (pair AND/OR within the coincidence window, then the board logic)
// produces a trigger. Rates drive both the hit counters and the self-triggered events.
#pragma once

#include <array>

#include "sim/sim_config.h"

namespace vx::sim {

struct Discriminator {
  bool acquisition_trigger = false;  // self trigger enabled for acquisition on this channel
  double level_v = 0.0;              // effective threshold minus the baseline it sees
  double noise_v = 0.0;
  InputKind input = InputKind::kNone;
  double excursion_v = 0.0;  // signed pulse height above the baseline
  double sine_amplitude_v = 0.0;
  double sine_frequency_hz = 0.0;
};

struct TriggerSetup {
  int channels = 16;
  std::array<Discriminator, 16> ch{};
  std::array<int, 8> pair_logic{};   // 0 OR, 1 AND
  std::array<double, 8> window_s{};  // pair coincidence window
  int logic = 0;                     // 0 OR, 1 AND, 2 majority
  int majority_level = 0;            // majority needs majority_level + 1 blocks
  double pulse_rate_hz = 0.0;
  double noise_bandwidth_hz = 500e6;
};

// Crossings of level (distance from the baseline) per second in one direction.
double noise_crossing_rate(double level_v, double noise_v, double bandwidth_hz);
// Probability that one pulse carries the discriminator past its threshold.
double pulse_fire_probability(const Discriminator& d);
// Discriminator firings per second, for the hit counters.
double channel_hit_rate(const Discriminator& d, double pulse_rate_hz, double bandwidth_hz);
// Self-trigger candidates per second (before dead time).
double self_trigger_rate(const TriggerSetup& setup);

}  // namespace vx::sim
