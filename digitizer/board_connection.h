// Opening, initialising and closing the board, and the firmware versions.
#pragma once

#include <string>

#include "app/state.h"

namespace vx {

// Returns 1 on success, 0 on failure.
int Open_Device(State& st);
void Sam_Init(State& st);
void Close_Device(State& st);

std::string Read_MotherBoardFPGAVersion(State& st);
std::string Read_FPGAVersion(State& st, int block);

// The connection panel's Connect button (model: -1 none, 0 desktop, 1 VME).
void Connect_Board(State& st, int model);
// The connection thread's body.
void Start_ConnectionThread(State& st);

// The line DACs of daughter board d's blocks into their chips: on, with the 0.5 mV step and
// the codes the records hold, when stored is true (its SAM DAC offsets were just read);
// as the records say otherwise.
void Load_SamDacOffsetsOfBoard(State& st, int daughter_board, bool stored);
// What a connection loads once the board is configured: the stored SAM DAC offsets of each
// daughter board where they are valid (its line DACs stay off elsewhere), the pedestal
// tables and the board information, then the check that the pedestal tables applied were
// measured with the codes now loaded.
void Load_CalibrationsAtConnection(State& st);

// Choosing a model on the connection panel resets the VME base address.
void Select_BoardModel(State& st, int model);

}  // namespace vx
