// The daughter-board EEPROM as the simulated unit leaves the factory, and the correction
// tables the library takes from it. Map: identity at 0x0000..0x003A, block A tables from
// 0x0600, block B tables from 0x3800; every table is valid only when the markers of both
// blocks hold 0xFF - (marker address mod 256).
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "sim/board_imperfections.h"

namespace vx::sim {

inline constexpr std::size_t kEepromSize = 65536;
using EepromImage = std::vector<std::uint8_t>;

namespace eeprom {
inline constexpr std::uint16_t kSerial = 0x0000;
inline constexpr std::uint16_t kInlDate = 0x0008;
inline constexpr std::uint16_t kInlLocation = 0x0010;
inline constexpr std::uint16_t kInlResponsible = 0x0020;
inline constexpr std::uint16_t kSetupRegister = 0x0030;
inline constexpr std::uint16_t kGain = 0x0031;
inline constexpr std::uint16_t kOffsetGain = 0x0032;
inline constexpr std::uint16_t kSerialValid = 0x0037;
inline constexpr std::uint16_t kSetupValid = 0x0038;
inline constexpr std::uint16_t kGainValid = 0x0039;
inline constexpr std::uint16_t kOffsetGainValid = 0x003A;
inline constexpr std::uint16_t kBlockBase[2] = {0x0600, 0x3800};
inline constexpr std::uint16_t kPedestalMarker = 0x2A;  // offsets from the block base
inline constexpr std::uint16_t kInlMarker = 0x2B;
inline constexpr std::uint16_t kPedestalArea[2][2] = {{0x0700, 0x0F00}, {0x3900, 0x4100}};
inline constexpr std::uint16_t kInlArea[2][2] = {{0x1700, 0x1F00}, {0x4900, 0x5100}};
inline constexpr std::uint8_t marker_value(std::uint16_t address) {
  return static_cast<std::uint8_t>(0xFF - (address & 0xFF));
}
}  // namespace eeprom

// Per-channel corrections taken from one daughter board: a table that is not valid in the
// EEPROM comes back empty and corrects nothing.
struct DaughterCorrections {
  std::array<std::vector<float>, 4> pedestal;  // counts, channel 4d + i
  std::array<std::vector<float>, 4> inl_ps;    // INL in ps at 3.2 GS/s, channel 4d + i
};

EepromImage factory_eeprom(const BoardImperfections& truth, std::uint32_t board_id, int daughter);
DaughterCorrections corrections_from_eeprom(const EepromImage& image);

}  // namespace vx::sim
