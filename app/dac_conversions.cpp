#include "app/dac_conversions.h"

#include <cmath>

namespace vx {

namespace {

// Truncation toward zero, as the conversion to an integer does, then the range clamp.
std::int64_t to_code(long double value) {
  if (!(value > 0.0L)) return 0;  // also catches NaN
  if (value >= 65535.0L) return 65535;
  return static_cast<std::int64_t>(value);
}

}  // namespace

std::uint32_t Calculate_ThresholdDACIntValues(float volts) {
  const long double v = volts;
  return static_cast<std::uint32_t>(to_code((kDacHalfRange - v) / 2.5L * kDacFullScale));
}

std::int32_t Calculate_OffsetDACIntValues(float volts) {
  const long double v = volts;
  return static_cast<std::int32_t>(to_code((v + kDacHalfRange) / 2.5L * kDacFullScale));
}

float Calculate_DACFloatValue(std::uint32_t code) {
  return static_cast<float>(-kDacHalfRange +
                            (static_cast<long double>(code) / kDacFullScale) * 2.5L);
}

}  // namespace vx
