// What a setup file does not carry from one unit to another: the daughter boards' identity,
// read from their EEPROMs, and the SAM line DAC settings, measured on the unit's own chips.
// A unit is told by the serial number the digitizer library reports for it, which heads every
// setup file (the BoardInfo at the start of the BoardParams image).
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "app/board_port.h"
#include "app/state.h"
#include "files/setup_ranges.h"

namespace vx {

std::uint32_t Setup_UnitSerial(const BoardParams& board);

using ChangedBlocks = std::array<bool, kMaxSamBlocks>;

// On the file's images, before they replace the records: when the file was saved on another
// unit, the identity fields and the line DAC settings stay the connected unit's (which is
// told). Returns the blocks whose line DAC settings a file of this unit changes.
ChangedBlocks Keep_UnitFields(Settings& st, MessageLog& log, const BoardParams& file_board,
                              SetupImages& images, int blocks, const std::string& file);

// Once the records are replaced: the changed line DAC settings go into the chips, are no
// longer held as measured (a setup file does not say they were), and the pedestal tables in
// use are checked against them; all of it told.
void Apply_SetupLineDacs(BoardPort port, const ChangedBlocks& changed, const std::string& file);

}  // namespace vx
