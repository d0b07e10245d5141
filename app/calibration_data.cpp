#include "app/calibration_data.h"

namespace vx {

namespace {

constexpr std::uint8_t kDacsOn = 0x01;

}  // namespace

int sam_dac_signed_value(int code) {
  code &= 0x7F;
  return code < 64 ? -code : code - 64;
}

bool LineDacSettings::recorded() const {
  return reg2_bits != kLineDacsUnrecorded;
}

bool LineDacSettings::enabled() const {
  return recorded() && (reg2_bits & kDacsOn) != 0;
}

bool LineDacSettings::same_effect(const LineDacSettings& other) const {
  if (!enabled() || !other.enabled()) return enabled() == other.enabled();
  if (reg2_bits != other.reg2_bits) return false;
  for (int c = 0; c < kChannelsPerBlock; ++c)
    for (int line = 0; line < kLinesPerMatrix; ++line)
      if (sam_dac_signed_value(codes[c][line]) != sam_dac_signed_value(other.codes[c][line]))
        return false;
  return true;
}

LineDacSettings line_dac_settings(const SAMBlockParams& block) {
  LineDacSettings s;
  const std::uint16_t reg2 = block.SamReg2;  // packed field: by value
  s.reg2_bits = static_cast<std::uint8_t>((reg2 >> 5) & 0x7);
  for (int line = 0; line < kLinesPerMatrix; ++line) {
    s.codes[0][line] = block.SamDacOffsetCh0[line];
    s.codes[1][line] = block.SamDacOffsetCh1[line];
  }
  return s;
}

void put_line_dac_settings(SAMBlockParams& block, const LineDacSettings& settings) {
  const std::uint8_t bits = settings.recorded() ? settings.reg2_bits : 0;
  const std::uint16_t reg2 = block.SamReg2;  // packed field: by value
  block.SamReg2 = static_cast<std::uint16_t>((reg2 & ~0xE0u) | ((bits & 0x7u) << 5));
  if (!settings.recorded()) return;
  for (int line = 0; line < kLinesPerMatrix; ++line) {
    block.SamDacOffsetCh0[line] = settings.codes[0][line];
    block.SamDacOffsetCh1[line] = settings.codes[1][line];
  }
}

}  // namespace vx
