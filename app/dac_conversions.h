// Volts to DAC codes and back. Both DACs span -1.25 V .. +1.25 V over 16 bits; the
// threshold DAC runs the other way round (+1.25 V is code 0).
#pragma once

#include <cstdint>

namespace vx {

inline constexpr double kDacHalfRange = 1.25;
inline constexpr double kDacFullScale = 65535.0;
inline constexpr double kVoltsPerAdcCount = 0.00061;

// Codes that would fall outside 0..65535 (a threshold plus its measured offset, or a value
// typed beyond the range) are clamped to the nearest end instead of wrapping around to
// the opposite end of the range.
std::uint32_t Calculate_ThresholdDACIntValues(float volts);
std::int32_t Calculate_OffsetDACIntValues(float volts);
float Calculate_DACFloatValue(std::uint32_t code);

}  // namespace vx
