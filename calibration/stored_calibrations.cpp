#include "calibration/stored_calibrations.h"

#include <vector>

#include "app/message_log.h"
#include "digitizer/board_connection.h"
#include "digitizer/dacs.h"
#include "eeprom/calibration_tables.h"
#include "eeprom/eeprom_access.h"

namespace vx {

namespace {

bool board_open(const BoardLink& st) {
  return st.digitizer != nullptr && st.DeviceHandle.load() >= 0;
}

bool reload_library_corrections(BoardLink& st, Settings& settings, MessageLog& log) {
  if (!board_open(st) || st.digitizer->LoadSAMCorrectionData(st.DeviceHandle.load()) != 0) {
    Write_InfoMessage(log, "ERROR: The correction values could not be re-loaded from FLASH!\n",
                      kError);
    return false;
  }
  Note_AppliedPedestals(st, settings, log);
  return true;
}

}  // namespace

bool Save_PedestalsToFlash(Settings& st, BoardLink& link, MessageLog& log, int d) {
  if (Save_Pedestal_Values_To_EEPROM(link, st, log, d) != 0) return false;
  if (!board_open(link)) return true;
  if (!reload_library_corrections(link, st, log)) return false;
  Check_PedestalLineDacs(link, st, log);
  return true;
}

bool Run_SavePedestalsToFlash(Settings& st, BoardLink& link, FrontEndLinks& links) {
  if (!links.ui.confirm("Confirm",
                        "Are you sure you want to save Pedestal Calibration Values to FLASH?"))
    return false;
  links.ui.set_wait_cursor(true);
  const bool ok = Save_PedestalsToFlash(st, link, links.log, -1);
  links.ui.set_wait_cursor(false);
  return ok;
}

int Load_Calibrations_And_Reload(BoardPort port, int d) {
  const auto boards = eeprom_boards(port, port, port.links.log, d);
  if (boards.empty()) return -1;
  std::vector<StoredTablesRead> read;
  for (int b : boards) read.push_back(Load_Calib_Values_From_EEPROM(port, port, port.links.log, b));
  if (!reload_library_corrections(port, port, port.links.log)) return -1;
  Write_InfoMessage(port.links.log, "Correction Values re-loaded from FLASH\n", kInfo);
  bool failed = false;
  for (std::size_t i = 0; i < boards.size(); ++i) {
    const int b = boards[i];
    failed = failed || read[i].read_failed();
    // Only codes just read go into the chips with the DACs on; else the records' settings.
    Load_SamDacOffsetsOfBoard(port, b, read[i].sam_dacs == 0);
    // A single block's thresholds are loaded with their measured offsets.
    for (int block = 2 * b; block <= 2 * b + 1; ++block) {
      Load_DACs(port, 0, block);
      Load_DACs(port, 1, block);
    }
  }
  Check_PedestalLineDacs(port, port, port.links.log);
  return failed ? -1 : 0;
}

}  // namespace vx
