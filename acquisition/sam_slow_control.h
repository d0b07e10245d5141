// The SAM chips' slow-control words as the expert panel edits them: every bit of SamReg1 and
// SamReg2 and the value of SamReg3, the same value in every SAM block.
#pragma once

#include <array>
#include <cstdint>

#include "app/board_port.h"
#include "app/state.h"

namespace vx {

// Panel labels of the bits, bit 0 first; an empty label marks a bit without a box.
extern const std::array<const char*, 16> kSamReg1BitNames;
extern const std::array<const char*, 16> kSamReg2BitNames;

// word 1 or 2: sets or clears the bit in every block, then reloads the three slow-control
// words of every block; a running acquisition is restarted afterwards.
void Set_SamRegBit(ControlPort port, int word, int bit, bool on);
void Set_SamReg3(ControlPort port, std::uint16_t value);

}  // namespace vx
