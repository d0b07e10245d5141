#include "app/register_images.h"

#include <algorithm>
#include <cstdint>

namespace vx {

void Build_TriggerReg(SAMBlockParams& blk) {
  blk.TriggerReg = static_cast<std::uint16_t>(
      blk.TriggerRegBit0 + 4 * blk.TriggerRegBit2 + 8 * blk.CoincidenceAND +
      16 * blk.TriggerEnable[0] + 32 * blk.TriggerPolarity[0] + 64 * blk.TriggerEnable[1] +
      128 * blk.TriggerPolarity[1]);
}

void Build_ControlReg(SAMBlockParams& blk, const SystemParams& sys) {
  blk.ControlReg = static_cast<std::uint16_t>(
      blk.ControlRegBit0 + 2 * sys.Adc20MHzOnOff + 4 * blk.ControlRegBit2 +
      8 * blk.RateCountersEnabled + 16 * blk.ChargeModeEnabled + 32 * blk.ChargeNoBaseline +
      64 * blk.ControlRegBit6 + 128 * blk.ControlRegBit7);
}

void Build_TriggerGateReg(SAMBlockParams& blk) {
  const int low = std::max(static_cast<int>(blk.TriggerGateLength) - 2, 0) & 0x7F;
  blk.TriggerGateReg = static_cast<std::uint16_t>(low + 128 * blk.TriggerGateRegHigh);
}

void Build_ChargeThresholdRegs(SAMBlockParams& blk) {
  for (int c = 0; c < kChannelsPerBlock; ++c)
    blk.ChargeThresholdReg[c] = blk.ChargeThreshold[c] + blk.ChargeThresholdFlag[c] * 0x800000;
}

void Build_PulseReg(SAMBlockParams& blk) {
  blk.PulseReg =
      static_cast<std::uint8_t>(blk.PulseEnable[0] + 2 * blk.PulseEnable[1] + 4 * blk.PulseSource);
}

void Build_RegisterImages(SAMBlockParams& blk, const SystemParams& sys) {
  Build_TriggerReg(blk);
  Build_TriggerGateReg(blk);
  Build_ChargeThresholdRegs(blk);
  Build_PulseReg(blk);
  Build_ControlReg(blk, sys);
}

}  // namespace vx
