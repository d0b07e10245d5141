// Calibration tables stored on the daughter boards' EEPROMs.
#pragma once

#include "app/state.h"

namespace vx {

// Reads the pedestal tables of both SAM blocks of a daughter board; the success message
// only when with_message is 1. Invalid markers leave the tables as they are.
void Read_Pedestal_Values_From_EEPROM(State& st, int daughter_board, int with_message);

}  // namespace vx
