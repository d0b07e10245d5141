// Address map of a daughter board's 64 KiB EEPROM, shared by the system and the simulated
// board. Block A is the board's first SAM block,
// block B its second; B's calibration areas sit 0x3200 above A's.
#pragma once

#include <cstdint>

namespace vx::eeprom {

inline constexpr std::uint32_t kSize = 65536;

inline constexpr std::uint16_t kSerial = 0x0000;  // "%d.%d", 8 bytes
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
inline constexpr std::uint16_t kSamDacZero = 0x0044;

inline constexpr std::uint8_t kSerialMarker = 0xC8;
inline constexpr std::uint8_t kSetupMarker = 0xC7;
inline constexpr std::uint8_t kGainMarker = 0xC6;
inline constexpr std::uint8_t kOffsetGainMarker = 0xC5;

inline constexpr std::uint16_t kBlockBShift = 0x3200;

// Per-block areas, given for block A (add kBlockBShift for block B).
inline constexpr std::uint16_t kTriggerDac = 0x0600;  // 2 bytes per channel
inline constexpr std::uint16_t kSamDacValid = 0x0628;
inline constexpr std::uint16_t kTriggerDacValid = 0x0629;
inline constexpr std::uint16_t kPedestalValid = 0x062A;
inline constexpr std::uint16_t kInlValid = 0x062B;
inline constexpr std::uint16_t kSamDacOffsets = 0x0640;  // 16 words of 4 bytes
// With the pedestals: the line DAC settings they were measured with. SamReg2 bits 5 to 7,
// then the 16 line codes of channel 0 and those of channel 1; 0xFF (erased) when the table
// was stored without them.
inline constexpr std::uint16_t kPedestalLineDacs = 0x0680;
inline constexpr std::uint16_t kPedestalLineDacsSize = 33;
inline constexpr std::uint16_t kPedestals = 0x0700;  // 2048 bytes per channel
inline constexpr std::uint16_t kInlTable = 0x1700;   // 2048 bytes per channel
inline constexpr std::uint16_t kChannelTableStride = 0x0800;

constexpr std::uint16_t block_address(std::uint16_t a_address, int block_in_board) {
  return static_cast<std::uint16_t>(a_address + (block_in_board == 0 ? 0 : kBlockBShift));
}

// A calibration marker at address a holds 0xFF - (a mod 256).
constexpr std::uint8_t marker_value(std::uint16_t address) {
  return static_cast<std::uint8_t>(0xFF - (address & 0xFF));
}

}  // namespace vx::eeprom
