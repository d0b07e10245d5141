// SAM DAC offset calibration: for every block, channel and line of 64 cells, the code of the
// SAM chip's line offset DAC that brings the line's mean raw level closest to mid-scale.
#pragma once

#include <cstdint>

#include "app/state.h"

namespace vx {

inline constexpr float kSamDacTarget = 2048.0f;

// Tracks the best code of one line over the scan: the strictly closer mean wins, so among
// equal distances the lowest code stays.
struct LineSearch {
  float best_distance = 2048.0f;
  int best_code = 0;
  int best_value = 0;
  // Returns true when the code became the best one.
  bool offer(int code, float mean);
};

// True when the codes were found and loaded (SamDACOffsetDone); on a failure (the board
// stopped delivering events, a cancel) the previous codes are loaded again.
bool Calibrate_SAMDACsOffset(State& st);

}  // namespace vx
