// Trigger-threshold DAC offset calibration: every channel's threshold swept through a
// narrow window around 0 V with no signal; the middle of the thresholds whose hit counter
// fired is where the discriminator really sits, kept in MeanThreshold.
#pragma once

#include <bitset>

#include "app/state.h"

namespace vx {

inline constexpr int kThresholdScanSteps = 400;
inline constexpr float kThresholdScanStart = -0.05f;
inline constexpr float kThresholdScanStep = 0.1f / 399.0f;

// The steps of the scan that saw hits on one channel; first stays at kThresholdScanSteps
// while none did.
struct HitWindow {
  int first = kThresholdScanSteps;
  int last = 0;
  std::bitset<kThresholdScanSteps> steps;
  void hit(int step);
  bool found() const { return first != kThresholdScanSteps; }
  // The threshold offset, volts: the middle of the window (+0.125 mV when nothing was hit).
  float mean_threshold() const;
  // With no signal only the baseline's noise fires the discriminator: every hit lies in one
  // band of thresholds a few millivolts wide. Hits beyond it, or a much wider band, come
  // from a signal at the input, and the window's middle is then not the offset.
  bool noise_only() const;
};

// How far apart two hit steps of one noise band may lie, and how wide the band may be: at
// most 5 mV, and 35 mV (some 10 noise sigmas of a channel at 3.5 mV rms, seven times a good
// channel's noise; the band of a channel at 0.5 mV is 4 to 5 mV wide).
inline constexpr int kNoiseBandMaxGap = 20;
inline constexpr int kNoiseBandMaxSteps = 140;

// True when every channel's offset was measured. A cancel, a communication error, a channel
// that never fired or one with a signal at its input keeps every previous MeanThreshold.
// The records are restored either way and the thresholds reloaded with the offsets.
bool Calibrate_TriggerThresholdDACsOffset(State& st);

}  // namespace vx
