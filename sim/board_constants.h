// Constants and unit conversions shared by the simulated board's model and library calls:
// firmware releases, register bits, memory sizes and the DAC and threshold code scales.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vx::sim {

// Streams of the board's seeded random numbers.
inline constexpr std::uint64_t kArrivalStream = 1;
inline constexpr std::uint64_t kCounterStream = 2;
inline constexpr std::uint64_t kEventStream = 3;

inline constexpr std::uint32_t kMotherboardFirmware = (4u << 8) | 22u;           // V4.22
inline constexpr std::uint32_t kDaughterFirmware = (1u << 20) | (3u << 8) | 8u;  // V1-3.8
inline constexpr std::uint32_t kControlRegisterDefault = 0x0D;
inline constexpr std::uint32_t kControlContinuousArm = 1u << 2;
inline constexpr std::uint32_t kControlRateCounters = 1u << 3;
inline constexpr std::uint32_t kControlChargeNoBaseline = 1u << 5;
inline constexpr std::uint32_t kSamRegEnDac = 1u << 5;
inline constexpr std::uint32_t kSamRegLsb1 = 1u << 6;
inline constexpr std::uint32_t kSamRegLsb2 = 1u << 7;
inline constexpr std::size_t kChargeMemory = 4096;
inline constexpr std::uint32_t kChargeAggregateMax = 256;
inline constexpr double kChargeDeadTimeS = 1e-6;
inline constexpr double kNominalPeriodPs = 312.5;
inline constexpr std::uint64_t kTdcMask = (1ull << 40) - 1;

inline double dac_volts(std::uint32_t code) {
  return -1.25 + code / 65535.0 * 2.5;
}
inline double threshold_volts(std::uint32_t code) {
  return 1.25 - code * 2.5 / 65535.0;
}

inline std::uint16_t saturate16(double v) {
  if (!(v > 0.0)) return 0;
  return v >= 65535.0 ? 65535 : static_cast<std::uint16_t>(v);
}

}  // namespace vx::sim
