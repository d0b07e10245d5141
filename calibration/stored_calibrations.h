// The calibration tables in use and the daughter boards' EEPROMs: storing a pedestal table
// so that the library applies it at once, and loading every stored table so that each is in
// use, with the check that the pedestal table applied was measured with the SAM line DAC
// codes the chips hold.
#pragma once

#include "app/board_port.h"
#include "app/state.h"

namespace vx {

// Stores the pedestal tables (Save_Pedestal_Values_To_EEPROM, one board or -1 for all) and,
// with a board open, has the library reload its correction data so that the new table is
// the one subtracted. True when both were done.
bool Save_PedestalsToFlash(Settings& st, BoardLink& link, MessageLog& log, int daughter_board = -1);
// The menu's "Save Pedestals to FLASH": its own question, then the save behind the wait
// cursor. False when the user said no or the save failed.
bool Run_SavePedestalsToFlash(Settings& st, BoardLink& link, FrontEndLinks& links);

// Reads every table of one board or all (Load_Calib_Values_From_EEPROM), has the library
// reload its correction data, and puts the rest in use: the stored SAM DAC offsets into the
// chips, the trigger-DAC offsets into the thresholds. 0, or -1 when the library could not
// reload or an EEPROM read failed (each failure told; what was read is in use all the same).
int Load_Calibrations_And_Reload(BoardPort port, int daughter_board);

}  // namespace vx
