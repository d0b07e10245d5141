// Calibration tables stored on the daughter boards' EEPROMs: pedestals, INL corrections,
// SAM DAC offsets and trigger-threshold DAC offsets. Daughter board d holds SAM blocks 2d
// (block A) and 2d + 1 (block B). A board argument of -1 means every daughter board.
//
// Saves return 0, or -1 when refused (no calibration to save, missing identity texts) or
// when an EEPROM write failed; a failure is reported and never followed by a success
// message. Reads return 0 when the tables were taken, -1 when the markers are not valid and
// kEepromReadFailed when a read failed (reported, naming the board, table and address); in
// both cases the tables in memory, and whether they are held, stay as they were.
#pragma once

#include <functional>
#include <string>

#include "app/board_port.h"
#include "app/state.h"

namespace vx {

inline constexpr int kEepromReadFailed = -2;

// IndividualOffsetDistribution of the board's blocks with the line DAC settings it was
// measured with; refused (nothing written) for a board whose table was neither measured nor
// read. The stored SAM DAC offsets are then made to match the table (saved, or marked not
// valid for a table measured with the DACs off), as a connection loads them.
int Save_Pedestal_Values_To_EEPROM(BoardLink& st, Settings& settings, MessageLog& log,
                                   int daughter_board = -1);
// The success message only when with_message is 1.
int Read_Pedestal_Values_From_EEPROM(BoardLink& st, MessageLog& log, int daughter_board,
                                     int with_message);

// TimePedestals with today's date, the location and the responsible person (at most 15
// characters each, both required).
int Save_INL_Values_To_EEPROM(State& st, int daughter_board, const std::string& location,
                              const std::string& responsible);
int Read_INL_Values_From_EEPROM(BoardLink& st, MessageLog& log, int daughter_board);

// The bridge to the INL text files. The file operations take a SAM block and a channel; the
// reader returns 1 when the file was read into TimePedestals.
using InlFileOperation = std::function<int(BoardPort port, int block, int channel)>;
// Saves the INL values only when all four files of the board were read.
int Save_INL_Files_To_EEPROM(State& st, int daughter_board, const std::string& location,
                             const std::string& responsible, const InlFileOperation& read_file);
// Reads the INL values, then writes the four files, even from tables that were not valid.
int Save_INL_Files_From_EEPROM(BoardPort port, int daughter_board,
                               const InlFileOperation& save_file);

// Only once a SAM DAC offset calibration is available (SamDACOffsetDone), and only for
// boards whose codes were measured on this unit or read from it (SamDacCodesHeld).
// Warns when the stored pedestal table was measured with other codes.
int Save_SAMDACsOffsets_To_EEPROM(Settings& st, BoardLink& link, MessageLog& log,
                                  int daughter_board = -1);
// Into SamDacOffsetCh0/Ch1 of the board's blocks; the messages only when with_message is 1.
int Read_SAMDACsOffsets_From_EEPROM(Settings& st, BoardLink& link, MessageLog& log,
                                    int daughter_board, int with_message = 1);

// Only once a trigger-threshold offset calibration is available (TriggerDACsOffsetDone).
int Save_TriggerThresholdDACs_To_EEPROM(BoardLink& st, Settings& settings, MessageLog& log,
                                        int daughter_board = -1);
int Read_TriggerThresholdDACs_From_EEPROM(BoardLink& st, MessageLog& log, int daughter_board);

// What each read of Load_Calib_Values_From_EEPROM returned.
struct StoredTablesRead {
  int sam_dacs = -1, pedestals = -1, inl = -1, trigger_dacs = -1;
  int taken() const;  // 0 to 4
  bool read_failed() const;
};
// SAM DAC offsets, pedestals (with message), INL tables, trigger offsets: each on its own
// markers.
StoredTablesRead Load_Calib_Values_From_EEPROM(Settings& st, BoardLink& link, MessageLog& log,
                                               int daughter_board);
// What the library took when it (re)loaded its correction data from the EEPROMs: for every
// daughter board whether its pedestal table is valid, and the line DAC settings it was
// measured with (AppliedPedestal*).
void Note_AppliedPedestals(BoardLink& st, Settings& records, MessageLog& log);
// Warns for every daughter board whose applied pedestal table was measured with other line
// DAC settings than those its chips hold now, and says what to do; the number of them.
int Check_PedestalLineDacs(BoardLink& st, Settings& settings, MessageLog& log);

}  // namespace vx
