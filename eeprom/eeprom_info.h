// Daughter-board identity kept in the EEPROM: serial number, gains, setup register and the
// validity of each calibration table; the destructive test and erase.
#pragma once

#include <string>

#include "app/state.h"

namespace vx {

// What the user enters to identify a daughter board.
struct EepromInfoEntry {
  std::string serial;  // "major.minor", at most 7 characters
  float gain = 1.0f;
  float offset_gain = 1.0f;
  int sca_type = 0;       // 0 or 1
  int acdc_coupling = 0;  // 0 or 1
  int sam_long_type = 0;  // 0 to 3
};

// Returns 0 after reading, -1 for a negative index or an invalid serial number.
int Read_EEPROM_Info(BoardLink& st, Settings& settings, FrontEndLinks& links, int daughter_board);
// Writes serial, gains and setup register, each value before its marker. Returns 0, or -1
// when refused (all boards selected, a value that does not fit) or when a write failed.
int Write_EEPROM_Info(Settings& st, BoardLink& link, FrontEndLinks& links, int daughter_board,
                      const EepromInfoEntry& entry);
// Writes the pattern i mod 256 over the whole EEPROM and reads it back: 0 passed, 1 failed.
// Leaves the pattern: the board information and every table are gone afterwards.
int Test_EEPROM(BoardLink& st, MessageLog& log, int daughter_board);
// 65 536 zero bytes from address 0; 0 on success, -1 when the write failed.
int Erase_EEPROM(BoardLink& st, MessageLog& log, int daughter_board);

// The destructive actions, each confirmed by the user before it starts.
enum class EepromChange { WriteInfo, SaveCalibration, Restore, Test, Erase, WriteBytes };
// The question asked for one board (d >= 0) or all of them (d < 0).
std::string EEPROM_Change_Question(EepromChange change, int daughter_board);
// Asks it through the front end: true when the user agreed.
bool Confirm_EEPROM_Change(FrontEndLinks& st, EepromChange change, int daughter_board);

}  // namespace vx
