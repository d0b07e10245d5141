// The daughter-board EEPROM as the simulated unit leaves the factory, and the correction
// tables the library takes from it. Map: identity at 0x0000..0x003A, block A tables from
// 0x0600, block B tables from 0x3800; every table is valid only when the markers of both
// blocks hold 0xFF - (marker address mod 256).
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "platform/eeprom_map.h"
#include "sim/board_imperfections.h"

namespace vx::sim {

inline constexpr std::size_t kEepromSize = eeprom::kSize;
using EepromImage = std::vector<std::uint8_t>;

// Per-channel corrections taken from one daughter board: a table that is not valid in the
// EEPROM comes back empty and corrects nothing.
struct DaughterCorrections {
  std::array<std::vector<float>, 4> pedestal;  // counts, channel 4d + i
  std::array<std::vector<float>, 4> inl_ps;    // INL in ps at 3.2 GS/s, channel 4d + i
};

// inl_error_ps: the sigma of each time-table entry's error.
EepromImage factory_eeprom(const BoardImperfections& truth, std::uint32_t board_id, int daughter,
                           double inl_error_ps);
DaughterCorrections corrections_from_eeprom(const EepromImage& image);

}  // namespace vx::sim
