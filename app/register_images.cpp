#include "app/register_images.h"

#include <algorithm>
#include <cstdint>

namespace vx {

namespace {

// The switches are weighed in unsigned arithmetic: a setup file may hold any value in
// them, and the register takes the low bits of the sum whatever they are.
std::uint32_t u(std::int32_t v) {
  return static_cast<std::uint32_t>(v);
}

}  // namespace

void Build_TriggerReg(SAMBlockParams& blk) {
  blk.TriggerReg = static_cast<std::uint16_t>(
      blk.TriggerRegBit0 + 4u * u(blk.TriggerRegBit2) + 8u * u(blk.CoincidenceAND) +
      16u * u(blk.TriggerEnable[0]) + 32u * u(blk.TriggerPolarity[0]) +
      64u * u(blk.TriggerEnable[1]) + 128u * u(blk.TriggerPolarity[1]));
}

void Build_ControlReg(SAMBlockParams& blk, const SystemParams& sys) {
  blk.ControlReg = static_cast<std::uint16_t>(
      u(blk.ControlRegBit0) + 2u * u(sys.Adc20MHzOnOff) + 4u * u(blk.ControlRegBit2) +
      8u * u(blk.RateCountersEnabled) + 16u * u(blk.ChargeModeEnabled) +
      32u * u(blk.ChargeNoBaseline) + 64u * u(blk.ControlRegBit6) + 128u * u(blk.ControlRegBit7));
}

void Build_TriggerGateReg(SAMBlockParams& blk) {
  const int low = std::max(static_cast<int>(blk.TriggerGateLength) - 2, 0) & 0x7F;
  blk.TriggerGateReg = static_cast<std::uint16_t>(u(low) + 128u * u(blk.TriggerGateRegHigh));
}

void Build_ChargeThresholdRegs(SAMBlockParams& blk) {
  for (int c = 0; c < kChannelsPerBlock; ++c)
    // Unsigned arithmetic: a setup file may hold any bit pattern here, and the register takes
    // the low 32 bits whatever they are.
    blk.ChargeThresholdReg[c] = static_cast<std::int32_t>(
        static_cast<std::uint32_t>(blk.ChargeThreshold[c]) +
        static_cast<std::uint32_t>(blk.ChargeThresholdFlag[c]) * 0x800000u);
}

void Build_PulseReg(SAMBlockParams& blk) {
  blk.PulseReg = static_cast<std::uint8_t>(u(blk.PulseEnable[0]) + 2u * u(blk.PulseEnable[1]) +
                                           4u * u(blk.PulseSource));
}

void Build_RegisterImages(SAMBlockParams& blk, const SystemParams& sys) {
  Build_TriggerReg(blk);
  Build_TriggerGateReg(blk);
  Build_ChargeThresholdRegs(blk);
  Build_PulseReg(blk);
  Build_ControlReg(blk, sys);
}

}  // namespace vx
