// Register images kept in each SAM block's record, rebuilt whenever one of their source
// fields changes. Only the control register reaches the board; the others travel in
// setup files.
#pragma once

#include "app/params.h"

namespace vx {

void Build_TriggerReg(SAMBlockParams& blk);
void Build_ControlReg(SAMBlockParams& blk, const SystemParams& sys);
void Build_TriggerGateReg(SAMBlockParams& blk);
void Build_ChargeThresholdRegs(SAMBlockParams& blk);
void Build_PulseReg(SAMBlockParams& blk);
// Every image of the block from its current fields.
void Build_RegisterImages(SAMBlockParams& blk, const SystemParams& sys);

}  // namespace vx
