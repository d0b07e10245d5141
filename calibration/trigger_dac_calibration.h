// Trigger-threshold DAC offset calibration: every channel's threshold swept through a
// narrow window around 0 V with no signal; the middle of the thresholds whose hit counter
// fired is where the discriminator really sits, kept in MeanThreshold.
#pragma once

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
  void hit(int step);
  bool found() const { return first != kThresholdScanSteps; }
  // The threshold offset, volts: the middle of the window (+0.125 mV when nothing was hit).
  float mean_threshold() const;
};

// True when every channel was scanned; a cancelled scan keeps the previous MeanThreshold.
// The records are restored either way and the thresholds reloaded with the offsets.
bool Calibrate_TriggerThresholdDACsOffset(State& st);

}  // namespace vx
