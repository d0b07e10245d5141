// The imperfections of one simulated unit, the things the calibrations measure: per-cell
// pedestals, per-line offsets, per-cell sampling-time errors and the offsets of the trigger
// discriminators. They depend only on the model and the board id, never on the event seed,
// so that the unit stays the same unit from one run (and one seed) to the next.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

namespace vx::sim {

struct BoardImperfections {
  // Raw level of each physical cell with the SAM DACs off and 0 V at the input, in counts.
  std::vector<std::array<float, 1024>> pedestal;
  // The per-line part of the pedestal (line = cell mod 16), in counts.
  std::vector<std::array<float, 16>> line_offset;
  // Sampling-time error of each physical cell as a fraction of the sampling period: cell p is
  // sampled at (p + time_error[p]) periods after cell 0; time_error[0] is 0.
  std::vector<std::array<float, 1024>> time_error;
  // Where each discriminator really switches relative to its DAC setting, in volts.
  std::vector<float> discriminator_offset_v;
};

BoardImperfections make_board_imperfections(std::uint32_t board_id, int channels);

}  // namespace vx::sim
