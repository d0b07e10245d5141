// Daughter-board identity kept in the EEPROM: serial number, gains, setup register and the
// validity of each calibration table.
#pragma once

#include "app/state.h"

namespace vx {

// Returns 0 after reading, -1 for a negative index or an invalid serial number.
int Read_EEPROM_Info(State& st, int daughter_board);

}  // namespace vx
